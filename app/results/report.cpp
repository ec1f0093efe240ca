#include "app/results/report.h"

#include "app/results/worm_trails_file.h"
#include "formats/numbers.h"
#include "formats/save_file.h"
#include "formats/text_lines.h"

#include <QDate>
#include <QTime>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace results {

namespace {

const char kEmptyAreaMessage[] = "Analysis area is empty: please check the analysis rectangle";

std::string twoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

std::string fourDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d", value);
    return buffer;
}

// The last component of a folder path; separators at the end are not part of it.
std::string lastComponent(std::string folder) {
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    const std::size_t cut = folder.find_last_of("/\\");
    return cut == std::string::npos ? folder : folder.substr(cut + 1);
}

// Characters `from` to `to` (1-based, inclusive); the part beyond the end is empty.
std::string charsAt(const std::string& text, std::size_t from, std::size_t to) {
    if (from > text.size())
        return {};
    return text.substr(from - 1, to - from + 1);
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Zero (an empty analysis rectangle) has no defined result; a negative factor, from a rectangle
// typed with its corners swapped, measures like its size.
bool usableFactor(double value) {
    return value != 0.0 && std::isfinite(value);
}

} // namespace

ReportTime reportTimeFrom(const QDateTime& time) {
    const QDate d = time.date();
    const QTime t = time.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

std::string AcquisitionNameFromFolder(const std::string& folder) {
    const std::string c = lastComponent(folder);
    return c.size() >= 15 ? c.substr(14) : std::string();
}

std::string AcquisitionDateFromFolder(const std::string& folder) {
    const std::string c = lastComponent(folder);
    return charsAt(c, 1, 4) + "-" + charsAt(c, 5, 6) + "-" + charsAt(c, 7, 8);
}

std::string AcquisitionTimeFromFolder(const std::string& folder) {
    const std::string c = lastComponent(folder);
    return charsAt(c, 10, 11) + ":" + charsAt(c, 12, 13);
}

std::string reportFilePath(const std::string& acqFolder, const ReportTime& now) {
    const std::string stem = formats::pathInFolder(
        acqFolder, "report" + fourDigits(now.year) + twoDigits(now.month) + twoDigits(now.day) +
                       "_" + twoDigits(now.hour) + twoDigits(now.minute) + twoDigits(now.second));
    const std::string plain = stem + ".csv";
    if (formats::fileExists(plain))
        return stem + "b.csv";
    return plain;
}

std::string formatReportFile(const std::string& acqFolder, const std::string& sep,
                             double plateSizeMm, std::int32_t blockMinutes, const ReportTime& now,
                             const std::vector<BlockStats>& blocks,
                             const std::string& particleTrails) {
    std::string text;
    text += quoted("Report File") + "\r\n";
    text +=
        quoted(fourDigits(now.year) + "/" + twoDigits(now.month) + "/" + twoDigits(now.day) + " " +
               twoDigits(now.hour) + ":" + twoDigits(now.minute) + ":" + twoDigits(now.second)) +
        "\r\n";
    text += quoted(acqFolder) + "\r\n";
    text += quoted("Analysis area[mm]") + sep + formatFixed(plateSizeMm, 1) + "\r\n";
    text += "\r\n";
    text += "Time" + sep + "#Particles" + sep + "Average_speed[mm/s]" + sep +
            "Travelled_Distance[mm/part]" + sep + "Motility_Score" + sep + "Rotation_index\r\n";
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const BlockStats& s = blocks[b];
        const std::int64_t end = static_cast<std::int64_t>(b + 1) * blockMinutes;
        text += std::to_string(end) + sep + std::to_string(s.particles) + sep +
                formatFixed(s.avgSpeed, 3) + sep + formatFixed(s.distancePerParticle, 2) + sep +
                formatFixed(1.0 - s.stillFraction, 2) + sep + formatFixed(s.rotationIndex, 2) +
                "\r\n";
    }
    text += "\r\n\r\n";
    text += particleTrails;
    return text;
}

std::string appendJointReportLine(const std::string& programFolder, const std::string& line,
                                  std::string& path) {
    path = formats::pathInFolder(programFolder, kJointReportFileName);
    return formats::appendToFile(path, line + "\r\n");
}

std::string jointReportField(const std::string& text, const std::string& separator,
                             bool alwaysQuoted) {
    const bool enclose = alwaysQuoted || text.find_first_of("\"\r\n") != std::string::npos ||
                         (!separator.empty() && text.find(separator) != std::string::npos);
    if (!enclose)
        return text;
    std::string field = "\"";
    for (const char c : text) {
        if (c == '"')
            field += '"';
        field += c;
    }
    field += '"';
    return field;
}

std::string formatJointReportLine(const std::string& acqFolder, const std::string& sep,
                                  int reportMode, const BlockStats& b) {
    std::string line = jointReportField(AcquisitionNameFromFolder(acqFolder), sep, true) + sep +
                       jointReportField(AcquisitionDateFromFolder(acqFolder), sep, true) + sep +
                       jointReportField(AcquisitionTimeFromFolder(acqFolder), sep, true) + sep;
    std::vector<std::string> fields;
    if (reportMode == kJointReportFull) {
        fields = {std::string(" ").append(std::to_string(b.particles)), formatFixed(b.avgSpeed, 3),
                  formatFixed(b.distancePerParticle, 2), formatFixed(1.0 - b.stillFraction, 2),
                  formatFixed(b.rotationIndex, 2)};
    } else {
        fields = {std::to_string(b.particles), formatFixed(b.avgSpeed, 3),
                  formatFixed(1.0 - b.stillFraction, 2)};
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line.append(sep);
        line.append(jointReportField(fields[i], sep, false));
    }
    return line;
}

AnalyzeTrailsResult AnalyzeTrails(const AnalyzeTrailsParams& p) {
    AnalyzeTrailsResult out;
    out.blockMinutes = p.blockMinutes < 1 ? 1 : p.blockMinutes;
    const std::string sep = p.separator.empty() ? std::string(";") : p.separator;

    if (p.acqFolder.empty()) {
        out.message = "No acquisition folder chosen";
        return out;
    }
    const std::string trailsPath = formats::pathInFolder(p.acqFolder, kWormTrailsFileName);
    LinePieceReader trails;
    std::string error;
    bool missing = false;
    if (!trails.open(trailsPath, error, &missing)) {
        out.message = missing ? std::string(kTracksNotFoundMessage) : error;
        return out;
    }
    if (!usableFactor(p.pxPerMmX) || !usableFactor(p.pxPerMmY)) {
        out.message = kEmptyAreaMessage;
        return out;
    }
    const bool joint = p.reportMode == kJointReportShort || p.reportMode == kJointReportFull;
    if (joint && p.programFolder.empty()) {
        out.message = "No program folder for the joint report";
        return out;
    }

    TrailAnalysisParams ap;
    ap.blockMinutes = out.blockMinutes;
    ap.separator = sep;
    ap.pxPerMmX = p.pxPerMmX;
    ap.pxPerMmY = p.pxPerMmY;
    ap.trailNumbering = p.trailNumbering;
    TrailAnalysisResult analysis = analyzeTrailsFile(trails, ap);
    if (!analysis.ok) {
        out.message = analysis.error;
        return out;
    }

    out.particleTrailsPath = formats::pathInFolder(p.acqFolder, kParticleTrailsFileName);
    if (std::string e = formats::saveFileAtomic(out.particleTrailsPath, analysis.particleTrails);
        !e.empty()) {
        out.message = e;
        return out;
    }
    out.blocks = analysis.blocks;

    if (p.reportMode == kReportFile) {
        const std::string path = reportFilePath(p.acqFolder, p.now);
        const std::string text = formatReportFile(p.acqFolder, sep, p.plateSizeMm, out.blockMinutes,
                                                  p.now, analysis.blocks, analysis.particleTrails);
        if (std::string e = formats::saveFileAtomic(path, text); !e.empty()) {
            out.message = e;
            return out;
        }
        out.reportPath = path;
    } else if (joint) {
        out.jointLine =
            formatJointReportLine(p.acqFolder, sep, p.reportMode, analysis.blocks.front());
        if (std::string e =
                appendJointReportLine(p.programFolder, out.jointLine, out.jointReportPath);
            !e.empty()) {
            out.message = e;
            out.jointLine.clear();
            return out;
        }
    }
    out.ok = true;
    return out;
}

ReportSettings reportSettingsFromTexts(const std::string& x1, const std::string& x2,
                                       const std::string& y1, const std::string& y2,
                                       const std::string& plateSize, const std::string& spacer,
                                       const std::string& blockMinutes) {
    ReportSettings s;
    std::int32_t rect[4] = {};
    const std::string* texts[4] = {&x1, &x2, &y1, &y2};
    for (int i = 0; i < 4; ++i) {
        const std::optional<std::int16_t> v = formats::toInt16(formats::leadingNumber(*texts[i]));
        if (!v) {
            s.message = "Analysis area value " + *texts[i] +
                        " is out of range: please check the analysis rectangle";
            return s;
        }
        rect[i] = *v;
    }
    double size = formats::leadingNumber(plateSize);
    if (!(size >= 10.0 && size <= 60.0)) {
        size = 35.0;
        s.plateSizeReplaced = true;
    }
    s.plateSizeMm = size;
    s.pxPerMmX = (rect[1] - rect[0]) / size;
    s.pxPerMmY = (rect[3] - rect[2]) / size;
    s.separator = spacer.empty() ? std::string(";") : spacer;
    const std::optional<std::int16_t> bin = formats::toInt16(formats::leadingNumber(blockMinutes));
    if (!bin) {
        s.message = "Invalid BIN_Size value";
        return s;
    }
    s.blockMinutes = *bin;
    if (s.blockMinutes < 1) {
        s.blockMinutes = 1;
        s.blockMinutesReplaced = true;
    }
    if (!usableFactor(s.pxPerMmX) || !usableFactor(s.pxPerMmY)) {
        s.message = kEmptyAreaMessage;
        return s;
    }
    s.ok = true;
    return s;
}

} // namespace results
