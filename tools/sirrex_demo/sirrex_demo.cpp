// sirrex_demo [workdir]
// Puts a plate frame into workdir/img/ (the real dish frame when the test data is there, else a
// synthetic plate with 20 worms), runs the Sirrex beside this program on it, reads the position
// file back and prints one line per detection.

#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"
#include "formats/training_file.h"
#include "tools/plate/plate.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path programFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

int runAndWait(const std::vector<std::string>& argv) {
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        std::perror(args[0]);
        ::_exit(127);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && std::string(argv[1]) == "-h")) {
        std::printf("usage: sirrex_demo [workdir]\n");
        return argc > 2 ? 1 : 0;
    }
    const fs::path work = argc == 2 ? fs::path(argv[1]) : fs::temp_directory_path() / "sirrex_demo";
    std::error_code ec;
    fs::create_directories(work / "img", ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s: %s\n", (work / "img").c_str(),
                     ec.message().c_str());
        return 1;
    }
    // A fresh start: the position and image-descriptor files are only ever appended to.
    fs::remove(work / formats::kWormPositionsFileName, ec);
    fs::remove(work / formats::kImageDescriptorFileName, ec);

    const fs::path real = fs::path(VX_REAL_TESTDATA) / "plate_dish.pgm";
    fs::path frame;
    std::vector<std::string> options;
    if (fs::exists(real)) {
        frame = work / "img" / "plate_dish.pgm";
        fs::copy_file(real, frame, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "cannot copy %s: %s\n", real.c_str(), ec.message().c_str());
            return 1;
        }
        options = {"-xs250", "-xe1350", "-ys140", "-ye1080", "-ti0"};
        std::printf("real frame %s\n", real.c_str());
    } else {
        plate::PlateOptions plateOptions;
        plateOptions.worms = 20;
        plateOptions.seed = 1;
        frame = work / "img" / "synthetic.pgm";
        std::ofstream out(frame, std::ios::binary | std::ios::trunc);
        out << plate::toPgm(plate::drawPlate(plateOptions, 0.0));
        if (!out.flush()) {
            std::fprintf(stderr, "cannot write %s\n", frame.c_str());
            return 1;
        }
        // The default training, which the drawn worms fit.
        options = formats::splitOptionString(
            formats::trainingOptionsFromLines(formats::TrainingFile::defaults().lines()));
        options.push_back("-ti0");
        std::printf("no real frames in %s: synthetic plate with 20 worms\n", VX_REAL_TESTDATA);
    }

    const fs::path sirrex = programFolder() / "Sirrex";
    std::vector<std::string> command{sirrex.string(), frame.string()};
    command.insert(command.end(), options.begin(), options.end());
    std::printf("running:");
    for (const std::string& c : command)
        std::printf(" %s", c.c_str());
    std::printf("\n");
    const int status = runAndWait(command);
    if (status != 0) {
        std::fprintf(stderr, "Sirrex ended with status %d\n", status);
        return 1;
    }

    const fs::path positions = work / formats::kWormPositionsFileName;
    const formats::PositionFile file = formats::readPositionFile(positions.string());
    if (!file.error.empty() || file.blocks.empty()) {
        std::fprintf(stderr, "cannot read %s: %s\n", positions.c_str(),
                     file.error.empty() ? "no block" : file.error.c_str());
        return 1;
    }
    const formats::PositionBlock& block = file.blocks.back();
    std::printf("\n%s\n", positions.c_str());
    std::printf("%5s %6s %6s %7s %7s %7s %7s\n", "index", "x", "y", "pixels", "x size", "y size",
                "shape");
    for (const formats::WormRecord& r : block.records)
        std::printf("%5d %6d %6d %7d %7d %7d  0x%04X\n", r.number, static_cast<int>(r.x),
                    static_cast<int>(r.y), r.pixels, r.xSize, r.ySize, r.shape);
    std::printf("%zu detections at time mark %d\n", block.records.size(), block.timeMark);
    return 0;
}
