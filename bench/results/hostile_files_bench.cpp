// Hostile stored files: the peak memory of loading a zero-filled xy_image.bin (the descriptor
// reader, the bad-frame filter with its samples, the CSV export), and the longest single step
// that "Reprocess Routes" runs on the window's thread over a zero-filled xy_worms.bin, with the
// time of its CSV export. Each measurement runs in a child process, so that its peak resident
// memory is its own.
//
// Usage: hostile_files_bench [megabytes]   (default 60)

#include "app/results/bad_frames.h"
#include "app/results/csv_exports.h"
#include "app/results/stored_tracker.h"
#include "formats/image_descriptor_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The step the reanalysis window asks of a Routes run per timer tick (ui::kRoutesStepMs).
constexpr int kRoutesStepMs = 50;
// Figures of main's code before the mend, 60 MB, measured with this program on that code
// (the Routes run then was one step): peak 1086 MB for each xy_image.bin load; Routes 644 s
// on a busy machine (about 50 s on a quiet one); xy_worms.bin export 3.8 s.

void writeZeros(const fs::path& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string chunk(1 << 20, '\0');
    for (std::size_t done = 0; done < bytes; done += chunk.size())
        out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), bytes - done)));
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Runs `work` in a child process; prints its peak resident memory and wall time.
void measured(const char* what, const std::function<void()>& work) {
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        work();
        std::fflush(stdout);
        std::_Exit(0);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const double seconds = ms(Clock::now() - start) / 1000.0;
    std::printf("%-58s peak %7.1f MB  %6.2f s%s\n", what, usage.ru_maxrss / 1024.0, seconds,
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "  (did not finish)");
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 60;
    const std::size_t bytes = megabytes << 20;
    const fs::path root = fs::temp_directory_path() / ("hostile_bench_" + std::to_string(::getpid()));
    const fs::path images = root / "images";
    const fs::path worms = root / "worms";
    fs::create_directories(images);
    fs::create_directories(worms);
    writeZeros(images / "xy_image.bin", bytes);
    writeZeros(worms / "xy_worms.bin", bytes);
    std::printf("zero-filled files of %zu MB\n", megabytes);

    measured("xy_image.bin: readImageDescriptorFile", [&] {
        const auto file = formats::readImageDescriptorFile((images / "xy_image.bin").string());
        std::printf("  %zu lines\n", file.lines.size());
    });
    measured("xy_image.bin: FilterBadImagesAndLoadSamples", [&] {
        const auto samples = results::FilterBadImagesAndLoadSamples(images.string(), false);
        std::printf("  scale %g\n", samples.scale);
    });
    measured("xy_image.bin: CSV export", [&] {
        const auto r = results::ExportImageDescriptorCsv(images.string());
        std::printf("  %s\n", r.message.c_str());
    });
    measured("xy_worms.bin: CSV export", [&] {
        const auto r = results::ExportWormPositionsCsv(worms.string());
        std::printf("  %s\n", r.message.c_str());
    });
    measured("xy_worms.bin: Routes in steps of the window's timer", [&] {
        // What the window runs per tick: the bad-frame pass at the start, a step per tick, the
        // trails written at the end.
        const auto begin = Clock::now();
        Clock::duration longest{};
        auto start = Clock::now();
        results::StoredTrackerRun run = results::startTrackWorms(worms.string(), false, {},
                                                                 root.string());
        longest = std::max(longest, Clock::now() - start);
        int steps = 0;
        for (bool ended = false; !ended; ++steps) {
            start = Clock::now();
            ended = run.step(std::chrono::milliseconds(kRoutesStepMs));
            longest = std::max(longest, Clock::now() - start);
        }
        start = Clock::now();
        const results::StoredTrackResult r = run.finish();
        longest = std::max(longest, Clock::now() - start);
        std::printf("  %d steps of %d ms asked, longest step %.1f ms, all %.1f s, %d blocks "
                    "passed over\n",
                    steps, kRoutesStepMs, ms(longest), ms(Clock::now() - begin) / 1000.0,
                    r.blocksPassedOver);
    });
    fs::remove_all(root);
    return 0;
}
