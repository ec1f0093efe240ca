// Times Dravel on a 1600 x 1200 plate frame, at full scale and at 1/8, as a whole process,
// against the same work done in-process (read the JPEG, decode, write the PGM by temp + rename)
// plus the start of a bare process (/bin/true). The target: the process takes at most 1.3 times
// that sum. Prints the medians; exits with 1 when a target is missed. Also shows how long a
// synthetic plate takes to draw.

#include "formats/save_file.h"
#include "tools/devicesim/jpeg_writer.h"
#include "tools/dravel/jpeg_gray.h"
#include "tools/plate/plate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool runProcess(const std::vector<std::string>& args) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

template <typename F> double timeMs(int rounds, F&& work) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return median(times);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 40;
    const auto dir =
        std::filesystem::temp_directory_path() / ("dravel_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string jpg = (dir / "frame.jpg").string();
    const std::string pgm = (dir / "frame.pgm").string();

    plate::PlateOptions options;
    options.worms = 25;
    double t = 0.0;
    const double draw = timeMs(rounds, [&] { plate::drawPlate(options, t += 1.0); });
    const auto frame = plate::drawPlate(options, 60.0);
    const std::string jpeg = devicesim::encodeJpeg(frame.pixels, frame.width, frame.height, 85);
    std::ofstream(jpg, std::ios::binary) << jpeg;
    std::printf("frame: 1600 x 1200, %zu bytes of JPEG, %d rounds, medians\n", jpeg.size(), rounds);
    std::printf("synthetic plate, 25 worms: %.2f ms to draw\n", draw);

    // The measurements take turns round by round, so that a change in the machine's load
    // falls on all of them alike.
    const char* const scales[2] = {"1/1", "1/8"};
    std::vector<double> bare, inProcess[2], process[2];
    bool good = true;
    for (int round = 0; round < rounds; ++round) {
        bare.push_back(timeMs(1, [] { runProcess({"/bin/true"}); }));
        for (int s = 0; s < 2; ++s) {
            const int denominator = scales[s][2] - '0';
            inProcess[s].push_back(timeMs(1, [&] {
                dravel::GrayImage image;
                std::string error;
                good &= dravel::decodeJpegGray(readFile(jpg), denominator, image, error);
                good &= formats::saveFileAtomic(pgm, image.pgm).empty();
            }));
            process[s].push_back(timeMs(1, [&] {
                good &= runProcess(
                    {DRAVEL_PATH, "-grayscale", "-scale", scales[s], "-outfile", pgm, jpg});
            }));
        }
    }
    const double bareMs = median(bare);
    std::printf("bare process start (/bin/true): %.2f ms\n", bareMs);
    bool ok = good;
    for (int s = 0; s < 2; ++s) {
        const double in = median(inProcess[s]);
        const double whole = median(process[s]);
        const double limit = 1.3 * (in + bareMs);
        const bool met = good && whole <= limit;
        ok &= met;
        std::printf("scale %s: in-process %.2f ms, Dravel process %.2f ms, limit 1.3 x (%.2f + "
                    "%.2f) = %.2f ms, ratio %.2f -> %s\n",
                    scales[s], in, whole, in, bareMs, limit, whole / (in + bareMs),
                    met ? "met" : "MISSED");
    }
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
