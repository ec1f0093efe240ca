// The Sirrex executable itself: exit statuses, and the key wait of "-v" on an idle input.

#include "finder_test_support.h"
#include "formats/image_descriptor_file.h"
#include "formats/position_file.h"
#include "tests/tools/tool_test_util.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace {

using finder_test::Bytes;
using finder_test::Frame;
using finder_test::WorkFolderTest;

class SirrexProcessTest : public WorkFolderTest {
protected:
    // Starts Sirrex with `args`, standard input from `stdinFd`, output to /dev/null; returns its
    // exit status, or -1 when it did not end within `seconds` (it is then killed).
    static int run(const std::vector<std::string>& args, int stdinFd, int seconds = 20) {
        const std::string program = std::string(VX_BIN_DIR) + "/Sirrex";
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(stdinFd, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    }
};

TEST_F(SirrexProcessTest, VerboseDoesNotWaitOnAnIdleOrClosedInput) {
    writeFile("f.pgm", Frame().pgm());
    int idle[2];
    ASSERT_EQ(::pipe(idle), 0); // the write end stays open and nothing is ever written
    EXPECT_EQ(run({"f.pgm", "-ti1", "-v"}, idle[0]), 0);
    ::close(idle[0]);
    ::close(idle[1]);

    int closed[2];
    ASSERT_EQ(::pipe(closed), 0);
    ::close(closed[1]);
    EXPECT_EQ(run({"f.pgm", "-ti2", "-v"}, closed[0]), 0);
    ::close(closed[0]);

    int key[2];
    ASSERT_EQ(::pipe(key), 0);
    ASSERT_EQ(::write(key[1], "\n", 1), 1);
    EXPECT_EQ(run({"f.pgm", "-ti3", "-v"}, key[0]), 0);
    ::close(key[0]);
    ::close(key[1]);
    EXPECT_EQ(formats::readPositionFile("xy_worms.bin").blocks.size(), 3u);
}

TEST_F(SirrexProcessTest, ExitStatuses) {
    const int null = ::open("/dev/null", O_RDONLY);
    writeFile("f.pgm", Frame().pgm());
    EXPECT_EQ(run({}, null), 0);
    EXPECT_EQ(run({"f.pgm", "-h"}, null), 0);
    EXPECT_EQ(run({"f.pgm", "-xsq"}, null), 1);
    EXPECT_EQ(run({"missing.pgm"}, null), 1);
    EXPECT_EQ(run({"f.pgm"}, null), 0);
    std::filesystem::remove("xy_worms.bin");
    std::filesystem::create_directory("xy_worms.bin");
    EXPECT_EQ(run({"f.pgm"}, null), 2);
    ::close(null);
}

// A size limit that stops a block part-way: what went in is taken back and the run says so,
// where a run killed by SIGXFSZ would leave a torn block that hides every later one.
TEST_F(SirrexProcessTest, AFileSizeLimitLeavesWholeBlocksAndEndsWithStatus2) {
    writeFile("f.pgm", Frame().pgm());
    Bytes blocks;
    for (int i = 0; i < 170; ++i) { // 2040 bytes of empty blocks
        const auto block = formats::encodeBlock(i, {}, i == 0);
        blocks.insert(blocks.end(), block.begin(), block.end());
    }
    writeFile("xy_worms.bin", std::string(blocks.begin(), blocks.end()));

    tooltest::Limits limits;
    limits.fileSizeBytes = 2048; // the next 12-byte block fits only 8 bytes
    const tooltest::LimitedRun r = tooltest::runLimited("Sirrex", {"f.pgm", "-ti170"}, limits);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "Cant write File xy_worms.bin\n"
                     "cannot write xy_worms.bin: File too large\n"
                     "Cant write File xy_image.bin\n"
                     "cannot write xy_image.bin: File too large\n");
    EXPECT_EQ(readBytes("xy_worms.bin"), blocks);

    // Without the limit the next block is appended and read like every other.
    const tooltest::LimitedRun next = tooltest::runLimited("Sirrex", {"f.pgm", "-ti171"});
    EXPECT_EQ(next.exitCode, 0) << next.err;
    const formats::PositionFile file = formats::readPositionFile("xy_worms.bin");
    EXPECT_EQ(file.error, "");
    ASSERT_EQ(file.blocks.size(), 171u);
    EXPECT_EQ(file.blocks.back().timeMark, 171);
    EXPECT_EQ(formats::readImageDescriptorFile("xy_image.bin").lines.size(), 1u);
}

// A named pipe with no writer would hold the run for ever; it is no frame file at all.
TEST_F(SirrexProcessTest, ANamedPipeIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo("f.pgm", 0644), 0);
    tooltest::Limits limits;
    limits.timeoutSeconds = 20;
    const tooltest::LimitedRun r = tooltest::runLimited("Sirrex", {"f.pgm", "-ti1"}, limits);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Cant open File f.pgm\nnot a regular file\n");
    EXPECT_EQ(r.out, " time=1");
    EXPECT_FALSE(exists("xy_worms.bin"));
    EXPECT_FALSE(exists("xy_image.bin"));
}

} // namespace
