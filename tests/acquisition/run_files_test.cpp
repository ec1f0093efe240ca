#include "app/acquisition/run_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace acquisition;

namespace {

void touch(const QString& path, const QByteArray& bytes = "x") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace

TEST(AcquisitionFolder, NamesCarryStartMinuteAndCycleOffset) {
    const QDateTime start(QDate(2026, 3, 7), QTime(9, 5, 42));
    EXPECT_EQ(acquisitionFolderName(start, QStringLiteral("plate_A")), "20260307_0905_plate_A");
    EXPECT_EQ(cycleRunName(QStringLiteral("wt run"), 1, 30), "wt run [0m]");
    EXPECT_EQ(cycleRunName(QStringLiteral("wt run"), 2, 30), "wt run [30m]");
    EXPECT_EQ(cycleRunName(QStringLiteral("wt"), 13, 30), "wt [360m]");
    EXPECT_EQ(cycleRunName(QStringLiteral("wt"), 3, 7.5), "wt [15m]");
    EXPECT_EQ(projectFolderName(QString()), "default");
    EXPECT_EQ(projectFolderName(QStringLiteral("proj")), "proj");
}

TEST(AcquisitionFolder, CreatesImgAndGivesASecondRunOfTheSameMinuteItsOwnFolder) {
    QTemporaryDir tmp;
    const QString project = tmp.filePath(QStringLiteral("default"));
    const RunFolder first = createAcquisitionFolder(project, QStringLiteral("20260101_1030_a"));
    ASSERT_TRUE(first.error.isEmpty()) << first.error.toStdString();
    EXPECT_EQ(first.name, "20260101_1030_a");
    EXPECT_TRUE(QDir(first.path + "/img").exists());
    touch(first.path + "/img/c1_2_3_4f1.jpg");
    touch(first.path + "/xy_worms.bin", "blocks");

    const RunFolder second = createAcquisitionFolder(project, QStringLiteral("20260101_1030_a"));
    ASSERT_TRUE(second.error.isEmpty());
    EXPECT_EQ(second.name, "20260101_1030_a_2");
    EXPECT_TRUE(QDir(second.path + "/img").exists());
    const RunFolder third = createAcquisitionFolder(project, QStringLiteral("20260101_1030_a"));
    EXPECT_EQ(third.name, "20260101_1030_a_3");
    // The first run is untouched.
    EXPECT_EQ(readAll(first.path + "/xy_worms.bin"), "blocks");
    EXPECT_TRUE(QFile::exists(first.path + "/img/c1_2_3_4f1.jpg"));
}

TEST(AcquisitionFolder, StartFilesAreCopiedAndFreshened) {
    QTemporaryDir program;
    QTemporaryDir run;
    touch(program.filePath("training.dat"), "xs 1\r\n");
    touch(program.filePath("descriptor.txt"), "Block[0]\r\n");
    EXPECT_TRUE(copyTrainingFiles(program.path(), run.path()).isEmpty());
    EXPECT_EQ(readAll(run.filePath("training.dat")), "xs 1\r\n");
    EXPECT_EQ(readAll(run.filePath("descriptor.dat")), "Block[0]\r\n");
    EXPECT_FALSE(QFile::exists(run.filePath("descriptor.txt")));

    QTemporaryDir empty;
    QTemporaryDir run2;
    EXPECT_TRUE(copyTrainingFiles(empty.path(), run2.path()).isEmpty());
    EXPECT_FALSE(QFile::exists(run2.filePath("training.dat")));

    touch(run.filePath("xy_shapes.txt"), "old content\r\n");
    EXPECT_TRUE(createShapesFile(run.path()).isEmpty());
    EXPECT_EQ(readAll(run.filePath("xy_shapes.txt")), "#Frame\t#Prev_Frame\tX\tY\tShape\r\n");

    for (const char* name : {"xy_worms.bin", "xy_worms.txt", "xy_image.txt", "xy_image.bin"})
        touch(run.filePath(name));
    removeStaleRunFiles(run.path());
    EXPECT_FALSE(QFile::exists(run.filePath("xy_worms.bin")));
    EXPECT_FALSE(QFile::exists(run.filePath("xy_worms.txt")));
    EXPECT_FALSE(QFile::exists(run.filePath("xy_image.txt")));
    EXPECT_TRUE(QFile::exists(run.filePath("xy_image.bin")));
}

TEST(FrameNames, NumberIsReadAfterThePrefixNotAfterTheFirstF) {
    const QString prefix = framePrefix(QStringLiteral("192.168.4.1"));
    EXPECT_EQ(prefix, "c192_168_4_1f");
    EXPECT_EQ(frameNumberOfName("c192_168_4_1f17.jpg", prefix, "jpg"), 17);
    EXPECT_EQ(frameNumberOfName("c192_168_4_1f17m.jpg", prefix, "jpg"), 17);
    EXPECT_EQ(frameNumberOfName("c192_168_4_1f17.pgm", prefix, "jpg"), std::nullopt);
    EXPECT_EQ(frameNumberOfName("c192_168_4_1f.jpg", prefix, "jpg"), std::nullopt);
    // A host with "f" in it.
    const QString fhost = framePrefix(QStringLiteral("cafe-feeder.local:8080"));
    EXPECT_EQ(fhost, "ccafe-feeder_local:8080f");
    EXPECT_EQ(frameNumberOfName("ccafe-feeder_local:8080f905.jpg", fhost, "jpg"), 905);
    // Frames of long runs are 32-bit.
    EXPECT_EQ(frameNumberOfName("c192_168_4_1f86400.jpg", prefix, "jpg"), 86400);
    EXPECT_EQ(frameNumberOfName("c192_168_4_1f99999999999.jpg", prefix, "jpg"), std::nullopt);
    EXPECT_EQ(framePath("/r", "10.0.0.2", 40000, "pgm"), "/r/img/c10_0_0_2f40000.pgm");
}

TEST(FindNextFrameIndex, TakesTheNextFrameOrSkipsAheadToTheNewest) {
    const QString p = QStringLiteral("c1_1_1_1f");
    auto names = [&](std::initializer_list<int> frames) {
        QStringList list;
        for (int f : frames)
            list << p + QString::number(f) + ".jpg";
        list.sort();
        return list;
    };
    // Frames 0, 1, 2 with cursor 0: the listing meets 1 before 2.
    EXPECT_EQ(nextFrameIndex(names({0, 1, 2}), p, 0, "jpg"), 1);
    // Frames 1 to 25 with cursor 1, alphabetical: 10 .. 19 come before 2, the newest wins.
    QStringList many;
    for (int f = 1; f <= 25; ++f)
        many << p + QString::number(f) + ".jpg";
    many.sort();
    EXPECT_EQ(nextFrameIndex(many, p, 1, "jpg"), 25);
    // No frame: 0, whatever the cursor.
    EXPECT_EQ(nextFrameIndex({}, p, 7, "jpg"), 0);
    EXPECT_EQ(nextFrameIndex({"other.jpg"}, p, 7, "jpg"), 0);
    // Nothing newer: the cursor itself.
    EXPECT_EQ(nextFrameIndex(names({3, 4, 5}), p, 5, "jpg"), 5);
    // Beyond 16 bits.
    EXPECT_EQ(nextFrameIndex(names({40000, 40001}), p, 39999, "jpg"), 40000);
    EXPECT_EQ(nextFrameIndex(names({86399, 86400}), p, 86398, "jpg"), 86399);
}

TEST(FindNextFrameIndex, ListsTheImgFolderByKind) {
    QTemporaryDir dir;
    const QString p = framePrefix(QStringLiteral("127.0.0.1:9000"));
    for (int f : {0, 1, 2, 3})
        touch(dir.filePath(p + QString::number(f) + ".jpg"));
    touch(dir.filePath(p + "2.pgm"));
    touch(dir.filePath(p + "3.pgm.part"));
    EXPECT_EQ(FindNextFrameIndex(dir.path(), p, 0, "jpg"), 1);
    EXPECT_EQ(FindNextFrameIndex(dir.path(), p, 1, "pgm"), 2);
    EXPECT_EQ(FindNextFrameIndex(dir.path(), p, 2, "pgm"), 2);
    EXPECT_EQ(FindNextFrameIndex(dir.path(), p, 0, "bmp"), 0);

    EXPECT_EQ(deleteConvertedFrames(dir.path(), p), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath(p + "2.pgm")));
    for (int f : {0, 1, 2, 3})
        EXPECT_TRUE(QFile::exists(dir.filePath(p + QString::number(f) + ".jpg")));
    EXPECT_TRUE(QFile::exists(dir.filePath(p + "3.pgm.part")));
}

TEST(CommandLines, ConverterFinderAndLoggerArgumentLists) {
    const CommandLine dravel = dravelCommand("/prog", "/r/img/cAf3.pgm", "/r/img/cAf3.jpg");
    EXPECT_EQ(dravel.program, "/prog/Dravel");
    EXPECT_EQ(dravel.arguments,
              QStringList({"-grayscale", "-outfile", "/r/img/cAf3.pgm", "/r/img/cAf3.jpg"}));

    const CommandLine sirrex =
        sirrexCommand("/prog", "/r/img/cAf3.pgm", " -xs335 -xe1170 -mt31.25", false, 3);
    EXPECT_EQ(sirrex.program, "/prog/Sirrex");
    EXPECT_EQ(sirrex.arguments,
              QStringList({"/r/img/cAf3.pgm", "-xs335", "-xe1170", "-mt31.25", "-ti3"}));
    const CommandLine round = sirrexCommand("/prog", "/a.pgm", " -xs335", true, 86400);
    EXPECT_EQ(round.arguments, QStringList({"/a.pgm", "-xs335", "-cp28662", "-ti86400"}));

    const CommandLine pendrel = pendrelCommand("/prog", "/prog/default/20260101_1030_a b");
    EXPECT_EQ(pendrel.program, "/prog/Pendrel");
    EXPECT_EQ(pendrel.arguments, QStringList({"/prog/default/20260101_1030_a b"}));
}
