// Trail analysis of a day-long run (computation apart from file input), reading the trails file,
// the live reader stepping through a day's position file, the stored tracker over a batch, and
// the result commands: replay and plot of a day, the joint report over 50 day-long acquisitions
// (goal: at most 1.3 times the time to just read their trails files) against just reading them.

#include "app/results/joint_report.h"
#include "app/results/live_block_reader.h"
#include "app/results/report.h"
#include "app/results/stored_tracker.h"
#include "app/results/trail_metrics.h"
#include "app/results/trail_plot.h"
#include "app/results/trail_replay.h"
#include "app/results/worm_trails_file.h"
#include "formats/position_file.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// 20 trails crawling in circles, one row per trail and second, over `frames` seconds.
std::string dayOfTrails(int frames) {
    std::string text = std::string(results::kWormTrailsHeader) + "\r\n";
    for (int f = 0; f < frames; ++f) {
        for (int id = 0; id < 20; ++id) {
            results::WormTrailRow r;
            r.frame = f;
            r.id = id;
            r.x = 400 + 40 * id + static_cast<int>(30 * std::cos(f * 0.01 + id));
            r.y = 600 + static_cast<int>(30 * std::sin(f * 0.01 + id));
            r.pixels = 50;
            r.xSize = 8;
            r.ySize = 6;
            r.shape = 0x0F0F + id;
            text += results::formatWormTrailRow(r) + "\r\n";
        }
    }
    return text;
}

void BM_AnalyzeDayOfTrails(benchmark::State& state) {
    const std::string text = dayOfTrails(static_cast<int>(state.range(0)));
    results::TrailAnalysisParams p;
    p.blockMinutes = 5;
    p.pxPerMmX = p.pxPerMmY = 24;
    for (auto _ : state) {
        results::TrailAnalysisResult r = results::analyzeTrailsText(text, p);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 20);
}
BENCHMARK(BM_AnalyzeDayOfTrails)->Arg(300)->Arg(86400)->Unit(benchmark::kMillisecond);

void BM_ReadTrailsFile(benchmark::State& state) {
    const std::string folder = std::filesystem::temp_directory_path() / "vx_results_bench";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/worm_trails.csv";
    std::ofstream(path, std::ios::binary) << dayOfTrails(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::string content, error;
        results::readWholeFile(path, content, error);
        benchmark::DoNotOptimize(content);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ReadTrailsFile)->Arg(86400)->Unit(benchmark::kMillisecond);

void BM_LiveReaderDayOfBlocks(benchmark::State& state) {
    const std::string folder = std::filesystem::temp_directory_path() / "vx_results_bench_live";
    std::filesystem::create_directories(folder);
    {
        std::ofstream out(folder + "/xy_worms.bin", std::ios::binary);
        std::vector<formats::WormRecord> records(20);
        for (int i = 0; i < 20; ++i) {
            records[static_cast<std::size_t>(i)].number = static_cast<std::uint8_t>(i + 1);
            records[static_cast<std::size_t>(i)].x = static_cast<std::uint16_t>(400 + 40 * i);
            records[static_cast<std::size_t>(i)].y = 600;
        }
        for (int t = 0; t < state.range(0); ++t) {
            const auto b = formats::encodeBlock(t, records, t == 0);
            out.write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
        }
    }
    for (auto _ : state) {
        results::LiveReaderState s;
        for (int t = 0; t < state.range(0); ++t)
            benchmark::DoNotOptimize(results::ReadWormBlock(folder, s));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LiveReaderDayOfBlocks)->Arg(3600)->Unit(benchmark::kMillisecond);

// The stored tracker alone (samples already loaded, every frame usable) over a batch of 301
// blocks of 30 detections crawling a few pixels per frame, with one detection in three blocks
// appearing far away: reading the position file, linking and writing worm_trails.csv.
void BM_StoredTrackerBatch(benchmark::State& state) {
    const std::string folder = std::filesystem::temp_directory_path() / "vx_results_bench_stored";
    std::filesystem::create_directories(folder);
    {
        std::ofstream out(folder + "/xy_worms.bin", std::ios::binary);
        for (int t = 0; t <= 300; ++t) {
            std::vector<formats::WormRecord> records(30);
            for (int i = 0; i < 30; ++i) {
                formats::WormRecord& r = records[static_cast<std::size_t>(i)];
                r.number = static_cast<std::uint8_t>(i + 1);
                r.x = static_cast<std::uint16_t>(300 + 35 * i +
                                                 static_cast<int>(8 * std::cos(t * 0.1 + i)));
                r.y = static_cast<std::uint16_t>(400 + 20 * (i % 5) +
                                                 static_cast<int>(8 * std::sin(t * 0.1 + i)));
                r.pixels = 60;
                r.xSize = 10;
                r.ySize = 7;
                r.shape = static_cast<std::uint16_t>(0x0F0F + i);
            }
            if (t % 3 == 0)
                records[29].y = static_cast<std::uint16_t>(1000 + t);
            const auto b = formats::encodeBlock(t, records, t == 0);
            out.write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
        }
    }
    results::BackgroundSamples samples;
    samples.usable.assign(301, true);
    results::StoredTrackerParams params;
    params.maxTravel = 30;
    std::size_t rows = 0;
    for (auto _ : state) {
        const results::StoredTrackResult r =
            results::trackStoredAcquisition(folder, params, samples, folder);
        rows = r.rows.size();
        benchmark::DoNotOptimize(r);
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.SetItemsProcessed(state.iterations() * 301);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_StoredTrackerBatch)->Unit(benchmark::kMillisecond);

// The result commands over day-long trails files: 20 trails at a time, new ids every ten
// minutes (2880 trail ids in a day).
std::string dayOfChangingTrails(int frames) {
    std::string text = std::string(results::kWormTrailsHeader) + "\r\n";
    for (int f = 0; f < frames; ++f) {
        for (int k = 0; k < 20; ++k) {
            results::WormTrailRow r;
            r.frame = f;
            r.id = (f / 600) * 20 + k;
            r.x = 400 + 40 * k + static_cast<int>(30 * std::cos(f * 0.01 + k));
            r.y = 600 + static_cast<int>(30 * std::sin(f * 0.01 + k));
            r.pixels = 50;
            r.xSize = 8;
            r.ySize = 6;
            r.shape = 0x0F0F + k + (f & 3);
            text += results::formatWormTrailRow(r) + "\r\n";
        }
    }
    return text;
}

constexpr int kDayFrames = 86400;
constexpr int kDayRows = kDayFrames * 20;

// The replay's own work over a day, frame by frame, without the window's pauses.
void BM_ReplayDay(benchmark::State& state) {
    const std::string text = dayOfChangingTrails(kDayFrames);
    std::int64_t frames = 0;
    for (auto _ : state) {
        results::TrailReplay replay(text, {24.0, 24.0, false});
        frames = 0;
        while (replay.status() == results::TrailReplay::Status::Running) {
            results::ReplayFrame f = replay.next();
            benchmark::DoNotOptimize(f);
            ++frames;
        }
        benchmark::DoNotOptimize(replay.histogram());
    }
    state.counters["s_per_frame"] = benchmark::Counter(
        static_cast<double>(frames),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["s_per_row"] = benchmark::Counter(
        kDayRows, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReplayDay)->Unit(benchmark::kMillisecond);

// The plot's tables of a day, and the drawing list of its last frame.
void BM_PlotDay(benchmark::State& state) {
    const std::string text = dayOfChangingTrails(kDayFrames);
    for (auto _ : state) {
        results::TrailPlot plot = results::buildTrailPlot(text, false);
        benchmark::DoNotOptimize(plot.strokesUpTo(plot.maxFrame));
        benchmark::DoNotOptimize(plot.labelsAt(plot.maxFrame));
    }
    state.counters["s_per_row"] = benchmark::Counter(
        kDayRows, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlotDay)->Unit(benchmark::kMillisecond);

constexpr int kJointAcquisitions = 50;

// A program folder with one project of 50 acquisitions, each holding the same day-long
// trails file (hard links of one file, so the set costs one file's space).
struct JointProject {
    std::string program = std::filesystem::temp_directory_path() / "vx_results_bench_joint";
    std::vector<std::string> entries;
    JointProject() {
        std::filesystem::remove_all(program);
        std::filesystem::create_directories(program + "/proj");
        const std::string master = program + "/day.csv";
        std::ofstream(master, std::ios::binary) << dayOfChangingTrails(kDayFrames);
        for (int i = 0; i < kJointAcquisitions; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "20240131_%02d%02d_plate%02d", i / 60, i % 60, i);
            entries.push_back(name);
            const std::string folder = program + "/proj/" + name;
            std::filesystem::create_directories(folder);
            std::filesystem::create_hard_link(master, folder + "/worm_trails.csv");
        }
    }
    ~JointProject() { std::filesystem::remove_all(program); }
};

JointProject& jointProject() {
    static JointProject project;
    return project;
}

void perAcquisitionCounters(benchmark::State& state) {
    state.counters["s_per_acq"] =
        benchmark::Counter(kJointAcquisitions, benchmark::Counter::kIsIterationInvariantRate |
                                                   benchmark::Counter::kInvert);
    state.counters["s_per_row"] = benchmark::Counter(
        static_cast<double>(kJointAcquisitions) * kDayRows,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_JointReport50Days(benchmark::State& state) {
    JointProject& p = jointProject();
    results::JointReportRequest request;
    request.programFolder = p.program;
    request.projectName = "proj";
    request.selectedEntries = p.entries;
    request.reportMode = static_cast<int>(state.range(0));
    const results::TrainingLoader load = [](const std::string&) {
        return results::RectangleTexts{"335", "1170", "215", "1035", "35"};
    };
    for (auto _ : state) {
        results::JointReportResult r = results::WriteJointReport(request, load);
        if (!r.ok || r.acquisitions.size() != static_cast<std::size_t>(kJointAcquisitions) ||
            !r.acquisitions.back().written)
            state.SkipWithError("joint report failed");
        benchmark::DoNotOptimize(r);
    }
    perAcquisitionCounters(state);
}
// Wall time: the acquisitions are analysed several at a time.
BENCHMARK(BM_JointReport50Days)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// The joint report's own work on one thread: each acquisition's AnalyzeTrails and line in turn.
void BM_JointReport50DaysOneThread(benchmark::State& state) {
    JointProject& p = jointProject();
    for (auto _ : state) {
        for (const std::string& e : p.entries) {
            const results::JointReportEntry r = results::addAcquisitionToJointReport(
                p.program, "proj", e, {"335", "1170", "215", "1035", "35"}, "",
                results::kJointReportShort, false);
            if (!r.written)
                state.SkipWithError("joint report line failed");
        }
    }
    perAcquisitionCounters(state);
}
BENCHMARK(BM_JointReport50DaysOneThread)->Unit(benchmark::kMillisecond);

// Just reading the 50 trails files: as bytes, as lines and as rows.
void BM_Read50Days(benchmark::State& state) {
    JointProject& p = jointProject();
    for (auto _ : state) {
        for (const std::string& e : p.entries) {
            std::string content, error;
            results::readWholeFile(p.program + "/proj/" + e + "/worm_trails.csv", content, error);
            benchmark::DoNotOptimize(content);
        }
    }
    perAcquisitionCounters(state);
}
BENCHMARK(BM_Read50Days)->Unit(benchmark::kMillisecond);

// Bytes, cut into lines.
void BM_ReadLines50Days(benchmark::State& state) {
    JointProject& p = jointProject();
    for (auto _ : state) {
        for (const std::string& e : p.entries) {
            std::string content, error;
            results::readWholeFile(p.program + "/proj/" + e + "/worm_trails.csv", content, error);
            results::TrailsTextLines lines(content);
            std::string_view line;
            std::size_t count = 0;
            while (lines.next(line))
                ++count;
            benchmark::DoNotOptimize(count);
        }
    }
    perAcquisitionCounters(state);
}
BENCHMARK(BM_ReadLines50Days)->Unit(benchmark::kMillisecond);

// Bytes, cut into rows of nine numbers.
void BM_ReadRows50Days(benchmark::State& state) {
    JointProject& p = jointProject();
    for (auto _ : state) {
        for (const std::string& e : p.entries) {
            results::WormTrailsRead r =
                results::readWormTrailsFile(p.program + "/proj/" + e + "/worm_trails.csv");
            benchmark::DoNotOptimize(r);
        }
    }
    perAcquisitionCounters(state);
}
BENCHMARK(BM_ReadRows50Days)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
