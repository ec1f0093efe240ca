#pragma once
// The joint report: jointreport.csv in the program folder, a title block and one line per
// selected acquisition of the project, short ("Joint Report") or full ("Full Joint Report").
// The title block is written first (temporary name, renamed into place); AnalyzeTrails then
// appends each acquisition's line. An acquisition that gives no line is named with the reason
// in the summary the window shows.

#include "app/results/report.h"

#include <functional>
#include <string>
#include <vector>

namespace results {

inline constexpr char kJointReportParentEntry[] = "..";

// LoadTraining for one acquisition folder: what its boxes hold afterwards.
using TrainingLoader = std::function<RectangleTexts(const std::string& acqFolder)>;

// The default loader: the folder's training.dat, else the program folder's, else the built-in
// defaults (plate size "35").
RectangleTexts rectangleTextsFromTraining(const std::string& acqFolder,
                                          const std::string& programFolder);

struct JointReportRequest {
    std::string programFolder;
    std::string projectName;
    std::vector<std::string> selectedEntries; // selected List_subproject entries, in list order
    std::string spacer;                       // txt_spacer; empty gives ";"
    int reportMode = kJointReportShort;       // kJointReportShort or kJointReportFull
    bool idMarks = false;                     // mn_idmark checked: trails numbered by id
    ReportTime now;                           // stamp of the title
};

// What became of one acquisition.
struct JointReportEntry {
    std::string entry;  // the list text
    std::string folder; // program folder / project / entry
    bool written = false;
    std::string message;            // written == false: why it was left out
    bool plateSizeReplaced = false; // its plate size was outside 10 .. 60: txt_psize shows "35"
    std::string jointLine;          // the line appended (without its line end)
};

struct JointReportResult {
    // False when fewer than two entries were selected: nothing was done and nothing is shown.
    bool started = false;
    bool ok = false;                            // the title block was written
    std::string path;                           // jointreport.csv, to be opened when ok
    std::string message;                        // ok == false: why the file could not be written
    std::vector<JointReportEntry> acquisitions; // in list order, ".." left out
    std::string summary; // the message box text: "Report:", every path, and what was left out
};

// Title block: "Report File" and the date, "Folder" and the project folder, "Acquisition
// Lapse[m]" and "5", an empty line, the column line of the mode; CR LF line ends.
std::string jointReportTitle(const std::string& programFolder, const std::string& projectName,
                             const std::string& separator, int reportMode, const ReportTime& now);

// AddAcquisitionToJointReport: reads the rectangle texts (plate size outside 10 .. 60 taken as
// 35), refuses a rectangle without width or height (nothing is divided by it), and lets
// AnalyzeTrails append the acquisition's line for block 0 of 5-minute blocks.
JointReportEntry
addAcquisitionToJointReport(const std::string& programFolder, const std::string& projectName,
                            const std::string& entry, const RectangleTexts& rectangle,
                            const std::string& separator, int reportMode, bool idMarks);

// WriteJointReport: the whole command. `load` is called once per acquisition, in list order,
// on the calling thread, before any line; an empty loader uses rectangleTextsFromTraining. The
// acquisitions are then analysed several at a time (each reads its own trails file and writes
// its own particle_trails.csv), and their lines appended in list order.
JointReportResult WriteJointReport(const JointReportRequest& request,
                                   const TrainingLoader& load = {});

} // namespace results
