// The reprocess of 301 stored frames (0 to 300) of a synthetic plate through findrun.sh: the
// checks and the output reset, the batch running the converter and the finder on every frame,
// and the progress file polled every 100 ms as the reanalysis window does, until frame 300 is
// read. The floor, measured in the same run on the same frames: the converter and the finder
// run back to back as processes, with no shell, no progress file and no polling.
// Prints frames per second of wall time for both and their ratio (target: at most 1.25);
// exits with 1 when the target is missed or a result differs from the floor's.
//
//   batch_bench [rounds] [worms]

#include "app/acquisition/reprocess.h"
#include "app/acquisition/run_files.h"
#include "formats/training_file.h"
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
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFrames = 301;
const QString kAddress = QStringLiteral("127.0.0.1");

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs a program with its output discarded and waits for it; true when it exits with 0.
bool runQuiet(const acquisition::CommandLine& command) {
    std::vector<std::string> words{command.program.toStdString()};
    for (const QString& a : command.arguments)
        words.push_back(a.toStdString());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int worms = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;

    QTemporaryDir root;
    const QString program = root.filePath("bin");
    const QString acquisition = program + "/default/20260115_1030_bench";
    const QString floorFolder = root.filePath("floor");
    QDir().mkpath(acquisition + "/img");
    QDir().mkpath(floorFolder + "/img");
    QFile::link(QStringLiteral(DRAVEL_PATH), program + "/Dravel");
    QFile::link(QStringLiteral(SIRREX_PATH), program + "/Sirrex");
    formats::writeTrainingFile(program.toStdString(), formats::TrainingFile::defaults());
    writeFile(acquisition + "/rundata.dat",
              "127.0.0.1\r\n" + acquisition.toUtf8() + "\r\n2026/01/15 10:30:00\r\n5\r\n 0 \r\n");

    const auto prepared = Clock::now();
    plate::PlateOptions options;
    options.worms = worms;
    std::size_t jpegBytes = 0;
    for (int n = 0; n < kFrames; ++n) {
        const auto frame = plate::drawPlate(options, n);
        const std::string jpeg = devicesim::encodeJpeg(frame.pixels, frame.width, frame.height, 85);
        jpegBytes += jpeg.size();
        const QByteArray bytes(jpeg.data(), static_cast<qsizetype>(jpeg.size()));
        const QString name =
            "/img/" + acquisition::framePrefix(kAddress) + QString::number(n) + ".jpg";
        if (!writeFile(acquisition + name, bytes) || !writeFile(floorFolder + name, bytes)) {
            std::fprintf(stderr, "cannot write the frames\n");
            return 1;
        }
    }
    std::printf("%d frames 1600 x 1200 of %d worms, %.0f KB of JPEG each, made in %.1f s\n",
                kFrames, worms, jpegBytes / 1024.0 / kFrames, secondsSince(prepared));

    const QString trainingOptions =
        QString::fromStdString(formats::ReadTrainingOptions(program.toStdString()));
    platform::Services services;
    auto launcher = std::make_shared<platform::ProcessLauncher>();
    services.launcher = launcher;
    services.clock = std::make_shared<platform::SystemClock>();
    services.programFolder = program;

    std::vector<double> floorTimes;
    std::vector<double> batchTimes;
    bool good = true;
    QByteArray floorPositions;
    for (int round = 0; round < rounds; ++round) {
        // The floor: the two programs back to back on every frame.
        QFile::remove(floorFolder + "/xy_worms.bin");
        QFile::remove(floorFolder + "/xy_image.bin");
        auto start = Clock::now();
        for (int n = 0; n < kFrames; ++n) {
            const QString jpg = acquisition::framePath(floorFolder, kAddress, n, "jpg");
            const QString pgm = acquisition::framePath(floorFolder, kAddress, n, "pgm");
            good &= runQuiet(acquisition::dravelCommand(program, pgm, jpg));
            good &= runQuiet(acquisition::sirrexCommand(program, pgm, trainingOptions, false, n));
            ::unlink(pgm.toLocal8Bit().constData());
        }
        floorTimes.push_back(secondsSince(start));
        floorPositions = readFile(floorFolder + "/xy_worms.bin");

        // The reprocess through the batch, polled every 100 ms.
        acquisition::BatchRunner runner(services);
        start = Clock::now();
        const QString error = acquisition::startFindReprocess(runner, program, acquisition, false);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        acquisition::BatchStatus status;
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(acquisition::kBatchPollMs));
            status = runner.poll();
            if (status.state != acquisition::BatchStatus::State::Running)
                break;
        }
        batchTimes.push_back(secondsSince(start));
        if (status.state != acquisition::BatchStatus::State::Finished) {
            std::fprintf(stderr, "the batch did not finish: %s\n", qPrintable(status.message));
            good = false;
        }
        if (readFile(acquisition + "/xy_worms.bin") != floorPositions) {
            std::fprintf(stderr, "the batch's position file differs from the floor's\n");
            good = false;
        }
        std::printf("round %d: floor %.2f s, batch %.2f s\n", round + 1, floorTimes.back(),
                    batchTimes.back());
    }

    const double floorS = median(floorTimes);
    const double batchS = median(batchTimes);
    const double ratio = batchS / floorS;
    const bool met = good && ratio <= 1.25;
    std::printf("floor (Dravel and Sirrex back to back): %.2f s, %.1f frames/s\n", floorS,
                kFrames / floorS);
    std::printf("reprocess through findrun.sh, polled every 100 ms: %.2f s, %.1f frames/s\n",
                batchS, kFrames / batchS);
    std::printf("ratio %.3f (target at most 1.25) -> %s\n", ratio, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
