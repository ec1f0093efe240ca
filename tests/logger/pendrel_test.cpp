// Pendrel as a program: started with an acquisition folder, against the device simulator.
#include "formats/frame_names.h"
#include "formats/run_data_file.h"
#include "tests/platform/tiny_http_server.h"
#include "tools/devicesim/sim_process.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

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

// A program folder of its own (a copy of Pendrel, since the program folder is the folder of the
// executable) and an acquisition folder with its `img` subfolder.
class PendrelTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(root.path()).mkpath("prog");
        QDir(root.path()).mkpath("project/20260115_1030_run one/img");
        ASSERT_TRUE(QFile::copy(QString(VX_BIN_DIR) + "/Pendrel", prog() + "/Pendrel"));
        QFile::setPermissions(prog() + "/Pendrel",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void TearDown() override {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    QString prog() const { return root.path() + "/prog"; }
    QString acq() const { return root.path() + "/project/20260115_1030_run one"; }
    QString img() const { return acq() + "/img"; }

    void writeRunData(const std::string& address, const std::string& minutes) {
        formats::RunData d;
        d.deviceAddress = address;
        d.acquisitionFolder = acq().toStdString();
        d.startTime = "2026/01/15 10:30:00";
        d.runLength = minutes;
        const QByteArray text = QByteArray::fromStdString(formats::runDataText(d));
        writeFile(prog() + "/rundata.dat", text);
        writeFile(acq() + "/rundata.dat", text);
        writeFile(acq() + "/training.dat", "xs 100\r\n");
    }

    void start(const QString& argument) {
        const std::string program = (prog() + "/Pendrel").toStdString();
        const std::string arg = argument.toStdString();
        const std::string errPath = (root.path() + "/stderr.txt").toStdString();
        const std::string suppressions =
            std::string("suppressions=") + VX_SOURCE_DIR + "/tests/lsan.supp:print_suppressions=0";
        m_pid = ::fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("LSAN_OPTIONS", suppressions.c_str(), 0);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0)
                ::dup2(err, 2);
            ::execl(program.c_str(), program.c_str(), arg.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        m_started = std::chrono::steady_clock::now();
    }

    // The exit status once the program ended, or nothing after ms.
    std::optional<int> waitExit(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return std::nullopt;
    }

    // At least `count` whole frames stand in the frame folder (whichever seconds they are of).
    bool waitForFrames(int count, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (QDir(img()).entryList({"*.jpg"}, QDir::Files).size() >= count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // A fetch has begun: its temporary file stands in the frame folder.
    bool waitForFetch(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (!imgFiles().isEmpty())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    QStringList imgFiles() const {
        return QDir(img()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QStringList logLines() const {
        return QString::fromLatin1(readAll(acq() + "/speed_test.csv"))
            .split("\r\n", Qt::SkipEmptyParts);
    }
    QString frameName(const std::string& address, int n) const {
        return QString::fromStdString(formats::frameImageFile(address, n));
    }

    QTemporaryDir root;
    pid_t m_pid = -1;
    std::chrono::steady_clock::time_point m_started;
};

const QRegularExpression
    kLogLine("^(\\d+):,INIT,\\d+,CacheDeleted,\\d+,JPG_Downloaded,\\d+,D,\\d+(,FETCH_FAILED)?$");

TEST_F(PendrelTest, ShortRunCapturesEverySecondAndEndsByItself) {
    devicesim::SimProcess sim(VX_BIN_DIR, {"--worms", "3"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    writeRunData(sim.address(), "0.1"); // 6 s
    start(acq());
    const auto status = waitExit(30000);
    ASSERT_TRUE(status.has_value()) << "Pendrel did not end by itself";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    // One frame at second 0 and one in each new second of the logger's clock (a machine
    // too busy to wake the logger within a second makes it miss that second, never take one
    // twice), the last one in the first second past the 6 s.
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 2);
    std::vector<int> marks;
    for (const QString& line : lines) {
        const auto m = kLogLine.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_FALSE(m.captured(2).size()) << line.toStdString();
        const int mark = m.captured(1).toInt();
        if (marks.empty())
            EXPECT_EQ(mark, 0) << line.toStdString();
        else
            EXPECT_GT(mark, marks.back()) << line.toStdString();
        marks.push_back(mark);
        const QByteArray frame = readAll(img() + "/" + frameName(sim.address(), mark));
        EXPECT_EQ(frame.left(2), QByteArray("\xFF\xD8", 2)) << mark;
    }
    EXPECT_GT(marks.back(), 6);
    EXPECT_LE(marks[marks.size() - 2], 6);
    EXPECT_EQ(imgFiles().size(), lines.size());
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d\\.\\d\\d\\r\\n$")
                    .match(QString::fromLatin1(readAll(prog() + "/speed_test.txt")))
                    .hasMatch());
}

TEST_F(PendrelTest, DeadDeviceKeepsLoggingAndLeavesNoFrame) {
    devicesim::SimProcess sim(VX_BIN_DIR, {"--fault", "short"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    writeRunData(sim.address(), "0.05"); // 3 s
    start(acq());
    const auto status = waitExit(30000);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    // A failed fetch in each second the logger woke in, on to the first past the 3 s.
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 2);
    for (const QString& line : lines) {
        const auto m = kLogLine.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_EQ(m.captured(2), ",FETCH_FAILED");
    }
    EXPECT_GT(kLogLine.match(lines.last()).captured(1).toInt(), 3);
    EXPECT_TRUE(imgFiles().isEmpty()) << imgFiles().join(" ").toStdString();
}

TEST_F(PendrelTest, StalledDeviceIsAbandonedOnTerm) {
    devicesim::SimProcess sim(VX_BIN_DIR, {"--fault", "stall"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    writeRunData(sim.address(), "10");
    start(acq());
    // The first fetch has begun once its temporary file stands in the frame folder.
    ASSERT_TRUE(waitForFetch(30000));
    ::kill(m_pid, SIGTERM);
    const auto t0 = std::chrono::steady_clock::now();
    const auto status = waitExit(30000);
    ASSERT_TRUE(status.has_value()) << "Pendrel did not end on SIGTERM";
    // Well before the fetch's 10 s limit.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(8000));
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    EXPECT_TRUE(imgFiles().isEmpty()) << imgFiles().join(" ").toStdString();
}

TEST_F(PendrelTest, TermBetweenCapturesEndsCleanly) {
    devicesim::SimProcess sim(VX_BIN_DIR, {"--worms", "3"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    writeRunData(sim.address(), "10");
    start(acq());
    ASSERT_TRUE(waitForFrames(3, 30000)); // after a few captures
    ::kill(m_pid, SIGTERM);
    const auto status = waitExit(30000);
    ASSERT_TRUE(status.has_value()) << "Pendrel did not end on SIGTERM";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    for (const QString& name : imgFiles())
        EXPECT_FALSE(name.startsWith(".")) << name.toStdString();
    for (const QString& line : logLines())
        EXPECT_TRUE(kLogLine.match(line).hasMatch()) << line.toStdString();
}

// A device that answers without a length and breaks off half-way: every capture fails.
TEST_F(PendrelTest, FrameThatBrokeOffIsLoggedAsFailedAndLeavesNoFile) {
    testhttp::TinyHttpServer device;
    const std::string whole =
        std::string("\xFF\xD8\xFF\xE0", 4) + std::string(20000, 'j') + std::string("\xFF\xD9", 2);
    testhttp::Answer half{200, whole.substr(0, whole.size() / 2)};
    half.sendLength = false;
    device.set("/capture", half);
    writeRunData("127.0.0.1:" + std::to_string(device.port()), "0.05"); // 3 s
    start(acq());
    const auto status = waitExit(30000);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 2);
    for (const QString& line : lines) {
        const auto m = kLogLine.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_EQ(m.captured(2), ",FETCH_FAILED") << line.toStdString();
    }
    EXPECT_GT(kLogLine.match(lines.last()).captured(1).toInt(), 3); // on to the run's end
    EXPECT_TRUE(imgFiles().isEmpty()) << imgFiles().join(" ").toStdString();
}

// A fetch killed outright leaves its one temporary file; the next start removes it.
TEST_F(PendrelTest, KilledFetchLeavesOneTemporaryFileThatTheNextStartRemoves) {
    {
        devicesim::SimProcess stalled(VX_BIN_DIR, {"--fault", "stall"});
        ASSERT_TRUE(stalled.ok()) << stalled.error();
        writeRunData(stalled.address(), "10");
        start(acq());
        const pid_t killed = m_pid;
        ASSERT_TRUE(waitForFetch(30000));
        ::kill(m_pid, SIGKILL);
        ASSERT_TRUE(waitExit(30000).has_value());
        const QStringList left = imgFiles();
        ASSERT_EQ(left.size(), 1) << left.join(" ").toStdString();
        const QString frame = QRegularExpression::escape(frameName(stalled.address(), 0));
        EXPECT_TRUE(QRegularExpression(QString("^\\.%1\\.part%2_\\d+$").arg(frame).arg(killed))
                        .match(left[0])
                        .hasMatch())
            << left[0].toStdString();
    }
    devicesim::SimProcess sim(VX_BIN_DIR, {"--worms", "3"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    writeRunData(sim.address(), "10");
    start(acq());
    ASSERT_TRUE(waitForFrames(1, 30000));
    ::kill(m_pid, SIGTERM);
    ASSERT_TRUE(waitExit(30000).has_value());
    for (const QString& name : imgFiles())
        EXPECT_FALSE(name.startsWith(".")) << name.toStdString();
}

// The program folder's logger lock, handed over by Vermalux at the start, stays the file at its
// path: deleted or replaced while the logger runs, it is held again, so no second logger starts.
TEST_F(PendrelTest, LockFileDeletedOrReplacedWhileRunningIsHeldAgain) {
    devicesim::SimProcess sim(VX_BIN_DIR, {"--worms", "3"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    writeRunData(sim.address(), "10");
    const std::string lock = (prog() + "/pendrel.lock").toStdString();
    const auto held = [&] {
        const int fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return false;
        const bool refused = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(fd);
        return refused;
    };
    const auto heldWithin = [&](int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!held()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    };
    // Taken, inherited by the logger, and the own copy closed, as Vermalux does.
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    start(acq());
    ::close(fd);
    ASSERT_TRUE(waitForFrames(1, 30000));
    EXPECT_TRUE(held());

    ASSERT_EQ(::unlink(lock.c_str()), 0);
    EXPECT_TRUE(heldWithin(5000)) << "a deleted lock file was not taken again";

    const std::string other = (prog() + "/other.lock").toStdString();
    writeFile(QString::fromStdString(other), "");
    ASSERT_EQ(::rename(other.c_str(), lock.c_str()), 0);
    EXPECT_TRUE(heldWithin(5000)) << "a replaced lock file was not taken again";
    EXPECT_FALSE(waitExit(0).has_value()); // the logger goes on
}

TEST_F(PendrelTest, MissingRunDataEndsWithAMessageAndAFailureStatus) {
    start(acq());
    const auto status = waitExit(15000);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) != 0) << *status;
    const QString err = QString::fromLocal8Bit(readAll(root.path() + "/stderr.txt"));
    EXPECT_TRUE(err.contains("Pendrel: no rundata.dat in " + acq())) << err.toStdString();
    EXPECT_TRUE(QFile::exists(prog() + "/speed_test.txt"));
    EXPECT_FALSE(QFile::exists(acq() + "/speed_test.csv"));
}

TEST_F(PendrelTest, MissingTrainingEndsWithAMessageAndAFailureStatus) {
    writeRunData("127.0.0.1:9", "1");
    QFile::remove(acq() + "/training.dat");
    start(acq());
    const auto status = waitExit(15000);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) != 0) << *status;
    const QString err = QString::fromLocal8Bit(readAll(root.path() + "/stderr.txt"));
    EXPECT_TRUE(err.contains("training.dat")) << err.toStdString();
    EXPECT_TRUE(imgFiles().isEmpty());
}

} // namespace
