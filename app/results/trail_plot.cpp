#include "app/results/trail_plot.h"

#include "app/results/track_color.h"
#include "app/results/worm_trails_file.h"
#include "formats/frame_names.h"
#include "formats/text_lines.h"

#include <algorithm>
#include <cstdint>

namespace results {

namespace {

struct PlotPoint {
    std::int32_t frame = 0;
    std::int32_t id = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
};

} // namespace

namespace {

std::size_t strokesBefore(const std::vector<PlotStroke>& strokes, std::int32_t frame) {
    return static_cast<std::size_t>(
        std::lower_bound(strokes.begin(), strokes.end(), frame,
                         [](const PlotStroke& s, std::int32_t f) { return s.frame < f; }) -
        strokes.begin());
}

} // namespace

std::span<const PlotStroke> TrailPlot::strokesOfFrame(std::int32_t k) const {
    if (k < 1)
        return {};
    const std::size_t from = strokesBefore(strokes, k);
    const std::size_t to = k == INT32_MAX ? strokes.size() : strokesBefore(strokes, k + 1);
    return std::span<const PlotStroke>(strokes).subspan(from, to - from);
}

std::span<const PlotStroke> TrailPlot::strokesUpTo(std::int32_t f) const {
    if (f < 1)
        return {};
    const std::size_t to = f == INT32_MAX ? strokes.size() : strokesBefore(strokes, f + 1);
    return std::span<const PlotStroke>(strokes).first(to);
}

std::vector<PlotLabel> TrailPlot::labelsAt(std::int32_t f) const {
    std::vector<PlotLabel> out;
    for (const LabelFrom& l : labels)
        if (l.fromFrame <= f)
            out.push_back(l.label);
    return out;
}

TrailPlot buildTrailPlot(const std::string& trailsText, bool singleAnimal) {
    TrailPlot plot;
    std::vector<PlotPoint> points;
    {
        WormTrailsRead read = parseWormTrailsText(trailsText);
        if (!read.ok()) {
            plot.message = read.error;
            return plot;
        }
        points.reserve(read.rows.size());
        for (const WormTrailRow& r : read.rows) {
            if (r.frame < 0 || r.frame > kMaxPlotFrame) {
                plot.message = "worm_trails.csv: frame " + std::to_string(r.frame) +
                               " outside 0 to " + std::to_string(kMaxPlotFrame);
                return plot;
            }
            points.push_back({r.frame, singleAnimal ? 0 : r.id, r.x, r.y});
        }
    }
    // By frame and id; of the rows of one frame and id the last one in the file counts.
    std::stable_sort(points.begin(), points.end(), [](const PlotPoint& a, const PlotPoint& b) {
        return a.frame != b.frame ? a.frame < b.frame : a.id < b.id;
    });
    std::vector<PlotPoint> table;
    table.reserve(points.size());
    for (const PlotPoint& p : points) {
        if (!table.empty() && table.back().frame == p.frame && table.back().id == p.id)
            table.back() = p;
        else
            table.push_back(p);
        plot.maxFrame = std::max(plot.maxFrame, p.frame);
        plot.maxId = std::max(plot.maxId, p.id);
    }
    points.clear();
    points.shrink_to_fit();
    plot.frames.push_back(0);
    for (const PlotPoint& p : table)
        if (p.frame != plot.frames.back())
            plot.frames.push_back(p.frame);

    plot.strokes.reserve(table.size());
    std::vector<std::int32_t> firstFrame(static_cast<std::size_t>(plot.maxId) + 1, -1);
    std::vector<std::int32_t> segments(static_cast<std::size_t>(plot.maxId) + 1, 0);
    std::vector<std::int32_t> labelFrom(static_cast<std::size_t>(plot.maxId) + 1, -1);
    std::vector<PlotPoint> firstPoint(static_cast<std::size_t>(plot.maxId) + 1);

    // Walk the table frame by frame, keeping the previous frame's points beside.
    std::size_t prevBegin = 0, prevEnd = 0; // points of frame k - 1
    std::size_t i = 0;
    while (i < table.size() && table[i].frame == 0)
        ++i;
    prevEnd = i;
    std::int32_t prevFrame = 0;
    while (i < table.size()) {
        const std::int32_t k = table[i].frame;
        std::size_t end = i;
        while (end < table.size() && table[end].frame == k)
            ++end;
        const bool adjacent = prevFrame == k - 1;
        std::size_t j = prevBegin;
        for (std::size_t n = i; n < end; ++n) {
            const PlotPoint& p = table[n];
            const auto idx = static_cast<std::size_t>(p.id);
            PlotStroke s;
            s.frame = k;
            s.id = p.id;
            s.color = TrackColor(p.id);
            bool linked = false;
            if (adjacent) {
                while (j < prevEnd && table[j].id < p.id)
                    ++j;
                if (j < prevEnd && table[j].id == p.id) {
                    linked = true;
                    s.x1 = table[j].x;
                    s.y1 = table[j].y;
                    s.x2 = p.x;
                    s.y2 = p.y;
                }
            }
            if (linked) {
                if (firstFrame[idx] < 0) {
                    firstFrame[idx] = k;
                    firstPoint[idx] = p;
                }
                if (++segments[idx] == kPlotLabelSegments)
                    labelFrom[idx] = k;
            } else {
                s.dot = true;
                s.x1 = p.x;
                s.y1 = p.y;
                s.x2 = p.x + 1;
                s.y2 = p.y + 1;
            }
            plot.strokes.push_back(s);
        }
        prevBegin = i;
        prevEnd = end;
        prevFrame = k;
        i = end;
    }

    for (std::int32_t id = 0; id <= plot.maxId; ++id) {
        const auto idx = static_cast<std::size_t>(id);
        if (labelFrom[idx] < 0)
            continue;
        TrailPlot::LabelFrom l;
        l.fromFrame = labelFrom[idx];
        l.label = {id, firstPoint[idx].x, firstPoint[idx].y, TrackColor(id), std::to_string(id)};
        plot.labels.push_back(std::move(l));
    }
    plot.ok = true;
    return plot;
}

TrailPlot loadTrailPlot(const std::string& acqFolder, bool singleAnimal) {
    TrailPlot plot;
    std::string text, error;
    bool missing = false;
    if (acqFolder.empty() || !readWholeFile(formats::pathInFolder(acqFolder, kWormTrailsFileName),
                                            text, error, &missing)) {
        plot.missing = acqFolder.empty() || missing;
        plot.message = plot.missing ? std::string(kTrackFileNotFoundMessage) : error;
        return plot;
    }
    return buildTrailPlot(text, singleAnimal);
}

PlotFrame plotFrame(const TrailPlot& plot, std::int32_t frame, const PlotOptions& options) {
    PlotFrame out;
    out.frame = frame;
    out.imagePath = formats::pathInFolder(formats::pathInFolder(options.acqFolder, "img"),
                                          formats::frameImageFile(options.deviceAddress, frame));
    if (!formats::fileExists(out.imagePath))
        return out;
    out.drawn = true;
    out.showImage = !options.whiteBackground;
    out.strokes = plot.strokesUpTo(frame);
    if (options.idMarks)
        out.labels = plot.labelsAt(frame);
    return out;
}

} // namespace results
