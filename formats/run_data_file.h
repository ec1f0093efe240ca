#pragma once
// rundata.dat: the facts of one acquisition run, handed from Vermalux to the logger Pendrel and
// read back by the reanalysis window. Five lines, each ended by CR LF:
//   1 device address, 2 acquisition folder (full path), 3 start time "yyyy/mm/dd hh:mm:ss",
//   4 run length in minutes as typed, 5 acquisition mode printed as " 0 " or " 1 ".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace formats {

inline constexpr char kRunDataFileName[] = "rundata.dat";

inline constexpr int kAcquisitionModeTracking = 0;
inline constexpr int kAcquisitionModeMicrobeam = 1;

struct RunData {
    std::string deviceAddress;                      // line 1
    std::string acquisitionFolder;                  // line 2
    std::string startTime;                          // line 3, "yyyy/mm/dd hh:mm:ss"
    std::string runLength;                          // line 4, minutes, the text as typed
    int acquisitionMode = kAcquisitionModeTracking; // line 5

    // Line 4 by the leading-number rule ("12.5min" gives 12.5, text without a number 0).
    double runLengthMinutes() const;
    // Line 4 rounded to whole minutes (halves to even), or nothing when it does not fit 32 bits.
    std::optional<std::int32_t> runLengthWholeMinutes() const;
};

// The five lines with their CR LF ends, exactly as written.
std::string runDataText(const RunData& data);

// Reads the text of a run-data file. Lines missing at the end leave the strings empty and the
// mode 0; line 5 is taken by its numeric value (blanks ignored, rounded; out of range gives 0).
RunData parseRunData(std::string_view text);

// The run-data file of a folder.
std::string runDataPath(const std::string& folder);

// Reads `folder`/rundata.dat. Nothing when the file is missing (error left empty) or cannot be
// read (error set to a message that names the path).
std::optional<RunData> readRunData(const std::string& folder, std::string* error = nullptr);

// Replaces `folder`/rundata.dat (temporary file renamed into place). A value holding a line
// break is refused. Returns an empty string on success, else a message.
std::string writeRunData(const std::string& folder, const RunData& data);

} // namespace formats
