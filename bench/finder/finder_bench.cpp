// Timed program: prints the median time of
//  (a) one frame's analysis in-process, with the file input timed apart, on the real plate
//      frame (when present) and on a synthetic frame with 50 worms;
//  (b) a whole Sirrex process per frame against a `cat` process of the same frame.
// Usage: finder_bench [rounds]   (default 200)

#include "finder/arguments.h"
#include "finder/grid_scan.h"
#include "finder/image_input.h"
#include "finder/sirrex_state.h"
#include "formats/training_file.h"
#include "tools/plate/plate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// Runs `argv` with standard output and error sent to /dev/null, in `folder`; waits for it.
bool runProcess(const std::vector<std::string>& argv, const std::string& folder) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct FrameCase {
    std::string name;
    std::string path;
    std::vector<std::string> options;
};

void inProcess(const FrameCase& c, int rounds) {
    std::vector<double> reads, analyses;
    int found = 0;
    auto state = std::make_unique<finder::SirrexState>();
    std::ostringstream sink;
    for (int i = 0; i < rounds; ++i) {
        finder::SirrexState& s = *state;
        s = finder::SirrexState{};
        std::vector<std::string> args{"Sirrex", c.path};
        args.insert(args.end(), c.options.begin(), c.options.end());
        finder::load_arguments(s, args, sink, sink);
        const auto t0 = Clock::now();
        if (finder::read_image(s, sink, sink) != finder::ImageReadResult::Ok) {
            std::printf("%s: cannot read %s\n", c.name.c_str(), c.path.c_str());
            return;
        }
        const auto t1 = Clock::now();
        finder::analyseFrame(s);
        const auto t2 = Clock::now();
        reads.push_back(ms(t1 - t0));
        analyses.push_back(ms(t2 - t1));
        found = s.worms_found;
    }
    const double a = median(analyses);
    std::printf("%-10s file input %.3f ms, analysis %.3f ms median (min %.3f), %d detections, "
                "target <= 2 ms: %s\n",
                c.name.c_str(), median(reads), a,
                *std::min_element(analyses.begin(), analyses.end()), found,
                a <= 2.0 ? "met" : "MISSED");
}

void wholeProcess(const FrameCase& c, int rounds, const std::string& folder) {
    std::vector<std::string> sirrex{SIRREX_PATH, c.path};
    sirrex.insert(sirrex.end(), c.options.begin(), c.options.end());
    const std::vector<std::string> cat{"cat", c.path};
    std::vector<double> ts, tc;
    // As in an acquisition, every run but the first appends to existing files.
    std::filesystem::remove(folder + "/xy_worms.bin");
    std::filesystem::remove(folder + "/xy_image.bin");
    for (int i = 0; i < rounds; ++i) {
        auto t0 = Clock::now();
        if (!runProcess(sirrex, folder)) {
            std::printf("%s: Sirrex failed\n", c.name.c_str());
            return;
        }
        auto t1 = Clock::now();
        runProcess(cat, folder);
        auto t2 = Clock::now();
        ts.push_back(ms(t1 - t0));
        tc.push_back(ms(t2 - t1));
    }
    const double s = median(ts), k = median(tc);
    std::printf("%-10s Sirrex process %.3f ms, cat %.3f ms (medians), ratio %.2f, "
                "target <= 1.5: %s\n",
                c.name.c_str(), s, k, s / k, s / k <= 1.5 ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("finder_bench_" + std::to_string(::getpid())))
            .string();
    std::filesystem::create_directories(folder);

    std::vector<FrameCase> cases;
    const std::string source = std::string(VX_REAL_TESTDATA) + "/plate_dish.pgm";
    // Sirrex writes beside its frame: the real frame is copied into the bench's own folder so
    // that the shared test data are never written to.
    const std::string real = folder + "/plate_dish.pgm";
    std::error_code copied;
    if (std::filesystem::exists(source) &&
        std::filesystem::copy_file(source, real, std::filesystem::copy_options::overwrite_existing,
                                   copied))
        cases.push_back({"real", real, {"-xs250", "-xe1350", "-ys140", "-ye1080", "-ti1"}});
    else
        std::printf("real frame absent (%s): skipped\n", source.c_str());

    plate::PlateOptions options;
    options.worms = 50;
    options.seed = 7;
    const std::string synthetic = folder + "/synthetic.pgm";
    {
        std::ofstream out(synthetic, std::ios::binary);
        out << plate::toPgm(plate::drawPlate(options, 10.0));
    }
    // The synthetic worms fit the default training.
    std::vector<std::string> defaults = formats::splitOptionString(
        formats::trainingOptionsFromLines(formats::TrainingFile::defaults().lines()));
    defaults.push_back("-ti1");
    cases.push_back({"synthetic", synthetic, defaults});

    std::printf("finder_bench: %d rounds each\n", rounds);
    for (const FrameCase& c : cases)
        inProcess(c, rounds);
    for (const FrameCase& c : cases)
        wholeProcess(c, rounds, folder);
    std::filesystem::remove_all(folder);
    return 0;
}
