#include "text_lines.h"

#include "formats/save_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace formats {

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool ended = end != std::string_view::npos;
        if (!ended)
            end = text.size();
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        lines.emplace_back(text.substr(start, stop - start));
        start = ended ? end + 1 : text.size();
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines, std::string_view lineEnd) {
    std::string text;
    std::size_t size = 0;
    for (const auto& line : lines)
        size += line.size() + lineEnd.size();
    text.reserve(size);
    for (const auto& line : lines) {
        text += line;
        text += lineEnd;
    }
    return text;
}

TextLines readTextLines(const std::string& path, std::size_t maxBytes) {
    TextLines result;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        if (ec && ec != std::errc::no_such_file_or_directory) {
            result.status = TextLines::Status::Failed;
            result.error = "Cannot read " + path + ": " + ec.message();
        } else {
            result.status = TextLines::Status::Missing;
        }
        return result;
    }
    result.status = TextLines::Status::Failed;
    if (!std::filesystem::is_regular_file(status)) {
        result.error = "Cannot read " + path + ": not a file";
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.error = "Cannot read " + path + ": " + std::strerror(errno);
        return result;
    }
    std::string text;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        const auto got = static_cast<std::size_t>(in.gcount());
        if (text.size() + got > maxBytes) {
            result.error = "Cannot read " + path + ": the file is too large";
            return result;
        }
        text.append(buffer, got);
    }
    if (in.bad()) {
        result.error = "Cannot read " + path + ": read error";
        return result;
    }
    result.status = TextLines::Status::Ok;
    result.lines = splitLines(text);
    return result;
}

std::string writeTextLines(const std::string& path, const std::vector<std::string>& lines,
                           std::string_view lineEnd) {
    for (const auto& line : lines) {
        if (line.find_first_of("\r\n") != std::string::npos)
            return "Cannot write " + path + ": a value holds a line break";
    }
    return saveFileAtomic(path, joinLines(lines, lineEnd));
}

std::string copyFileAtomic(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    if (!in)
        return "Cannot read " + from + ": " + std::strerror(errno);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return "Cannot read " + from + ": read error";
    return saveFileAtomic(to, bytes);
}

std::string pathInFolder(const std::string& folder, std::string_view fileName) {
    if (folder.empty())
        return std::string(fileName);
    return (std::filesystem::path(folder) / std::filesystem::path(fileName)).string();
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

} // namespace formats
