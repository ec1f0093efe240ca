#include "tests/tools/tool_test_util.h"
#include "tools/mirrant/mirrant.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using tooltest::readFile;
using tooltest::runProgram;
using tooltest::ScratchDir;
using tooltest::writeFile;

std::string pgm(int width, int height, const std::string& pixels) {
    return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + pixels;
}

int run(const std::vector<std::string>& args, std::string* message = nullptr) {
    std::ostringstream err;
    const int status = mirrant::runMirrant(args, err);
    if (message)
        *message = err.str();
    return status;
}

TEST(Mirrant, MergesAFrameIntoTheAccumulatorByPerPixelMinimum) {
    ScratchDir dir;
    writeFile(dir.file("f.pgm"), pgm(3, 2, std::string("\x10\x80\xFF\x00\x7F\x40", 6)));
    writeFile(dir.file("z.pgm"), pgm(3, 2, std::string("\x20\x70\xFE\x05\x7F\x41", 6)));
    // The z-stack step reads and writes the same accumulator.
    ASSERT_EQ(run({dir.file("f.pgm"), dir.file("z.pgm"), dir.file("z.pgm")}), 0);
    EXPECT_EQ(readFile(dir.file("z.pgm")), pgm(3, 2, std::string("\x10\x70\xFE\x00\x7F\x40", 6)));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"f.pgm", "z.pgm"}));
}

TEST(Mirrant, AMissingAccumulatorStartsFromTheFrame) {
    ScratchDir dir;
    // A header with a comment and a lower maximum is still an 8-bit PGM.
    writeFile(dir.file("f.pgm"), "P5\n# frame\n2 2\n200\n\x01\x02\x03\x04");
    ASSERT_EQ(run({dir.file("f.pgm"), dir.file("z.pgm"), dir.file("out.pgm")}), 0);
    EXPECT_EQ(readFile(dir.file("out.pgm")), pgm(2, 2, "\x01\x02\x03\x04"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("z.pgm")));
}

TEST(Mirrant, SizesThatDisagreeChangeNothing) {
    ScratchDir dir;
    writeFile(dir.file("f.pgm"), pgm(3, 2, "abcdef"));
    writeFile(dir.file("z.pgm"), pgm(2, 3, "ABCDEF"));
    std::string message;
    EXPECT_EQ(run({dir.file("f.pgm"), dir.file("z.pgm"), dir.file("z.pgm")}, &message), 1);
    EXPECT_NE(message.find("3 x 2"), std::string::npos) << message;
    EXPECT_EQ(readFile(dir.file("z.pgm")), pgm(2, 3, "ABCDEF"));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"f.pgm", "z.pgm"}));
}

TEST(Mirrant, DamagedInputsFailAndKeepTheAccumulator) {
    ScratchDir dir;
    writeFile(dir.file("good.pgm"), pgm(2, 1, "ab"));
    writeFile(dir.file("z.pgm"), pgm(2, 1, "AB"));
    const std::vector<std::string> bad = {
        pgm(2, 2, "abc"), "P6\n2 1\n255\nabcdef", "P5\n2 1\n65535\nabcd", "P5\n2\n", "",
        "P5\n0 1\n255\n"};
    for (std::size_t i = 0; i < bad.size(); ++i) {
        writeFile(dir.file("bad.pgm"), bad[i]);
        EXPECT_EQ(run({dir.file("bad.pgm"), dir.file("z.pgm"), dir.file("z.pgm")}), 1) << i;
        EXPECT_EQ(run({dir.file("good.pgm"), dir.file("bad.pgm"), dir.file("bad.pgm")}), 1) << i;
        EXPECT_EQ(readFile(dir.file("bad.pgm")), bad[i]) << i;
        EXPECT_EQ(run({dir.file("bad.pgm"), dir.file("out.bmp")}), 1) << i;
    }
    EXPECT_EQ(readFile(dir.file("z.pgm")), pgm(2, 1, "AB"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.bmp")));
    EXPECT_EQ(run({dir.file("missing.pgm"), dir.file("z.pgm"), dir.file("z.pgm")}), 1);
}

std::string le32(std::uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

std::string expectedBmpHeader(int width, int height, std::uint32_t pixelBytes) {
    std::string h = "BM" + le32(1078 + pixelBytes) + le32(0) + le32(1078);
    h += le32(40) + le32(width) + le32(height) + std::string("\x01\x00\x08\x00", 4) + le32(0) +
         le32(pixelBytes) + le32(2835) + le32(2835) + le32(256) + le32(0);
    for (int i = 0; i < 256; ++i)
        h += std::string{static_cast<char>(i), static_cast<char>(i), static_cast<char>(i), '\0'};
    return h;
}

TEST(Mirrant, WritesAnEightBitGrayBmpBottomUpWithPaddedRows) {
    ScratchDir dir;
    writeFile(dir.file("z.pgm"), pgm(3, 2, "\x01\x02\x03\x04\x05\x06"));
    ASSERT_EQ(run({dir.file("z.pgm"), dir.file("zstack.bmp")}), 0);
    const std::string expected =
        expectedBmpHeader(3, 2, 8) + std::string("\x04\x05\x06\x00\x01\x02\x03\x00", 8);
    const std::string got = readFile(dir.file("zstack.bmp"));
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], expected[i]) << "first difference at byte " << i;

    // A width that is a multiple of four needs no padding.
    writeFile(dir.file("w4.pgm"), pgm(4, 1, "wxyz"));
    ASSERT_EQ(run({dir.file("w4.pgm"), dir.file("w4.bmp")}), 0);
    EXPECT_EQ(readFile(dir.file("w4.bmp")), expectedBmpHeader(4, 1, 4) + "wxyz");
}

TEST(Mirrant, TheProgramTakesTheBatchCommandLines) {
    ScratchDir dir;
    writeFile(dir.file("f1.pgm"), pgm(2, 1, "\x50\x10"));
    writeFile(dir.file("f2.pgm"), pgm(2, 1, "\x20\x30"));
    const std::string z = dir.file("zstack");
    for (const char* f : {"f1.pgm", "f2.pgm"}) {
        const auto r =
            runProgram("Mirrant", {dir.file(f), z + ".pgm", z + ".pgm"}, dir.path().string());
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    const auto r = runProgram("Mirrant", {z + ".pgm", z + ".bmp"}, dir.path().string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(z + ".bmp"), expectedBmpHeader(2, 1, 4) + std::string("\x20\x10\0\0", 4));

    const auto usage = runProgram("Mirrant", {z + ".pgm"}, dir.path().string());
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_NE(usage.err.find("usage: Mirrant"), std::string::npos);
    writeFile(dir.file("big.pgm"), pgm(3, 1, "abc"));
    EXPECT_NE(
        runProgram("Mirrant", {dir.file("big.pgm"), z + ".pgm", z + ".pgm"}, dir.path().string())
            .exitCode,
        0);
}

} // namespace
