#include "logger/logger_core.h"

#include "formats/run_data_file.h"
#include "platform/fakes/fake_services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

using logger::Logger;
using logger::TickAction;

namespace {

const QByteArray kJpeg =
    QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(64, 'j') + QByteArray("\xFF\xD9", 2);

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

class ThrowingDownloader : public platform::Downloader {
public:
    bool downloadFile(const QString&, const QString&) override {
        throw std::runtime_error("broken");
    }
};

class LoggerTest : public ::testing::Test {
protected:
    LoggerTest() {
        QDir(root.path()).mkpath("prog");
        QDir(root.path()).mkpath("project/20260115_1030_run/img");
        downloader.bodies["http://192.168.4.1/capture"] = kJpeg;
    }
    QString prog() const { return root.path() + "/prog"; }
    QString acq() const { return root.path() + "/project/20260115_1030_run"; }
    void writeRunData(const std::string& minutes, int mode = 0,
                      const std::string& address = "192.168.4.1") {
        formats::RunData d;
        d.deviceAddress = address;
        d.acquisitionFolder = acq().toStdString();
        d.startTime = "2026/01/15 10:30:00";
        d.runLength = minutes;
        d.acquisitionMode = mode;
        writeFile(prog() + "/rundata.dat", QByteArray::fromStdString(formats::runDataText(d)));
        writeFile(acq() + "/rundata.dat", QByteArray::fromStdString(formats::runDataText(d)));
        writeFile(acq() + "/training.dat", "xs 100\r\n");
    }
    QString frame(int n) const {
        return acq() + "/img/c192_168_4_1f" + QString::number(n) + ".jpg";
    }
    QStringList imgFiles() const {
        return QDir(acq() + "/img").entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QStringList logLines() const {
        return QString::fromLatin1(readAll(acq() + "/speed_test.csv"))
            .split("\r\n", Qt::SkipEmptyParts);
    }

    QTemporaryDir root;
    platform::fakes::FakeClock clock;
    platform::fakes::FakeDownloader downloader;
};

TEST_F(LoggerTest, StartCapturesFrameZeroAndLogsItsTiming) {
    writeRunData("1");
    Logger logger(clock, downloader, prog());
    const auto start = logger.LoggerStart(acq());
    ASSERT_TRUE(start.ok) << start.error.toStdString();
    EXPECT_EQ(logger.startFolder(), acq());
    EXPECT_EQ(logger.deviceAddress(), "192.168.4.1");
    EXPECT_EQ(logger.captureFolder(), acq());
    EXPECT_EQ(logger.runSeconds(), 60);
    EXPECT_EQ(downloader.requests, QStringList{"http://192.168.4.1/capture"});
    EXPECT_EQ(readAll(frame(0)), kJpeg);
    // The fake clock stands still except for the 1 ms pause after the fetch.
    EXPECT_EQ(readAll(acq() + "/speed_test.csv"),
              QByteArray("0:,INIT,0,CacheDeleted,0,JPG_Downloaded,0,D,1\r\n"));
    EXPECT_EQ(readAll(prog() + "/speed_test.txt"), QByteArray("2026-01-15 10:30.00\r\n"));
    EXPECT_FALSE(QFile::exists(acq() + "/activity.txt"));
    EXPECT_FALSE(QDir(acq() + "/pgm_micro").exists());
}

TEST_F(LoggerTest, MissingRunDataOrTrainingEndsTheStartWithoutCapturing) {
    Logger logger(clock, downloader, prog());
    auto start = logger.LoggerStart(acq());
    EXPECT_FALSE(start.ok);
    EXPECT_TRUE(start.error.contains("rundata.dat")) << start.error.toStdString();
    EXPECT_TRUE(QFile::exists(prog() + "/speed_test.txt"));

    writeRunData("1");
    QFile::remove(acq() + "/training.dat");
    start = Logger(clock, downloader, prog()).LoggerStart(acq());
    EXPECT_FALSE(start.ok);
    EXPECT_TRUE(start.error.contains("training.dat")) << start.error.toStdString();

    // The acquisition folder holds one, the program folder none.
    writeRunData("1");
    QFile::remove(prog() + "/rundata.dat");
    start = Logger(clock, downloader, prog()).LoggerStart(acq());
    EXPECT_FALSE(start.ok);
    EXPECT_TRUE(downloader.requests.isEmpty());
    EXPECT_TRUE(imgFiles().isEmpty());
}

TEST_F(LoggerTest, RefusedDeviceAddressEndsTheStart) {
    writeRunData("1", 0, "192.168.4.1/../../x");
    const auto start = Logger(clock, downloader, prog()).LoggerStart(acq());
    EXPECT_FALSE(start.ok);
    EXPECT_TRUE(downloader.requests.isEmpty());
    EXPECT_TRUE(imgFiles().isEmpty());
}

TEST_F(LoggerTest, RunDataWithoutAnAcquisitionFolderEndsTheStart) {
    writeRunData("1");
    const QByteArray shortRun = "192.168.4.1\r\n";
    writeFile(prog() + "/rundata.dat", shortRun);
    const auto start = Logger(clock, downloader, prog()).LoggerStart(acq());
    EXPECT_FALSE(start.ok);
    EXPECT_EQ(start.error, "the run data names no acquisition folder");
    EXPECT_TRUE(downloader.requests.isEmpty());
}

TEST_F(LoggerTest, ElapsedTimeIgnoresChangesOfTheWallClock) {
    writeRunData("1");
    Logger logger(clock, downloader, prog());
    ASSERT_TRUE(logger.LoggerStart(acq()).ok);
    clock.advance(3000);
    clock.wall = clock.wall.addSecs(-3600); // the system time is set back an hour
    const auto outcome = logger.LoggerTick();
    EXPECT_EQ(outcome.action, TickAction::Captured);
    EXPECT_EQ(outcome.elapsed, 3);
    EXPECT_TRUE(QFile::exists(frame(3)));
    clock.wall = clock.wall.addSecs(7200);
    EXPECT_EQ(logger.LoggerTick().action, TickAction::Nothing);
}

TEST_F(LoggerTest, ShortArgumentStandsForTheProgramFolder) {
    writeRunData("1");
    Logger logger(clock, downloader, prog());
    EXPECT_FALSE(logger.LoggerStart("/tmp/x").ok); // the program folder holds no training.dat
    EXPECT_EQ(logger.startFolder(), prog());
    writeFile(prog() + "/training.dat", "xs 1\r\n");
    Logger again(clock, downloader, prog());
    EXPECT_TRUE(again.LoggerStart("").ok);
    EXPECT_EQ(again.startFolder(), prog());
}

TEST_F(LoggerTest, MicrobeamModePreparesTheActivityFiles) {
    writeRunData("1", 1);
    writeFile(acq() + "/activity.txt", "old rows\r\n");
    Logger logger(clock, downloader, prog());
    ASSERT_TRUE(logger.LoggerStart(acq()).ok);
    EXPECT_EQ(logger.acquisitionMode(), 1);
    EXPECT_TRUE(QDir(acq() + "/pgm_micro").exists());
    EXPECT_EQ(readAll(acq() + "/activity.txt"), QByteArray("#block time[s] activity\r\n"));
}

TEST_F(LoggerTest, FailedOrForeignFetchLeavesNoFrameAndSaysSo) {
    writeRunData("1");
    downloader.bodies.clear();
    Logger logger(clock, downloader, prog());
    ASSERT_TRUE(logger.LoggerStart(acq()).ok);
    downloader.bodies["http://192.168.4.1/capture"] = "<html>error</html>";
    clock.advance(1000);
    EXPECT_EQ(logger.LoggerTick().action, TickAction::Captured);
    EXPECT_TRUE(imgFiles().isEmpty());
    EXPECT_EQ(logLines(),
              (QStringList{"0:,INIT,0,CacheDeleted,0,JPG_Downloaded,0,D,1,FETCH_FAILED",
                           "1:,INIT,0,CacheDeleted,0,JPG_Downloaded,0,D,1,FETCH_FAILED"}));
}

// Frames that broke off or are no pictures are failed captures, never frames.
TEST_F(LoggerTest, OnlyWholeJpegsAreKeptAsFrames) {
    writeRunData("1");
    Logger logger(clock, downloader, prog());
    ASSERT_TRUE(logger.LoggerStart(acq()).ok);
    const QList<QByteArray> broken = {
        kJpeg.left(kJpeg.size() / 2),           // cut short
        QByteArray("\xFF\xD8 busy, try again"), // the start marker, then text
        QByteArray("\xFF\xD8\xD9"),             // the markers overlap
        QByteArray(),
    };
    for (const QByteArray& body : broken) {
        downloader.bodies["http://192.168.4.1/capture"] = body;
        clock.advance(1000);
        EXPECT_EQ(logger.LoggerTick().action, TickAction::Captured);
    }
    EXPECT_EQ(imgFiles(), QStringList{"c192_168_4_1f0.jpg"});
    EXPECT_EQ(logLines(),
              (QStringList{"0:,INIT,0,CacheDeleted,0,JPG_Downloaded,0,D,1",
                           "1:,INIT,0,CacheDeleted,0,JPG_Downloaded,0,D,1,FETCH_FAILED",
                           "2:,INIT,0,CacheDeleted,0,JPG_Downloaded,0,D,1,FETCH_FAILED",
                           "3:,INIT,0,CacheDeleted,0,JPG_Downloaded,0,D,1,FETCH_FAILED",
                           "4:,INIT,0,CacheDeleted,0,JPG_Downloaded,0,D,1,FETCH_FAILED"}));
}

// Temporary files of fetches of an earlier run that was killed go; frames and other files stay.
TEST_F(LoggerTest, StartRemovesTheTemporaryFilesOfKilledFetches) {
    writeRunData("1");
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const QString dead = QString::number(child);
    const QStringList stale = {".c192_168_4_1f7.jpg.part" + dead + "_0",
                               "..c192_168_4_1f8.jpg.part" + dead + "_3.part" + dead + "_4"};
    const QStringList kept = {"c192_168_4_1f5.jpg", "c192_168_4_1f5.pgm", ".keep"};
    for (const QString& name : stale + kept)
        writeFile(acq() + "/img/" + name, kJpeg);
    Logger logger(clock, downloader, prog());
    ASSERT_TRUE(logger.LoggerStart(acq()).ok);
    EXPECT_EQ(imgFiles(), (QStringList{".keep", "c192_168_4_1f0.jpg", "c192_168_4_1f5.jpg",
                                       "c192_168_4_1f5.pgm"}));
}

TEST_F(LoggerTest, FailureInsideTheStepIsLoggedWithItsStep) {
    writeRunData("1");
    ThrowingDownloader broken;
    Logger logger(clock, broken, prog());
    ASSERT_TRUE(logger.LoggerStart(acq()).ok);
    EXPECT_EQ(logLines(), QStringList{"0:,INIT,0,CacheDeleted,0,ERROR_STEP1,0"});
    EXPECT_TRUE(imgFiles().isEmpty());
}

TEST_F(LoggerTest, OneFramePerNewSecondAndAFinalFramePastTheRunLength) {
    writeRunData("0.1"); // 6 s
    Logger logger(clock, downloader, prog());
    ASSERT_TRUE(logger.LoggerStart(acq()).ok);
    EXPECT_EQ(logger.runSeconds(), 6);
    std::vector<std::int32_t> captured;
    int finals = 0;
    for (int tick = 0; tick < 200 && finals == 0; ++tick) {
        clock.advance(100);
        const auto outcome = logger.LoggerTick();
        if (outcome.action == TickAction::Captured)
            captured.push_back(outcome.elapsed);
        if (outcome.action == TickAction::Final) {
            ++finals;
            EXPECT_EQ(outcome.elapsed, 7);
        }
    }
    EXPECT_EQ(finals, 1);
    EXPECT_EQ(captured, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));
    QStringList expected;
    for (int n = 0; n <= 7; ++n)
        expected << QString("c192_168_4_1f%1.jpg").arg(n);
    EXPECT_EQ(imgFiles().size(), 8);
    for (const QString& name : expected)
        EXPECT_TRUE(imgFiles().contains(name)) << name.toStdString();
    EXPECT_EQ(logLines().size(), 8);
    EXPECT_TRUE(logLines().last().startsWith("7:,INIT,"));
}

TEST_F(LoggerTest, SlowFetchSkipsTheSecondsItCovered) {
    writeRunData("1");
    Logger logger(clock, downloader, prog());
    ASSERT_TRUE(logger.LoggerStart(acq()).ok);
    clock.advance(10000);
    EXPECT_EQ(logger.LoggerTick().elapsed, 10);
    clock.advance(2400); // as if the fetch had taken 2.4 s
    const auto next = logger.LoggerTick();
    EXPECT_EQ(next.action, TickAction::Captured);
    EXPECT_EQ(next.elapsed, 12);
    EXPECT_EQ(logger.lastTimeMark(), 12);
    EXPECT_FALSE(QFile::exists(frame(11)));
}

TEST_F(LoggerTest, RunLengthInSecondsIsTheNearestWholeNumber) {
    EXPECT_EQ(logger::runLengthSeconds(2.5), 150);
    EXPECT_EQ(logger::runLengthSeconds(0.1), 6);
    EXPECT_EQ(logger::runLengthSeconds(1440), 86400);
    EXPECT_EQ(logger::runLengthSeconds(546), 32760);
    EXPECT_EQ(logger::runLengthSeconds(0.025), 2);  // 1.5 s, halves to even
    EXPECT_EQ(logger::runLengthSeconds(0.0125), 1); // 0.75 s
}

TEST_F(LoggerTest, LongRunsCountPastSixteenBits) {
    writeRunData("1440");
    Logger logger(clock, downloader, prog());
    ASSERT_TRUE(logger.LoggerStart(acq()).ok);
    EXPECT_EQ(logger.runSeconds(), 86400);
    clock.advance(40000LL * 1000);
    auto outcome = logger.LoggerTick();
    EXPECT_EQ(outcome.action, TickAction::Captured);
    EXPECT_EQ(outcome.elapsed, 40000);
    EXPECT_TRUE(QFile::exists(frame(40000)));
    clock.advance(46400LL * 1000);
    EXPECT_EQ(logger.LoggerTick().action, TickAction::Captured); // 86400 is not yet past
    clock.advance(1000);
    EXPECT_EQ(logger.LoggerTick().action, TickAction::Final);
}

TEST_F(LoggerTest, RunLengthThatCannotBeCountedIsRefused) {
    writeRunData("1e12");
    const auto start = Logger(clock, downloader, prog()).LoggerStart(acq());
    EXPECT_FALSE(start.ok);
    EXPECT_TRUE(downloader.requests.isEmpty());
}

TEST_F(LoggerTest, ElapsedSecondsRoundHalvesToEven) {
    writeRunData("1");
    Logger logger(clock, downloader, prog());
    const std::int64_t base = clock.elapsedMs; // the start time is taken before frame 0
    ASSERT_TRUE(logger.LoggerStart(acq()).ok);
    auto at = [&](std::int64_t ms) {
        clock.elapsedMs = base + ms;
        return logger.elapsedSeconds();
    };
    EXPECT_EQ(at(499), 0);
    EXPECT_EQ(at(500), 0);
    EXPECT_EQ(at(501), 1);
    EXPECT_EQ(at(1500), 2);
    EXPECT_EQ(at(2500), 2);
}

TEST(SpeedLog, LinesAndStampHaveTheirExactForm) {
    EXPECT_EQ(logger::speedLogLine(42, ",INIT,0,CacheDeleted,1,JPG_Downloaded,87,D,89"),
              "42:,INIT,0,CacheDeleted,1,JPG_Downloaded,87,D,89");
    EXPECT_EQ(logger::startStamp(QDateTime(QDate(2026, 3, 4), QTime(7, 5, 9))),
              QString("2026-03-04 07:05.09"));
    QTemporaryDir dir;
    Logger::AppendSpeedLog(dir.path(), 3, ",a");
    Logger::AppendSpeedLog(dir.path(), 4, ",b");
    EXPECT_EQ(readAll(dir.path() + "/speed_test.csv"), QByteArray("3:,a\r\n4:,b\r\n"));
}

} // namespace
