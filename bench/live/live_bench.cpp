// The live pipeline over 300 simulated frames of 20 worms: for every frame the converter and
// the finder run as programs (waited on, one after the other, as the worst case of a tick),
// then the acquisition window's own work of a tick (frame listing, block reader, live tracker,
// labels, trails rows, frame picture and track drawing). Prints the throughput, the time per
// frame, Vermalux's own time per tick, and detection and tracking quality against the true
// worm centres of the plates.
//
//   live_bench [frames] [worms]

#include "app/acquisition/run_files.h"
#include "app/results/live_block_reader.h"
#include "app/results/live_labels.h"
#include "app/results/live_tracker.h"
#include "app/results/track_color.h"
#include "app/widgets/picture_box.h"
#include "formats/position_file.h"
#include "formats/training_file.h"
#include "platform/process_launcher.h"
#include "tools/devicesim/jpeg_writer.h"
#include "tools/plate/plate.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <tuple>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Stats {
    std::vector<double> values;
    double mean() const {
        double s = 0;
        for (double v : values)
            s += v;
        return values.empty() ? 0 : s / values.size();
    }
    double max() const {
        return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
    }
    double percentile(double p) const {
        if (values.empty())
            return 0;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v[static_cast<std::size_t>(std::min<double>(v.size() - 1, p * v.size()))];
    }
};

// Greedy nearest pairs within `limit` px; returns the pairs (truth index, detection index).
std::vector<std::pair<int, int>> matchPairs(const std::vector<plate::WormTruth>& truths,
                                            const std::vector<std::pair<double, double>>& found,
                                            double limit) {
    std::vector<std::tuple<double, int, int>> pairs;
    for (std::size_t t = 0; t < truths.size(); ++t)
        for (std::size_t d = 0; d < found.size(); ++d) {
            const double dist =
                std::hypot(found[d].first - truths[t].x, found[d].second - truths[t].y);
            if (dist <= limit)
                pairs.emplace_back(dist, static_cast<int>(t), static_cast<int>(d));
        }
    std::sort(pairs.begin(), pairs.end());
    std::vector<bool> tu(truths.size()), du(found.size());
    std::vector<std::pair<int, int>> out;
    for (const auto& [dist, t, d] : pairs) {
        if (tu[static_cast<std::size_t>(t)] || du[static_cast<std::size_t>(d)])
            continue;
        tu[static_cast<std::size_t>(t)] = du[static_cast<std::size_t>(d)] = true;
        out.emplace_back(t, d);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(2, std::atoi(argv[1])) : 300;
    const int worms = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The report goes to the original standard output; the programs' chatter to /dev/null.
    FILE* report = fdopen(::dup(1), "w");
    if (!std::freopen("/dev/null", "w", stdout))
        return 1;

    QTemporaryDir work(QStringLiteral("/tmp/vxlivebenchXXXXXX"));
    const QString run = work.filePath("default/20260101_1000_bench");
    QDir().mkpath(run + "/img");
    // The default training, as a newcomer's first run against the simulator uses it.
    formats::writeTrainingFile(run.toStdString(), formats::TrainingFile::defaults());
    const QString options = QString::fromStdString(formats::ReadTrainingOptions(run.toStdString()));
    const double pxPerMm = (1170.0 - 335.0) / 35.0;
    const double maxTravel = 31.25;
    const QString address = QStringLiteral("127.0.0.1:8080");
    const QString prefix = acquisition::framePrefix(address);
    const QString programFolder = QFileInfo(QStringLiteral(SIRREX_PATH)).path();

    platform::ProcessLauncher launcher;
    ui::PictureBox picture1;
    ui::PictureBox picturePost;
    picturePost.setScale(-0.15 * 835, -0.15 * 820, 1.15 * 835, 1.15 * 820);
    results::LiveTrackerState tracker;
    tracker.reset(pxPerMm, pxPerMm);

    plate::PlateOptions plateOptions;
    plateOptions.worms = worms;
    plateOptions.seed = 1;
    plateOptions.brightness = 30 * 2 / 5; // the lamp value 30 of light level 5

    Stats frameMs, helpersMs, tickMs;
    int truths = 0, detections = 0, matched = 0;
    // Per true worm: frames seen, and per track id the frames the track was on it.
    std::vector<int> wormFrames(static_cast<std::size_t>(worms), 0);
    std::vector<std::map<int, int>> wormTracks(static_cast<std::size_t>(worms));
    std::int32_t jpgCursor = 0, pgmCursor = 0;
    std::map<std::int32_t, std::vector<plate::WormTruth>> truthAt; // per frame number

    const auto benchStart = Clock::now();
    double loggerMs = 0;
    for (int t = 1; t <= frames; ++t) {
        // The logger's part (not timed): the frame of second t.
        const auto loggerStart = Clock::now();
        const plate::PlateFrame frame = plate::drawPlate(plateOptions, t);
        const std::string jpeg = devicesim::encodeJpeg(frame.pixels, frame.width, frame.height, 85);
        const QString jpg = acquisition::framePath(run, address, t, "jpg");
        {
            QFile out(jpg);
            out.open(QIODevice::WriteOnly);
            out.write(jpeg.data(), static_cast<qint64>(jpeg.size()));
        }
        truthAt[t] = frame.worms;
        loggerMs += msSince(loggerStart);

        const auto start = Clock::now();
        // Converter and finder of the frame.
        const std::int32_t n =
            acquisition::FindNextFrameIndex(run + "/img", prefix, jpgCursor, "jpg");
        const auto dravel = acquisition::dravelCommand(
            programFolder, acquisition::framePath(run, address, n, "pgm"), jpg);
        launcher.run(dravel.program, dravel.arguments, programFolder);
        jpgCursor = n;
        const std::int32_t p =
            acquisition::FindNextFrameIndex(run + "/img", prefix, pgmCursor, "pgm");
        const auto sirrex = acquisition::sirrexCommand(
            programFolder, acquisition::framePath(run, address, p, "pgm"), options, false, p);
        launcher.run(sirrex.program, sirrex.arguments, programFolder);
        pgmCursor = p;
        const double helpers = msSince(start);

        // The window's tick.
        const auto tickStart = Clock::now();
        const results::DetectionBlock block =
            results::ReadWormBlock(run.toStdString(), tracker.reader);
        if (block.hasBlock()) {
            picture1.loadPicture(acquisition::framePath(run, address, block.timeMark, "jpg"));
            const auto result = results::trackLiveBlock(
                tracker, block.timeMark, results::liveDetections(block), maxTravel, 335, 215,
                [](results::LiveTrackerState& s) { (void)results::updateLiveLabels(s); });
            QFile rows(run + "/worm_trails.csv");
            rows.open(result.firstBlock ? QIODevice::WriteOnly | QIODevice::Truncate
                                        : QIODevice::WriteOnly | QIODevice::Append);
            rows.write(result.rows.data(), static_cast<qint64>(result.rows.size()));
            rows.close();
            for (const auto& s : result.trailMap)
                picturePost.line(s.x1, s.y1, s.x2, s.y2, results::TrackColor(s.id));
            for (const auto& s : result.recentPath)
                picture1.line(s.x1, s.y1, s.x2, s.y2, results::TrackColor(s.id));
            QFile::remove(acquisition::framePath(run, address, block.timeMark, "pgm"));
        }
        const double tick = msSince(tickStart);
        helpersMs.values.push_back(helpers);
        tickMs.values.push_back(tick);
        frameMs.values.push_back(helpers + tick);

        if (!block.hasBlock())
            continue;
        // Detection quality of the frame the block came from: its time mark is the frame number
        // in the frame's name, and the truth is kept by that number.
        const std::vector<plate::WormTruth>& worms = truthAt[block.timeMark];
        std::vector<std::pair<double, double>> found;
        for (int i = 0; i < block.count; ++i)
            if (block.x[static_cast<std::size_t>(i)] > 0)
                found.emplace_back(block.x[static_cast<std::size_t>(i)],
                                   block.y[static_cast<std::size_t>(i)]);
        truths += static_cast<int>(worms.size());
        detections += static_cast<int>(found.size());
        matched += static_cast<int>(matchPairs(worms, found, 10.0).size());
        // Tracking: which live track (that took a detection in this block) is on each worm.
        std::vector<std::pair<double, double>> trackPos;
        std::vector<int> trackIds;
        for (std::int32_t k = 0; k < tracker.trackCount; ++k) {
            const auto& track = tracker.tracks[static_cast<std::size_t>(k)];
            if (track.lostCount == 0 && track.last.x > 0) {
                trackPos.emplace_back(track.last.x, track.last.y);
                trackIds.push_back(k);
            }
        }
        for (const auto& [w, d] : matchPairs(worms, trackPos, 10.0))
            ++wormTracks[static_cast<std::size_t>(worms[static_cast<std::size_t>(w)].id)]
                        [trackIds[static_cast<std::size_t>(d)]];
        for (const auto& w : worms)
            ++wormFrames[static_cast<std::size_t>(w.id)];
    }
    const double wallMs = msSince(benchStart) - loggerMs;

    int followed = 0;
    for (int w = 0; w < worms; ++w) {
        int best = 0;
        for (const auto& [id, count] : wormTracks[static_cast<std::size_t>(w)])
            best = std::max(best, count);
        if (std::getenv("LIVE_BENCH_DETAIL")) {
            std::fprintf(report, "  worm %d: %d frames;", w,
                         wormFrames[static_cast<std::size_t>(w)]);
            for (const auto& [id, count] : wormTracks[static_cast<std::size_t>(w)])
                std::fprintf(report, " %d:%d", id, count);
            std::fprintf(report, "\n");
        }
        if (wormFrames[static_cast<std::size_t>(w)] > 0 &&
            best >= 0.8 * wormFrames[static_cast<std::size_t>(w)])
            ++followed;
    }

    // Tracking again over the stored position file with other travel limits (tracking only).
    auto followedWith = [&](double travel, int& opened) {
        results::LiveTrackerState again;
        again.reset(pxPerMm, pxPerMm);
        std::vector<int> framesOf(static_cast<std::size_t>(worms), 0);
        std::vector<std::map<int, int>> tracksOf(static_cast<std::size_t>(worms));
        for (;;) {
            const results::DetectionBlock b =
                results::ReadWormBlock(run.toStdString(), again.reader);
            if (!b.hasBlock())
                break;
            results::trackLiveBlock(
                again, b.timeMark, results::liveDetections(b), travel, 335, 215,
                [](results::LiveTrackerState& st) { (void)results::updateLiveLabels(st); });
            const auto& truth = truthAt[b.timeMark];
            std::vector<std::pair<double, double>> pos;
            std::vector<int> ids;
            for (std::int32_t k = 0; k < again.trackCount; ++k) {
                const auto& tr = again.tracks[static_cast<std::size_t>(k)];
                if (tr.lostCount == 0 && tr.last.x > 0) {
                    pos.emplace_back(tr.last.x, tr.last.y);
                    ids.push_back(k);
                }
            }
            for (const auto& [w, d] : matchPairs(truth, pos, 10.0))
                ++tracksOf[static_cast<std::size_t>(truth[static_cast<std::size_t>(w)].id)]
                          [ids[static_cast<std::size_t>(d)]];
            for (const auto& w : truth)
                ++framesOf[static_cast<std::size_t>(w.id)];
        }
        int count = 0;
        for (int w = 0; w < worms; ++w) {
            int best = 0;
            for (const auto& [id, c] : tracksOf[static_cast<std::size_t>(w)])
                best = std::max(best, c);
            if (framesOf[static_cast<std::size_t>(w)] > 0 &&
                best >= 0.8 * framesOf[static_cast<std::size_t>(w)])
                ++count;
        }
        opened = again.trackCount;
        return count;
    };

    std::fprintf(report,
                 "live pipeline: %d frames, %d worms, converter + finder + tick per frame\n",
                 frames, worms);
    std::fprintf(report, "  frames processed per second of wall time: %.1f\n",
                 frames / (wallMs / 1000.0));
    std::fprintf(report, "  time per frame (ms): mean %.1f, 95%% %.1f, max %.1f (budget 100)\n",
                 frameMs.mean(), frameMs.percentile(0.95), frameMs.max());
    std::fprintf(report, "  converter + finder per frame (ms): mean %.1f, max %.1f\n",
                 helpersMs.mean(), helpersMs.max());
    std::fprintf(report, "  Vermalux tick per frame (ms): mean %.2f, 95%% %.2f, max %.2f\n",
                 tickMs.mean(), tickMs.percentile(0.95), tickMs.max());
    std::fprintf(report,
                 "  detection: %d true worms, %d detections, %d within 10 px: recall %.3f, "
                 "precision %.3f\n",
                 truths, detections, matched, truths ? double(matched) / truths : 0.0,
                 detections ? double(matched) / detections : 0.0);
    std::fprintf(report,
                 "  tracking: %d of %d worms followed by one trail over >= 80%% of their "
                 "frames (%.0f%%); %d tracks opened\n",
                 followed, worms, 100.0 * followed / worms, tracker.trackCount);
    {
        double sum = 0, top = 0;
        int count = 0;
        for (int t = 2; t <= frames; ++t)
            for (std::size_t w = 0; w < truthAt[t].size(); ++w) {
                const double d = std::hypot(truthAt[t][w].x - truthAt[t - 1][w].x,
                                            truthAt[t][w].y - truthAt[t - 1][w].y);
                sum += d;
                top = std::max(top, d);
                ++count;
            }
        std::fprintf(report, "  true worm steps per frame (px): mean %.1f, max %.1f\n",
                     count ? sum / count : 0.0, top);
    }
    {
        // The linker alone, fed the true centres as detections.
        results::LiveTrackerState ideal;
        ideal.reset(pxPerMm, pxPerMm);
        std::vector<std::map<int, int>> tracksOf(static_cast<std::size_t>(worms));
        for (int t = 1; t <= frames; ++t) {
            std::vector<results::LiveDetection> dets;
            for (const auto& w : truthAt[t]) {
                results::LiveDetection d;
                d.x = static_cast<std::int32_t>(std::lround(w.x));
                d.y = static_cast<std::int32_t>(std::lround(w.y));
                dets.push_back(d);
            }
            ideal.advanceBlock();
            results::trackLiveBlock(ideal, t, dets, maxTravel, 335, 215,
                                    [](results::LiveTrackerState&) {});
            for (std::int32_t k = 0; k < ideal.trackCount; ++k) {
                const auto& tr = ideal.tracks[static_cast<std::size_t>(k)];
                if (tr.lostCount != 0)
                    continue;
                for (const auto& w : truthAt[t])
                    if (std::hypot(w.x - tr.last.x, w.y - tr.last.y) < 1.0)
                        ++tracksOf[static_cast<std::size_t>(w.id)][k];
            }
        }
        int count = 0;
        for (int w = 0; w < worms; ++w) {
            int best = 0;
            for (const auto& [id, c] : tracksOf[static_cast<std::size_t>(w)])
                best = std::max(best, c);
            if (best >= 0.8 * frames)
                ++count;
        }
        std::fprintf(report,
                     "  linker alone on the true centres: %d of %d worms followed (%d tracks)\n",
                     count, worms, ideal.trackCount);
    }
    for (double travel : {15.0, 10.0}) {
        int opened = 0;
        const int f = followedWith(travel, opened);
        std::fprintf(report,
                     "  tracking with a maximum travel of %.0f px instead of %.2f: %d of %d "
                     "(%.0f%%); %d tracks opened\n",
                     travel, maxTravel, f, worms, 100.0 * f / worms, opened);
    }
    std::fclose(report);
    return 0;
}
