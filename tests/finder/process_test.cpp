// The Sirrex executable itself: exit statuses, and the key wait of "-v" on an idle input.

#include "finder_test_support.h"
#include "formats/position_file.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>

namespace {

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

} // namespace
