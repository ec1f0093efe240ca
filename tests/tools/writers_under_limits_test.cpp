// The writing programs under a file-size limit: a write past the limit fails and is handled
// like any other failed write (the output taken back, a message, a failure status) instead of
// the program being ended by SIGXFSZ with a torn or stray file behind it.

#include "tests/tools/tool_test_util.h"
#include "tools/devicesim/jpeg_writer.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <csignal>
#include <cstdio>

namespace {

using tooltest::Limits;
using tooltest::readFile;
using tooltest::runLimited;
using tooltest::ScratchDir;
using tooltest::writeFile;

std::string grayJpeg(int width, int height) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 7));
    return devicesim::encodeJpeg(pixels, width, height, 90);
}

TEST(WritersUnderAFileSizeLimit, DravelRemovesItsPartOfTheOutputAndFails) {
    ScratchDir dir;
    writeFile(dir.file("f.jpg"), grayJpeg(1600, 1200));
    Limits limits;
    limits.fileSizeBytes = 100000; // the PGM needs 1,920,015 bytes
    const auto r = runLimited(
        "Dravel", {"-grayscale", "-outfile", dir.file("out.pgm"), dir.file("f.jpg")}, limits);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Dravel: " + dir.file("f.jpg") + ": cannot write " + dir.file("out.pgm") +
                         ": File too large\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"f.jpg"});
}

TEST(WritersUnderAFileSizeLimit, MirrantKeepsTheAccumulatorAndFails) {
    ScratchDir dir;
    const std::string header = "P5\n100 100\n255\n";
    writeFile(dir.file("f.pgm"), header + std::string(10000, '\x40'));
    writeFile(dir.file("z.pgm"), header + std::string(10000, '\x50'));
    Limits limits;
    limits.fileSizeBytes = 4096;
    const auto r =
        runLimited("Mirrant", {dir.file("f.pgm"), dir.file("z.pgm"), dir.file("z.pgm")}, limits);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Mirrant: Cannot write " + dir.file("z.pgm") + ": File too large\n");
    EXPECT_EQ(readFile(dir.file("z.pgm")), header + std::string(10000, '\x50'));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"f.pgm", "z.pgm"}));
}

// The logger writes its start stamp into its program folder before anything else; under a
// one-byte limit that write fails and the start goes on to its own refusal.
TEST(WritersUnderAFileSizeLimit, PendrelIsNotEndedBySigxfsz) {
    ScratchDir dir; // holds no rundata.dat
    Limits limits;
    limits.fileSizeBytes = 1;
    const auto r = runLimited("Pendrel", {dir.path().string()}, limits);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Pendrel: no rundata.dat in " + dir.path().string() + "\n"),
              std::string::npos)
        << r.err;
}

// Whether `pid` ignores SIGXFSZ, from its signal masks.
bool ignoresSigxfsz(pid_t pid) {
    std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (status == nullptr)
        return false;
    char line[256];
    bool ignored = false;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        unsigned long long mask = 0;
        if (std::sscanf(line, "SigIgn: %llx", &mask) == 1)
            ignored = (mask & (1ULL << (SIGXFSZ - 1))) != 0;
    }
    std::fclose(status);
    return ignored;
}

// The operator's program stays up until it is closed: its signal dispositions are looked at
// while it runs, then it is ended.
TEST(WritersUnderAFileSizeLimit, VermaluxIgnoresSigxfsz) {
    const std::string path = std::string(VX_BIN_DIR) + "/Vermalux";
    std::vector<char*> argv{const_cast<char*>(path.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ASSERT_EQ(rc, 0);
    bool ignored = false;
    int status = 0;
    bool ended = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!ignored && std::chrono::steady_clock::now() < end) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        ignored = ignoresSigxfsz(pid);
        if (!ignored)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    EXPECT_FALSE(ended) << "Vermalux ended by itself";
    EXPECT_TRUE(ignored);
}

} // namespace
