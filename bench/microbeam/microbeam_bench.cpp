// Times the Microbeam measure: BlockActivity over ten 200 x 150 plate frames (target 2 ms), and
// one frame of the run with its real Dravel conversion of a 1600 x 1200 JPEG, as the window's
// timer drives it: the work done inside the ticks (target 20 ms of the 100 ms tick) apart from
// the time the conversion takes in its own process. Prints the medians; exits with 1 when a
// target is missed.

#include "app/microbeam/block_activity.h"
#include "app/microbeam/frame_loop.h"
#include "platform/process_launcher.h"
#include "platform/system_clock.h"
#include "tools/devicesim/jpeg_writer.h"
#include "tools/plate/plate.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

constexpr double kBlockTargetMs = 2.0;
constexpr double kTickWorkTargetMs = 20.0;

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
    bool ok = true;

    // 1. BlockActivity over ten reduced plate frames with crawling worms.
    microbeam::FrameRing ring;
    plate::PlateOptions small;
    small.worms = 25;
    small.speed = 4.0;
    small.width = 200;
    small.height = 150;
    for (int k = 0; k < microbeam::kRingSlots; ++k)
        ring.frames[k] = plate::drawPlate(small, k).pixels;
    std::vector<double> blockTimes;
    std::int32_t activity = 0;
    for (int i = 0; i < rounds; ++i) {
        microbeam::FrameRing copy = ring; // the call may replace frames
        microbeam::ActivityMask mask{};
        const auto start = Clock::now();
        activity = microbeam::BlockActivity(copy, mask, 200).activity;
        blockTimes.push_back(msSince(start));
    }
    const double blockMs = median(blockTimes);
    const bool blockMet = blockMs <= kBlockTargetMs;
    ok &= blockMet;
    std::printf(
        "BlockActivity, ten 200 x 150 frames: %.3f ms (activity %d), target %.1f ms -> %s\n",
        blockMs, activity, kBlockTargetMs, blockMet ? "met" : "MISSED");

    // 2. Frames of the run, each converted by the real Dravel.
    QTemporaryDir dir;
    const QString program = dir.filePath("bin");
    const QString folder = dir.filePath("img");
    QDir().mkpath(program);
    QDir().mkpath(folder);
    if (!QFile::link(QStringLiteral(DRAVEL_PATH), program + "/Dravel")) {
        std::printf("cannot link %s\n", DRAVEL_PATH);
        return 1;
    }
    plate::PlateOptions big;
    big.worms = 25;
    for (int n = 0; n <= rounds; ++n) {
        const auto frame = plate::drawPlate(big, n);
        const std::string jpeg = devicesim::encodeJpeg(frame.pixels, frame.width, frame.height, 85);
        QFile f(folder + "/c127_0_0_1f" + QString::number(n) + ".jpg");
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(jpeg.data(), static_cast<qint64>(jpeg.size()));
    }
    platform::Services services;
    services.launcher = std::make_shared<platform::ProcessLauncher>();
    services.clock = std::make_shared<platform::SystemClock>();
    services.programFolder = program;
    microbeam::FrameLoop loop(services);
    microbeam::FrameLoopSetup setup;
    setup.folder = folder;
    if (!loop.start(setup).started)
        return 1;
    microbeam::FrameLoop::TickInput input{0, rounds, 0};
    std::vector<double> longestTick;  // the longest tick of each frame
    std::vector<double> frameLatency; // from the tick that ended the last frame to this one
    double longest = 0.0;
    auto frameStart = Clock::now();
    while (loop.running()) {
        const auto start = Clock::now();
        const auto r = loop.tick(input);
        longest = std::max(longest, msSince(start));
        if (!r.error.isEmpty()) {
            std::printf("%s\n", r.error.toStdString().c_str());
            return 1;
        }
        input.counter = r.counter;
        input.activity = r.activity;
        if (r.frameDone) {
            longestTick.push_back(longest);
            frameLatency.push_back(msSince(frameStart));
            longest = 0.0;
            frameStart = Clock::now();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // The first frame's conversion began at the start, outside the ticks.
    if (!frameLatency.empty()) {
        frameLatency.erase(frameLatency.begin());
        longestTick.erase(longestTick.begin());
    }
    const double tickMs = median(longestTick);
    const bool tickMet = tickMs <= kTickWorkTargetMs;
    ok &= tickMet;
    std::printf("run frame, 1600 x 1200 JPEG through Dravel: longest tick %.2f ms (target %.1f ms "
                "-> %s); frame ready %.2f ms after the previous one\n",
                tickMs, kTickWorkTargetMs, tickMet ? "met" : "MISSED", median(frameLatency));
    return ok ? 0 : 1;
}
