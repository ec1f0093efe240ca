#include "training_file.h"

#include "formats/save_file.h"
#include "formats/text_lines.h"

#include <algorithm>

namespace formats {

namespace {

constexpr std::array<std::string_view, kTrainingKeyCount> kKeys = {
    "xs", "xe", "ys", "ye", "bs", "pl", "ph", "pt", "tl",
    "th", "tt", "ll", "lh", "lt", "al", "at", "mt", "mm"};

constexpr std::array<std::string_view, kTrainingKeyCount> kDefaults = {
    "335", "1170", "215", "1035", "35", "26", "76", "20",    "6.8",
    "9.5", "20",   "16",  "25",   "20", "10", "50", "31.25", "35"};

std::string replaced(std::string_view text, char from, char to) {
    std::string out(text);
    std::replace(out.begin(), out.end(), from, to);
    return out;
}

std::string withoutBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ' ')
            out.push_back(c);
    }
    return out;
}

// Characters, not bytes: a UTF-8 continuation byte does not start a character.
std::size_t characterCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // namespace

const std::array<std::string_view, kTrainingKeyCount>& trainingKeys() {
    return kKeys;
}

std::optional<std::size_t> trainingKeyIndex(std::string_view key) {
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        if (kKeys[i] == key)
            return i;
    }
    return std::nullopt;
}

bool trainingKeyWritesPoint(std::size_t index) {
    return index == 8 || index == 9 || index == 16 || index == 17;
}

TrainingFile TrainingFile::defaults() {
    TrainingFile training;
    for (std::size_t i = 0; i < kTrainingKeyCount; ++i)
        training.values[i] = std::string(kDefaults[i]);
    return training;
}

bool TrainingFile::applyKey(std::string_view key, std::string_view value) {
    const auto index = trainingKeyIndex(withoutBlanks(key));
    if (!index)
        return false;
    values[*index] = replaced(value, ',', '.');
    return true;
}

std::vector<std::string> TrainingFile::lines() const {
    std::vector<std::string> out;
    out.reserve(kTrainingKeyCount);
    for (std::size_t i = 0; i < kTrainingKeyCount; ++i) {
        const std::string value =
            trainingKeyWritesPoint(i) ? replaced(values[i], ',', '.') : values[i];
        out.push_back(std::string(kKeys[i]) + " " + value);
    }
    return out;
}

std::string TrainingFile::text() const {
    return joinLines(lines(), "\r\n");
}

std::optional<std::pair<std::string, std::string>> splitTrainingLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank == 0)
        return std::nullopt;
    return std::make_pair(std::string(line.substr(0, blank)), std::string(line.substr(blank + 1)));
}

std::vector<TrainingAssignment> trainingAssignments(const std::vector<std::string>& lines) {
    std::vector<TrainingAssignment> out;
    for (const auto& line : lines) {
        const auto parts = splitTrainingLine(line);
        if (!parts)
            continue;
        const auto index = trainingKeyIndex(withoutBlanks(parts->first));
        if (!index)
            continue;
        out.push_back({*index, replaced(parts->second, ',', '.')});
    }
    return out;
}

std::size_t applyTrainingLines(const std::vector<std::string>& lines, TrainingFile& training) {
    const auto assignments = trainingAssignments(lines);
    for (const auto& a : assignments)
        training.values[a.index] = a.value;
    return assignments.size();
}

std::string trainingPath(const std::string& folder) {
    return pathInFolder(folder, kTrainingFileName);
}

std::string trainingDefaultsPath(const std::string& folder) {
    return pathInFolder(folder, kTrainingDefaultsFileName);
}

TrainingRead readTrainingFile(const std::string& folder) {
    TrainingRead result;
    const TextLines file = readTextLines(trainingPath(folder));
    switch (file.status) {
    case TextLines::Status::Missing:
        result.status = TrainingRead::Status::Missing;
        break;
    case TextLines::Status::Failed:
        result.status = TrainingRead::Status::Failed;
        result.error = file.error;
        break;
    case TextLines::Status::Ok:
        result.status = TrainingRead::Status::Ok;
        result.assignments = trainingAssignments(file.lines);
        break;
    }
    return result;
}

std::string writeTrainingFile(const std::string& folder, const TrainingFile& training) {
    return writeTextLines(trainingPath(folder), training.lines(), "\r\n");
}

std::string writeTrainingFileWithDefaults(const std::string& programFolder,
                                          const TrainingFile& training) {
    std::string error = writeTrainingFile(programFolder, training);
    if (!error.empty())
        return error;
    return copyFileAtomic(trainingPath(programFolder), trainingDefaultsPath(programFolder));
}

std::string trainingOptionsFromLines(const std::vector<std::string>& lines) {
    std::string options;
    for (const auto& line : lines) {
        const std::string option = withoutBlanks(replaced(line, ',', '.'));
        if (characterCount(option) > 3) {
            options += " -";
            options += option;
        }
    }
    return options;
}

std::string ReadTrainingOptions(const std::string& folder, std::string* error) {
    if (error)
        error->clear();
    const TextLines file = readTextLines(trainingPath(folder));
    if (file.status == TextLines::Status::Missing)
        return {};
    if (!file.ok()) {
        if (error)
            *error = file.error;
        return {};
    }
    return trainingOptionsFromLines(file.lines);
}

std::vector<std::string> splitOptionString(std::string_view options) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < options.size()) {
        while (i < options.size() && options[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < options.size() && options[i] != ' ')
            ++i;
        if (i > start)
            words.emplace_back(options.substr(start, i - start));
    }
    return words;
}

} // namespace formats
