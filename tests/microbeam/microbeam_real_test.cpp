// A Microbeam run through the real converter of the build's bin folder, over JPEG frames of
// synthetic plates: still worms give little activity, crawling worms more, and more crawling
// worms more still.

#include "app/microbeam/frame_loop.h"
#include "platform/process_launcher.h"
#include "platform/system_clock.h"
#include "tools/devicesim/jpeg_writer.h"
#include "tools/plate/plate.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

using namespace microbeam;

namespace {

const QString kBin = QStringLiteral(VX_BIN_DIR);

class RealMicrobeamRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo(kBin + "/Dravel").isExecutable())
            GTEST_SKIP() << "Dravel is not built in " << VX_BIN_DIR;
        program = root.filePath("bin");
        ASSERT_TRUE(QDir().mkpath(program));
        ASSERT_TRUE(QFile::link(kBin + "/Dravel", program + "/Dravel"));
        services.launcher = std::make_shared<platform::ProcessLauncher>();
        services.clock = std::make_shared<platform::SystemClock>();
        services.programFolder = program;
    }

    // Frames 0 to `last` of a plate, one a second, in a folder of their own.
    QString makeFrames(const QString& name, int worms, double speed, int last) {
        const QString folder = root.filePath(name);
        QDir().mkpath(folder);
        plate::PlateOptions options;
        options.worms = worms;
        options.speed = speed;
        options.seed = 7;
        for (int n = 0; n <= last; ++n) {
            const auto frame = plate::drawPlate(options, n);
            const std::string jpeg =
                devicesim::encodeJpeg(frame.pixels, frame.width, frame.height, 85);
            EXPECT_FALSE(jpeg.empty());
            QFile f(folder + "/c127_0_0_1f" + QString::number(n) + ".jpg");
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(jpeg.data(), static_cast<qint64>(jpeg.size()));
        }
        return folder;
    }

    // Runs the loop as the window's timer would, until it ends; the activity total.
    std::int64_t run(const QString& folder, int last) {
        FrameLoop loop(services);
        FrameLoopSetup setup;
        setup.folder = folder;
        const auto start = loop.start(setup);
        EXPECT_TRUE(start.started) << start.message.toStdString();
        FrameLoop::TickInput input{0, last, 0};
        int frames = 0;
        int blocks = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (loop.running() && std::chrono::steady_clock::now() < end) {
            const auto r = loop.tick(input);
            EXPECT_EQ(r.error, "");
            if (r.frameDone) {
                EXPECT_TRUE(r.stored) << r.frame;
                EXPECT_EQ(r.pixels.size(), 30000u);
                ++frames;
                if (r.blockDone) {
                    EXPECT_FALSE(r.block.failed) << r.block.reason;
                    ++blocks;
                }
            }
            input.counter = r.counter;
            input.activity = r.activity;
            if (!r.frameDone)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_FALSE(loop.running());
        EXPECT_EQ(frames, last + 1);
        EXPECT_EQ(blocks, (last + 1) / 10);
        EXPECT_EQ(loop.unreadableFrames(), 0);
        return input.activity;
    }

    QTemporaryDir root;
    QString program;
    platform::Services services;
};

} // namespace

TEST_F(RealMicrobeamRun, ActivityGrowsWithCrawlingWorms) {
    const int last = 19;
    const std::int64_t still = run(makeFrames("still", 20, 0.0, last), last);
    const std::int64_t fewMoving = run(makeFrames("few", 5, 4.0, last), last);
    const std::int64_t manyMoving = run(makeFrames("many", 20, 4.0, last), last);
    std::printf("activity: still %lld, 5 crawling %lld, 20 crawling %lld\n",
                static_cast<long long>(still), static_cast<long long>(fewMoving),
                static_cast<long long>(manyMoving));
    EXPECT_LE(still, 2);
    EXPECT_LT(still, fewMoving);
    EXPECT_LT(fewMoving, manyMoving);
}
