#include "tests/tools/tool_test_util.h"
#include "tools/devicesim/jpeg_writer.h"
#include "tools/dravel/dravel.h"
#include "tools/dravel/jpeg_gray.h"
#include "tools/plate/plate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <utility>

#include <sys/stat.h>

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

// A named pipe with no writer would hold the conversion for ever; only regular files are read.
// As after any failed conversion, no output is made and an older one of that name goes.
TEST(Dravel, ANamedPipeIsRefusedAtOnce) {
    ScratchDir dir;
    ASSERT_EQ(::mkfifo(dir.file("f.jpg").c_str(), 0644), 0);
    tooltest::Limits limits;
    limits.timeoutSeconds = 20;
    const auto toStdout = tooltest::runLimited("Dravel", {"-grayscale", dir.file("f.jpg")}, limits);
    EXPECT_FALSE(toStdout.timedOut);
    EXPECT_EQ(toStdout.exitCode, 1);
    EXPECT_EQ(toStdout.err, "Dravel: cannot read " + dir.file("f.jpg") + ": not a regular file\n");
    EXPECT_EQ(toStdout.out, "");

    const auto toFile = tooltest::runLimited(
        "Dravel", {"-grayscale", "-outfile", dir.file("out.pgm"), dir.file("f.jpg")}, limits);
    EXPECT_FALSE(toFile.timedOut);
    EXPECT_EQ(toFile.exitCode, 1);
    EXPECT_EQ(toFile.err, "Dravel: cannot read " + dir.file("f.jpg") + ": not a regular file\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"f.jpg"});

    std::filesystem::create_directory(dir.file("d.jpg"));
    std::ostringstream out, err;
    EXPECT_EQ(dravel::runDravel({dir.file("d.jpg")}, out, err), 1);
    EXPECT_EQ(err.str(), "Dravel: cannot read " + dir.file("d.jpg") + ": not a regular file\n");
}

// A JPEG whose frame header claims `width` x `height`.
std::string claimingSize(std::string jpeg, unsigned width, unsigned height) {
    const std::size_t sof = jpeg.find("\xFF\xC0");
    EXPECT_NE(sof, std::string::npos);
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

std::string tooLarge(unsigned width, unsigned height) {
    return "the frame is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; at most 16384 on a side and 67108864 pixels are converted";
}

// The size in a JPEG header is only a claim: a frame beyond the limit is refused before any
// picture memory is taken or any byte handed on, whichever way the picture goes out.
TEST(Dravel, FramesBeyondTheSizeLimitAreRefusedBeforeDecoding) {
    const std::string small =
        devicesim::encodeJpeg(std::vector<std::uint8_t>(64 * 16, 100), 64, 16, 90);
    auto sink = [](void* context, const char*, std::size_t) {
        ++*static_cast<int*>(context);
        return true;
    };
    for (const auto& [width, height] : {std::pair{16385u, 16u}, std::pair{16u, 16385u},
                                        std::pair{8192u, 8193u}, std::pair{65500u, 65500u}}) {
        const std::string jpeg = claimingSize(small, width, height);
        std::string error;
        int pieces = 0;
        EXPECT_FALSE(dravel::decodeJpegGrayTo(jpeg, 1, sink, &pieces, error));
        EXPECT_EQ(error, tooLarge(width, height));
        EXPECT_EQ(pieces, 0);
        if (static_cast<unsigned long long>(width) * height > 100'000'000ULL)
            continue; // never handed to a decoder that takes the whole picture at once
        dravel::GrayImage image;
        error.clear();
        EXPECT_FALSE(dravel::decodeJpegGray(jpeg, 8, image, error));
        EXPECT_EQ(error, tooLarge(width, height));
    }

    // The limit itself is converted.
    const std::string wide =
        devicesim::encodeJpeg(std::vector<std::uint8_t>(16384 * 8, 100), 16384, 8, 90);
    dravel::GrayImage image;
    std::string error;
    ASSERT_TRUE(dravel::decodeJpegGray(wide, 1, image, error)) << error;
    EXPECT_EQ(image.width, 16384);
}

// The program with a 65500 x 65500 claim, run with its memory held down so that a picture
// buffer of 4.3 GB could not be taken unnoticed.
TEST(Dravel, TheProgramRefusesAnOversizedFrameInEveryOutputMode) {
    ScratchDir dir;
    const std::string small =
        devicesim::encodeJpeg(std::vector<std::uint8_t>(64 * 16, 100), 64, 16, 90);
    writeFile(dir.file("big.jpg"), claimingSize(small, 65500, 65500));
    tooltest::Limits limits;
#if defined(__SANITIZE_ADDRESS__)
    limits.environment.push_back("ASAN_OPTIONS=max_allocation_size_mb=1024");
#else
    limits.addressSpaceBytes = 1LL << 31;
#endif
    const std::string message =
        "Dravel: " + dir.file("big.jpg") + ": " + tooLarge(65500, 65500) + "\n";
    const auto toStdout = tooltest::runLimited("Dravel", {dir.file("big.jpg")}, limits);
    EXPECT_EQ(toStdout.exitCode, 1);
    EXPECT_EQ(toStdout.err, message);
    EXPECT_EQ(toStdout.out, "");
    const auto toFile = tooltest::runLimited(
        "Dravel", {"-outfile", dir.file("out.pgm"), dir.file("big.jpg")}, limits);
    EXPECT_EQ(toFile.exitCode, 1);
    EXPECT_EQ(toFile.err, message);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"big.jpg"});
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
