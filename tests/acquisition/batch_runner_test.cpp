// The batch runner: the progress file read with a fake launcher, then real batches through
// /bin/sh with stub programs in place of Dravel and Sirrex: progress, completion, a stop
// half-way, an early end, and a second batch refused while the first one's group lives.

#include "app/acquisition/batch_runner.h"
#include "app/acquisition/reprocess.h"
#include "platform/fakes/fake_services.h"
#include "platform/process_launcher.h"
#include "platform/system_clock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace acquisition;

// Failures show texts as texts.
static void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
using State = BatchStatus::State;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Alive and not a zombie.
bool runs(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat))
        return false;
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

} // namespace

TEST(BatchProgressFile, FirstLineIsTheFrameSecondLineTheFailure) {
    auto frameOf = [](const char* text) { return parseBatchProgress(text).frame; };
    EXPECT_EQ(frameOf(" 17 \n"), 17);
    EXPECT_EQ(frameOf(" 17 \r\n"), 17);
    EXPECT_EQ(frameOf("300 \n"), 300);
    EXPECT_EQ(frameOf(" 1"), 1);
    EXPECT_EQ(frameOf(""), std::nullopt);
    EXPECT_EQ(frameOf("\n"), std::nullopt);
    EXPECT_EQ(frameOf("  \n"), std::nullopt);
    EXPECT_EQ(parseBatchProgress(" 17 \n").line, " 17 ");
    EXPECT_EQ(parseBatchProgress(" 17 \n").failure, "");
    const auto failed = parseBatchProgress(" 4 \nSirrex failed on frame 5\n");
    EXPECT_EQ(failed.frame, 4);
    EXPECT_EQ(failed.failure, "Sirrex failed on frame 5");
    const auto first = parseBatchProgress("\nDravel failed on frame 0\n");
    EXPECT_EQ(first.frame, std::nullopt);
    EXPECT_EQ(first.failure, "Dravel failed on frame 0");
}

TEST(BatchRunnerFake, StartsTheScriptHiddenAndFollowsAMissingOrChangingProgressFile) {
    QTemporaryDir program;
    platform::fakes::FakeServices fakes;
    BatchRunner runner(fakes.services(program.path()));
    writeFile(program.filePath("cmdout.dat"), "300 \n"); // left by an earlier batch
    ASSERT_EQ(runner.start({"#!/bin/sh\n", {}}), "");
    ASSERT_EQ(fakes.launcher->started.size(), 1u);
    const auto& start = fakes.launcher->started[0];
    EXPECT_EQ(start.program, "/bin/sh");
    EXPECT_EQ(start.arguments, QStringList{program.filePath("findrun.sh")});
    EXPECT_EQ(start.workingFolder, program.path());
    EXPECT_EQ(start.style, platform::WindowStyle::Hidden);
    EXPECT_EQ(readFile(program.filePath("findrun.sh")), "#!/bin/sh\n");
    EXPECT_FALSE(QFile::exists(program.filePath("cmdout.dat")));

    BatchStatus status = runner.poll(); // no progress file yet
    EXPECT_EQ(status.state, State::Running);
    EXPECT_EQ(status.frame, 0);
    EXPECT_FALSE(status.advanced);

    writeFile(program.filePath("cmdout.dat"), " 0 \n");
    status = runner.poll();
    EXPECT_TRUE(status.advanced);
    EXPECT_EQ(status.frame, 0);
    EXPECT_EQ(status.line, " 0 ");
    writeFile(program.filePath("cmdout.dat"), " 5 \n");
    status = runner.poll();
    EXPECT_TRUE(status.advanced);
    EXPECT_EQ(status.frame, 5);
    EXPECT_FALSE(runner.poll().advanced); // the same line again
    writeFile(program.filePath("cmdout.dat"), "");
    EXPECT_EQ(runner.poll().frame, 5); // an empty moment keeps the frame
    QFile::remove(program.filePath("cmdout.dat"));
    EXPECT_EQ(runner.poll().state, State::Running);

    // The batch's process is gone before 300: ended early, once and for all.
    fakes.launcher->running[start.pid] = false;
    status = runner.poll();
    EXPECT_EQ(status.state, State::EndedEarly);
    EXPECT_EQ(status.message, "The batch ended early, after frame 5 of 300");
    writeFile(program.filePath("cmdout.dat"), "300 \n");
    EXPECT_EQ(runner.poll().state, State::EndedEarly);
}

TEST(BatchRunnerFake, ABatchThatStopsRecordingIsStoppedAfterTheStallLimit) {
    QTemporaryDir program;
    platform::fakes::FakeServices fakes;
    BatchRunner runner(fakes.services(program.path()));
    runner.setStallLimitMs(60000);
    ASSERT_EQ(runner.start({"", {}}), "");
    writeFile(program.filePath("cmdout.dat"), " 12 \n");
    fakes.clock->advance(59000);
    EXPECT_EQ(runner.poll().state, State::Running); // frame 12 is new: the wait starts again
    fakes.clock->advance(59999);
    EXPECT_EQ(runner.poll().state, State::Running);
    fakes.clock->advance(1);
    const BatchStatus status = runner.poll();
    EXPECT_EQ(status.state, State::EndedEarly);
    EXPECT_EQ(status.message,
              "The batch made no progress for 60 s and was stopped after frame 12 of 300");
    EXPECT_EQ(fakes.launcher->stopped, std::vector<std::int64_t>{1000});
}

TEST(BatchRunnerFake, ASecondBatchWaitsForTheFirst) {
    QTemporaryDir program;
    platform::fakes::FakeServices fakes;
    BatchRunner runner(fakes.services(program.path()));
    ASSERT_EQ(runner.start({"", {}}), "");
    EXPECT_EQ(runner.start({"", {}}),
              "A batch is still running (it reached frame 0); it must end or be stopped "
              "before the next one starts");
    EXPECT_EQ(fakes.launcher->started.size(), 1u);
    EXPECT_TRUE(runner.stop());
    EXPECT_EQ(runner.status().state, State::Stopped);
    EXPECT_EQ(runner.status().message, "The batch was stopped before its first frame");
    EXPECT_EQ(runner.start({"", {}}), "");
    EXPECT_EQ(fakes.launcher->started.size(), 2u);

    fakes.launcher->failStarts = true;
    fakes.launcher->running[1001] = false;
    EXPECT_EQ(runner.start({"", {}}), "Cannot start /bin/sh on " + program.filePath("findrun.sh"));
}

TEST(BatchRunnerFake, ALockFileThatIsALinkIsRefusedAndNothingIsMadeWhereItPoints) {
    QTemporaryDir root;
    const QString program = root.filePath("bin");
    ASSERT_TRUE(QDir().mkpath(program));
    const QString outside = root.filePath("elsewhere.lock");
    ASSERT_TRUE(QFile::link(outside, program + "/findrun.lock")); // dangling
    platform::fakes::FakeServices fakes;
    BatchRunner runner(fakes.services(program));
    const QString refusal = "Cannot open " + program + "/findrun.lock: it is a symbolic link";
    EXPECT_EQ(runner.readyForNext(), refusal);
    EXPECT_EQ(runner.reserve(), refusal);
    EXPECT_EQ(runner.start({"#!/bin/sh\n", {}}), refusal);
    EXPECT_FALSE(runner.reserved());
    EXPECT_FALSE(QFileInfo::exists(outside));
    EXPECT_FALSE(QFileInfo::exists(program + "/findrun.sh"));
    EXPECT_TRUE(fakes.launcher->started.empty());
    // Nor is a file it points at taken as the lock.
    writeFile(outside, "not ours");
    EXPECT_EQ(runner.reserve(), refusal);
    EXPECT_EQ(readFile(outside), "not ours");
}

TEST(BatchRunnerFake, AFailedFramesRecordThatIsNoRegularFileOrTooLargeEndsTheBatchEarly) {
    QTemporaryDir program;
    const QString record = program.filePath("cmdfail.dat");
    const QString ended = "; the batch ended after frame 300 of 300";
    // A link to an endless device, a named pipe that nobody writes, 300 MB of nothing.
    const std::vector<std::pair<std::function<bool()>, QString>> records{
        {[&] { return QFile::link("/dev/zero", record); }, ": not a regular file"},
        {[&] { return ::mkfifo(record.toLocal8Bit().constData(), 0644) == 0; },
         ": not a regular file"},
        {[&] {
             writeFile(record, "");
             return ::truncate(record.toLocal8Bit().constData(), 300 << 20) == 0;
         },
         ": the file is too large"}};
    for (const auto& [make, why] : records) {
        platform::fakes::FakeServices fakes;
        BatchRunner runner(fakes.services(program.path()));
        ASSERT_EQ(runner.start({"", {}}), "");
        writeFile(program.filePath("cmdout.dat"), "300 \n");
        ASSERT_TRUE(make());
        const BatchStatus status = runner.poll();
        ASSERT_EQ(status.state, State::EndedEarly) << why.toStdString();
        EXPECT_EQ(status.message, "Cannot read " + record + why + ended);
        EXPECT_TRUE(status.notAnalysed.empty());
        ASSERT_TRUE(QFile::remove(record));
    }
}

namespace {

// A program folder with stub converter and finder, an acquisition with frames, and a runner
// over the real launcher and clock.
class BatchRunnerReal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        program = root.filePath("bin");
        acquisition = program + "/default/acq";
        ASSERT_TRUE(QDir().mkpath(acquisition + "/img"));
        services.launcher = std::make_shared<platform::ProcessLauncher>();
        services.clock = std::make_shared<platform::SystemClock>();
        services.programFolder = program;
        // Sirrex appends the time mark to a file of the acquisition.
        stub("Sirrex", "[ -f \"$1\" ] || exit 1\n"
                       "for a in \"$@\"; do last=$a; done\n"
                       "echo \"$last\" >> '" +
                           acquisition + "/found.txt'\n");
    }

    void stub(const QString& name, const QString& body) {
        const QString path = program + "/" + name;
        writeFile(path, ("#!/bin/sh\n" + body).toUtf8());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // A converter that copies the JPEG to the PGM after `extra` shell lines.
    void converter(const QString& extra = "") { stub("Dravel", extra + "cp \"$4\" \"$3\"\n"); }

    void frames(int from, int to) {
        for (int n = from; n <= to; ++n)
            writeFile(acquisition + "/img/c10_0_0_7f" + QString::number(n) + ".jpg", "jpeg");
    }
    BatchScript script() const {
        FindBatchInput input{program,  acquisition, "10.0.0.7",
                             " -bs35", false,       storedFrames(acquisition, "10.0.0.7")};
        return findBatchScript(input);
    }
    // Polls every 20 ms while the batch runs (at most 240 s, against a hang); the frames that came in between.
    std::vector<std::int32_t> pollToEnd(BatchRunner& runner, std::int32_t stopAt = -1) {
        std::vector<std::int32_t> seen;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(240);
        while (std::chrono::steady_clock::now() < end) {
            const BatchStatus status = runner.poll();
            if (status.advanced)
                seen.push_back(status.frame);
            if (status.state != State::Running || (stopAt >= 0 && status.frame >= stopAt))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return seen;
    }
    QStringList leftovers() const {
        return QDir(acquisition + "/img").entryList({"*.pgm", "*.pgm.*"}, QDir::Files);
    }

    QTemporaryDir root;
    QString program;
    QString acquisition;
    platform::Services services;
};

} // namespace

TEST_F(BatchRunnerReal, ProgressComesInOrderAndTheBatchFinishesAt300) {
    converter("sleep 0.05\n");
    frames(0, 9);
    BatchRunner runner(services);
    ASSERT_EQ(runner.start(script()), "");
    const auto seen = pollToEnd(runner);
    const BatchStatus status = runner.status();
    EXPECT_EQ(status.state, State::Finished);
    EXPECT_EQ(status.frame, 300);
    EXPECT_EQ(status.line, "300 ");
    ASSERT_GE(seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 300);
    EXPECT_EQ(readFile(acquisition + "/found.txt"),
              "-ti0\n-ti1\n-ti2\n-ti3\n-ti4\n-ti5\n-ti6\n-ti7\n-ti8\n-ti9\n");
    EXPECT_TRUE(leftovers().isEmpty());
    EXPECT_EQ(readFile(program + "/cmdout.dat"), "300 \n");
    EXPECT_EQ(runner.poll().state, State::Finished);
}

TEST_F(BatchRunnerReal, AnAcquisitionWithoutFramesFinishesAtOnce) {
    converter();
    BatchRunner runner(services);
    ASSERT_EQ(runner.start(script()), "");
    pollToEnd(runner);
    EXPECT_EQ(runner.status().state, State::Finished);
    EXPECT_FALSE(QFile::exists(acquisition + "/found.txt"));
}

TEST_F(BatchRunnerReal, AStopHalfWayEndsTheWholeGroupAndLeavesNoConvertedFrame) {
    // On frame 3 the converter writes half a frame under its temporary name and at the
    // final name, then records its pid, and hangs.
    converter("case \"$4\" in *f3.jpg) printf 'P5\\n16' > \"$3.tmp$$\"; "
              "printf 'P5\\n16' > \"$3\"; echo $$ > '" +
              root.filePath("hung.tmp") + "'; mv '" + root.filePath("hung.tmp") + "' '" +
              root.filePath("hung") + "'; sleep 30;; esac\n");
    frames(0, 5);
    BatchRunner runner(services);
    ASSERT_EQ(runner.start(script()), "");
    pollToEnd(runner, 2);
    ASSERT_EQ(runner.status().state, State::Running);
    ASSERT_EQ(runner.status().frame, 2);
    // Wait until the converter of frame 3 hangs, half-written frame in place.
    for (int i = 0; i < 3000 && !QFile::exists(root.filePath("hung")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const long hung = readFile(root.filePath("hung")).trimmed().toLong();
    ASSERT_GT(hung, 0);
    ASSERT_TRUE(runs(hung));
    EXPECT_FALSE(leftovers().isEmpty());

    EXPECT_TRUE(runner.stop());
    EXPECT_EQ(runner.status().state, State::Stopped);
    EXPECT_EQ(runner.status().message, "The batch was stopped after frame 2 of 300");
    EXPECT_FALSE(runner.groupRunning());
    EXPECT_FALSE(runs(hung));
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(", ").toStdString();
    EXPECT_EQ(readFile(acquisition + "/found.txt"), "-ti0\n-ti1\n-ti2\n");
    EXPECT_EQ(runner.poll().state, State::Stopped);

    // The next batch may start now.
    converter();
    EXPECT_EQ(runner.start(script()), "");
    pollToEnd(runner);
    EXPECT_EQ(runner.status().state, State::Finished);
}

TEST_F(BatchRunnerReal, ABatchWhoseShellDiesEndsEarlyNamingTheFrameReached) {
    // The finder of frame 2 kills the shell that runs the batch.
    stub("Sirrex", "case \"$*\" in *-ti2) kill -9 $PPID;; esac\n");
    converter();
    frames(0, 4);
    BatchRunner runner(services);
    ASSERT_EQ(runner.start(script()), "");
    pollToEnd(runner);
    EXPECT_EQ(runner.status().state, State::EndedEarly);
    EXPECT_EQ(runner.status().frame, 1);
    EXPECT_EQ(runner.status().message, "The batch ended early, after frame 1 of 300");
    EXPECT_TRUE(leftovers().isEmpty()); // the PGM of frame 2 went with it
}

TEST_F(BatchRunnerReal, FramesThatFailAreNamedOnceAtTheEndAndTheBatchFinishes) {
    stub("Sirrex", "case \"$*\" in *-ti2) exit 2;; esac\n");
    converter("case \"$4\" in *f0.jpg) exit 1;; esac\n");
    frames(0, 4);
    writeFile(program + "/cmdfail.dat", "3\n"); // left by an earlier batch
    BatchRunner runner(services);
    ASSERT_EQ(runner.start(script()), "");
    pollToEnd(runner);
    EXPECT_EQ(runner.status().state, State::Finished);
    EXPECT_EQ(runner.status().notAnalysed, (std::vector<std::int32_t>{0, 2}));
    EXPECT_EQ(notAnalysedMessage(runner.status().notAnalysed),
              "Frames 0, 2 could not be analysed");
    EXPECT_EQ(notAnalysedMessage({100}), "Frame 100 could not be analysed");
    EXPECT_EQ(notAnalysedMessage({}), "");
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(BatchRunnerReal, WhatAKilledConverterLeftUnderATemporaryNameGoesAndNothingElse) {
    // The converter of frame 2 is killed half-way through writing its temporary; an attempt
    // cut short before this batch left one of frame 3's.
    converter("case \"$4\" in *f2.jpg) printf 'P5\\n16' > \"$3.tmp$$_0\"; kill -9 $$;; esac\n");
    frames(0, 4);
    const QString img = acquisition + "/img/";
    writeFile(img + "c10_0_0_7f3.pgm.tmp4711_0", "P5\n16");
    // What is not such a temporary stays, a link of that name too (and what it points at).
    const QStringList others{"c10_0_0_7f3.pgm.tmp", "c10_0_0_7f3.pgm.tmp.jpg",
                             "c10_0_0_7f3.pgm.tmp12_x", "notes.tmp12_0", "c10_0_0_7f3.pgmtmp1_0"};
    for (const QString& name : others)
        writeFile(img + name, "operator's");
    writeFile(root.filePath("kept"), "outside");
    ASSERT_TRUE(QFile::link(root.filePath("kept"), img + "c10_0_0_7f4.pgm.tmp5_0"));
    BatchRunner runner(services);
    ASSERT_EQ(runner.start(script()), "");
    EXPECT_FALSE(QFileInfo::exists(img + "c10_0_0_7f3.pgm.tmp4711_0"));
    pollToEnd(runner);
    ASSERT_EQ(runner.status().state, State::Finished);
    EXPECT_EQ(runner.status().notAnalysed, std::vector<std::int32_t>{2});
    const QStringList killed = QDir(img).entryList({"c10_0_0_7f2.pgm*"}, QDir::Files);
    EXPECT_TRUE(killed.isEmpty()) << killed.join(", ").toStdString();
    for (const QString& name : others)
        EXPECT_EQ(readFile(img + name), "operator's") << name.toStdString();
    EXPECT_TRUE(QFileInfo(img + "c10_0_0_7f4.pgm.tmp5_0").isSymLink());
    EXPECT_EQ(readFile(root.filePath("kept")), "outside");
}

TEST_F(BatchRunnerReal, WhatABatchLeftRunningInItsGroupHoldsOffTheNextOne) {
    // The converter leaves a process behind in the batch's group.
    converter("[ -e '" + root.filePath("left") + "' ] || { sleep 30 & echo $! > '" +
              root.filePath("left") + "'; }\n");
    frames(0, 1);
    BatchRunner runner(services);
    ASSERT_EQ(runner.start(script()), "");
    pollToEnd(runner);
    EXPECT_EQ(runner.status().state, State::Finished);
    const long left = readFile(root.filePath("left")).trimmed().toLong();
    ASSERT_TRUE(runs(left));
    EXPECT_TRUE(runner.groupRunning());
    EXPECT_EQ(runner.start(script()),
              "A batch is still running (it reached frame 300); it must end or be stopped "
              "before the next one starts");
    EXPECT_TRUE(runner.stop());
    EXPECT_FALSE(runs(left));
    EXPECT_EQ(runner.start(script()), "");
    pollToEnd(runner);
    EXPECT_EQ(runner.status().state, State::Finished);
}

// ---- One batch per program folder, and none outliving its Vermalux --------------------------

namespace {

// The program that holds a batch when it is killed: this test program itself, running only
// the driver below, which starts a reprocess and waits to be killed.
constexpr char kDriverFolder[] = "VX_BATCH_DRIVER_PROGRAM";

// A program folder with stubs and an acquisition of frames 0 to 300 whose finder appends its
// time mark to xy_worms.bin, one line per frame.
void makeKillableReprocess(const QString& program, int lastFrame = 300) {
    const QString acq = program + "/default/acq";
    QDir().mkpath(acq + "/img");
    writeFile(program + "/training.dat", "xs 335\r\n");
    writeFile(acq + "/rundata.dat", "10.0.0.7\r\n/x\r\n2026/01/15 10:30:00\r\n5\r\n 0 \r\n");
    for (int n = 0; n <= lastFrame; ++n)
        writeFile(acq + "/img/c10_0_0_7f" + QString::number(n) + ".jpg", "jpeg");
    writeFile(acq + "/xy_worms.bin", "");
    auto stub = [&](const QString& name, const QByteArray& body) {
        writeFile(program + "/" + name, "#!/bin/sh\n" + body);
        QFile::setPermissions(program + "/" + name,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    stub("Dravel", "cp \"$4\" \"$3\"\n");
    stub("Sirrex", "for a in \"$@\"; do last=$a; done\necho \"$last\" >> '" +
                       acq.toUtf8() + "/xy_worms.bin'\n");
}

platform::Services realServices(const QString& program) {
    platform::Services services;
    services.launcher = std::make_shared<platform::ProcessLauncher>();
    services.clock = std::make_shared<platform::SystemClock>();
    services.programFolder = program;
    return services;
}

// Waits until the runner's batch ends; its last state.
BatchStatus runToEnd(BatchRunner& runner) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    while (runner.poll().state == State::Running && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return runner.status();
}

} // namespace

TEST(BatchDriver, StartsAReprocessAndWaitsToBeKilled) {
    const char* program = std::getenv(kDriverFolder);
    if (!program)
        GTEST_SKIP() << "only run as the driver of BatchLifetime tests";
    BatchRunner runner(realServices(program));
    const QString acq = QString(program) + "/default/acq";
    ASSERT_EQ(startFindReprocess(runner, program, acq, false), "");
    writeFile(QString(program) + "/driver.started", "");
    std::this_thread::sleep_for(std::chrono::seconds(60));
}

TEST(BatchLifetime, ABatchDiesWithTheProgramThatStartedItAndNoSecondOneRunsBeside) {
    QTemporaryDir root;
    const QString program = root.filePath("bin");
    const QString acq = program + "/default/acq";
    makeKillableReprocess(program);
    // The driver: this test program, told where the program folder is.
    const std::string self = QFile::symLinkTarget("/proc/self/exe").toStdString();
    std::string filter = "--gtest_filter=BatchDriver.*";
    std::string env = std::string(kDriverFolder) + "=" + program.toStdString();
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e)
        envp.push_back(*e);
    envp.push_back(env.data());
    envp.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(self.c_str()), filter.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t driver = 0;
    ASSERT_EQ(posix_spawn(&driver, self.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    // The driver is killed once its batch has recorded a frame.
    for (int i = 0; i < 6000 && readFile(acq + "/xy_worms.bin").isEmpty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(QFile::exists(program + "/driver.started"));
    ASSERT_EQ(::kill(driver, SIGKILL), 0);
    int status = 0;
    ::waitpid(driver, &status, 0);
    const QByteArray reached = readFile(acq + "/xy_worms.bin");
    ASSERT_FALSE(reached.isEmpty());
    ASSERT_FALSE(reached.contains("-ti300\n")) << "the batch ended before the kill";

    // A second Vermalux reprocesses the same acquisition: refused while what is left of the
    // old batch runs (and nothing changes), accepted once it has gone with its program, before
    // it recorded its last frame (the limit only guards against a hang).
    BatchRunner runner(realServices(program));
    QString refused;
    QString started = "not tried";
    QByteArray oldReached;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
        const QByteArray script = readFile(program + "/findrun.sh");
        oldReached = readFile(acq + "/xy_worms.bin");
        started = startFindReprocess(runner, program, acq, false);
        if (started.isEmpty())
            break;
        refused = started;
        EXPECT_EQ(readFile(program + "/findrun.sh"), script);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(started, "");
    EXPECT_FALSE(oldReached.contains("-ti300\n")) << "the old batch ran on to its end";
    if (!refused.isEmpty()) {
        EXPECT_EQ(refused, "Another batch is running in " + program +
                               "; it must end before a new one starts");
    }
    EXPECT_EQ(runToEnd(runner).state, State::Finished);
    QByteArray expected;
    for (int n = 0; n <= 300; ++n)
        expected += "-ti" + QByteArray::number(n) + "\n";
    EXPECT_EQ(readFile(acq + "/xy_worms.bin"), expected);
}

TEST(BatchLifetime, ASecondVermaluxOnTheProgramFolderIsRefusedAndChangesNothing) {
    QTemporaryDir root;
    const QString program = root.filePath("bin");
    const QString acq = program + "/default/acq";
    makeKillableReprocess(program, 20);
    BatchRunner first(realServices(program));
    ASSERT_EQ(startFindReprocess(first, program, acq, false), "");
    BatchRunner second(realServices(program)); // another Vermalux on the same folder
    const QByteArray script = readFile(program + "/findrun.sh");
    const QString refusal =
        "Another batch is running in " + program + "; it must end before a new one starts";
    EXPECT_EQ(second.readyForNext(), refusal);
    EXPECT_EQ(startFindReprocess(second, program, acq, false), refusal);
    EXPECT_EQ(second.start({"#!/bin/sh\n", {}}), refusal);
    EXPECT_EQ(readFile(program + "/findrun.sh"), script);
    const BatchStatus status = runToEnd(first);
    EXPECT_EQ(status.state, State::Finished) << status.message.toStdString();
    EXPECT_EQ(status.frame, 300);
    // Once the first is done with the folder, the second may start.
    EXPECT_EQ(first.readyForNext(), "");
    first.release();
    EXPECT_EQ(second.readyForNext(), "");
}
