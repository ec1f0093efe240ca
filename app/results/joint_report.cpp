#include "app/results/joint_report.h"

#include "formats/save_file.h"
#include "formats/text_lines.h"
#include "formats/training_file.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

namespace results {

namespace {

// Block length of every joint report, and the title's statement of it.
constexpr std::int32_t kJointBlockMinutes = 5;

std::string stamp(const ReportTime& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return buffer;
}

std::string joined(const std::vector<const char*>& names, const std::string& sep) {
    std::string line;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            line += sep;
        line += jointReportField(names[i], sep, false);
    }
    return line;
}

// A title field: always in quotes, its own quotes doubled.
std::string quoted(const std::string& text, const std::string& sep) {
    return jointReportField(text, sep, true);
}

std::string separatorOf(const std::string& spacer) {
    return spacer.empty() ? std::string(";") : spacer;
}

} // namespace

RectangleTexts rectangleTextsFromTraining(const std::string& acqFolder,
                                          const std::string& programFolder) {
    formats::TrainingFile training = formats::TrainingFile::defaults();
    formats::TrainingRead read = formats::readTrainingFile(acqFolder);
    if (read.status == formats::TrainingRead::Status::Missing)
        read = formats::readTrainingFile(programFolder);
    for (const formats::TrainingAssignment& a : read.assignments)
        training[a.index] = a.value;
    const auto at = [&](const char* key) { return training[*formats::trainingKeyIndex(key)]; };
    return {at("xs"), at("xe"), at("ys"), at("ye"), at("mm")};
}

std::string jointReportTitle(const std::string& programFolder, const std::string& projectName,
                             const std::string& separator, int reportMode, const ReportTime& now) {
    const std::string sep = separatorOf(separator);
    std::string text;
    text += quoted("Report File", sep) + sep + quoted(stamp(now), sep) + "\r\n";
    text += quoted("Folder", sep) + sep +
            quoted(formats::pathInFolder(programFolder, projectName), sep) + "\r\n";
    text += quoted("Acquisition Lapse[m]", sep) + sep +
            quoted(std::to_string(kJointBlockMinutes), sep) + "\r\n";
    text += "\r\n";
    if (reportMode == kJointReportFull)
        text += joined({"Acq_Name", "Acq_Date", "Acq_Time", "#Particles", "Average_speed[mm/s]",
                        "Travelled_Distance[mm/worm]", "Motility_Score", "Rotation Index"},
                       sep);
    else
        text += joined({"Acq_Name", "Acq_Date", "Acq_Time", "#Particles", "Average_speed[mm/s]",
                        "Motility_Score"},
                       sep);
    text += "\r\n";
    return text;
}

namespace {

// One acquisition of a joint report: what its line needs, read on the calling thread, and its
// analysis (the trail listing only: the line is appended afterwards, in list order).
struct PreparedEntry {
    JointReportEntry entry;
    bool analyse = false;
    int lineMode = kJointReportShort;
    AnalyzeTrailsParams params;
    AnalyzeTrailsResult analysis;
};

PreparedEntry prepareEntry(const std::string& programFolder, const std::string& projectName,
                           const std::string& entry, const RectangleTexts& rectangle,
                           const std::string& separator, int reportMode, bool idMarks) {
    PreparedEntry out;
    out.entry.entry = entry;
    out.entry.folder =
        formats::pathInFolder(formats::pathInFolder(programFolder, projectName), entry);
    const ReportSettings settings =
        reportSettingsFromTexts(rectangle.x1, rectangle.x2, rectangle.y1, rectangle.y2,
                                rectangle.plateSize, separator, std::to_string(kJointBlockMinutes));
    out.entry.plateSizeReplaced = settings.plateSizeReplaced;
    if (!settings.ok) {
        out.entry.message = settings.message;
        return out;
    }
    if (programFolder.empty()) {
        out.entry.message = "No program folder for the joint report";
        return out;
    }
    out.lineMode = reportMode == kJointReportFull ? kJointReportFull : kJointReportShort;
    AnalyzeTrailsParams& p = out.params;
    p.acqFolder = out.entry.folder;
    p.blockMinutes = kJointBlockMinutes;
    p.separator = settings.separator;
    p.pxPerMmX = settings.pxPerMmX;
    p.pxPerMmY = settings.pxPerMmY;
    p.trailNumbering = idMarks ? 0 : -1;
    p.plateSizeMm = settings.plateSizeMm;
    p.reportMode = kTrailListingOnly;
    p.programFolder = programFolder;
    out.analyse = true;
    return out;
}

// The analysis of a prepared acquisition; it reads only that acquisition's trails file and
// writes only its particle_trails.csv, so several run side by side.
void analyseEntry(PreparedEntry& e) noexcept {
    try {
        e.analysis = AnalyzeTrails(e.params);
    } catch (const std::exception& error) {
        e.analysis = AnalyzeTrailsResult();
        e.analysis.message = std::string("Cannot analyse the trails: ") + error.what();
    }
}

// Appends the line of an analysed acquisition (AnalyzeTrails in report mode 1 or 2).
void appendEntryLine(PreparedEntry& e) {
    if (!e.analyse)
        return;
    if (!e.analysis.ok) {
        e.entry.message = e.analysis.message;
        return;
    }
    const std::string line = formatJointReportLine(e.params.acqFolder, e.params.separator,
                                                   e.lineMode, e.analysis.blocks.front());
    std::string path;
    if (std::string error = appendJointReportLine(e.params.programFolder, line, path);
        !error.empty()) {
        e.entry.message = error;
        return;
    }
    e.entry.written = true;
    e.entry.jointLine = line;
}

// Most analyses run at once: each holds its trail table and a read buffer (a few MB).
constexpr unsigned kMaxAnalysisThreads = 8;

// Analyses every prepared acquisition, several at a time on a day-long project; the calling
// thread takes its share and returns when all are done.
void analyseAll(std::vector<PreparedEntry>& entries) {
    std::vector<PreparedEntry*> work;
    for (PreparedEntry& e : entries)
        if (e.analyse)
            work.push_back(&e);
    std::atomic<std::size_t> next{0};
    const auto loop = [&work, &next] {
        for (std::size_t i = next++; i < work.size(); i = next++)
            analyseEntry(*work[i]);
    };
    const std::size_t threads = std::min<std::size_t>(
        {std::max(1u, std::thread::hardware_concurrency()), kMaxAnalysisThreads, work.size()});
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(loop);
        } catch (const std::system_error&) {
            break; // no more threads to be had: the others share the work
        }
    }
    loop();
    for (std::thread& helper : helpers)
        helper.join();
}

} // namespace

JointReportEntry
addAcquisitionToJointReport(const std::string& programFolder, const std::string& projectName,
                            const std::string& entry, const RectangleTexts& rectangle,
                            const std::string& separator, int reportMode, bool idMarks) {
    PreparedEntry e =
        prepareEntry(programFolder, projectName, entry, rectangle, separator, reportMode, idMarks);
    if (e.analyse)
        analyseEntry(e);
    appendEntryLine(e);
    return std::move(e.entry);
}

JointReportResult WriteJointReport(const JointReportRequest& request, const TrainingLoader& load) {
    JointReportResult out;
    if (request.selectedEntries.size() < 2)
        return out;
    out.started = true;
    out.path = formats::pathInFolder(request.programFolder, kJointReportFileName);
    const std::string title = jointReportTitle(request.programFolder, request.projectName,
                                               request.spacer, request.reportMode, request.now);
    if (std::string e = formats::saveFileAtomic(out.path, title); !e.empty()) {
        out.message = e;
        out.summary = e;
        return out;
    }
    out.ok = true;
    // Each acquisition's training in list order on this thread (the loader may fill a window's
    // boxes), then the analyses side by side, then the lines in list order.
    std::vector<PreparedEntry> prepared;
    for (const std::string& entry : request.selectedEntries) {
        if (entry == kJointReportParentEntry)
            continue;
        const std::string folder = formats::pathInFolder(
            formats::pathInFolder(request.programFolder, request.projectName), entry);
        const RectangleTexts rectangle =
            load ? load(folder) : rectangleTextsFromTraining(folder, request.programFolder);
        prepared.push_back(prepareEntry(request.programFolder, request.projectName, entry,
                                        rectangle, request.spacer, request.reportMode,
                                        request.idMarks));
    }
    analyseAll(prepared);
    std::string paths;
    std::string leftOut;
    for (PreparedEntry& e : prepared) {
        appendEntryLine(e);
        paths += e.entry.folder + "\r\n";
        if (!e.entry.written)
            leftOut += e.entry.folder + ": " + e.entry.message + "\r\n";
        out.acquisitions.push_back(std::move(e.entry));
    }
    out.summary = "Report:" + paths;
    if (!leftOut.empty())
        out.summary += "Left out of the report:\r\n" + leftOut;
    return out;
}

} // namespace results
