// The frame loop with a fake launcher that acts as the converter: it waits for each conversion,
// reads only what that conversion wrote, and keeps the counters as the windows show them.

#include "app/microbeam/frame_check.h"
#include "app/microbeam/frame_loop.h"
#include "platform/fakes/fake_services.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace microbeam;
using platform::fakes::FakeLauncher;
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

FrameLoopSetup setupOf(const QString& folder) {
    FrameLoopSetup setup;
    setup.folder = folder;
    return setup;
}

// A converted frame: a PGM of one gray level.
QByteArray pgmOf(FrameSize size, int gray) {
    return QByteArray("P5\n") + QByteArray::number(size.width) + ' ' +
           QByteArray::number(size.height) + "\n255\n" +
           QByteArray(size.width * size.height, static_cast<char>(gray));
}

class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        program = dir.filePath("bin");
        folder = dir.filePath("frames");
        QDir().mkpath(program);
        QDir().mkpath(folder);
        // The fake converter writes a PGM whose gray level is the JPEG's first byte; with
        // `convertAtOnce` it has ended by the next look, else the test ends it.
        fakes.launcher->onStart = [this](const FakeLauncher::Start& start) {
            if (!convertAtOnce)
                return;
            finishConversion(start);
        };
    }

    void finishConversion(const FakeLauncher::Start& start, bool writeOutput = true) {
        const QString out = start.arguments.value(4);
        const QString jpg = start.arguments.value(5);
        QFile in(jpg);
        if (writeOutput && in.open(QIODevice::ReadOnly)) {
            const QByteArray first = in.read(1);
            const FrameSize size =
                start.arguments.value(2) == "1/4" ? FrameSize{160, 120} : FrameSize{200, 150};
            writeBytes(out,
                       pgmOf(size, static_cast<unsigned char>(first.isEmpty() ? 0 : first.at(0))));
        }
        fakes.launcher->running[start.pid] = false;
    }

    // Frame n of the folder, its first byte the gray level the fake converter gives it.
    void frame(int n, int gray, const QString& prefix = "c1_2f") {
        writeBytes(folder + "/" + prefix + QString::number(n) + ".jpg",
                   QByteArray(1, static_cast<char>(gray)) + "jpeg");
    }

    // Ticks until a frame is done (at most `limit` ticks).
    FrameLoop::TickResult tickFrame(FrameLoop& loop, FrameLoop::TickInput& input, int limit = 5) {
        FrameLoop::TickResult r;
        for (int i = 0; i < limit; ++i) {
            r = loop.tick(input);
            if (r.frameDone || r.ended)
                break;
            fakes.clock->advance(100);
        }
        input.counter = r.counter;
        input.activity = r.activity;
        return r;
    }

    platform::Services services() { return fakes.services(program); }

    QTemporaryDir dir;
    QString program;
    QString folder;
    FakeServices fakes;
    bool convertAtOnce = true;
};

} // namespace

TEST_F(FrameLoopTest, HelpersOfTheWindows) {
    EXPECT_EQ(reducedFrameSize(false), (FrameSize{200, 150}));
    EXPECT_EQ(reducedFrameSize(true), (FrameSize{160, 120}));
    EXPECT_EQ(boxNumber("12abc"), 12);
    EXPECT_EQ(boxNumber(" 1 0"), 10);
    EXPECT_EQ(boxNumber("abc"), 0);
    EXPECT_EQ(boxNumber("2.5"), 2);
    EXPECT_EQ(boxNumber("3.5"), 4);
    EXPECT_EQ(boxNumber("1e12"), 2147483647);
    EXPECT_EQ(boxNumber("-1e12"), -2147483647 - 1);

    ActivityMask mask{};
    mask[1] = 1;   // (0, 0)
    mask[201] = 3; // (0, 1)
    mask[400] = 1; // (199, 1)
    mask[27646] = 2;
    mask[27647] = 2; // never marked
    const auto marks = maskMarks(mask, {200, 150});
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[0].x, 0);
    EXPECT_EQ(marks[0].y, 0);
    EXPECT_EQ(marks[1].x, 0);
    EXPECT_EQ(marks[1].y, 1);
    EXPECT_EQ(marks[2].x, 199);
    EXPECT_EQ(marks[2].y, 1);
    EXPECT_EQ(marks[3].x, 27645 % 200);
    EXPECT_EQ(marks[3].y, 27645 / 200);
    // Rows at or below the height are not marked.
    EXPECT_EQ(maskMarks(mask, {200, 1}).size(), 1u);
    EXPECT_TRUE(maskMarks(mask, {0, 0}).empty());
}

TEST_F(FrameLoopTest, NoFrameZeroStartsNothing) {
    frame(1, 100);
    FrameLoop loop(services());
    const auto r = loop.start(setupOf(folder));
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.message, "File 0 not found");
    EXPECT_FALSE(loop.running());
    EXPECT_TRUE(fakes.launcher->started.empty());
    EXPECT_EQ(MicrobeamClaim::current(), MicrobeamClaim::Holder::None);
}

TEST_F(FrameLoopTest, ARunOfElevenFramesComputesOneBlockAndEnds) {
    for (int n = 0; n <= 20; ++n)
        frame(n, 100 + n % 2);
    FrameLoop loop(services());
    const auto start = loop.start(setupOf(folder));
    ASSERT_TRUE(start.started) << start.message.toStdString();
    EXPECT_EQ(start.framePrefix, folder + "/c1_2f");
    EXPECT_EQ(loop.frameSize(), (FrameSize{200, 150}));
    ASSERT_EQ(fakes.launcher->started.size(), 1u);
    const auto& first = fakes.launcher->started[0];
    EXPECT_EQ(first.program, program + "/Dravel");
    EXPECT_EQ(first.arguments, (QStringList{"-grayscale", "-scale", "1/8", "-outfile",
                                            program + "/microbeam.pgm", folder + "/c1_2f0.jpg"}));
    EXPECT_EQ(first.style, platform::WindowStyle::Hidden);
    EXPECT_EQ(first.workingFolder, program);
    EXPECT_EQ(MicrobeamClaim::current(), MicrobeamClaim::Holder::MicrobeamRun);

    FrameLoop::TickInput input{0, 10, 0};
    int blocks = 0;
    std::vector<std::int32_t> frames;
    FrameLoop::TickResult r;
    for (int i = 0; i < 40 && !r.ended; ++i) {
        r = tickFrame(loop, input);
        ASSERT_TRUE(r.frameDone);
        EXPECT_TRUE(r.stored);
        EXPECT_EQ(r.pixels.size(), 30000u);
        EXPECT_EQ(r.pixels[0], 100 + r.frame % 2);
        frames.push_back(r.frame);
        blocks += r.blockDone;
        if (r.blockDone) {
            EXPECT_EQ(r.frame, 9);
        }
    }
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(frames, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(blocks, 1);
    EXPECT_EQ(input.counter, 11);
    EXPECT_FALSE(loop.running());
    EXPECT_EQ(loop.ring().index, 1); // frame 10 went into slot 0
    EXPECT_EQ(MicrobeamClaim::current(), MicrobeamClaim::Holder::None);
    // One conversion per frame: each conversion's PGM was used.
    EXPECT_EQ(fakes.launcher->started.size(), 11u);
}

TEST_F(FrameLoopTest, LastFrameEightComputesNoBlockNine) {
    for (int n = 0; n <= 12; ++n)
        frame(n, 100);
    for (int last : {8, 9}) {
        FrameLoop loop(services());
        ASSERT_TRUE(loop.start(setupOf(folder)).started);
        FrameLoop::TickInput input{0, last, 5};
        FrameLoop::TickResult r;
        int frames = 0;
        int blocks = 0;
        while (!r.ended) {
            r = tickFrame(loop, input);
            ASSERT_TRUE(r.frameDone);
            ++frames;
            blocks += r.blockDone;
        }
        EXPECT_EQ(frames, last + 1);
        EXPECT_EQ(blocks, last == 9 ? 1 : 0);
        EXPECT_EQ(input.activity, 5); // identical frames add 0 to what the box showed
    }
}

TEST_F(FrameLoopTest, WaitsForTheConverterBeforeReadingAndNeverReadsAStalePicture) {
    frame(0, 100);
    frame(1, 120);
    convertAtOnce = false;
    // A picture of an earlier conversion lies in the program folder.
    writeBytes(program + "/microbeam.pgm", pgmOf({200, 150}, 7));
    FrameLoop loop(services());
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    EXPECT_FALSE(QFileInfo::exists(program + "/microbeam.pgm"));

    FrameLoop::TickInput input{0, 1, 0};
    auto r = loop.tick(input);
    EXPECT_FALSE(r.frameDone);
    EXPECT_FALSE(r.ended);
    // The converter has written its file but not yet ended: still not read.
    writeBytes(program + "/microbeam.pgm", pgmOf({200, 150}, 55));
    fakes.clock->advance(100);
    r = loop.tick(input);
    EXPECT_FALSE(r.frameDone);
    finishConversion(fakes.launcher->started.back());
    r = loop.tick(input);
    ASSERT_TRUE(r.frameDone);
    EXPECT_TRUE(r.stored);
    EXPECT_EQ(r.pixels[0], 100);
    EXPECT_EQ(r.counter, 1);
    input.counter = r.counter;

    // The next conversion began in the same tick, with the old picture gone.
    ASSERT_EQ(fakes.launcher->started.size(), 2u);
    EXPECT_EQ(fakes.launcher->started[1].arguments.last(), folder + "/c1_2f1.jpg");
    EXPECT_FALSE(QFileInfo::exists(program + "/microbeam.pgm"));
    // The converter ends without output: the frame is not stored, the old picture not read.
    finishConversion(fakes.launcher->started[1], false);
    r = loop.tick(input);
    ASSERT_TRUE(r.frameDone);
    EXPECT_FALSE(r.stored);
    EXPECT_TRUE(r.unreadable);
    EXPECT_TRUE(r.pixels.empty());
    EXPECT_EQ(r.counter, 2);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(loop.unreadableFrames(), 1);
    EXPECT_EQ(loop.ring().frames[1].size(), 0u);
}

TEST_F(FrameLoopTest, TheRunKeepsToItsOwnWorkingFileBesideTheTrainingTestsPreview) {
    frame(0, 100);
    frame(1, 120);
    // The training test's full-size conversion, which its finder is about to search.
    const QByteArray trainingPreview = pgmOf({1600, 1200}, 7);
    writeBytes(program + "/preview.pgm", trainingPreview);
    FrameLoop loop(services());
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    FrameLoop::TickInput input{0, 1, 0};
    auto r = tickFrame(loop, input);
    EXPECT_EQ(r.pixels[0], 100);
    // A training test converting anew in the middle of the run changes nothing of it.
    writeBytes(program + "/preview.pgm", pgmOf({1600, 1200}, 9));
    r = tickFrame(loop, input);
    EXPECT_EQ(r.pixels[0], 120);
    EXPECT_TRUE(r.ended);
    for (const auto& start : fakes.launcher->started)
        EXPECT_EQ(start.arguments.value(4), program + "/microbeam.pgm");
    EXPECT_EQ(QFileInfo(program + "/preview.pgm").size(), trainingPreview.size());
}

TEST_F(FrameLoopTest, AConverterOverTheTimeLimitIsStoppedAndEndsTheRun) {
    frame(0, 100);
    convertAtOnce = false;
    FrameLoop loop(services());
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    const std::int64_t pid = fakes.launcher->started[0].pid;
    FrameLoop::TickInput input{0, 10, 0};
    fakes.clock->advance(kConversionLimitMs);
    auto r = loop.tick(input);
    EXPECT_FALSE(r.frameDone);
    EXPECT_FALSE(r.ended);
    fakes.clock->advance(1);
    r = loop.tick(input);
    EXPECT_FALSE(r.frameDone);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.error, "Dravel did not convert " + folder +
                           "/c1_2f0.jpg within 5 s; the Microbeam run stopped at frame 0.");
    EXPECT_EQ(r.counter, 0);
    EXPECT_EQ(fakes.launcher->stopped, (std::vector<std::int64_t>{pid}));
    EXPECT_FALSE(loop.running());
    EXPECT_EQ(MicrobeamClaim::current(), MicrobeamClaim::Holder::None);
}

TEST_F(FrameLoopTest, AnOldPictureThatCannotBeRemovedIsNeverTakenForANewOne) {
    frame(0, 100);
    // Something that cannot be deleted as a file stands where the picture goes.
    QDir().mkpath(program + "/microbeam.pgm/inside");
    FrameLoop loop(services());
    const auto r = loop.start(setupOf(folder));
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.message,
              "Cannot delete the old " + program + "/microbeam.pgm; the Microbeam run stopped.");
    EXPECT_TRUE(fakes.launcher->started.empty());
    EXPECT_EQ(MicrobeamClaim::current(), MicrobeamClaim::Holder::None);
}

TEST_F(FrameLoopTest, AConverterThatCannotStartEndsTheRunWithAMessage) {
    frame(0, 100);
    fakes.launcher->failStarts = true;
    FrameLoop loop(services());
    const auto r = loop.start(setupOf(folder));
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.message, "Cannot start " + program + "/Dravel; the Microbeam run stopped.");
    EXPECT_EQ(MicrobeamClaim::current(), MicrobeamClaim::Holder::None);
}

TEST_F(FrameLoopTest, AMissingFrameTakesThePreviousFramesPixels) {
    frame(0, 100);
    frame(1, 110);
    frame(3, 130);
    FrameLoop loop(services());
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    FrameLoop::TickInput input{0, 3, 0};
    tickFrame(loop, input);
    auto r = tickFrame(loop, input);
    EXPECT_EQ(r.pixels[0], 110);
    r = tickFrame(loop, input);
    EXPECT_EQ(r.frame, 2);
    EXPECT_TRUE(r.missing);
    EXPECT_TRUE(r.stored);
    EXPECT_EQ(r.pixels[0], 110);
    EXPECT_EQ(loop.ring().frames[2][0], 110);
    for (const auto& start : fakes.launcher->started) // nothing converted for it
        EXPECT_NE(start.arguments.last(), folder + "/c1_2f2.jpg");
    r = tickFrame(loop, input);
    EXPECT_EQ(r.pixels[0], 130);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(loop.missingFrames(), 1);
}

TEST_F(FrameLoopTest, AMissingFrameAfterAnUnusableConversionStoresNothing) {
    frame(0, 100);
    frame(1, 110);
    frame(3, 130);
    // Frame 1 converts to a picture without pixels.
    fakes.launcher->onStart = [this](const FakeLauncher::Start& start) {
        if (start.arguments.value(5).endsWith("/c1_2f1.jpg")) {
            writeBytes(start.arguments.value(4), "P5\n200 150\n255\n");
            fakes.launcher->running[start.pid] = false;
            return;
        }
        finishConversion(start);
    };
    FrameLoop loop(services());
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    FrameLoop::TickInput input{0, 3, 0};
    tickFrame(loop, input);
    auto r = tickFrame(loop, input);
    EXPECT_TRUE(r.unreadable);
    r = tickFrame(loop, input);
    EXPECT_EQ(r.frame, 2);
    EXPECT_TRUE(r.missing);
    // The last conversion had nothing storable: frame 0 does not stand in for frame 2.
    EXPECT_FALSE(r.stored);
    EXPECT_TRUE(loop.ring().frames[2].empty());
    EXPECT_EQ(r.counter, 3);
}

TEST_F(FrameLoopTest, AnEmptyOrErrorPictureIsNotStoredButCounted) {
    frame(0, 100);
    frame(1, 100);
    FrameLoop loop(services());
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    FrameLoop::TickInput input{0, 1, 0};
    // The converter writes a picture whose pixels begin with "Error".
    fakes.launcher->onStart = [&](const FakeLauncher::Start& start) {
        writeBytes(start.arguments.value(4), "P5\n200 150\n255\nError in frame");
        fakes.launcher->running[start.pid] = false;
    };
    loop.stop();
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    auto r = tickFrame(loop, input);
    EXPECT_TRUE(r.frameDone);
    EXPECT_FALSE(r.stored);
    EXPECT_TRUE(r.unreadable);
    EXPECT_EQ(r.counter, 1);
}

TEST_F(FrameLoopTest, MicroModeConvertsAQuarterAndUsesItsGeometry) {
    frame(0, 100);
    FrameLoop loop(services());
    FrameLoopSetup setup = setupOf(folder);
    setup.micro = true;
    ASSERT_TRUE(loop.start(setup).started);
    EXPECT_EQ(loop.frameSize(), (FrameSize{160, 120}));
    EXPECT_EQ(fakes.launcher->started[0].arguments.value(2), "1/4");
    FrameLoop::TickInput input{0, 0, 0};
    const auto r = tickFrame(loop, input);
    EXPECT_EQ(r.pixels.size(), 19200u);
}

TEST_F(FrameLoopTest, TheReanalysisWindowTakesFramesOfTheAcquisition) {
    const QString acquisition = dir.filePath("20260115_1030_plate");
    folder = acquisition + "/img";
    frame(0, 100, "c127_0_0_1f");
    frame(12, 100, "c127_0_0_1f");
    FrameLoop loop(services());
    FrameLoopSetup setup = setupOf(folder);
    setup.acquisitionFolder = acquisition;
    setup.deviceAddress = "127.0.0.1";
    ASSERT_TRUE(loop.start(setup).started);
    EXPECT_EQ(loop.framePath(12), acquisition + "/img/c127_0_0_1f12.jpg");
    EXPECT_EQ(fakes.launcher->started[0].arguments.last(), acquisition + "/img/c127_0_0_1f0.jpg");
}

TEST_F(FrameLoopTest, ACounterChangedByHandDropsTheConversionUnderWay) {
    frame(0, 100);
    frame(5, 150);
    convertAtOnce = false;
    FrameLoop loop(services());
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    const std::int64_t first = fakes.launcher->started[0].pid;
    FrameLoop::TickInput input{5, 10, 0};
    auto r = loop.tick(input);
    EXPECT_FALSE(r.frameDone);
    EXPECT_EQ(fakes.launcher->stopped, (std::vector<std::int64_t>{first}));
    ASSERT_EQ(fakes.launcher->started.size(), 2u);
    finishConversion(fakes.launcher->started[1]);
    r = loop.tick(input);
    ASSERT_TRUE(r.frameDone);
    EXPECT_EQ(r.frame, 5);
    EXPECT_EQ(r.pixels[0], 150);
    EXPECT_EQ(r.counter, 6);
}

TEST_F(FrameLoopTest, OnlyOneRunOrCheckAtATime) {
    frame(0, 100);
    FrameLoop loop(services());
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    FrameLoop other(services());
    const auto refused = other.start(setupOf(folder));
    EXPECT_FALSE(refused.started);
    EXPECT_EQ(refused.message, "A Microbeam run is in progress; stop it before starting another "
                               "Microbeam run or frame check.");
    FrameCheck check(services());
    const auto begun = check.begin(folder, {});
    EXPECT_FALSE(begun.ok);
    EXPECT_EQ(begun.message, refused.message);
    EXPECT_FALSE(QFileInfo::exists(program + "/verificador.txt"));

    loop.stop();
    EXPECT_TRUE(check.begin(folder, {}).ok);
    const auto refusedByCheck = other.start(setupOf(folder));
    EXPECT_FALSE(refusedByCheck.started);
    EXPECT_EQ(refusedByCheck.message, "A frame check is in progress; stop it before starting "
                                      "another Microbeam run or frame check.");
    check.stop();
    EXPECT_TRUE(other.start(setupOf(folder)).started);
    {
        FrameLoop destroyed(services());
        other.stop();
        ASSERT_TRUE(destroyed.start(setupOf(folder)).started);
    }
    EXPECT_EQ(MicrobeamClaim::current(), MicrobeamClaim::Holder::None);
}

TEST_F(FrameLoopTest, ASecondStartKeepsTheRingAndRestartsTheMask) {
    for (int n = 0; n <= 10; ++n)
        frame(n, 100 + (n == 4 ? 0 : n % 2));
    FrameLoop loop(services());
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    FrameLoop::TickInput input{0, 9, 0};
    while (!tickFrame(loop, input).ended) {
    }
    EXPECT_EQ(loop.ring().frames[9][0], 101);
    ASSERT_TRUE(loop.start(setupOf(folder)).started);
    EXPECT_EQ(loop.ring().index, 0);
    EXPECT_EQ(loop.ring().frames[9][0], 101);
    EXPECT_EQ(loop.mask(), ActivityMask{});
}

TEST_F(FrameLoopTest, NoTickWorkWithoutARun) {
    FrameLoop loop(services());
    const auto r = loop.tick({3, 10, 7});
    EXPECT_FALSE(r.frameDone);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.counter, 3);
    EXPECT_EQ(r.activity, 7);
    EXPECT_TRUE(fakes.launcher->started.empty());
}
