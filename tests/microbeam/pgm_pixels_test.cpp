// Raw reading of the converter's PGM output.

#include "app/microbeam/pgm_pixels.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace microbeam;

namespace {

std::string pgm(const std::string& header, const std::string& pixels) {
    return header + pixels;
}

FramePixels bytesOf(const std::string& text) {
    return FramePixels(text.begin(), text.end());
}

} // namespace

TEST(PgmPixels, SkipsThroughTheThirdLineFeedAndTakesAtMostTheFrame) {
    const FrameSize size{4, 2};
    EXPECT_EQ(pgmPixelsFromBytes(pgm("P5\n4 2\n255\n", "abcdefgh"), size), bytesOf("abcdefgh"));
    // Bytes past width x height are left.
    EXPECT_EQ(pgmPixelsFromBytes(pgm("P5\n4 2\n255\n", "abcdefghij"), size), bytesOf("abcdefgh"));
    // A short file gives fewer.
    EXPECT_EQ(pgmPixelsFromBytes(pgm("P5\n4 2\n255\n", "abc"), size), bytesOf("abc"));
    // Line feeds among the pixels are pixels.
    EXPECT_EQ(pgmPixelsFromBytes(pgm("P5\n4 2\n255\n", "\n\n\nabcde"), size),
              bytesOf("\n\n\nabcde"));
    // The header is not parsed: its numbers do not matter, only its line feeds.
    EXPECT_EQ(pgmPixelsFromBytes(pgm("P5\n9 9\n255\n", "abcdefghij"), size), bytesOf("abcdefgh"));
    // A comment line moves the start of the pixels; that is how the raw reading goes.
    EXPECT_EQ(pgmPixelsFromBytes("P5\n# c\n4 2\n255\nabcdefgh", size), bytesOf("255\nabcd"));
}

TEST(PgmPixels, NothingWithoutAWholeHeaderOrASize) {
    EXPECT_TRUE(pgmPixelsFromBytes("", {4, 2}).empty());
    EXPECT_TRUE(pgmPixelsFromBytes("P5\n4 2\n", {4, 2}).empty());
    EXPECT_TRUE(pgmPixelsFromBytes("P5 4 2 255 abcdefgh", {4, 2}).empty());
    EXPECT_TRUE(pgmPixelsFromBytes("P5\n4 2\n255\n", {4, 2}).empty());
    EXPECT_TRUE(pgmPixelsFromBytes("P5\n4 2\n255\nabcdefgh", {0, 2}).empty());
    EXPECT_TRUE(pgmPixelsFromBytes("P5\n4 2\n255\nabcdefgh", {4, -1}).empty());
}

TEST(PgmPixels, FromAFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("preview.pgm");
    std::string pixels(200 * 150 + 10, '\x7f');
    pixels[0] = '\0';
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const std::string bytes = "P5\n200 150\n255\n" + pixels;
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    std::string error = "x";
    const FramePixels read = pgmPixelsFromFile(path.toStdString(), {200, 150}, &error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(read.size(), 30000u);
    EXPECT_EQ(read[0], 0);
    EXPECT_EQ(read[29999], 0x7f);
    EXPECT_EQ(pgmPixelsFromFile(path.toStdString(), {160, 120}).size(), 19200u);

    const std::string missing = dir.filePath("none.pgm").toStdString();
    EXPECT_TRUE(pgmPixelsFromFile(missing, {200, 150}, &error).empty());
    EXPECT_NE(error.find(missing), std::string::npos) << error;
}

TEST(PgmPixels, FramesThatAreNotStored) {
    EXPECT_FALSE(isStorableFrame({}));
    EXPECT_FALSE(isStorableFrame({69, 114, 114, 111, 114}));
    EXPECT_FALSE(isStorableFrame({69, 114, 114, 111, 114, 0, 0}));
    EXPECT_TRUE(isStorableFrame({69, 114, 114, 111, 115}));
    EXPECT_TRUE(isStorableFrame({69, 114, 114, 111}));
    EXPECT_TRUE(isStorableFrame({0}));
}
