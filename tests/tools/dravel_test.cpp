#include "tests/tools/tool_test_util.h"
#include "tools/devicesim/jpeg_writer.h"
#include "tools/dravel/dravel.h"
#include "tools/dravel/jpeg_gray.h"
#include "tools/plate/plate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

using tooltest::readFile;
using tooltest::runProgram;
using tooltest::ScratchDir;
using tooltest::writeFile;

const std::string kRealDir = VX_REAL_TESTDATA;

bool haveReal(const std::string& name) {
    return std::filesystem::exists(kRealDir + "/" + name + ".jpg") &&
           std::filesystem::exists(kRealDir + "/" + name + ".pgm");
}

// The pixels after a "P5\n<w> <h>\n255\n" header, checked byte for byte.
std::string pixelsOf(const std::string& pgm, int width, int height) {
    const std::string header =
        "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    EXPECT_EQ(pgm.substr(0, header.size()), header);
    EXPECT_EQ(pgm.size(), header.size() + static_cast<std::size_t>(width) * height);
    return pgm.size() >= header.size() ? pgm.substr(header.size()) : std::string();
}

double meanAbsDiff(const std::string& a, const std::string& b) {
    EXPECT_EQ(a.size(), b.size());
    const std::size_t n = std::min(a.size(), b.size());
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        sum += std::abs(static_cast<int>(static_cast<unsigned char>(a[i])) -
                        static_cast<int>(static_cast<unsigned char>(b[i])));
    return n ? sum / n : 1e9;
}

// A synthetic plate frame as the device serves it.
std::string plateJpeg() {
    plate::PlateOptions o;
    o.worms = 10;
    const auto frame = plate::drawPlate(o, 12.0);
    return devicesim::encodeJpeg(frame.pixels, frame.width, frame.height, 85);
}

class DravelReal : public ::testing::TestWithParam<const char*> {};

TEST_P(DravelReal, FullScaleIsCloseToTheReferencePgm) {
    const std::string name = GetParam();
    if (!haveReal(name))
        GTEST_SKIP() << "real frames not found in " << kRealDir;
    ScratchDir dir;
    const auto r = runProgram(
        "Dravel", {"-grayscale", "-outfile", dir.file("out.pgm"), kRealDir + "/" + name + ".jpg"},
        dir.path().string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string got = pixelsOf(readFile(dir.file("out.pgm")), 1600, 1200);
    const std::string want = pixelsOf(readFile(kRealDir + "/" + name + ".pgm"), 1600, 1200);
    EXPECT_LT(meanAbsDiff(got, want), 2.0);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.pgm"}); // no temporary left
}

TEST_P(DravelReal, OneEighthIsTheReducedPicture) {
    const std::string name = GetParam();
    if (!haveReal(name))
        GTEST_SKIP() << "real frames not found in " << kRealDir;
    ScratchDir dir;
    const auto r = runProgram("Dravel",
                              {"-grayscale", "-scale", "1/8", "-outfile", dir.file("s.pgm"),
                               kRealDir + "/" + name + ".jpg"},
                              dir.path().string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string got = pixelsOf(readFile(dir.file("s.pgm")), 200, 150);
    // Compare with 8 x 8 block means of the full reference.
    const std::string full = pixelsOf(readFile(kRealDir + "/" + name + ".pgm"), 1600, 1200);
    std::string blocks(200 * 150, '\0');
    for (int by = 0; by < 150; ++by)
        for (int bx = 0; bx < 200; ++bx) {
            int sum = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    sum += static_cast<unsigned char>(full[(by * 8 + y) * 1600 + bx * 8 + x]);
            blocks[by * 200 + bx] = static_cast<char>((sum + 32) / 64);
        }
    EXPECT_LT(meanAbsDiff(got, blocks), 3.0);
}

INSTANTIATE_TEST_SUITE_P(Frames, DravelReal, ::testing::Values("plate_dish", "plate_arcadia"));

TEST(Dravel, ScalesAndOptionOrderAsTheCommandLinesUseThem) {
    ScratchDir dir;
    writeFile(dir.file("f.jpg"), plateJpeg());
    struct Case {
        std::vector<std::string> args;
        int width, height;
    };
    const std::vector<Case> cases = {
        {{"-grayscale", "-outfile", dir.file("a.pgm"), dir.file("f.jpg")}, 1600, 1200},
        {{"-grayscale", "-scale", "1/8", "-outfile", dir.file("a.pgm"), dir.file("f.jpg")},
         200,
         150},
        {{"-grayscale", "-scale", "1/4", "-outfile", dir.file("a.pgm"), dir.file("f.jpg")},
         400,
         300},
        {{"-outfile", dir.file("a.pgm"), "-scale", "1/8", "-grayscale", dir.file("f.jpg")},
         200,
         150},
    };
    for (const auto& c : cases) {
        const auto r = runProgram("Dravel", c.args, dir.path().string());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        pixelsOf(readFile(dir.file("a.pgm")), c.width, c.height);
    }
}

TEST(Dravel, WithoutOutfileThePgmGoesToStdout) {
    ScratchDir dir;
    writeFile(dir.file("f.jpg"), plateJpeg());
    const auto toFile =
        runProgram("Dravel", {"-grayscale", "-outfile", dir.file("a.pgm"), dir.file("f.jpg")},
                   dir.path().string());
    ASSERT_EQ(toFile.exitCode, 0);
    const auto toStdout =
        runProgram("Dravel", {"-grayscale", dir.file("f.jpg")}, dir.path().string());
    ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_EQ(toStdout.out, readFile(dir.file("a.pgm")));
    EXPECT_EQ(toStdout.err, "");
}

TEST(Dravel, ColourAndGrayJpegsGiveTheSameGray) {
    // The device sends three-channel JPEGs; a gray one must come out alike.
    plate::PlateOptions o;
    o.worms = 5;
    const auto frame = plate::drawPlate(o, 3.0);
    const std::string colour = devicesim::encodeJpeg(frame.pixels, frame.width, frame.height, 95);
    dravel::GrayImage image;
    std::string error;
    ASSERT_TRUE(dravel::decodeJpegGray(colour, 1, image, error)) << error;
    const std::string truth(frame.pixels.begin(), frame.pixels.end());
    EXPECT_LT(meanAbsDiff(pixelsOf(image.pgm, 1600, 1200), truth), 1.5);
}

// The program writes the picture row by row; it must be the very file of the whole decode.
TEST(Dravel, PiecewiseOutputIsTheWholePgm) {
    const std::string jpeg = plateJpeg();
    struct Collect {
        std::string data;
        std::size_t pieces = 0;
        std::size_t refuseAt = 0; // refuse this piece (1-based); 0 never
    };
    auto sink = [](void* context, const char* data, std::size_t size) {
        auto* c = static_cast<Collect*>(context);
        if (++c->pieces == c->refuseAt)
            return false;
        EXPECT_LE(size, 65536u);
        c->data.append(data, size);
        return true;
    };
    for (int denominator : {1, 2, 4, 8}) {
        dravel::GrayImage whole;
        std::string error;
        ASSERT_TRUE(dravel::decodeJpegGray(jpeg, denominator, whole, error)) << error;
        Collect c;
        ASSERT_TRUE(dravel::decodeJpegGrayTo(jpeg, denominator, sink, &c, error)) << error;
        EXPECT_EQ(c.data, whole.pgm) << denominator;
    }
    Collect refusing;
    refusing.refuseAt = 3;
    std::string error;
    EXPECT_FALSE(dravel::decodeJpegGrayTo(jpeg, 1, sink, &refusing, error));
    EXPECT_EQ(refusing.pieces, 3u);
    Collect cut;
    EXPECT_FALSE(dravel::decodeJpegGrayTo(jpeg.substr(0, jpeg.size() - 200), 1, sink, &cut, error));
    EXPECT_FALSE(error.empty());
}

// Broken inputs: a message, a non-zero status and no output file at all.
TEST(Dravel, BrokenInputsLeaveNoOutput) {
    ScratchDir dir;
    const std::string good = plateJpeg();
    writeFile(dir.file("cut.jpg"), good.substr(0, good.size() / 2));
    std::string garbled = good;
    for (std::size_t i = good.size() / 3; i < good.size() / 3 + 4000; ++i)
        garbled[i] = static_cast<char>(i * 7);
    writeFile(dir.file("garbled.jpg"), garbled);
    writeFile(dir.file("text.jpg"), "<html>camera busy</html>\n");
    writeFile(dir.file("empty.jpg"), "");
    writeFile(dir.file("header_only.jpg"), good.substr(0, 600));

    for (const char* input :
         {"cut.jpg", "garbled.jpg", "text.jpg", "empty.jpg", "header_only.jpg", "missing.jpg"}) {
        // A stale output of an earlier frame must not survive either.
        writeFile(dir.file("out.pgm"), "P5\n1 1\n255\nX");
        const auto r =
            runProgram("Dravel", {"-grayscale", "-outfile", dir.file("out.pgm"), dir.file(input)},
                       dir.path().string());
        EXPECT_NE(r.exitCode, 0) << input;
        EXPECT_NE(r.err.find("Dravel: "), std::string::npos) << input;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.pgm"))) << input;
        for (const auto& e : dir.entries())
            EXPECT_EQ(e.find("out.pgm"), std::string::npos) << input << " left " << e;
    }
}

TEST(Dravel, BadCommandLinesAreRefused) {
    std::ostringstream out, err;
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"-grayscale"},
                                                 {"-scale", "1/3", "a.jpg"},
                                                 {"-scale"},
                                                 {"-outfile"},
                                                 {"-quality", "a.jpg"},
                                                 {"a.jpg", "b.jpg"}}) {
        err.str("");
        EXPECT_EQ(dravel::runDravel(args, out, err), 2);
        EXPECT_NE(err.str().find("usage: Dravel"), std::string::npos);
    }
    EXPECT_EQ(out.str(), "");
}

TEST(Dravel, InputIsNeverRemovedWhenItIsAlsoTheOutput) {
    ScratchDir dir;
    writeFile(dir.file("x.jpg"), "not a jpeg");
    std::ostringstream out, err;
    EXPECT_EQ(dravel::runDravel({"-outfile", dir.file("x.jpg"), dir.file("x.jpg")}, out, err), 1);
    EXPECT_EQ(readFile(dir.file("x.jpg")), "not a jpeg");
}

} // namespace
