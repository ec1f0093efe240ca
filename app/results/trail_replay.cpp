#include "app/results/trail_replay.h"

#include "app/results/track_color.h"
#include "app/results/worm_trails_file.h"
#include "formats/numbers.h"
#include "formats/text_lines.h"
#include "formats/training_file.h"

#include <algorithm>

namespace results {

ReplaySetup prepareReplay(const std::string& acqFolder, const RectangleTexts& rectangle,
                          bool singleAnimal) {
    ReplaySetup out;
    if (acqFolder.empty() || !formats::fileExists(formats::trainingPath(acqFolder))) {
        out.message = kTrainingNotFoundMessage;
        return out;
    }
    const ReportSettings settings = reportSettingsFromTexts(
        rectangle.x1, rectangle.x2, rectangle.y1, rectangle.y2, rectangle.plateSize, ";", "1");
    out.plateSizeMm = settings.plateSizeMm;
    out.plateSizeReplaced = settings.plateSizeReplaced;
    if (!settings.ok) {
        out.message = settings.message;
        return out;
    }
    std::string error;
    bool missing = false;
    if (!readWholeFile(formats::pathInFolder(acqFolder, kWormTrailsFileName), out.trailsText, error,
                       &missing)) {
        out.message = missing ? std::string(kTracksNotFoundMessage) : error;
        return out;
    }
    out.settings = {settings.pxPerMmX, settings.pxPerMmY, singleAnimal};
    out.ok = true;
    return out;
}

TrailReplay::TrailReplay(std::string trailsText, const ReplaySettings& settings)
    : m_text(std::make_unique<const std::string>(std::move(trailsText))), m_lines(*m_text),
      m_settings(settings) {
    std::string_view header;
    m_lines.next(header); // the header line
    m_havePending = readRow();
    if (!m_havePending && m_status == Status::Running)
        m_status = Status::Finished;
}

bool TrailReplay::readRow() {
    std::string_view line;
    while (m_lines.next(line)) {
        if (line.find_first_not_of(" \t") == std::string_view::npos)
            continue; // a blank line holds no row
        std::string fault;
        // A row holds nine fields; one with fewer is damaged, not a row of zeros.
        const auto separators = std::count(line.begin(), line.end(), ';');
        if (separators < 8)
            fault = "a row of " + std::to_string(separators + 1) + " fields instead of 9";
        if (!fault.empty() || !parseTrailRow(line, m_pending, fault)) {
            m_status = Status::Failed;
            m_error = kReplayErrorMessage;
            m_detail =
                "worm_trails.csv line " + std::to_string(m_lines.lineNumber()) + ": " + fault;
            return false;
        }
        if (m_settings.singleAnimal)
            m_pending.id = 0;
        return true;
    }
    return false;
}

TrailState TrailReplay::trail(std::int32_t id) const {
    if (id < 0 || static_cast<std::size_t>(id) >= m_trails.size())
        return {};
    return m_trails[static_cast<std::size_t>(id)];
}

std::vector<double> TrailReplay::countedSpeeds() const {
    std::vector<double> speeds;
    speeds.reserve(m_counted.size());
    for (std::int32_t id : m_counted)
        speeds.push_back(m_trails[static_cast<std::size_t>(id)].speedMm);
    return speeds;
}

SpeedHistogram TrailReplay::histogram() const {
    std::vector<double> speeds;
    speeds.reserve(static_cast<std::size_t>(m_maxId) + 1);
    for (std::int32_t id = 0; id <= m_maxId; ++id)
        speeds.push_back(trail(id).speedMm);
    return binSpeeds(speeds, m_maxId);
}

void TrailReplay::summary(ReplayFrame& out, std::int32_t frame) {
    out.summary = true;
    m_freshSum += static_cast<double>(m_freshCount);
    m_freshCount = 0;
    const std::int64_t particles = formats::roundHalfEven(m_freshSum / frame + 0.2);
    out.particleText = std::to_string(particles);
    double sumTravel = 0.0, sumSpeed = 0.0, sumRotation = 0.0;
    for (std::int32_t id : m_counted) { // ascending ids, as a pass over 0 .. maxId sums them
        const TrailState& t = m_trails[static_cast<std::size_t>(id)];
        sumTravel += t.travelMm;
        sumSpeed += t.travelMm / t.frameCount;
        sumRotation += static_cast<double>(t.rotationBits) / t.frameCount;
    }
    const auto n = static_cast<double>(m_counted.size());
    if (m_freshSum > 0.0 && n > 0 && particles > 0) {
        out.distanceText = formatFixed(sumTravel / static_cast<double>(particles), 1);
        out.turningsText = formatFixed(sumRotation / n, 1);
        out.speedText = formatFixed(sumSpeed / n, 2);
    }
}

void TrailReplay::applyRow(const TrailRow& row, ReplayFrame& out) {
    m_maxId = std::max(m_maxId, row.id);
    if (row.lostCount == 0)
        ++m_freshCount;
    const auto idx = static_cast<std::size_t>(row.id);
    if (idx >= m_trails.size())
        m_trails.resize(std::max(idx + 1, m_trails.size() * 2));
    TrailState& t = m_trails[idx];
    const std::int32_t oldX = t.midX, oldY = t.midY;
    const std::int32_t before = t.frameCount;
    bool moving = false;
    applyMotionRule(t, {row.frame, row.x, row.y, row.lostCount, row.shape}, m_settings.pxPerMmX,
                    m_settings.pxPerMmY, MotionVariant::Trails, &moving);
    if (before < kMinListedFrames && t.frameCount >= kMinListedFrames)
        m_counted.insert(std::lower_bound(m_counted.begin(), m_counted.end(), row.id), row.id);
    if (moving) {
        PlotStroke s;
        s.frame = row.frame;
        s.id = row.id;
        s.x1 = t.midX;
        s.y1 = t.midY;
        s.x2 = oldX;
        s.y2 = oldY;
        s.color = TrackColor(row.id);
        out.moves.push_back(s);
    }
}

ReplayFrame TrailReplay::next() {
    ReplayFrame out;
    if (m_status != Status::Running || !m_havePending)
        return out;
    out.frame = m_pending.frame;
    while (m_havePending) {
        const TrailRow row = m_pending;
        m_havePending = readRow();
        const bool last = !m_havePending || m_pending.frame != row.frame;
        // Every row of frame 2 and later recomputes the figures before its own update; within
        // a frame they only grow, so the one before the frame's last row is what stays shown.
        if (last && row.frame > 1)
            summary(out, row.frame);
        applyRow(row, out);
        if (last)
            break;
    }
    if (!m_havePending && m_status == Status::Running)
        m_status = Status::Finished;
    return out;
}

std::string replayBitmapPath(const std::string& acqFolder, std::int32_t frame) {
    return formats::pathInFolder(formats::pathInFolder(acqFolder, kReplayBitmapFolder),
                                 std::string("f").append(std::to_string(frame)).append(".bmp"));
}

PictureExport pictureExportFor(const std::string& acqFolder, const std::string& caption,
                               bool whiteBackground) {
    return {formats::pathInFolder(acqFolder, kExportedPictureName), caption,
            whiteBackground ? 0 : 255 + 256 * 255 + 65536 * 255};
}

} // namespace results
