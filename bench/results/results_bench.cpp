// Trail analysis of a day-long run (computation apart from file input), reading the trails file,
// the live reader stepping through a day's position file, and the stored tracker over a batch.

#include "app/results/live_block_reader.h"
#include "app/results/report.h"
#include "app/results/stored_tracker.h"
#include "app/results/trail_metrics.h"
#include "app/results/worm_trails_file.h"
#include "formats/position_file.h"

#include <benchmark/benchmark.h>

#include <cmath>
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

} // namespace

BENCHMARK_MAIN();
