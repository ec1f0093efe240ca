// The frame-folder check with a sampler that hands out chosen box means: frame numbers, box
// centres, the frame-check file byte for byte, and the bad-frame rename rule.

#include "app/microbeam/frame_check.h"
#include "platform/fakes/fake_services.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <map>

using namespace microbeam;
using platform::fakes::FakeServices;

// Failures show texts as texts.
static void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const ArenaLimits kDefaultLimits{335, 1170, 215, 1035};

class FrameCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        program = dir.filePath("bin");
        folder = dir.filePath("frames");
        QDir().mkpath(program);
        QDir().mkpath(folder);
        sampler.showFrame = [this](const QString& path) {
            shown << path;
            current = path;
            box = 0;
            return !unshowable.contains(path);
        };
        sampler.meanGrayAt = [this](std::int16_t x, std::int16_t y) {
            points.push_back({x, y});
            const auto it = values.find(current);
            const BoxValues v =
                it == values.end() ? BoxValues{100, 100, 100, 100, 100} : it->second;
            return v[static_cast<std::size_t>(box++ % 5)];
        };
    }

    QString framePath(int n, const QString& prefix = "c1_2f") const {
        return folder + "/" + prefix + QString::number(n) + ".jpg";
    }
    void frame(int n, const QString& prefix = "c1_2f") {
        writeBytes(framePath(n, prefix), "jpeg of frame " + QByteArray::number(n));
    }

    // Runs the check through to its rows, as the window does when nobody stops it.
    FrameCheck::FinishResult runThrough(FrameCheck& check, const QString& checkedFolder) {
        const auto begun = check.begin(checkedFolder, kDefaultLimits);
        EXPECT_TRUE(begun.ok) << begun.message.toStdString();
        while (!check.samplingDone())
            check.step(sampler);
        return check.finish();
    }

    QString checkFile() const { return program + "/verificador.txt"; }
    platform::Services services() { return fakes.services(program); }

    QTemporaryDir dir;
    QString program;
    QString folder;
    FakeServices fakes;
    GraySampler sampler;
    std::map<QString, BoxValues> values;
    QStringList unshowable;
    QStringList shown;
    QString current;
    int box = 0;
    std::vector<SamplePoint> points;
};

} // namespace

TEST(FrameCheckRules, FrameNumbersOfNames) {
    EXPECT_EQ(frameNumberOfName("c1_2f12.jpg"), std::int16_t{12});
    EXPECT_EQ(frameNumberOfName("c1_2f12m.jpg"), std::int16_t{12});
    EXPECT_EQ(frameNumberOfName("cf.jpg"), std::int16_t{0});
    EXPECT_EQ(frameNumberOfName("f.jpg"), std::int16_t{0});
    // An address holding an "f": the number is the one before the extension.
    EXPECT_EQ(frameNumberOfName("c1f2f5.jpg"), std::int16_t{5});
    EXPECT_EQ(frameNumberOfName("cwifi-camf12m.jpg"), std::int16_t{12});
    EXPECT_EQ(framePrefixOfName("cwifi-camf12.jpg"), "cwifi-camf");
    EXPECT_EQ(frameNumberOfName("c1f2fx.jpg"), std::int16_t{2}); // not of the form: first "f"
    EXPECT_EQ(frameNumberOfName("cf32767.jpg"), std::int16_t{32767});
    EXPECT_EQ(frameNumberOfName("cf40000.jpg"), std::nullopt);
    EXPECT_EQ(frameNumberOfName("cf99999999999.jpg"), std::nullopt);
    EXPECT_EQ(frameNumberOfName("c1_2.jpg"), std::nullopt);
    EXPECT_EQ(framePrefixOfName("c192_168_4_1f0.jpg"), "c192_168_4_1f");
    EXPECT_EQ(framePrefixOfName("abc.jpg"), "");
}

TEST(FrameCheckRules, BoxCentresRoundHalvesToEven) {
    const auto c = sampleBoxCentres(kDefaultLimits);
    ASSERT_TRUE(c);
    const std::array<SamplePoint, 5> expected{SamplePoint{752, 165}, SamplePoint{752, 1095},
                                              SamplePoint{285, 625}, SamplePoint{410, 312},
                                              SamplePoint{360, 938}};
    EXPECT_EQ(*c, expected);
    // Sums of two limits are taken as written, not as widths.
    const auto odd = sampleBoxCentres({1, 2, 3, 8});
    ASSERT_TRUE(odd);
    // (1 + 2) / 2 = 1.5 -> 2; 11 / 2 = 5.5 -> 6; 3 / 20 + 1 = 1.15 -> 1; 11 / 4 = 2.75 -> 3;
    // 3 x 2.75 = 8.25 -> 8.
    const std::array<SamplePoint, 5> expectedOdd{SamplePoint{2, -47}, SamplePoint{2, 68},
                                                 SamplePoint{-49, 6}, SamplePoint{1, 3},
                                                 SamplePoint{-49, 8}};
    EXPECT_EQ(*odd, expectedOdd);
    EXPECT_EQ(sampleBoxCentres({20000, 20000, 0, 0}), std::nullopt);
    EXPECT_EQ(sampleBoxCentres({-32750, 0, 0, 0}), std::nullopt); // x1 - 50
    EXPECT_EQ(sampleBoxCentres({0, 0, 0, 32750}), std::nullopt);
}

TEST(FrameCheckRules, MeanGrayOfABoxCountsOutsidePointsAsTheReaderSays) {
    // Left half 0, right half (x > 0) 255: 50 columns of 101 at 255 -> 12750 x 101 / 10201.
    const auto gray = [](int x, int) { return x > 0 ? 255 : 0; };
    EXPECT_EQ(meanGrayOfBox(0, 0, gray), 126); // 1287750 / 10201 = 126.24
    EXPECT_EQ(meanGrayOfBox(0, 0, [](int, int) { return 37; }), 37);
    int calls = 0;
    meanGrayOfBox(10, 20, [&](int x, int y) {
        ++calls;
        EXPECT_TRUE(x >= -40 && x <= 60 && y >= -30 && y <= 70);
        return 0;
    });
    EXPECT_EQ(calls, 10201);
}

TEST(FrameCheckRules, SixPercentIsGoodAboveItBad) {
    const std::array<double, 5> means{100, 100, 100, 50, 150};
    EXPECT_FALSE(isBadFrame({106, 94, 100, 53, 159}, means));
    EXPECT_TRUE(isBadFrame({107, 100, 100, 50, 150}, means));
    EXPECT_TRUE(isBadFrame({100, 93, 100, 50, 150}, means));
    EXPECT_TRUE(isBadFrame({100, 100, 100, 50, 160}, means));
    EXPECT_TRUE(isBadFrame({100, 100, 100, 46, 150}, means));
}

TEST(FrameCheckRules, HeaderAndRowsByteForByte) {
    EXPECT_EQ(frameCheckHeader("C:/frames/img"), "C:/frames/img\r\nFile v1 v2 v3 v4\r\n");
    EXPECT_EQ(frameCheckRow("c1_2f", 3, {90, 91, 92, 93, 94}, true),
              "c1_2f3 0 90 91 92 93 94 *\r\n");
    EXPECT_EQ(frameCheckRow("c1_2f", 12, {1, 0, 255, 7, 100}, false),
              "c1_2f12 1 1 0 255 7 100\r\n");
}

TEST_F(FrameCheckTest, AFolderWithGapsMarkedFramesAndAnotherPrefix) {
    for (int n : {0, 1, 2, 4, 5, 8, 9, 10, 11, 12, 13, 14})
        frame(n);
    writeBytes(folder + "/c1_2f6m.jpg", "marked earlier"); // raises N, not sampled
    frame(20, "xf");                                       // another prefix: raises N only
    writeBytes(folder + "/c1_2f7.png", "not a frame");
    values[framePath(9)] = {100, 100, 100, 100, 130};
    values[framePath(12)] = {100, 80, 100, 100, 100};

    FrameCheck check(services());
    const auto begun = check.begin(folder, kDefaultLimits);
    ASSERT_TRUE(begun.ok);
    EXPECT_EQ(begun.framePrefix, "c1_2f");
    EXPECT_EQ(begun.highest, 20);
    // The header replaces the file at once.
    EXPECT_EQ(readBytes(checkFile()), folder.toUtf8() + "\r\nFile v1 v2 v3 v4\r\n");

    std::vector<std::int32_t> looked;
    std::vector<std::int32_t> sampled;
    while (!check.samplingDone()) {
        const auto s = check.step(sampler);
        looked.push_back(s.frame);
        if (s.sampled)
            sampled.push_back(s.frame);
    }
    EXPECT_EQ(looked.size(), 21u);
    EXPECT_EQ(sampled, (std::vector<std::int32_t>{0, 1, 2, 4, 5, 8, 9, 10, 11, 12, 13, 14}));
    ASSERT_EQ(points.size(), 60u);
    EXPECT_EQ(points[0], (SamplePoint{752, 165}));
    EXPECT_EQ(points[4], (SamplePoint{360, 938}));

    const auto f = check.finish();
    EXPECT_EQ(f.error, "");
    EXPECT_EQ(f.note, "");
    EXPECT_EQ(f.sampled, 12);
    EXPECT_EQ(f.badFrames, (std::vector<std::int32_t>{9, 12}));
    EXPECT_EQ(f.badList, "9 12");
    EXPECT_EQ(f.question, "Reading Error [9 12]. RENAME?");
    QByteArray expected = folder.toUtf8() + "\r\nFile v1 v2 v3 v4\r\n";
    for (int n : {0, 1, 2, 4, 5, 8}) {
        expected += "c1_2f" + QByteArray::number(n) + " 1 100 100 100 100 100\r\n";
    }
    expected += "c1_2f9 0 100 100 100 100 130 *\r\n";
    expected += "c1_2f10 1 100 100 100 100 100\r\n";
    expected += "c1_2f11 1 100 100 100 100 100\r\n";
    expected += "c1_2f12 0 100 80 100 100 100 *\r\n";
    expected += "c1_2f13 1 100 100 100 100 100\r\n";
    expected += "c1_2f14 1 100 100 100 100 100\r\n";
    EXPECT_EQ(readBytes(checkFile()), expected);

    const auto outcomes = check.renameBadFrames();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].renamed);
    EXPECT_TRUE(outcomes[1].renamed);
    EXPECT_EQ(fakes.dialogs->messages(),
              (QStringList{"OK Renaming file #9", "OK Renaming file #12"}));
    EXPECT_EQ(fakes.clock->pauses, (std::vector<int>{500, 500}));
    EXPECT_FALSE(QFileInfo::exists(framePath(9)));
    EXPECT_EQ(readBytes(folder + "/c1_2f9m.jpg"), "jpeg of frame 9");
    EXPECT_EQ(readBytes(folder + "/c1_2f12m.jpg"), "jpeg of frame 12");
    EXPECT_TRUE(QFileInfo::exists(framePath(8)));
    EXPECT_TRUE(check.active());
    check.end();
    EXPECT_FALSE(check.active());
    EXPECT_EQ(MicrobeamClaim::current(), MicrobeamClaim::Holder::None);
}

TEST_F(FrameCheckTest, ACopyThatCannotBeMadeKeepsTheOriginal) {
    for (int n = 0; n <= 3; ++n)
        frame(n);
    values[framePath(1)] = {150, 100, 100, 100, 100};
    values[framePath(2)] = {150, 100, 100, 100, 100};
    // Frame 2's marked name is taken by a folder: the copy cannot be made. Frame 3's is taken
    // by a frame marked before, a stored picture that the copy may not replace.
    QDir().mkpath(folder + "/c1_2f2m.jpg");
    writeBytes(folder + "/c1_2f3m.jpg", "frame 3 marked before");
    FrameCheck check(services());
    const auto f = runThrough(check, folder);
    ASSERT_EQ(f.badList, "0 1 2 3"); // mean 125: every frame is 25 away
    const auto outcomes = check.renameBadFrames();
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_FALSE(outcomes[2].renamed);
    EXPECT_EQ(outcomes[2].message, "error renaming File #2");
    EXPECT_EQ(fakes.dialogs->messages(),
              (QStringList{"OK Renaming file #0", "OK Renaming file #1", "error renaming File #2",
                           "error renaming File #3"}));
    EXPECT_EQ(readBytes(framePath(2)), "jpeg of frame 2");
    EXPECT_TRUE(QFileInfo(folder + "/c1_2f2m.jpg").isDir());
    EXPECT_EQ(readBytes(framePath(3)), "jpeg of frame 3");
    EXPECT_EQ(readBytes(folder + "/c1_2f3m.jpg"), "frame 3 marked before");
}

TEST_F(FrameCheckTest, TheRenameRuleChecksTheCopysSize) {
    frame(4);
    // A clock whose pause truncates the copy stands for a copy that went wrong on the disk.
    struct TruncatingClock : platform::fakes::FakeClock {
        QString victim;
        void pause(int ms) override {
            FakeClock::pause(ms);
            QFile f(victim);
            if (f.open(QIODevice::ReadWrite))
                f.resize(3);
        }
    } clock;
    clock.victim = folder + "/c1_2f4m.jpg";
    EXPECT_FALSE(markBadFrame(framePath(4), clock));
    EXPECT_EQ(readBytes(framePath(4)), "jpeg of frame 4");
    EXPECT_FALSE(QFileInfo::exists(clock.victim));

    platform::fakes::FakeClock plain;
    EXPECT_TRUE(markBadFrame(framePath(4), plain));
    EXPECT_FALSE(QFileInfo::exists(framePath(4)));
    EXPECT_EQ(readBytes(clock.victim), "jpeg of frame 4");
    EXPECT_FALSE(markBadFrame(framePath(4), plain)); // nothing left to mark
}

TEST_F(FrameCheckTest, AFolderWithoutFramesOnlyTouchesTheFile) {
    frame(0, "c1_2g"); // no "f" in it: not a frame name
    FrameCheck check(services());
    auto b = check.begin(folder, kDefaultLimits);
    EXPECT_FALSE(b.ok);
    EXPECT_EQ(b.message, "File 0 not found");
    EXPECT_EQ(readBytes(checkFile()), "");
    EXPECT_FALSE(check.active());
    writeBytes(checkFile(), "an earlier check\r\n");
    b = check.begin(folder, kDefaultLimits);
    EXPECT_EQ(readBytes(checkFile()), "an earlier check\r\n");
}

TEST_F(FrameCheckTest, OnlyFrameZeroWritesTheHeaderAndAsksNothing) {
    frame(0);
    FrameCheck check(services());
    const auto begun = check.begin(folder, kDefaultLimits);
    ASSERT_TRUE(begun.ok);
    EXPECT_EQ(begun.highest, 0);
    EXPECT_TRUE(check.samplingDone());
    const auto f = check.finish();
    EXPECT_TRUE(f.badFrames.empty());
    EXPECT_EQ(f.question, "");
    EXPECT_EQ(f.note, "No frame of " + folder +
                          " was sampled; verificador.txt holds only its "
                          "header.");
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(readBytes(checkFile()), folder.toUtf8() + "\r\nFile v1 v2 v3 v4\r\n");
}

TEST_F(FrameCheckTest, MarkedFramesOnlySampleNothing) {
    writeBytes(folder + "/c1_2f3m.jpg", "marked");
    writeBytes(folder + "/c1_2f5m.jpg", "marked");
    FrameCheck check(services());
    const auto f = runThrough(check, folder);
    EXPECT_EQ(f.sampled, 0);
    EXPECT_TRUE(f.badFrames.empty());
    EXPECT_EQ(f.question, "");
    EXPECT_FALSE(f.note.isEmpty());
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(readBytes(checkFile()), folder.toUtf8() + "\r\nFile v1 v2 v3 v4\r\n");
}

TEST_F(FrameCheckTest, ABlackOrUnreadableFrameIsBadAndLeftOutOfTheMeans) {
    for (int n = 0; n <= 10; ++n)
        frame(n);
    values[framePath(5)] = {0, 0, 0, 0, 0};
    unshowable << framePath(8);
    FrameCheck check(services());
    const auto f = runThrough(check, folder);
    // Only the black and the unreadable frame are bad: the means are those of the good frames.
    EXPECT_EQ(f.badFrames, (std::vector<std::int32_t>{5, 8}));
    EXPECT_EQ(f.question, "Reading Error [5 8]. RENAME?");
    EXPECT_EQ(f.note, "Frames that could not be shown were left out: 8");
    // The black frame gets its bad row; the unreadable one has no values to write.
    QByteArray expected = folder.toUtf8() + "\r\nFile v1 v2 v3 v4\r\n";
    for (int n = 0; n <= 10; ++n) {
        if (n == 5)
            expected += "c1_2f5 0 0 0 0 0 0 *\r\n";
        else if (n != 8)
            expected += "c1_2f" + QByteArray::number(n) + " 1 100 100 100 100 100\r\n";
    }
    EXPECT_EQ(readBytes(checkFile()), expected);
    check.renameBadFrames();
    EXPECT_EQ(fakes.dialogs->messages(),
              (QStringList{"OK Renaming file #5", "OK Renaming file #8"}));
    for (int n = 0; n <= 10; ++n)
        EXPECT_EQ(QFileInfo::exists(framePath(n)), n != 5 && n != 8) << n;
}

TEST_F(FrameCheckTest, AFrameThatCannotBeShownIsLeftOutAndNamed) {
    for (int n = 0; n <= 2; ++n)
        frame(n);
    unshowable << framePath(1);
    FrameCheck check(services());
    const auto f = runThrough(check, folder);
    EXPECT_EQ(f.sampled, 2);
    EXPECT_EQ(f.note, "Frames that could not be shown were left out: 1");
    EXPECT_EQ(readBytes(checkFile()), folder.toUtf8() + "\r\nFile v1 v2 v3 v4\r\n" +
                                          "c1_2f0 1 100 100 100 100 100\r\n" +
                                          "c1_2f2 1 100 100 100 100 100\r\n");
}

TEST_F(FrameCheckTest, AStopLeavesTheHeaderAloneAndAsksNothing) {
    for (int n = 0; n <= 9; ++n)
        frame(n);
    values[framePath(3)] = {10, 10, 10, 10, 10};
    FrameCheck check(services());
    ASSERT_TRUE(check.begin(folder, kDefaultLimits).ok);
    for (int i = 0; i < 4; ++i)
        check.step(sampler);
    check.stop();
    EXPECT_TRUE(check.samplingDone());
    EXPECT_FALSE(check.active());
    EXPECT_EQ(check.step(sampler).frame, -1);
    // A finish after the stop writes no rows either.
    EXPECT_EQ(check.finish().sampled, 0);
    EXPECT_EQ(readBytes(checkFile()), folder.toUtf8() + "\r\nFile v1 v2 v3 v4\r\n");
    EXPECT_TRUE(check.renameBadFrames().empty());
    EXPECT_TRUE(fakes.dialogs->log.empty());
}

TEST_F(FrameCheckTest, LimitsOutOfRangeCheckNothing) {
    frame(0);
    frame(1);
    FrameCheck check(services());
    const auto b = check.begin(folder, {20000, 20000, 0, 0});
    EXPECT_FALSE(b.ok);
    EXPECT_EQ(b.message, "The analysis limits are out of range; nothing was checked.");
    EXPECT_FALSE(QFileInfo::exists(checkFile()));
    EXPECT_FALSE(check.active());
}
