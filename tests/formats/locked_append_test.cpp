#include "formats/locked_append.h"

#include "tests/formats/temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(LockedAppendTest, AppendsAndReportsTheSizeFound) {
    testing_support::TempFolder folder;
    const std::string path = folder.file("f.bin");
    std::vector<std::uint64_t> sizes;
    const auto build = [&sizes](std::uint64_t size) {
        sizes.push_back(size);
        return Bytes{'a', 'b', 'c'};
    };
    EXPECT_EQ(formats::appendLocked(path, build), "");
    EXPECT_EQ(formats::appendLocked(path, build), "");
    EXPECT_EQ(sizes, (std::vector<std::uint64_t>{0, 3}));
    EXPECT_EQ(folder.read("f.bin"), "abcabc");
}

TEST(LockedAppendTest, HeadBytesAndRefusal) {
    testing_support::TempFolder folder;
    folder.write("f.bin", "xyz");
    const std::string path = folder.file("f.bin");
    Bytes seen;
    const std::string error =
        formats::appendLocked(path, 2, [&seen](std::uint64_t size, const Bytes& head) {
            seen = head;
            EXPECT_EQ(size, 3u);
            return formats::AppendPlan{Bytes{'!'}, "not this time"};
        });
    EXPECT_EQ(error, "not this time");
    EXPECT_EQ(seen, (Bytes{'x', 'y'}));
    EXPECT_EQ(folder.read("f.bin"), "xyz");
}

TEST(LockedAppendTest, AFileThatCannotBeOpenedIsReportedWithItsPath) {
    testing_support::TempFolder folder;
    const std::string path = folder.file("missing/f.bin");
    const std::string error = formats::appendLocked(path, Bytes{1});
    EXPECT_NE(error.find(path), std::string::npos) << error;
}

TEST(LockedAppendTest, AnAppendCutShortIsTakenBackWhole) {
    testing_support::TempFolder folder;
    folder.write("f.bin", "0123456789");
    const std::string path = folder.file("f.bin");
    // In a child process: the file may grow to 15 bytes only, so 5 of the 20 bytes fit.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{15, 15};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(3);
        const std::string error = formats::appendLocked(path, Bytes(20, 'x'));
        ::_exit(error.find("cannot write " + path) == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(folder.read("f.bin"), "0123456789");
    EXPECT_EQ(formats::appendLocked(path, Bytes{'a'}), "");
    EXPECT_EQ(folder.read("f.bin"), "0123456789a");
}

TEST(LockedAppendTest, ConcurrentWritersNeverInterleave) {
    testing_support::TempFolder folder;
    const std::string path = folder.file("f.bin");
    constexpr int kWriters = 4;
    constexpr int kChunks = 200;
    constexpr std::size_t kChunk = 5000;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const Bytes chunk(kChunk, static_cast<std::uint8_t>('A' + w));
            int failures = 0;
            for (int i = 0; i < kChunks; ++i)
                failures += formats::appendLocked(path, chunk).empty() ? 0 : 1;
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string content = folder.read("f.bin");
    ASSERT_EQ(content.size(), kWriters * kChunks * kChunk);
    for (std::size_t at = 0; at < content.size(); at += kChunk) {
        const std::string chunk = content.substr(at, kChunk);
        ASSERT_EQ(chunk, std::string(kChunk, content[at])) << "mixed chunk at offset " << at;
    }
}

} // namespace
