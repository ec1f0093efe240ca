#include "app/results/joint_report.h"

#include "formats/save_file.h"
#include "formats/text_lines.h"
#include "formats/training_file.h"

#include <cstdio>

namespace results {

namespace {

// Block length of every joint report, and the title's statement of it.
constexpr std::int32_t kJointBlockMinutes = 5;

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

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
        line += names[i];
    }
    return line;
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
    text += quoted("Report File") + sep + quoted(stamp(now)) + "\r\n";
    text +=
        quoted("Folder") + sep + quoted(formats::pathInFolder(programFolder, projectName)) + "\r\n";
    text +=
        quoted("Acquisition Lapse[m]") + sep + quoted(std::to_string(kJointBlockMinutes)) + "\r\n";
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

JointReportEntry
addAcquisitionToJointReport(const std::string& programFolder, const std::string& projectName,
                            const std::string& entry, const RectangleTexts& rectangle,
                            const std::string& separator, int reportMode, bool idMarks) {
    JointReportEntry out;
    out.entry = entry;
    out.folder = formats::pathInFolder(formats::pathInFolder(programFolder, projectName), entry);
    const ReportSettings settings =
        reportSettingsFromTexts(rectangle.x1, rectangle.x2, rectangle.y1, rectangle.y2,
                                rectangle.plateSize, separator, std::to_string(kJointBlockMinutes));
    out.plateSizeReplaced = settings.plateSizeReplaced;
    if (!settings.ok) {
        out.message = settings.message;
        return out;
    }
    AnalyzeTrailsParams p;
    p.acqFolder = out.folder;
    p.blockMinutes = kJointBlockMinutes;
    p.separator = settings.separator;
    p.pxPerMmX = settings.pxPerMmX;
    p.pxPerMmY = settings.pxPerMmY;
    p.trailNumbering = idMarks ? 0 : -1;
    p.plateSizeMm = settings.plateSizeMm;
    p.reportMode = reportMode == kJointReportFull ? kJointReportFull : kJointReportShort;
    p.programFolder = programFolder;
    const AnalyzeTrailsResult r = AnalyzeTrails(p);
    if (!r.ok) {
        out.message = r.message;
        return out;
    }
    out.written = true;
    out.jointLine = r.jointLine;
    return out;
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
    std::string paths;
    std::string leftOut;
    for (const std::string& entry : request.selectedEntries) {
        if (entry == kJointReportParentEntry)
            continue;
        const std::string folder = formats::pathInFolder(
            formats::pathInFolder(request.programFolder, request.projectName), entry);
        const RectangleTexts rectangle =
            load ? load(folder) : rectangleTextsFromTraining(folder, request.programFolder);
        JointReportEntry e = addAcquisitionToJointReport(request.programFolder, request.projectName,
                                                         entry, rectangle, request.spacer,
                                                         request.reportMode, request.idMarks);
        paths += e.folder + "\r\n";
        if (!e.written)
            leftOut += e.folder + ": " + e.message + "\r\n";
        out.acquisitions.push_back(std::move(e));
    }
    out.summary = "Report:" + paths;
    if (!leftOut.empty())
        out.summary += "Left out of the report:\r\n" + leftOut;
    return out;
}

} // namespace results
