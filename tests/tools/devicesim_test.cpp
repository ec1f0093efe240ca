#include "formats/frame_names.h"
#include "formats/run_data_file.h"
#include "tests/tools/tool_test_util.h"
#include "tools/devicesim/jpeg_writer.h"
#include "tools/devicesim/sim_process.h"
#include "tools/dravel/jpeg_gray.h"
#include "tools/plate/plate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

namespace {

using devicesim::httpGet;
using devicesim::SimProcess;
using tooltest::readFile;
using tooltest::ScratchDir;

// Decodes a served JPEG; width 0 when it is none.
dravel::GrayImage decode(const std::string& jpeg) {
    dravel::GrayImage image;
    std::string error;
    dravel::decodeJpegGray(jpeg, 1, image, error);
    return image;
}

double meanGray(const dravel::GrayImage& image) {
    const std::string header = dravel::pgmHeader(image.width, image.height);
    double sum = 0.0;
    for (std::size_t i = header.size(); i < image.pgm.size(); ++i)
        sum += static_cast<unsigned char>(image.pgm[i]);
    return sum / (image.pgm.size() - header.size());
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TEST(DeviceSim, AnswersStatusControlAndCaptureInTheCameraSizes) {
    ScratchDir dir;
    SimProcess sim(VX_BIN_DIR, {"--worms", "4", "--log", dir.file("requests.log")});
    ASSERT_TRUE(sim.ok()) << sim.error();
    EXPECT_EQ(sim.address(), "127.0.0.1:" + std::to_string(sim.port()));

    auto status = httpGet(sim.port(), "/status");
    EXPECT_EQ(status.status, 200);
    EXPECT_NE(status.body.find("\"framesize\":13"), std::string::npos) << status.body;

    auto full = httpGet(sim.port(), "/capture");
    ASSERT_EQ(full.status, 200);
    EXPECT_TRUE(full.complete);
    EXPECT_NE(full.head.find("Content-Type: image/jpeg"), std::string::npos);
    const auto big = decode(full.body);
    EXPECT_EQ(big.width, 1600);
    EXPECT_EQ(big.height, 1200);

    EXPECT_EQ(httpGet(sim.port(), "/control?var=framesize&val=8").status, 200);
    const auto small = decode(httpGet(sim.port(), "/capture").body);
    EXPECT_EQ(small.width, 640);
    EXPECT_EQ(small.height, 480);
    EXPECT_NE(httpGet(sim.port(), "/status").body.find("\"framesize\":8"), std::string::npos);

    EXPECT_EQ(httpGet(sim.port(), "/control?var=framesize&val=13").status, 200);
    EXPECT_EQ(decode(httpGet(sim.port(), "/capture").body).width, 1600);

    // Every setting the program sends is taken; bad ones are refused.
    for (const char* name : {"aec_value", "agc_gain", "quality", "lamp", "autolamp", "lenc", "wpc"})
        EXPECT_EQ(httpGet(sim.port(), std::string("/control?var=") + name + "&val=1").status, 200)
            << name;
    EXPECT_EQ(httpGet(sim.port(), "/control?var=lamp&val=30.0").status, 400);
    EXPECT_EQ(httpGet(sim.port(), "/control?var=zoom&val=1").status, 400);
    EXPECT_EQ(httpGet(sim.port(), "/control?var=lamp").status, 400);
    EXPECT_EQ(httpGet(sim.port(), "/nothing").status, 404);
}

TEST(DeviceSim, LogsEveryRequestInOrderOneLineEach) {
    ScratchDir dir;
    const std::string log = dir.file("requests.log");
    SimProcess sim(VX_BIN_DIR, {"--worms", "1", "--log", log});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const std::vector<std::string> targets = {"/status", "/control?var=framesize&val=13",
                                              "/control?var=lamp&val=30", "/capture", "/status"};
    for (const auto& t : targets)
        httpGet(sim.port(), t);
    EXPECT_EQ(lines(readFile(log)), targets);
}

TEST(DeviceSim, TheLampBrightensThePicture) {
    SimProcess sim(VX_BIN_DIR, {"--worms", "0", "--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const double dark = meanGray(decode(httpGet(sim.port(), "/capture").body));
    ASSERT_EQ(httpGet(sim.port(), "/control?var=lamp&val=96").status, 200);
    const double lit = meanGray(decode(httpGet(sim.port(), "/capture").body));
    EXPECT_GT(lit - dark, 15.0) << dark << " -> " << lit;
}

TEST(DeviceSim, GroundTruthMatchesTheServedPlate) {
    ScratchDir dir;
    const std::string truth = dir.file("truth.csv");
    SimProcess sim(VX_BIN_DIR, {"--worms", "3", "--seed", "11", "--speed", "2", "--truth", truth,
                                "--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const auto first = httpGet(sim.port(), "/capture");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto second = httpGet(sim.port(), "/capture");
    ASSERT_EQ(second.status, 200);

    const auto rows = lines(readFile(truth));
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], "capture,seconds,worm,x,y");
    const auto image = decode(second.body);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        long index = 0;
        double seconds = 0, x = 0, y = 0;
        int worm = 0;
        ASSERT_EQ(
            std::sscanf(rows[i].c_str(), "%ld,%lf,%d,%lf,%lf", &index, &seconds, &worm, &x, &y), 5)
            << rows[i];
        EXPECT_EQ(index, static_cast<long>((i - 1) / 3));
        EXPECT_EQ(worm, static_cast<int>((i - 1) % 3));
        // The row is the plate's own truth at that moment (seconds are given to 1 ms).
        plate::PlateOptions o;
        o.worms = 3;
        o.seed = 11;
        o.speed = 2.0;
        const auto expected = plate::drawPlate(o, seconds).worms[worm];
        EXPECT_NEAR(x, expected.x, 0.1);
        EXPECT_NEAR(y, expected.y, 0.1);
        if (index == 1) {
            // And the worm is there in the picture: dark around its centre.
            int darkest = 255;
            const int cx = static_cast<int>(x), cy = static_cast<int>(y);
            const std::size_t base = dravel::pgmHeader(1600, 1200).size();
            auto at = [&](int xx, int yy) {
                return static_cast<int>(
                    static_cast<unsigned char>(image.pgm[base + yy * 1600 + xx]));
            };
            for (int yy = cy - 3; yy <= cy + 3; ++yy)
                for (int xx = cx - 3; xx <= cx + 3; ++xx)
                    darkest = std::min(darkest, at(xx, yy));
            // The agar 30 px away, where no part of the worm reaches (the second lowest of
            // four samples, in case another worm lies under one).
            std::array<int, 4> ring{at(cx - 30, cy), at(cx + 30, cy), at(cx, cy - 30),
                                    at(cx, cy + 30)};
            std::sort(ring.begin(), ring.end());
            const int agar = ring[1];
            EXPECT_LT(darkest, agar - 20) << rows[i];
        }
    }
    (void)first;
}

TEST(DeviceSim, ServesTheFilesOfAFolderInTurn) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.file("frames"));
    // Named so that plain text order would differ from frame order.
    const std::vector<std::pair<std::string, int>> files = {
        {"cf2.jpg", 16}, {"cf10.jpg", 24}, {"cf1.jpg", 8}};
    for (const auto& [name, side] : files) {
        std::vector<std::uint8_t> gray(static_cast<std::size_t>(side) * side, 128);
        tooltest::writeFile(dir.file("frames/" + name),
                            devicesim::encodeJpeg(gray, side, side, 90));
    }
    SimProcess sim(VX_BIN_DIR, {"--frames", dir.file("frames"), "--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    std::vector<int> widths;
    for (int i = 0; i < 4; ++i)
        widths.push_back(decode(httpGet(sim.port(), "/capture").body).width);
    EXPECT_EQ(widths, (std::vector<int>{8, 16, 24, 8}));
    EXPECT_EQ(httpGet(sim.port(), "/capture").body,
              readFile(dir.file("frames/cf2.jpg"))); // served unchanged
}

TEST(DeviceSim, ServesSeveralClientsAtOnce) {
    SimProcess sim(VX_BIN_DIR, {"--worms", "10", "--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    std::vector<std::thread> clients;
    std::vector<int> good(6, 0);
    for (int c = 0; c < 6; ++c) {
        clients.emplace_back([&, c] {
            for (int i = 0; i < 3; ++i) {
                const auto r = httpGet(sim.port(), c % 2 ? "/capture" : "/status");
                good[c] += r.status == 200 && r.complete;
            }
        });
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(good, std::vector<int>(6, 3));
}

TEST(DeviceSim, EndsCleanlyOnSigterm) {
    SimProcess sim(VX_BIN_DIR, {"--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const int port = sim.port();
    const int status = sim.stop();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(httpGet(port, "/status", 1000).status, 0);
}

TEST(DeviceSim, RefusesABadCommandLine) {
    ScratchDir dir;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--fault", "explode"},
                                                 {"--worms", "many"},
                                                 {"--bogus"},
                                                 {"--frames", dir.file("no_such_folder")}}) {
        const auto r = tooltest::runProgram("devicesim", args, dir.path().string());
        EXPECT_NE(r.exitCode, 0) << args[0];
        EXPECT_NE(r.err.find("devicesim: "), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// ---- injected faults ----

TEST(DeviceSimFault, RefuseClosesEveryConnectionAtOnce) {
    SimProcess sim(VX_BIN_DIR, {"--fault", "refuse", "--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const auto start = std::chrono::steady_clock::now();
    const auto r = httpGet(sim.port(), "/status", 30000);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.timedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

TEST(DeviceSimFault, DelayHoldsEveryAnswer) {
    SimProcess sim(VX_BIN_DIR, {"--fault", "delay:400", "--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(httpGet(sim.port(), "/status").status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

TEST(DeviceSimFault, Http500RefusesOnlyTheNamedSetting) {
    ScratchDir dir;
    SimProcess sim(VX_BIN_DIR, {"--fault", "http500:lenc", "--log", dir.file("requests.log")});
    ASSERT_TRUE(sim.ok()) << sim.error();
    EXPECT_EQ(httpGet(sim.port(), "/control?var=quality&val=16").status, 200);
    EXPECT_EQ(httpGet(sim.port(), "/control?var=lenc&val=1").status, 500);
    EXPECT_EQ(httpGet(sim.port(), "/control?var=wpc&val=1").status, 200);
    EXPECT_EQ(httpGet(sim.port(), "/status").status, 200);
    EXPECT_EQ(lines(readFile(dir.file("requests.log"))).size(), 4u); // logged all the same
}

TEST(DeviceSimFault, ShortCutsTheCaptureBody) {
    SimProcess sim(VX_BIN_DIR, {"--fault", "short", "--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const auto r = httpGet(sim.port(), "/capture");
    EXPECT_EQ(r.status, 200);
    EXPECT_FALSE(r.complete);
    EXPECT_GT(r.contentLength, static_cast<long long>(r.body.size()));
    EXPECT_GT(r.body.size(), 0u);
    EXPECT_TRUE(httpGet(sim.port(), "/status").complete); // other paths are whole
}

TEST(DeviceSimFault, NotJpegAnswersCaptureWithText) {
    SimProcess sim(VX_BIN_DIR, {"--fault", "notjpeg", "--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const auto r = httpGet(sim.port(), "/capture");
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.complete);
    ASSERT_GE(r.body.size(), 2u);
    EXPECT_NE(r.body.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(decode(r.body).width, 0);
}

TEST(DeviceSimFault, StallAcceptsAndSendsNothing) {
    SimProcess sim(VX_BIN_DIR, {"--fault", "stall:/capture", "--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    EXPECT_EQ(httpGet(sim.port(), "/status").status, 200);
    const auto r = httpGet(sim.port(), "/capture", 700);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.status, 0);
    // A stalled client does not keep the device from ending.
    const int status = sim.stop();
    EXPECT_TRUE(WIFEXITED(status));
}

// Runs the logger Pendrel (a copy in `programFolder`, as the logger reads its run data beside
// its executable) on `runFolder` until it ends by itself; its exit status, or -1 when it had to
// be killed after `timeoutMs`.
int runLogger(const std::string& programFolder, const std::string& runFolder, int timeoutMs) {
    const std::string program = programFolder + "/Pendrel";
    const std::string suppressions =
        std::string("suppressions=") + VX_SOURCE_DIR + "/tests/lsan.supp:print_suppressions=0";
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("LSAN_OPTIONS", suppressions.c_str(), 0);
        ::execl(program.c_str(), program.c_str(), runFolder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

struct TruthRow {
    double seconds = 0;
    double x = 0;
    double y = 0;
};

// How many of `worms` have a dark centre in `image`: the darkest pixel within 1 px of the
// centre lies 20 grey levels below the agar 30 px away.
int darkCentres(const dravel::GrayImage& image, const std::vector<TruthRow>& worms) {
    const std::size_t base = dravel::pgmHeader(image.width, image.height).size();
    auto at = [&](int x, int y) {
        x = std::clamp(x, 0, image.width - 1);
        y = std::clamp(y, 0, image.height - 1);
        return static_cast<int>(static_cast<unsigned char>(
            image.pgm[base + static_cast<std::size_t>(y) * image.width + x]));
    };
    int dark = 0;
    for (const TruthRow& w : worms) {
        const int cx = static_cast<int>(std::lround(w.x)), cy = static_cast<int>(std::lround(w.y));
        int darkest = 255;
        for (int y = cy - 1; y <= cy + 1; ++y)
            for (int x = cx - 1; x <= cx + 1; ++x)
                darkest = std::min(darkest, at(x, y));
        std::array<int, 4> ring{at(cx - 30, cy), at(cx + 30, cy), at(cx, cy - 30), at(cx, cy + 30)};
        std::sort(ring.begin(), ring.end());
        if (darkest < ring[1] - 20)
            ++dark;
    }
    return dark;
}

// The logger names a frame by the second since its start at which it was fetched; the truth
// file numbers the captures. For a run whose frames are the simulator's only captures, frame N
// is capture N: the truth rows of capture N are the worms of frame N, taken in second N.
TEST(DeviceSim, TruthOfCaptureNIsTheLoggersFrameN) {
    ScratchDir dir;
    const std::string program = dir.file("prog");
    const std::string run = dir.file("run");
    std::filesystem::create_directories(program);
    std::filesystem::create_directories(run + "/img");
    std::filesystem::copy_file(std::string(VX_BIN_DIR) + "/Pendrel", program + "/Pendrel");
    std::filesystem::permissions(program + "/Pendrel", std::filesystem::perms::owner_all);

    const int worms = 12;
    const std::string truth = dir.file("truth.csv");
    // Fast worms: a second later, hardly a worm is still where it was.
    SimProcess sim(VX_BIN_DIR, {"--worms", std::to_string(worms), "--seed", "5", "--speed", "10",
                                "--truth", truth, "--log", "/dev/null"});
    ASSERT_TRUE(sim.ok()) << sim.error();

    formats::RunData data;
    data.deviceAddress = sim.address();
    data.acquisitionFolder = run;
    data.startTime = "2026/01/15 10:30:00";
    data.runLength = "0.05"; // 3 s: frames 0 to 3 and the final frame 4
    ASSERT_EQ(formats::writeRunData(program, data), "");
    ASSERT_EQ(formats::writeRunData(run, data), "");
    tooltest::writeFile(run + "/training.dat", "xs 100\r\n");
    ASSERT_EQ(runLogger(program, run, 60000), 0);
    sim.stop();

    // Truth rows by capture.
    std::map<long, std::vector<TruthRow>> captures;
    const auto rows = lines(readFile(truth));
    ASSERT_FALSE(rows.empty());
    for (std::size_t i = 1; i < rows.size(); ++i) {
        long index = 0;
        int worm = 0;
        TruthRow row;
        ASSERT_EQ(std::sscanf(rows[i].c_str(), "%ld,%lf,%d,%lf,%lf", &index, &row.seconds, &worm,
                              &row.x, &row.y),
                  5)
            << rows[i];
        captures[index].push_back(row);
    }

    // The logger's fetches: the second each frame is named by, and how long its fetch took
    // (its log line "<second>:,INIT,<ms>,CacheDeleted,<ms>,JPG_Downloaded,<ms>,D,<ms>").
    std::vector<std::pair<long, double>> fetches;
    for (const std::string& line : lines(readFile(run + "/speed_test.csv"))) {
        long second = 0;
        int init = 0, deleted = 0, downloaded = 0, done = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%ld:,INIT,%d,CacheDeleted,%d,JPG_Downloaded,%d,D,%d",
                              &second, &init, &deleted, &downloaded, &done),
                  5)
            << line;
        fetches.emplace_back(second, downloaded / 1000.0);
    }
    // One frame per capture, in the same order: the seconds the logger named them by (frames
    // 0 to 3 and the final one, fewer when a busy machine woke the logger late).
    ASSERT_GE(fetches.size(), 2u);
    ASSERT_EQ(captures.size(), fetches.size());
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(run + "/img"))
        files += e.path().filename().string().front() != '.';
    ASSERT_EQ(files, fetches.size());
    ASSERT_EQ(fetches.front().first, 0);
    const double firstCapture = captures.begin()->second.front().seconds;
    for (long n = 0; n < static_cast<long>(fetches.size()); ++n) {
        const long second = fetches[static_cast<std::size_t>(n)].first;
        SCOPED_TRACE("capture " + std::to_string(n) + ", frame of second " + std::to_string(second));
        const std::string name = formats::frameImageFile(sim.address(), second);
        const auto image = decode(readFile(run + "/img/" + name));
        ASSERT_EQ(image.width, 1600) << name;
        ASSERT_EQ(captures.count(n), 1u);
        ASSERT_EQ(captures[n].size(), static_cast<std::size_t>(worms));
        // Taken during the fetch of that frame, which began within half a second of the second
        // it is named by (capture 0 during the fetch that began the logger's clock): however
        // late a busy machine lets the logger fetch, the frame is named by when it was taken.
        const double since = captures[n].front().seconds - firstCapture;
        EXPECT_GE(since, second - 0.5 - fetches.front().second - 0.05);
        EXPECT_LE(since, second + 0.5 + fetches[static_cast<std::size_t>(n)].second + 0.05);
        // The worms of capture n lie in frame n (a curved worm may have its centre beside its
        // body); those of the captures before and after it do not, when the worms had most of
        // a second to move on (a logger woken late fetches two frames in one second).
        EXPECT_GE(darkCentres(image, captures[n]), worms * 3 / 4);
        auto apart = [&](long other) {
            return captures.count(other) &&
                   std::abs(captures[other].front().seconds - captures[n].front().seconds) >= 0.75;
        };
        if (apart(n - 1)) {
            EXPECT_LE(darkCentres(image, captures[n - 1]), worms / 4);
        }
        if (apart(n + 1)) {
            EXPECT_LE(darkCentres(image, captures[n + 1]), worms / 4);
        }
    }
}

} // namespace
