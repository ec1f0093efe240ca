// The operator's road in the reanalysis window: choose an acquisition, reprocess it through the
// real batch (/bin/sh, Dravel, Sirrex) and get its trails; stop a batch half-way; refuse an
// acquisition that cannot be reprocessed without touching its files.

// The block reader first: it has a member that Qt's keywords would take.
#include "app/results/stored_block_reader.h"

#include "app/acquisition/ui/reprocess_controller.h"
#include "app/device/logger_lock.h"
#include "app/training/training_test.h"
#include "app/widgets/clickable_label.h"
#include "app/widgets/picture_box.h"
#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_training.h"
#include "formats/position_file.h"
#include "formats/training_file.h"
#include "platform/fakes/fake_services.h"
#include "platform/process_launcher.h"
#include "platform/system_clock.h"
#include "tests/support/all_windows.h"
#include "tests/windows/ui/frontend_support.h"
#include "tests/windows/ui/reanalysis_support.h"
#include "tools/plate/plate.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPointer>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace {

using frontend_test::grayJpeg;
using frontend_test::readFile;
using frontend_test::writeFile;
using ui::FrmTraining;
using ui::Windows;

const QString kBin = QStringLiteral(VX_BIN_DIR);

// The real launcher for the batch and the programs; what would open in the desktop's opener is
// only noted.
class RecordingLauncher : public platform::ProcessLauncher {
public:
    bool openPath(const QString& path, std::function<void()> = {}) override {
        opened << path;
        return true;
    }
    QStringList opened;
};

class ReprocessWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::ensureApplication();
        ASSERT_TRUE(program.isValid());
        for (const char* name : {"Dravel", "Sirrex"}) {
            if (!QFileInfo::exists(kBin + "/" + name))
                GTEST_SKIP() << name << " is not built";
            ASSERT_TRUE(QFile::link(kBin + "/" + name, program.filePath(name)));
        }
        ASSERT_EQ(formats::writeTrainingFile(program.path().toStdString(),
                                             formats::TrainingFile::defaults()),
                  "");
        platform::Services services = fakes.services(program.path());
        services.launcher = launcher;
        services.clock = std::make_shared<platform::SystemClock>();
        Windows::setServices(services);
        test_support::registerAllWindows();
        acquisition = program.filePath("default/run");
        QDir().mkpath(acquisition + "/img");
        writeFile(acquisition + "/rundata.dat", "10.0.0.7\r\n" + acquisition.toUtf8() +
                                                    "\r\n2026/01/15 10:30:00\r\n1\r\n 0 \r\n");
        const QByteArray frame = grayJpeg(1600, 1200, 120);
        for (int n = 0; n < frames; ++n)
            writeFile(acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg", frame);
        writeFile(acquisition + "/xy_worms.bin", "old worms");
        writeFile(acquisition + "/worm_trails.csv", "old trails");
    }
    void TearDown() override {
        Windows::destroyAll();
        QCoreApplication::processEvents();
    }

    FrmTraining& open() {
        FrmTraining& w = Windows::get<FrmTraining>();
        EXPECT_TRUE(reanalysis_test::chooseAcquisition(w, "run"));
        EXPECT_TRUE(w.LoadAcquisition());
        return w;
    }
    bool waitUntil(const std::function<bool()>& done, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }
    QStringList pgms() const {
        return QDir(acquisition + "/img").entryList({"*.pgm"}, QDir::Files | QDir::Hidden);
    }

    int frames = 6;
    QTemporaryDir program;
    QString acquisition;
    platform::fakes::FakeServices fakes;
    std::shared_ptr<RecordingLauncher> launcher = std::make_shared<RecordingLauncher>();
};

TEST_F(ReprocessWindowTest, ReprocessRunsTheBatchThenTracksAndKeepsBackups) {
    FrmTraining& w = open();
    auto& c = w.controls();
    fakes.dialogs->answers = {true}; // "Proceed?"
    c.cmd_reprocess->click();
    ASSERT_TRUE(w.Processing()) << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_EQ(c.cmd_reprocess->text(), "[STOP]");
    ASSERT_TRUE(waitUntil([&] { return !w.Processing(); }, 240000))
        << "the batch did not end; last frame " << w.reprocess().batchProgress();
    EXPECT_EQ(fakes.dialogs->messages().join("|").toStdString(), "Done!");
    EXPECT_EQ(c.cmd_reprocess->text(), "[Process]");
    EXPECT_EQ(w.reprocess().batchProgress(), 300);
    // The earlier results are kept as backups; the new ones are whole.
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bak"), "old worms");
    EXPECT_EQ(readFile(acquisition + "/worm_trails.bak"), "old trails");
    EXPECT_TRUE(readFile(acquisition + "/worm_trails.csv")
                    .startsWith("FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n"));
    EXPECT_GT(QFileInfo(acquisition + "/xy_worms.bin").size(), 6 * frames - 1);
    EXPECT_TRUE(QFileInfo::exists(acquisition + "/xy_image.bin"));
    EXPECT_EQ(readFile(acquisition + "/xy_shapes.txt"), "#Frame\t#Prev_Frame\tX\tY\tShape\r\n");
    EXPECT_TRUE(pgms().isEmpty());
    // The training written into the acquisition is the one in the boxes.
    EXPECT_EQ(readFile(acquisition + "/training.dat"), readFile(program.filePath("training.dat")));
    // Both binary files export as CSV, said and opened.
    fakes.dialogs->log.clear();
    c.mnexport_xyworm->trigger();
    c.mnexport_xyimage->trigger();
    EXPECT_EQ(fakes.dialogs->messages().size(), 2);
    EXPECT_EQ(launcher->opened,
              (QStringList{acquisition + "/xy_worms.csv", acquisition + "/xy_image.csv"}));
    EXPECT_TRUE(readFile(acquisition + "/xy_worms.csv").size() > 0);
}

TEST_F(ReprocessWindowTest, ARunStillBeingRecordedIsRefusedAndItsPartialAnalysisIsSaid) {
    // The Vermalux of the run ended after its live analysis reached frame 2 of frames 0 to 5;
    // its logger goes on recording: it holds the lock, and the run data names the acquisition.
    QByteArray worms;
    for (int t = 0; t <= 2; ++t) {
        const auto block = formats::encodeBlock(t, {}, t == 0);
        worms.append(reinterpret_cast<const char*>(block.data()),
                     static_cast<qsizetype>(block.size()));
    }
    writeFile(acquisition + "/xy_worms.bin", worms);
    ASSERT_EQ(formats::writeTrainingFile(acquisition.toStdString(),
                                         formats::TrainingFile::defaults()),
              "");
    writeFile(program.filePath("rundata.dat"), readFile(acquisition + "/rundata.dat"));
    QString error;
    const int logger = device::takeLoggerLock(program.path(), &error);
    ASSERT_GE(logger, 0) << error.toStdString();
    FrmTraining& w = open();
    auto& c = w.controls();
    EXPECT_EQ(c.lbl_messages->text(), "Partial results: the analysis reached frame 2 of 5");
    EXPECT_FALSE(c.frame_messages->isHidden());
    // Reprocess Images, Reprocess Routes and a mass run are refused before they ask or change
    // anything.
    fakes.dialogs->defaultAnswer = true;
    c.cmd_reprocess->click();
    c.mn_reprocess->trigger();
    c.cmd_dir->click();
    c.List_subproject->clearSelection();
    c.List_subproject->findItems("run", Qt::MatchExactly).first()->setSelected(true);
    c.mn_masstrainingload->trigger();
    ASSERT_EQ(w.TrainingSource().name, "run");
    c.mn_masstrainingapply->trigger();
    const QString refused = "run: " + QString::fromLatin1(device::kStillRecordedMessage);
    EXPECT_EQ(fakes.dialogs->messages().join('|').toStdString(),
              QStringList({refused, refused, refused}).join('|').toStdString());
    EXPECT_EQ(fakes.dialogs->questions(), QStringList());
    EXPECT_FALSE(w.Processing());
    EXPECT_EQ(w.reprocess().batchMode(), 0);
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bin"), worms);
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    ::close(logger);
}

TEST_F(ReprocessWindowTest, ReprocessRoutesTracksInStepsOfTheTimer) {
    // A zero-filled position file of 3 MB: half a million empty blocks, tracked in steps while
    // the window answers; the trails are replaced only when the run has ended.
    writeFile(acquisition + "/xy_worms.bin", QByteArray(3 << 20, '\0'));
    writeFile(acquisition + "/xy_image.bin", QByteArray());
    FrmTraining& w = open();
    auto& c = w.controls();
    c.mn_reprocess->trigger();
    EXPECT_EQ(w.reprocess().batchMode(), 3);
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    c.mn_reprocess->trigger(); // a second Routes while one runs starts nothing, and says so
    const QString running = "Reprocess Routes is running: let it end before starting it again.";
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{running});
    ASSERT_TRUE(waitUntil([&] { return fakes.dialogs->messages().size() > 1; }, 240000));
    EXPECT_EQ(fakes.dialogs->messages(), (QStringList{running, "end of routes processing"}));
    EXPECT_EQ(w.reprocess().batchMode(), 0);
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"),
              "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n");
    EXPECT_EQ(readFile(acquisition + "/worm_trails.bak"), "old trails");
}

TEST_F(ReprocessWindowTest, RoutesReplaceTheBackupOnlyOnceTheNewTrailsAreWhole) {
    const QByteArray empty(3 << 20, '\0'); // half a million empty blocks: the run takes steps
    writeFile(acquisition + "/xy_worms.bin", empty);
    writeFile(acquisition + "/xy_image.bin", QByteArray());
    writeFile(acquisition + "/worm_trails.bak", "older trails");
    FrmTraining& w = open();
    auto& c = w.controls();
    auto leftovers = [&] {
        return QDir(acquisition).entryList({"worm_trails*.tmp*"}, QDir::AllEntries | QDir::Hidden);
    };
    // Stopped at its first step: the trails and their backup stay as they were.
    bool stopped = false;
    QObject::connect(c.Timeracq, &QTimer::timeout, &w, [&] {
        if (!stopped && w.reprocess().batchMode() == 3) {
            stopped = true;
            c.cmd_stopprocess->click();
        }
    });
    c.mn_reprocess->trigger();
    ASSERT_EQ(w.reprocess().batchMode(), 3);
    EXPECT_EQ(readFile(acquisition + "/worm_trails.bak"), "older trails");
    ASSERT_TRUE(waitUntil([&] { return w.reprocess().batchMode() == 0; }, 240000));
    EXPECT_TRUE(stopped);
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    EXPECT_EQ(readFile(acquisition + "/worm_trails.bak"), "older trails");
    EXPECT_EQ(leftovers(), QStringList());
    // Ended early by a later header with the footer flag, which is no block: its trails give
    // way to the previous ones again.
    const QByteArray footer("\x80\x00\x00\x00\x00\x00", 6);
    writeFile(acquisition + "/xy_worms.bin", QByteArray("\x02\x00\x00\x00\x00\x00", 6) + footer +
                                                 (QByteArray(6, '\0') + footer).repeated(10) +
                                                 footer + QByteArray(20, '\0'));
    c.mn_reprocess->trigger();
    ASSERT_TRUE(waitUntil([&] { return w.reprocess().batchMode() == 0; }, 240000));
    EXPECT_EQ(fakes.dialogs->messages(),
              (QStringList{"error processing all routes file",
                           "end of routes processing\nThe tracker did not finish worm_trails.csv; "
                           "the previous trails were put back"}));
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    EXPECT_EQ(readFile(acquisition + "/worm_trails.bak"), "older trails");
    EXPECT_EQ(leftovers(), QStringList());
    // Whole: now the previous trails are the backup.
    writeFile(acquisition + "/xy_worms.bin", empty);
    c.mn_reprocess->trigger();
    ASSERT_TRUE(waitUntil([&] { return w.reprocess().batchMode() == 0; }, 240000));
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"),
              "FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n");
    EXPECT_EQ(readFile(acquisition + "/worm_trails.bak"), "old trails");
    EXPECT_EQ(leftovers(), QStringList());
}

TEST_F(ReprocessWindowTest, RoutesHoldTheProgramFoldersOneLockAgainstEveryOtherChangeOfResults) {
    writeFile(acquisition + "/xy_worms.bin", QByteArray(3 << 20, '\0'));
    writeFile(acquisition + "/xy_image.bin", QByteArray());
    FrmTraining& w = open();
    auto& c = w.controls();
    const QString refusal =
        "Another batch is running in " + program.path() + "; it must end before a new one starts";
    // Another Vermalux reprocesses in this program folder: Routes are refused, nothing changes.
    acquisition::BatchRunner other(fakes.services(program.path()));
    ASSERT_EQ(other.reserve(), "");
    c.mn_reprocess->trigger();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{refusal});
    EXPECT_EQ(w.reprocess().batchMode(), 0);
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/worm_trails.bak"));
    // Once it is done, Routes run and hold the folder against the other one until they end.
    other.release();
    fakes.dialogs->log.clear();
    c.mn_reprocess->trigger();
    ASSERT_EQ(w.reprocess().batchMode(), 3);
    EXPECT_EQ(other.reserve(), refusal);
    EXPECT_EQ(other.readyForNext(), refusal);
    ASSERT_TRUE(waitUntil([&] { return !fakes.dialogs->messages().isEmpty(); }, 240000));
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"end of routes processing"});
    EXPECT_EQ(other.reserve(), "");
}

TEST_F(ReprocessWindowTest, TheTrackingThatEndsAReprocessRunsInStepsAndItsStopPutsResultsBack) {
    FrmTraining& w = open();
    auto& c = w.controls();
    // The first tick of the tracking: the batch has finished, the window answers, nothing is
    // said yet; the operator stops there.
    bool seen = false;
    QObject::connect(c.Timeracq, &QTimer::timeout, &w, [&] {
        if (seen || w.reprocess().batchMode() != 4)
            return;
        seen = true;
        EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(acquisition + "/worm_trails.csv"));
        c.cmd_reprocess->click(); // STOP
    });
    fakes.dialogs->answers = {true};
    c.cmd_reprocess->click();
    ASSERT_TRUE(w.Processing());
    ASSERT_TRUE(waitUntil([&] { return !w.Processing(); }, 240000));
    EXPECT_TRUE(seen);
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"The tracking was stopped; the previous results were put back"});
    EXPECT_EQ(w.reprocess().batchMode(), 0);
    EXPECT_EQ(c.cmd_reprocess->text(), "[PROCESS]");
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bin"), "old worms");
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/reprocess_previous"));
    EXPECT_TRUE(w.reprocess().runner().readyForNext().isEmpty());
    EXPECT_FALSE(w.reprocess().runner().reserved());
}

// Holds the background copies of the positions file until let go, or, should the window
// never let them go, until a long time has passed (so that a window that waits without
// answering fails the test rather than hangs it).
class HeldOriginalCopies {
public:
    HeldOriginalCopies() {
        acquisition::holdOriginalCopies(true);
        m_guard = std::thread([this] {
            std::unique_lock lock(m_mutex);
            m_letGo.wait_for(lock, std::chrono::seconds(90), [this] { return m_released; });
            acquisition::holdOriginalCopies(false);
        });
    }
    ~HeldOriginalCopies() {
        release();
        m_guard.join();
    }
    void release() {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_letGo.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_letGo;
    bool m_released = false;
    std::thread m_guard;
};

TEST_F(ReprocessWindowTest, TheEndOfAReprocessWaitsForTheFirstCopyWhileTheWindowAnswers) {
    FrmTraining& w = open();
    auto& c = w.controls();
    HeldOriginalCopies held; // the copy of xy_worms.bin to xy_worms_original.bin is held
    // A timer of the window counts its ticks while the wait for the copy is shown.
    const QString waiting = "Copying xy_worms.bin to xy_worms_original.bin: 0 %";
    int ticks = 0;
    qsizetype messagesMeanwhile = 0;
    QTimer answering;
    answering.setInterval(10);
    QObject::connect(&answering, &QTimer::timeout, &w, [&] {
        if (!c.frame_messages->isHidden() && c.lbl_messages->text() == waiting) {
            ++ticks;
            messagesMeanwhile += fakes.dialogs->messages().size();
        }
    });
    answering.start();
    fakes.dialogs->answers = {true};
    c.cmd_reprocess->click();
    ASSERT_TRUE(w.Processing());
    EXPECT_TRUE(waitUntil([&] { return ticks >= 5 || !w.Processing(); }, 240000));
    EXPECT_GE(ticks, 5);
    EXPECT_EQ(messagesMeanwhile, 0); // no "Done!" before the copy is whole
    EXPECT_TRUE(w.Processing());
    held.release();
    ASSERT_TRUE(waitUntil([&] { return !w.Processing(); }, 240000));
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Done!"});
    EXPECT_TRUE(c.frame_messages->isHidden());
    // The new results are kept with the first copy and the backups of the old ones.
    EXPECT_EQ(readFile(acquisition + "/xy_worms_original.bin"), "old worms");
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bak"), "old worms");
    EXPECT_TRUE(readFile(acquisition + "/worm_trails.csv").startsWith("FRAME;ID;X;Y;"));
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/reprocess_previous"));
}

TEST_F(ReprocessWindowTest, TheWindowAnswersWhileALargePositionFileIsExported) {
    // 40 MB of empty blocks take far longer to export than a window may stand still: a timer
    // of the window fires while the export runs, before its message is shown.
    writeFile(acquisition + "/xy_worms.bin", QByteArray(40 << 20, '\0'));
    FrmTraining& w = open();
    auto& c = w.controls();
    qsizetype messagesAtTick = -1;
    // A second export asked for meanwhile says that one runs.
    QTimer::singleShot(0, &w, [&] {
        messagesAtTick = fakes.dialogs->messages().size();
        c.mnexport_xyimage->trigger();
    });
    c.mnexport_xyworm->trigger();
    EXPECT_EQ(messagesAtTick, 0);
    EXPECT_EQ(fakes.dialogs->messages(),
              (QStringList{"A CSV export is running: let it end before starting another.",
                           "Exporting xy_worms.bin File to ascii finished"}));
    EXPECT_EQ(launcher->opened, QStringList{acquisition + "/xy_worms.csv"});
}

TEST_F(ReprocessWindowTest, StopEndsTheWholeBatchAndLeavesNoConvertedFrame) {
    frames = 0;
    const QByteArray frame = grayJpeg(1600, 1200, 120);
    for (int n = 0; n <= 300; ++n)
        writeFile(acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg", frame);
    FrmTraining& w = open();
    auto& c = w.controls();
    fakes.dialogs->answers = {true};
    c.cmd_reprocess->click();
    ASSERT_TRUE(w.Processing());
    ASSERT_TRUE(waitUntil([&] { return w.reprocess().batchProgress() >= 2; }, 30000));
    // No other acquisition is loaded under a running batch (nor its converted frames cleared).
    fakes.dialogs->log.clear();
    EXPECT_FALSE(w.LoadAcquisition());
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"A reprocess is running: stop it before loading another acquisition."});
    EXPECT_TRUE(w.Processing());
    c.cmd_reprocess->click(); // the stop
    EXPECT_FALSE(w.Processing());
    EXPECT_EQ(c.cmd_reprocess->text(), "[PROCESS]");
    EXPECT_FALSE(w.reprocess().runner().groupRunning());
    EXPECT_TRUE(pgms().isEmpty()) << pgms().join(",").toStdString();
    EXPECT_LT(w.reprocess().batchProgress(), 300);
    // A new reprocess may start at once.
    EXPECT_TRUE(w.reprocess().runner().readyForNext().isEmpty());
}

TEST_F(ReprocessWindowTest, AnAcquisitionThatCannotBeReprocessedIsLeftAsItWas) {
    // Its run data names a device whose frames it does not hold.
    writeFile(acquisition + "/rundata.dat", "10.0.0.8\r\n/x\r\n2026/01/15 10:30:00\r\n1\r\n 0 \r\n");
    FrmTraining& w = open();
    auto& c = w.controls();
    fakes.dialogs->answers = {true};
    c.cmd_reprocess->click();
    EXPECT_FALSE(w.Processing());
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bin"), "old worms");
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/xy_worms.bak"));
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/training.dat"));
    // Its training cannot be written (a folder stands under the name): the file is named.
    writeFile(acquisition + "/rundata.dat", "10.0.0.7\r\n" + acquisition.toUtf8() +
                                                "\r\n2026/01/15 10:30:00\r\n1\r\n 0 \r\n");
    ASSERT_TRUE(QDir().mkdir(acquisition + "/training.dat"));
    fakes.dialogs->log.clear();
    c.cmd_reprocess->click();
    EXPECT_FALSE(w.Processing());
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"Error processing tracking files\nCannot write " + acquisition +
                          "/training.dat: Is a directory"});
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bin"), "old worms");
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/reprocess_previous"));
}

TEST_F(ReprocessWindowTest, ATrainingTheFinderWouldNotReadAsShownIsNeitherStoredNorRun) {
    // The acquisition's training has a lone digit the training file leaves out of the options
    // (lt 5: the finder keeps 20); a second acquisition to borrow it.
    const QString other = program.filePath("default/second");
    QDir().mkpath(other + "/img");
    writeFile(other + "/rundata.dat", readFile(acquisition + "/rundata.dat"));
    QFile::copy(acquisition + "/img/c10_0_0_7f0.jpg", other + "/img/c10_0_0_7f0.jpg");
    formats::TrainingFile own = formats::TrainingFile::defaults();
    own[13] = "5";
    ASSERT_EQ(formats::writeTrainingFile(acquisition.toStdString(), own), "");
    const QByteArray stored = readFile(acquisition + "/training.dat");
    FrmTraining& w = open();
    auto& c = w.controls();
    ASSERT_EQ(c.txt_lentol->text(), "5");
    const auto leftAsItWas = [&] {
        EXPECT_FALSE(w.Processing());
        EXPECT_EQ(readFile(acquisition + "/training.dat"), stored);
        EXPECT_EQ(readFile(acquisition + "/xy_worms.bin"), "old worms");
        EXPECT_FALSE(QFileInfo::exists(acquisition + "/xy_worms.bak"));
        EXPECT_FALSE(QFileInfo::exists(other + "/training.dat"));
        EXPECT_FALSE(QFileInfo::exists(other + "/xy_image.bin"));
    };
    fakes.dialogs->log.clear();
    fakes.dialogs->answers = {true}; // "Proceed?", never asked
    c.cmd_reprocess->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"The finder refuses the training: lt = 5 (the finder reads 20)"});
    leftAsItWas();
    // A typed value the finder reads as another number.
    c.txt_lentol->setText("20");
    c.txt_pixmin->setText("12x");
    fakes.dialogs->log.clear();
    c.cmd_reprocess->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"The finder refuses the training: pl = 12x (the finder reads 12)"});
    leftAsItWas();
    // A mass run borrowing the acquisition's training copies it nowhere, and the boxes show
    // the loaded acquisition's training again.
    c.cmd_dir->click();
    c.List_subproject->clearSelection();
    c.List_subproject->findItems("run", Qt::MatchExactly).first()->setSelected(true);
    c.mn_masstrainingload->trigger();
    c.List_subproject->clearSelection();
    c.List_subproject->findItems("second", Qt::MatchExactly).first()->setSelected(true);
    fakes.dialogs->log.clear();
    fakes.dialogs->answers = {true}; // "MASS REPROCESSING ... Proceed?"
    c.mn_masstrainingapply->trigger();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"The finder refuses the training: lt = 5 (the finder reads 20)"});
    leftAsItWas();
    EXPECT_NE(c.lbl_messages->text(), "DONE!");
    EXPECT_TRUE(c.List_subproject->isEnabled());
}

TEST_F(ReprocessWindowTest, ClosingTheWindowEndsARunningBatch) {
    frames = 0;
    const QByteArray frame = grayJpeg(1600, 1200, 120);
    for (int n = 0; n <= 300; ++n)
        writeFile(acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg", frame);
    FrmTraining& w = open();
    fakes.dialogs->answers = {true};
    w.controls().cmd_reprocess->click();
    ASSERT_TRUE(w.Processing());
    ASSERT_TRUE(waitUntil([&] { return w.reprocess().batchProgress() >= 1; }, 30000));
    w.close();
    EXPECT_FALSE(w.reprocess().runner().groupRunning());
    EXPECT_TRUE(pgms().isEmpty());
}

TEST_F(ReprocessWindowTest, PlotResultsDuringABatchEndsTheBatchWithItsPoll) {
    frames = 0;
    const QByteArray frame = grayJpeg(1600, 1200, 120);
    for (int n = 0; n <= 300; ++n)
        writeFile(acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg", frame);
    FrmTraining& w = open();
    auto& c = w.controls();
    fakes.dialogs->answers = {true};
    c.cmd_reprocess->click();
    ASSERT_TRUE(w.Processing());
    ASSERT_TRUE(waitUntil([&] { return w.reprocess().batchProgress() >= 2; }, 30000));
    // The click while the batch runs is its stop: the poll goes off and the batch ends with it,
    // so that nothing runs on unseen and the next command may start.
    c.cmd_wormtrails->click();
    EXPECT_FALSE(w.Processing());
    EXPECT_FALSE(c.Timeracq->isActive());
    EXPECT_EQ(w.reprocess().batchMode(), 0);
    EXPECT_FALSE(w.reprocess().runner().groupRunning());
    EXPECT_TRUE(pgms().isEmpty()) << pgms().join(",").toStdString();
    EXPECT_LT(w.reprocess().batchProgress(), 300);
}

// ---- Results never lost, batches never mixed ----------------------------------------------

TEST_F(ReprocessWindowTest, AnUnreadableFrameIsNamedAndTheResultsOfEveryAttemptAreRecoverable) {
    // Frame 3 is cut short: its conversion fails.
    writeFile(acquisition + "/img/c10_0_0_7f3.jpg", grayJpeg(1600, 1200, 120).left(200));
    FrmTraining& w = open();
    auto& c = w.controls();
    const QByteArray live = "old worms";
    auto recoverable = [&] {
        return readFile(acquisition + "/xy_worms.bin") == live ||
               readFile(acquisition + "/xy_worms.bak") == live ||
               readFile(acquisition + "/xy_worms_original.bin") == live;
    };
    for (int attempt = 1; attempt <= 2; ++attempt) {
        fakes.dialogs->log.clear();
        fakes.dialogs->answers = {true};
        c.cmd_reprocess->click();
        ASSERT_TRUE(waitUntil([&] { return !w.Processing(); }, 240000)) << attempt;
        EXPECT_EQ(fakes.dialogs->messages(),
                  QStringList{"Done!\nFrame 3 could not be analysed"});
        EXPECT_TRUE(recoverable()) << attempt;
        // Results without frame 3 never replace the backup of the complete ones.
        EXPECT_EQ(readFile(acquisition + "/xy_worms.bak"), live);
        EXPECT_EQ(readFile(acquisition + "/worm_trails.bak"), "old trails");
        EXPECT_EQ(readFile(acquisition + "/worm_trails_original.csv"), "old trails");
        EXPECT_TRUE(readFile(acquisition + "/worm_trails.csv").startsWith("FRAME;ID;X;Y;"));
    }
    const QByteArray found = readFile(acquisition + "/xy_worms.bin");
    const QByteArray trails = readFile(acquisition + "/worm_trails.csv");
    const QByteArray image = readFile(acquisition + "/xy_image.bin");
    // A third attempt over more frames, stopped half-way: the second's results come back.
    for (int n = 6; n <= 300; ++n)
        QFile::copy(acquisition + "/img/c10_0_0_7f0.jpg",
                    acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg");
    fakes.dialogs->log.clear();
    fakes.dialogs->answers = {true};
    c.cmd_reprocess->click();
    ASSERT_TRUE(waitUntil([&] { return w.reprocess().batchProgress() >= 1; }, 30000));
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/worm_trails.csv"));
    c.cmd_reprocess->click(); // STOP
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    const QString said = fakes.dialogs->messages().first();
    EXPECT_TRUE(said.startsWith("The batch was stopped after frame ")) << said.toStdString();
    EXPECT_TRUE(said.endsWith(" of 300; the previous results were put back")) << said.toStdString();
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bin"), found);
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), trails);
    EXPECT_EQ(readFile(acquisition + "/xy_image.bin"), image);
    EXPECT_TRUE(recoverable());
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/reprocess_previous"));
}

TEST_F(ReprocessWindowTest, ATrackingThatFailsAfterTheBatchPutsThePreviousResultsBack) {
    FrmTraining& w = open();
    auto& c = w.controls();
    // The tick that ends the batch starts the tracking, which reads the position file from its
    // next tick on: bytes that are no block are put after the first frame's block in between,
    // and the tracker ends early there, having written the trails of that frame only.
    bool spoiled = false;
    QObject::connect(c.Timeracq, &QTimer::timeout, &w, [&] {
        if (spoiled || w.reprocess().batchMode() != 4)
            return;
        spoiled = true;
        results::StoredReaderState cursor;
        ASSERT_EQ(results::ReadWormBlock(acquisition.toStdString(), cursor).status,
                  results::DetectionBlock::Status::Block);
        QByteArray worms = readFile(acquisition + "/xy_worms.bin");
        ASSERT_LT(cursor.readerCursor - 1, worms.size()); // more blocks follow
        worms.insert(cursor.readerCursor - 1, QByteArray(6, char(0x80)));
        writeFile(acquisition + "/xy_worms.bin", worms);
    });
    fakes.dialogs->answers = {true};
    c.cmd_reprocess->click();
    ASSERT_TRUE(w.Processing());
    ASSERT_TRUE(waitUntil([&] { return !w.Processing(); }, 240000));
    EXPECT_TRUE(spoiled);
    EXPECT_EQ(fakes.dialogs->messages(),
              (QStringList{"error processing all routes file",
                           "The tracker did not finish worm_trails.csv; the previous results "
                           "were put back"}));
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bin"), "old worms");
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/worm_trails.bak"));
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/reprocess_previous"));
}

TEST_F(ReprocessWindowTest, AnAcquisitionWithoutRunDataIsReprocessedUnderTheWindowsAddress) {
    QFile::remove(acquisition + "/rundata.dat");
    FrmTraining& w = open();
    auto& c = w.controls();
    ASSERT_EQ(c.txt_ip1->text(), "10.0.0.7"); // from the frame names
    fakes.dialogs->answers = {true};
    c.cmd_reprocess->click();
    ASSERT_TRUE(w.Processing()) << fakes.dialogs->messages().join("|").toStdString();
    ASSERT_TRUE(waitUntil([&] { return !w.Processing(); }, 240000));
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Done!"});
    EXPECT_TRUE(readFile(acquisition + "/worm_trails.csv").startsWith("FRAME;ID;"));
}

TEST_F(ReprocessWindowTest, AMassRunIsRefusedWhileAReprocessRunsWhichGoesOn) {
    frames = 0;
    for (int n = 6; n <= 300; ++n)
        QFile::copy(acquisition + "/img/c10_0_0_7f0.jpg",
                    acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg");
    FrmTraining& w = open();
    auto& c = w.controls();
    ASSERT_EQ(formats::writeTrainingFile(acquisition.toStdString(),
                                         formats::TrainingFile::defaults()),
              "");
    c.cmd_dir->click();
    c.List_subproject->clearSelection();
    c.List_subproject->findItems("run", Qt::MatchExactly).first()->setSelected(true);
    c.mn_masstrainingload->trigger();
    // The source has lost its training: the mass run says why.
    QFile::rename(acquisition + "/training.dat", acquisition + "/training.off");
    c.mn_masstrainingapply->trigger();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"The training source run has no training file " + acquisition +
                          "/training.dat"});
    EXPECT_NE(c.lbl_messages->text(), "DONE!");
    QFile::rename(acquisition + "/training.off", acquisition + "/training.dat");
    // Now a reprocess runs, and a mass run is asked for.
    fakes.dialogs->log.clear();
    fakes.dialogs->answers = {true, true};
    c.cmd_reprocess->click();
    ASSERT_TRUE(w.Processing());
    ASSERT_TRUE(waitUntil([&] { return w.reprocess().batchProgress() >= 1; }, 30000));
    c.mn_masstrainingapply->trigger();
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    EXPECT_TRUE(fakes.dialogs->messages().first().startsWith("A batch is still running (it "
                                                             "reached frame "));
    EXPECT_NE(c.lbl_messages->text(), "DONE!");
    EXPECT_TRUE(w.Processing());
    EXPECT_EQ(w.reprocess().batchMode(), 1);
    EXPECT_TRUE(w.reprocess().runner().groupRunning());
    c.cmd_reprocess->click(); // STOP
    EXPECT_FALSE(w.reprocess().runner().groupRunning());
}

TEST_F(ReprocessWindowTest, ClosingTheWindowDuringAMassRunUsesNothingOfIt) {
    for (int n = 6; n <= 300; ++n)
        QFile::copy(acquisition + "/img/c10_0_0_7f0.jpg",
                    acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg");
    ASSERT_EQ(formats::writeTrainingFile(acquisition.toStdString(),
                                         formats::TrainingFile::defaults()),
              "");
    FrmTraining& w = open();
    auto& c = w.controls();
    c.cmd_dir->click();
    c.List_subproject->clearSelection();
    c.List_subproject->findItems("run", Qt::MatchExactly).first()->setSelected(true);
    c.mn_masstrainingload->trigger();
    fakes.dialogs->answers = {true};
    QPointer<FrmTraining> window(&w);
    // The window is closed once the mass run's batch is seen running (frame 1 of 300 done).
    bool closed = false;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!window || closed || !window->reprocess().runner().groupRunning() ||
            window->reprocess().batchProgress() < 1)
            return;
        closed = true;
        window->close();
    });
    watch.start();
    c.mn_masstrainingapply->trigger(); // returns once the close has ended the batch
    watch.stop();
    EXPECT_TRUE(closed);
    EXPECT_TRUE(waitUntil([&] { return window.isNull(); }, 30000));
    // The acquisition has its results back.
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bin"), "old worms");
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    EXPECT_FALSE(QFileInfo::exists(acquisition + "/reprocess_previous"));
}

TEST_F(ReprocessWindowTest, PlotResultsDuringAZStackLetsItFinishAndOpen) {
    if (!QFileInfo::exists(kBin + "/Mirrant"))
        GTEST_SKIP() << "Mirrant is not built";
    ASSERT_TRUE(QFile::link(kBin + "/Mirrant", program.filePath("Mirrant")));
    for (int n = 6; n <= 12; ++n)
        QFile::copy(acquisition + "/img/c10_0_0_7f0.jpg",
                    acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg");
    FrmTraining& w = open();
    auto& c = w.controls();
    c.mn_zstack->trigger();
    ASSERT_EQ(w.reprocess().batchMode(), 2) << fakes.dialogs->messages().join("|").toStdString();
    c.cmd_wormtrails->click(); // "Plot Results"
    EXPECT_FALSE(c.Timeracq->isActive());
    const QString image = acquisition + "/zstack.bmp";
    ASSERT_TRUE(waitUntil([&] { return launcher->opened.contains(image); }, 240000))
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_TRUE(readFile(image).startsWith("BM"));
    EXPECT_TRUE(w.reprocess().runner().readyForNext().isEmpty());
}

} // namespace

namespace {

TEST_F(ReprocessWindowTest, ABadFrameShowsItsNumberInGreenAtTheTopLeftCorner) {
    FrmTraining& w = open();
    ui::PictureBox* pic = w.controls().Picture1;
    ui::ShowBadFrame(pic, acquisition + "/img/c10_0_0_7f3.jpg", 3);
    const int green = ui::colourValue(0, 255, 0);
    ASSERT_EQ(green, 65280);
    // "#3" in a 30-pixel font from (0, 0): green within its first rows and columns, nothing
    // drawn where the mark used to stand.
    int inCorner = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 40; ++x)
            inCorner += pic->point(x, y) == green;
    EXPECT_GT(inCorner, 20);
    int beyond = 0;
    for (int y = 40; y < 160; ++y)
        for (int x = 0; x < 200; ++x)
            beyond += pic->point(x, y) == green || pic->point(x, y) == ui::colourValue(255, 255, 0);
    EXPECT_EQ(beyond, 0);
}

TEST_F(ReprocessWindowTest, ProceedOffersOkAndCancelAndMassReprocessingYesNoAndCancel) {
    FrmTraining& w = open();
    auto& c = w.controls();
    fakes.dialogs->answers = {false}; // Cancel
    c.cmd_reprocess->click();
    EXPECT_EQ(fakes.dialogs->buttonsOf("Proceed?"), platform::QuestionButtons::OkCancel);
    EXPECT_FALSE(w.Processing());
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
    c.cmd_dir->click();
    c.List_subproject->clearSelection();
    c.List_subproject->findItems("run", Qt::MatchExactly).first()->setSelected(true);
    c.mn_masstrainingload->trigger();
    ASSERT_EQ(w.TrainingSource().name, "run");
    fakes.dialogs->log.clear();
    fakes.dialogs->answers = {false}; // Cancel
    c.mn_masstrainingapply->trigger();
    ASSERT_EQ(fakes.dialogs->questions().size(), 1);
    EXPECT_TRUE(fakes.dialogs->questions().first().startsWith("MASS REPROCESSING\n"));
    EXPECT_EQ(fakes.dialogs->log.back().buttons, platform::QuestionButtons::YesNoCancel);
    EXPECT_FALSE(w.Processing());
    EXPECT_EQ(readFile(acquisition + "/worm_trails.csv"), "old trails");
}

TEST_F(ReprocessWindowTest, MassReprocessingUsesTheBorrowedTrainingInEveryAcquisition) {
    // A second acquisition, and a training of its own in the first one (the source).
    const QString other = program.filePath("default/second");
    QDir().mkpath(other + "/img");
    writeFile(other + "/rundata.dat", readFile(acquisition + "/rundata.dat"));
    for (int n = 0; n < 3; ++n)
        QFile::copy(acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg",
                    other + "/img/c10_0_0_7f" + QString::number(n) + ".jpg");
    formats::TrainingFile source = formats::TrainingFile::defaults();
    source[16] = "12.5"; // mt
    ASSERT_EQ(formats::writeTrainingFile(acquisition.toStdString(), source), "");
    FrmTraining& w = open();
    auto& c = w.controls();
    c.cmd_dir->click(); // the acquisition list of the open project
    c.List_subproject->clearSelection();
    c.List_subproject->findItems("run", Qt::MatchExactly).first()->setSelected(true);
    c.mn_masstrainingload->trigger();
    ASSERT_EQ(w.TrainingSource().name, "run");
    c.List_subproject->findItems("second", Qt::MatchExactly).first()->setSelected(true);
    c.List_subproject->findItems("..", Qt::MatchExactly).first()->setSelected(true);
    fakes.dialogs->answers = {true}; // "MASS REPROCESSING ... Proceed?"
    c.mn_masstrainingapply->trigger();
    EXPECT_FALSE(w.Processing());
    EXPECT_EQ(c.lbl_messages->text(), "DONE!");
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_EQ(c.txt_maxtravel->text(), "12.5"); // the borrowed training is in the boxes
    for (const QString& folder : {acquisition, other}) {
        EXPECT_EQ(readFile(folder + "/training.dat"), readFile(acquisition + "/training.dat"));
        EXPECT_TRUE(readFile(folder + "/worm_trails.csv").startsWith("FRAME;ID;"))
            << folder.toStdString();
    }
    EXPECT_TRUE(c.List_subproject->isEnabled());
    // The joint report over the two: one line each, opened.
    fakes.dialogs->log.clear();
    c.List_subproject->findItems("..", Qt::MatchExactly).first()->setSelected(false);
    c.submn_joint_report->trigger();
    ASSERT_EQ(fakes.dialogs->messages().size(), 1);
    EXPECT_TRUE(fakes.dialogs->messages().first().startsWith("Report:"))
        << fakes.dialogs->messages().first().toStdString();
    ASSERT_FALSE(launcher->opened.isEmpty());
    EXPECT_EQ(launcher->opened.last(), program.filePath("jointreport.csv"));
    const QByteArray joint = readFile(program.filePath("jointreport.csv"));
    const QList<QByteArray> lines = joint.trimmed().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[lines.size() - 2].contains("run")) << joint.toStdString();
    EXPECT_TRUE(lines.last().startsWith("\"\";\"seco")) << joint.toStdString();
}

} // namespace

namespace {

TEST_F(ReprocessWindowTest, AMassRunLeavesNameFolderAddressAndPictureOnOneAcquisition) {
    // A second acquisition of another device, with brighter frames.
    const QString other = program.filePath("default/second");
    QDir().mkpath(other + "/img");
    writeFile(other + "/rundata.dat",
              "10.0.0.8\r\n" + other.toUtf8() + "\r\n2026/01/15 11:00:00\r\n1\r\n 0 \r\n");
    for (int n = 0; n < 3; ++n)
        writeFile(other + "/img/c10_0_0_8f" + QString::number(n) + ".jpg",
                  grayJpeg(1600, 1200, 220));
    formats::TrainingFile source = formats::TrainingFile::defaults();
    source[16] = "12.5"; // mt
    ASSERT_EQ(formats::writeTrainingFile(acquisition.toStdString(), source), "");
    FrmTraining& w = open();
    auto& c = w.controls();
    ASSERT_EQ(c.txt_filepj->text(), "default/run");
    c.cmd_dir->click();
    c.List_subproject->clearSelection();
    c.List_subproject->findItems("run", Qt::MatchExactly).first()->setSelected(true);
    c.mn_masstrainingload->trigger();
    c.List_subproject->clearSelection();
    c.List_subproject->findItems("second", Qt::MatchExactly).first()->setSelected(true);
    fakes.dialogs->answers = {true}; // "MASS REPROCESSING ... Proceed?"
    c.mn_masstrainingapply->trigger();
    ASSERT_EQ(c.lbl_messages->text(), "DONE!");
    ASSERT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join("|").toStdString();
    // The window works on the acquisition just tracked, and names and shows that one.
    EXPECT_EQ(w.AcquisitionFolder(), other);
    EXPECT_EQ(c.txt_filepj->text(), "default/second");
    EXPECT_EQ(c.txt_file->text(), other + "/img");
    EXPECT_EQ(c.txt_ip1->text(), "10.0.0.8");
    EXPECT_EQ(c.txt_maxtravel->text(), "12.5"); // its training, the borrowed one
    EXPECT_NEAR(QColor(c.Picture1->image().pixel(4, 4)).red(), 220, 3);
}

TEST_F(ReprocessWindowTest, TrainingTestDrawsWhatTheFinderFindsOnFrameZero) {
    // Frame 0 of the acquisition: a plate with 20 worms.
    plate::PlateOptions options;
    const plate::PlateFrame frame = plate::drawPlate(options, 0.0);
    QImage image(frame.pixels.data(), frame.width, frame.height, frame.width,
                 QImage::Format_Grayscale8);
    ASSERT_TRUE(image.save(acquisition + "/img/c10_0_0_7f0.jpg", "JPG", 95));
    // What a previous test left must not be drawn.
    writeFile(program.filePath("xy_worms.bin"), "stale");
    writeFile(program.filePath("preview.pgm"), "stale");
    FrmTraining& w = open();
    auto& c = w.controls();
    ASSERT_EQ(w.TargetCount(), -1);
    c.cmd_detect->click(); // "TEST TRAINING"
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_EQ(readFile(program.filePath("preview.jpg")),
              readFile(acquisition + "/img/c10_0_0_7f0.jpg"));
    const auto found = training::readTestPositionsFile(
        program.filePath("xy_worms.bin").toStdString(), training::TrainingWindow::Reanalysis);
    ASSERT_TRUE(found.has_value());
    EXPECT_GE(found->detections.size(), 15u);
    EXPECT_LE(found->detections.size(), 21u);
    // Each detection is marked in blue on the picture's frame-space image.
    const QImage& shown = c.Picture1->image();
    int blue = 0;
    for (const auto& d : found->detections) {
        const int left = d.x - 18;
        if (left >= 0 && left < shown.width() && d.y >= 0 && d.y < shown.height() &&
            shown.pixelColor(left, d.y) == QColor(0, 0, 255))
            ++blue;
    }
    EXPECT_GE(blue, static_cast<int>(found->detections.size()) - 2);
}

TEST_F(ReprocessWindowTest, TrainingTestWithAnEmptyTrainingSaysSoAndStartsNothing) {
    FrmTraining& w = open();
    writeFile(program.filePath("training.dat"), "");
    w.controls().cmd_detect->click();
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{QString::fromLatin1(training::kPreTrainingMissingMessage)});
    EXPECT_FALSE(QFile::exists(program.filePath("preview.pgm")));
}

} // namespace
