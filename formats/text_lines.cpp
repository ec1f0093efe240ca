#include "text_lines.h"

#include "formats/regular_file.h"
#include "formats/save_file.h"

#include <filesystem>

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
    std::string text;
    bool missing = false;
    if (!readRegularFile(path, text, result.error, &missing, maxBytes)) {
        result.status = missing ? TextLines::Status::Missing : TextLines::Status::Failed;
        if (missing)
            result.error.clear();
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
    std::string bytes, error;
    if (!readRegularFile(from, bytes, error))
        return error;
    return saveFileAtomic(to, bytes);
}

std::string copyFileNoReplace(const std::string& from, const std::string& to) {
    std::string bytes, error;
    if (!readRegularFile(from, bytes, error))
        return error;
    return saveFileNoReplace(to, bytes);
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
