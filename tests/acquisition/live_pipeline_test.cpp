// The live pipeline's scheduling of the converter and the finder, and its watch over a run,
// with a fake launcher and clock.

#include "app/acquisition/live_pipeline.h"
#include "platform/fakes/fake_services.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

using acquisition::LivePipeline;
using platform::WindowStyle;

class LivePipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(program.isValid());
        run = program.path() + "/run";
        ASSERT_TRUE(QDir().mkpath(run + "/img"));
        pipeline.startRun(run, "10.0.0.7", " -bs35");
    }

    void frame(int n, const char* kind = "jpg") {
        QFile f(run + "/img/c10_0_0_7f" + QString::number(n) + "." + kind);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    QStringList startsOf(const QString& name) const {
        QStringList out;
        for (const auto& s : fakes.launcher->started)
            if (QFileInfo(s.program).fileName() == name)
                out << s.arguments.last();
        return out;
    }
    void finishAll() {
        for (auto& [pid, running] : fakes.launcher->running)
            running = false;
    }

    QTemporaryDir program;
    QString run;
    platform::fakes::FakeServices fakes;
    LivePipeline pipeline{fakes.services(program.path())};
};

TEST_F(LivePipelineTest, OneConverterAndOneFinderAtATimeOnTheNewestFrames) {
    frame(1);
    frame(2);
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    // Frame 1 follows the cursor at 0 in the listing: it is taken first.
    EXPECT_EQ(startsOf("Dravel"), QStringList{run + "/img/c10_0_0_7f1.jpg"});
    EXPECT_EQ(fakes.launcher->started.back().style, WindowStyle::Hidden);
    frame(3);
    // The converter still runs: nothing new starts.
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    EXPECT_EQ(startsOf("Dravel").size(), 1);
    finishAll();
    frame(1, "pgm");
    ASSERT_EQ(pipeline.scheduleHelpers(true), LivePipeline::Step::Ok);
    // The frame after the cursor when it is there, else the newest.
    EXPECT_EQ(startsOf("Dravel").last(), run + "/img/c10_0_0_7f2.jpg");
    ASSERT_EQ(startsOf("Sirrex").size(), 1);
    const auto& finder = fakes.launcher->started.back();
    EXPECT_EQ(finder.arguments,
              (QStringList{run + "/img/c10_0_0_7f1.pgm", "-bs35", "-cp28662", "-ti1"}));
    EXPECT_EQ(finder.style, WindowStyle::Hidden);
    EXPECT_EQ(pipeline.cursor().jpgCursor, 2);
    EXPECT_EQ(pipeline.cursor().pgmCursor, 1);
}

TEST_F(LivePipelineTest, AProgramThatCannotStartIsSaid) {
    frame(1);
    fakes.launcher->failStarts = true;
    EXPECT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::ConverterNotStarted);
    fakes.launcher->failStarts = false;
    finishAll();
    frame(1, "pgm");
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    finishAll();
    frame(2, "pgm");
    fakes.launcher->failStarts = true;
    EXPECT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::FinderNotStarted);
}

TEST_F(LivePipelineTest, ConvertedFramesAreDroppedOrTheFailureIsSaid) {
    frame(4, "pgm");
    EXPECT_TRUE(pipeline.dropConvertedFrame(4));
    EXPECT_FALSE(QFile::exists(run + "/img/c10_0_0_7f4.pgm"));
    EXPECT_TRUE(pipeline.dropConvertedFrame(5)); // nothing there: nothing to drop
    // Something that cannot be deleted in its place.
    ASSERT_TRUE(QDir().mkpath(run + "/img/c10_0_0_7f6.pgm/inside"));
    EXPECT_FALSE(pipeline.dropConvertedFrame(6));
}

TEST_F(LivePipelineTest, StalledFramesAndAnEndedLoggerAreTold) {
    pipeline.setLoggerPid(fakes.launcher->start("Pendrel", {}));
    EXPECT_EQ(pipeline.stallText(true), "");
    fakes.clock->advance(5000);
    EXPECT_EQ(pipeline.stallText(true), "No frame from the device yet");
    frame(0);
    EXPECT_EQ(pipeline.stallText(true), "");
    frame(1);
    frame(2);
    fakes.clock->advance(1000);
    EXPECT_EQ(pipeline.stallText(true), "");
    fakes.clock->advance(4999);
    EXPECT_EQ(pipeline.stallText(true), "");
    fakes.clock->advance(1);
    EXPECT_EQ(pipeline.stallText(true), "No new frame from the device since frame 2");
    frame(3);
    EXPECT_EQ(pipeline.stallText(true), "");
    finishAll();
    EXPECT_EQ(pipeline.stallText(true), "The logger has stopped");
    EXPECT_FALSE(pipeline.loggerRunning());
}

TEST_F(LivePipelineTest, AConverterOrFinderThatRefusesAFrameIsSaidAtOnce) {
    // The finder refuses frame 1 as Sirrex does a bad option value: status 1 and one line.
    frame(1, "pgm");
    fakes.launcher->onStart = [this](const platform::fakes::FakeLauncher::Start& s) {
        fakes.launcher->running[s.pid] = false;
        if (QFileInfo(s.program).fileName() == "Sirrex")
            fakes.launcher->ends[s.pid] = {1, "Bad option value -bsabc (not a decimal number)"};
        else
            fakes.launcher->ends[s.pid] = {1, ""};
    };
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    EXPECT_EQ(pipeline.stallText(true), "");
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    EXPECT_EQ(pipeline.stallText(true),
              "The finder refused frame 1: Bad option value -bsabc (not a decimal number)");
    // No block comes for it: its converted frame does not stay behind.
    EXPECT_FALSE(QFile::exists(run + "/img/c10_0_0_7f1.pgm"));
    // A converter that fails says so too, with its status when it wrote nothing.
    frame(2);
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    EXPECT_EQ(pipeline.stallText(true), "The converter refused frame 2: exit status 1");
    // A frame done well clears the status.
    fakes.launcher->onStart = [this](const platform::fakes::FakeLauncher::Start& s) {
        fakes.launcher->running[s.pid] = false;
        fakes.launcher->ends[s.pid] = {0, ""};
    };
    frame(3);
    frame(3, "pgm");
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    EXPECT_EQ(pipeline.stallText(true), "");
}

TEST_F(LivePipelineTest, HelpersGetTwoSecondsToFinishThenAreStopped) {
    frame(1);
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    const std::int64_t dravel = fakes.launcher->started.back().pid;
    const std::int64_t before = fakes.clock->elapsedMs;
    pipeline.finishHelpers();
    EXPECT_EQ(fakes.clock->elapsedMs - before, 2000);
    EXPECT_EQ(fakes.launcher->stopped, std::vector<std::int64_t>{dravel});
    // A helper that ended by itself is not waited for.
    frame(2);
    ASSERT_EQ(pipeline.scheduleHelpers(false), LivePipeline::Step::Ok);
    finishAll();
    const std::int64_t later = fakes.clock->elapsedMs;
    pipeline.finishHelpers();
    EXPECT_EQ(fakes.clock->elapsedMs, later);
}

} // namespace
