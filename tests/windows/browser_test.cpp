#include "app/windows/browser.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace windows;

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(Browser, ListsShowFoldersWithoutExtensionAndTheParentWhenAsked) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("20260115_1030_run A");
    QDir(dir.path()).mkpath("b.old");
    writeFile(dir.filePath("Sirrex"), "a program"); // no extension, but no project
    writeFile(dir.filePath("report.csv"), "x");
    EXPECT_EQ(namesWithoutExtension(dir.path(), false), (QStringList{"20260115_1030_run A"}));
    EXPECT_EQ(namesWithoutExtension(dir.path(), true),
              (QStringList{"..", "20260115_1030_run A"}));
    EXPECT_TRUE(namesWithoutExtension(dir.filePath("gone"), true).isEmpty());
}

TEST(Browser, FrameNamesGiveTheirAddressPrefixAndFolder) {
    EXPECT_EQ(deviceAddressOfFrame("c192_168_4_1f0.jpg"), "192.168.4.1");
    EXPECT_EQ(framePrefixOf("c192_168_4_1f0.jpg"), "c192_168_4_1f");
    EXPECT_EQ(deviceAddressOfFrame("c127_0_0_1:8080f12.jpg"), "127.0.0.1:8080");
    EXPECT_EQ(deviceAddressOfFrame("nothing.jpg"), "");
    EXPECT_EQ(acquisitionFolderOf("/p/default/run/img"), "/p/default/run");
    EXPECT_EQ(acquisitionFolderOf("/p/default/run/frames"), "/p/default/run/frames");
}

TEST(Browser, AnAddressHoldingAnFIsReadFromTheRightOfTheFrameName) {
    // Every address the device-address check accepts: host names with an "f" among them.
    EXPECT_EQ(deviceAddressOfFrame("cwifi-camf0.jpg"), "wifi-cam");
    EXPECT_EQ(framePrefixOf("cwifi-camf12.jpg"), "cwifi-camf");
    EXPECT_EQ(deviceAddressOfFrame("cf1_lab:8080f7.jpg"), "f1.lab:8080");
    EXPECT_EQ(deviceAddressOfFrame("cdeaf-beef_localf3.JPG"), "deaf-beef.local");
    EXPECT_EQ(framePrefixOf("cwifi-camf.jpg"), "");   // no frame number
    EXPECT_EQ(framePrefixOf("cwifi-camf3m.jpg"), ""); // a frame marked bad is no frame
    EXPECT_EQ(framePrefixOf("f3.jpg"), "");
    // A missing frame 0 is made under the same address, not a cut-off one.
    QTemporaryDir dir;
    writeFile(dir.filePath("cwifi-camf3.jpg"), "three");
    const FrameZero zero = ensureFrameZero(dir.path(), 20);
    EXPECT_EQ(zero.name, "cwifi-camf0.jpg");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{"cwifi-camf0.jpg", "cwifi-camf3.jpg"}));
}

TEST(Browser, FramesAreFoundByTheirWholeNumber) {
    QTemporaryDir dir;
    writeFile(dir.filePath("c1_2_3_4f10.jpg"), "10");
    writeFile(dir.filePath("c1_2_3_4f1.pgm"), "p");
    EXPECT_EQ(findFrameFile(dir.path(), 0), ""); // "f10.jpg" is not frame 0
    EXPECT_EQ(findFrameFile(dir.path(), 1), "");
    EXPECT_EQ(findFrameFile(dir.path(), 10), "c1_2_3_4f10.jpg");
}

TEST(Browser, AMissingFrameZeroIsMadeWholeFromTheFirstLaterFrame) {
    QTemporaryDir dir;
    writeFile(dir.filePath("c1_2_3_4f3.jpg"), "three");
    writeFile(dir.filePath("c1_2_3_4f5.jpg"), "five");
    FrameZero zero = ensureFrameZero(dir.path(), 20);
    EXPECT_EQ(zero.name, "c1_2_3_4f0.jpg");
    EXPECT_EQ(zero.replacedFrom, 3);
    EXPECT_EQ(readFile(dir.filePath("c1_2_3_4f0.jpg")), "three");
    // Now it is there.
    zero = ensureFrameZero(dir.path(), 20);
    EXPECT_EQ(zero.replacedFrom, 0);
    // Only the candidates asked for are tried.
    QTemporaryDir other;
    writeFile(other.filePath("c1_2_3_4f3.jpg"), "three");
    EXPECT_EQ(ensureFrameZero(other.path(), 1).name, "");
    EXPECT_EQ(QDir(other.path()).entryList(QDir::Files), QStringList{"c1_2_3_4f3.jpg"});
}

TEST(Browser, AWholeCopyNeverLeavesHalfAFile) {
    QTemporaryDir dir;
    writeFile(dir.filePath("a.jpg"), "new frame");
    writeFile(dir.filePath("b.jpg"), "old frame");
    EXPECT_TRUE(copyFileWhole(dir.filePath("a.jpg"), dir.filePath("b.jpg")));
    EXPECT_EQ(readFile(dir.filePath("b.jpg")), "new frame");
    // A source that cannot be read changes nothing.
    EXPECT_FALSE(copyFileWhole(dir.filePath("gone.jpg"), dir.filePath("b.jpg")));
    EXPECT_EQ(readFile(dir.filePath("b.jpg")), "new frame");
    // A target folder that is not there: nothing is made.
    EXPECT_FALSE(copyFileWhole(dir.filePath("a.jpg"), dir.filePath("none/b.jpg")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"a.jpg", "b.jpg"}));
}

} // namespace
