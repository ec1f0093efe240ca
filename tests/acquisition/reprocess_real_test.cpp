// A reprocess through the real converter, finder and z-stack merger of the build's bin folder,
// over synthetic plate frames: the files it leaves must be byte for byte those of the same
// programs run by hand over the same frames.

#include "app/acquisition/reprocess.h"
#include "app/acquisition/run_files.h"
#include "formats/training_file.h"
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

using namespace acquisition;

// Failures show texts as texts.
static void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString kBin = QStringLiteral(VX_BIN_DIR);
const QString kAddress = QStringLiteral("127.0.0.1");

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

class RealReprocess : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"Dravel", "Sirrex", "Mirrant"})
            if (!QFileInfo(kBin + "/" + name).isExecutable())
                GTEST_SKIP() << name << " is not built in " << VX_BIN_DIR;
        program = root.filePath("bin");
        acquisition = program + "/default/20260115_1030_plate";
        reference = root.filePath("by_hand");
        ASSERT_TRUE(QDir().mkpath(acquisition + "/img"));
        ASSERT_TRUE(QDir().mkpath(reference + "/img"));
        for (const char* name : {"Dravel", "Sirrex", "Mirrant"})
            ASSERT_TRUE(QFile::link(kBin + "/" + name, program + "/" + name));
        ASSERT_EQ(
            formats::writeTrainingFile(program.toStdString(), formats::TrainingFile::defaults()),
            "");
        writeFile(acquisition + "/rundata.dat", "127.0.0.1\r\n" + acquisition.toUtf8() +
                                                    "\r\n2026/01/15 10:30:00\r\n5\r\n 0 \r\n");
        // Frames 0 to 12 of a crawling plate, frame 5 missing.
        plate::PlateOptions options;
        options.worms = 12;
        for (int n = 0; n <= 12; ++n) {
            if (n == 5)
                continue;
            const auto frame = plate::drawPlate(options, n);
            const std::string jpeg =
                devicesim::encodeJpeg(frame.pixels, frame.width, frame.height, 85);
            ASSERT_FALSE(jpeg.empty());
            const QByteArray bytes(jpeg.data(), static_cast<qsizetype>(jpeg.size()));
            const QString name = "/img/" + framePrefix(kAddress) + QString::number(n) + ".jpg";
            writeFile(acquisition + name, bytes);
            writeFile(reference + name, bytes);
            frames.push_back(n);
        }
        services.launcher = launcher;
        services.clock = std::make_shared<platform::SystemClock>();
        services.programFolder = program;
    }

    // Runs a program by hand, as an operator would, waiting for it.
    void byHand(const CommandLine& command) {
        const auto status = launcher->run(command.program, command.arguments, program, 60000);
        ASSERT_TRUE(status);
        ASSERT_EQ(*status, 0) << command.program.toStdString();
    }

    BatchStatus pollToEnd(BatchRunner& runner) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(240);
        while (std::chrono::steady_clock::now() < end &&
               runner.poll().state == BatchStatus::State::Running)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return runner.status();
    }

    QTemporaryDir root;
    QString program;
    QString acquisition;
    QString reference;
    std::vector<std::int32_t> frames;
    std::shared_ptr<platform::ProcessLauncher> launcher =
        std::make_shared<platform::ProcessLauncher>();
    platform::Services services;
};

} // namespace

TEST_F(RealReprocess, ThePositionFileIsTheOneSirrexWritesByHand) {
    const QString options =
        QString::fromStdString(formats::ReadTrainingOptions(program.toStdString()));
    ASSERT_FALSE(options.isEmpty());
    for (const std::int32_t n : frames) {
        const QString jpg = framePath(reference, kAddress, n, "jpg");
        const QString pgm = framePath(reference, kAddress, n, "pgm");
        byHand(dravelCommand(program, pgm, jpg));
        byHand(sirrexCommand(program, pgm, options, false, n));
        QFile::remove(pgm);
    }
    const QByteArray expected = readFile(reference + "/xy_worms.bin");
    ASSERT_GT(expected.size(), 12 * 11);

    BatchRunner runner(services);
    ASSERT_EQ(startFindReprocess(runner, program, acquisition, false), "");
    const BatchStatus status = pollToEnd(runner);
    EXPECT_EQ(status.state, BatchStatus::State::Finished) << status.message.toStdString();
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bin"), expected);
    EXPECT_EQ(readFile(acquisition + "/xy_image.bin"), readFile(reference + "/xy_image.bin"));
    EXPECT_TRUE(QDir(acquisition + "/img").entryList({"*.pgm*"}, QDir::Files).isEmpty());
    // The shell ends right after it recorded 300.
    for (int i = 0; i < 3000 && runner.groupRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(runner.groupRunning());

    EXPECT_EQ(finishAttempt(acquisition, status.notAnalysed), "");

    // A second reprocess backs the first results up and writes the same again.
    ASSERT_EQ(startFindReprocess(runner, program, acquisition, false), "");
    const BatchStatus second = pollToEnd(runner);
    EXPECT_EQ(second.state, BatchStatus::State::Finished);
    EXPECT_EQ(finishAttempt(acquisition, second.notAnalysed), "");
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bak"), expected);
    EXPECT_EQ(readFile(acquisition + "/xy_worms.bin"), expected);
}

TEST_F(RealReprocess, TheZStackIsTheOneMirrantMakesByHand) {
    const QString z = reference + "/zstack";
    for (const std::int32_t n : frames) {
        const QString jpg = framePath(reference, kAddress, n, "jpg");
        const QString pgm = framePath(reference, kAddress, n, "pgm");
        byHand(dravelCommand(program, pgm, jpg));
        byHand({program + "/Mirrant", {pgm, z + ".pgm", z + ".pgm"}});
        QFile::remove(pgm);
    }
    byHand({program + "/Mirrant", {z + ".pgm", z + ".bmp"}});

    BatchRunner runner(services);
    ASSERT_EQ(startZStack(services, runner, acquisition), "");
    const BatchStatus status = pollToEnd(runner);
    EXPECT_EQ(status.state, BatchStatus::State::Finished) << status.message.toStdString();
    const QByteArray image = readFile(zStackImagePath(acquisition));
    EXPECT_TRUE(image.startsWith("BM"));
    EXPECT_EQ(image, readFile(z + ".bmp"));
    EXPECT_FALSE(QFile::exists(zStackAccumulatorPath(acquisition)));
    EXPECT_TRUE(QDir(acquisition + "/img").entryList({"*.pgm*"}, QDir::Files).isEmpty());
}
