#include "run_data_file.h"

#include "formats/numbers.h"
#include "formats/text_lines.h"

#include <vector>

namespace formats {

double RunData::runLengthMinutes() const {
    return leadingNumber(runLength);
}

std::optional<std::int32_t> RunData::runLengthWholeMinutes() const {
    return toInt32(runLengthMinutes());
}

namespace {

std::vector<std::string> runDataLines(const RunData& data) {
    // The mode is printed as a number is printed to a file: a blank for the sign, the digits
    // and a trailing blank.
    return {data.deviceAddress, data.acquisitionFolder, data.startTime, data.runLength,
            formatNumberSigned(data.acquisitionMode) + " "};
}

RunData fromLines(const std::vector<std::string>& lines) {
    RunData data;
    auto at = [&lines](std::size_t i) { return i < lines.size() ? lines[i] : std::string(); };
    data.deviceAddress = at(0);
    data.acquisitionFolder = at(1);
    data.startTime = at(2);
    data.runLength = at(3);
    data.acquisitionMode = toInt32(leadingNumber(at(4))).value_or(0);
    return data;
}

} // namespace

std::string runDataText(const RunData& data) {
    return joinLines(runDataLines(data), "\r\n");
}

RunData parseRunData(std::string_view text) {
    return fromLines(splitLines(text));
}

std::string runDataPath(const std::string& folder) {
    return pathInFolder(folder, kRunDataFileName);
}

std::optional<RunData> readRunData(const std::string& folder, std::string* error) {
    if (error)
        error->clear();
    const TextLines file = readTextLines(runDataPath(folder));
    if (file.status == TextLines::Status::Missing)
        return std::nullopt;
    if (!file.ok()) {
        if (error)
            *error = file.error;
        return std::nullopt;
    }
    return fromLines(file.lines);
}

std::string writeRunData(const std::string& folder, const RunData& data) {
    return writeTextLines(runDataPath(folder), runDataLines(data), "\r\n");
}

} // namespace formats
