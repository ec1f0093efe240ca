#pragma once
// AnalyzeTrails, the one report operation: the trail metrics over an acquisition's trails file,
// then, by the report mode, a time-stamped report file in the acquisition folder or one line of
// the joint report in the program folder. Windows read their controls into the parameters
// (reportSettingsFromTexts does the arithmetic of the report buttons), call AnalyzeTrails and
// show what the result says: its message, or open the report file.

#include "app/results/trail_metrics.h"

#include <QDateTime>

#include <cstdint>
#include <string>
#include <vector>

namespace results {

inline constexpr char kParticleTrailsFileName[] = "particle_trails.csv";
inline constexpr char kJointReportFileName[] = "jointreport.csv";
inline constexpr char kTracksNotFoundMessage[] = "Worm tracks file not found";

enum ReportMode : int {
    kReportFile = 0, // report file in the acquisition folder, opened afterwards
    kJointReportShort = 1,
    kJointReportFull = 2,
    kTrailListingOnly = 3, // as any other value: the trail listing only
};

// Local date and time for the report's name and stamp.
struct ReportTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
ReportTime reportTimeFrom(const QDateTime& time);

struct AnalyzeTrailsParams {
    std::string acqFolder; // the acquisition folder (its last component is yyyymmdd_hhmm_name)
    std::int32_t blockMinutes = 5; // below 1 counts as 1 (see AnalyzeTrailsResult::blockMinutes)
    std::string separator = ";";   // empty counts as ";"
    double pxPerMmX = 0.0;
    double pxPerMmY = 0.0;
    std::int32_t trailNumbering = -1; // -1: by falling row count from 0; else by trail id
    double plateSizeMm = 35.0;        // printed in the report file
    int reportMode = kReportFile;
    std::string programFolder; // where jointreport.csv lies (report modes 1 and 2)
    ReportTime now;            // stamp of the report file
};

struct AnalyzeTrailsResult {
    bool ok = false;
    // Why nothing was reported (ok == false), for a message box: "Worm tracks file not found"
    // when the trails file is missing, otherwise a message naming the problem.
    std::string message;
    std::int32_t blockMinutes = 1;  // the block length used; the caller shows it (0 became 1)
    std::vector<BlockStats> blocks; // blocks 0 .. last block of the analysis
    std::string particleTrailsPath; // particle_trails.csv, written in every mode
    std::string reportPath;         // report mode 0: the report file written (to be opened)
    std::string jointReportPath;    // report modes 1 and 2: jointreport.csv appended
    std::string jointLine;          // the line appended there (without its line end)
};

// Runs the analysis and writes its outputs. The trails file is read once, front to back, so the
// backup worm_trails.bak of earlier results is never touched. Nothing is written when the
// folder is not given, the trails file is missing or unreadable, or a pixels-per-mm factor is
// zero (an empty analysis rectangle) or not finite; a negative factor (corners typed swapped)
// measures like its size.
AnalyzeTrailsResult AnalyzeTrails(const AnalyzeTrailsParams& params);

// Report file name: "report" + yyyymmdd_hhmmss + ".csv", or the same ending "b.csv" when the
// ".csv" name is taken (an existing "b.csv" file is replaced).
std::string reportFilePath(const std::string& acqFolder, const ReportTime& now);

// Text of the report file from the analysis (CR LF line ends).
std::string formatReportFile(const std::string& acqFolder, const std::string& separator,
                             double plateSizeMm, std::int32_t blockMinutes, const ReportTime& now,
                             const std::vector<BlockStats>& blocks,
                             const std::string& particleTrails);

// Appends one line (and its line end) to jointreport.csv in `programFolder`, creating the file
// when it is missing, as AnalyzeTrails does in report modes 1 and 2. Sets `path` to the file;
// returns an empty string, or why the line could not be written.
std::string appendJointReportLine(const std::string& programFolder, const std::string& line,
                                  std::string& path);

// One field of the joint report as spreadsheets read it. A field that holds the separator, a
// double quote, a CR or an LF is enclosed in double quotes, and so is every field with
// `alwaysQuoted` (the names, dates and times); inside the quotes each double quote is doubled.
// Any other field is written as it is.
std::string jointReportField(const std::string& text, const std::string& separator,
                             bool alwaysQuoted);

// The joint-report line of block 0 for report mode 1 or 2 (without its line end); every field
// written by jointReportField.
std::string formatJointReportLine(const std::string& acqFolder, const std::string& separator,
                                  int reportMode, const BlockStats& block0);

// Name, date and time of an acquisition from its folder's last component (after the last "/"
// or "\"): the text from the 15th character; "yyyy-mm-dd" from characters 1 to 8; "hh:mm" from
// characters 10 to 13. A position beyond the end gives an empty text.
std::string AcquisitionNameFromFolder(const std::string& folder);
std::string AcquisitionDateFromFolder(const std::string& folder);
std::string AcquisitionTimeFromFolder(const std::string& folder);

// The analysis rectangle and plate size of an acquisition, as its training gives them (the
// texts of txt_x1, txt_x2, txt_y1, txt_y2 and txt_psize after LoadTraining).
struct RectangleTexts {
    std::string x1, x2, y1, y2, plateSize;
};

// The report buttons' reading of their boxes: the rectangle (txt_x1, txt_x2, txt_y1, txt_y2),
// the plate size (txt_psize), the separator (txt_spacer) and the block length (combo_bin).
struct ReportSettings {
    bool ok = false;
    std::string message; // why the settings cannot be used (ok == false)
    double pxPerMmX = 0.0;
    double pxPerMmY = 0.0;
    double plateSizeMm = 35.0;
    bool plateSizeReplaced = false; // outside 10 .. 60: the box is to show "35"
    std::string separator = ";";
    std::int32_t blockMinutes = 1;
    bool blockMinutesReplaced = false; // below 1: the box is to show "1"
};
ReportSettings reportSettingsFromTexts(const std::string& x1, const std::string& x2,
                                       const std::string& y1, const std::string& y2,
                                       const std::string& plateSize, const std::string& spacer,
                                       const std::string& blockMinutes);

} // namespace results
