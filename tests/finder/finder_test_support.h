#pragma once
// Frames drawn by hand, a private working folder per test, and Sirrex run in-process.

#include "finder/sirrex.h"
#include "finder/sirrex_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace finder_test {

using Bytes = std::vector<std::uint8_t>;

// A 1600 x 1200 frame of one grey with dark rectangles drawn into it.
struct Frame {
    explicit Frame(int gray = 200) : pixels(finder::MAXCHANNELS, static_cast<std::uint8_t>(gray)) {}

    void fill(int x0, int y0, int w, int h, int value) {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                if (x >= 0 && y >= 0 && x < finder::IMG_MAXX && y < finder::IMG_MAXY)
                    pixels[static_cast<std::size_t>(x + finder::IMG_MAXX * y)] =
                        static_cast<std::uint8_t>(value);
    }
    std::string pgm(const std::string& header = "P5\n1600 1200\n255\n") const {
        return header + std::string(pixels.begin(), pixels.end());
    }
    void load(finder::SirrexState& s) const { s.buffer.assign(pixels); }

    Bytes pixels;
};

// Each test runs in a fresh folder of its own, which is the current folder while it runs.
class WorkFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<unsigned> counter{0};
        m_previous = std::filesystem::current_path();
        m_folder = std::filesystem::temp_directory_path() /
                   ("vx_h1_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
        std::filesystem::current_path(m_folder);
    }
    void TearDown() override {
        std::filesystem::current_path(m_previous);
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }

    static void writeFile(const std::string& path, const std::string& bytes) {
        std::filesystem::path p(path);
        if (p.has_parent_path())
            std::filesystem::create_directories(p.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static Bytes readBytes(const std::string& path) {
        const std::string s = readFile(path);
        return Bytes(s.begin(), s.end());
    }
    static bool exists(const std::string& path) { return std::filesystem::exists(path); }

    struct Run {
        int status = -1;
        std::string out;
        std::string err;
    };
    // Runs Sirrex with the image path and options (the program name is added).
    static Run sirrex(const std::vector<std::string>& arguments, const std::string& input = "") {
        std::vector<std::string> args{"Sirrex"};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::ostringstream out, err;
        std::istringstream in(input);
        Run r;
        r.status = finder::runSirrex(args, out, err, in);
        r.out = out.str();
        r.err = err.str();
        return r;
    }
    // The console text without its timing line.
    static std::string withoutTiming(const std::string& out) {
        const auto at = out.rfind("\n execution in ");
        return at == std::string::npos ? out : out.substr(0, at);
    }

    std::filesystem::path m_folder;
    std::filesystem::path m_previous;
};

} // namespace finder_test
