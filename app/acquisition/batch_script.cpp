#include "app/acquisition/batch_script.h"

#include "app/acquisition/run_files.h"

#include <QDir>
#include <QSet>

#include <algorithm>

namespace acquisition {

QString shellQuote(const QString& word) {
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString batchProgressLine(std::int32_t frame) {
    return QLatin1Char(' ') + QString::number(frame) + QLatin1Char(' ');
}

QString batchFinalLine() {
    return QString::number(kBatchLastFrame) + QLatin1Char(' ');
}

std::vector<std::int32_t> storedFrames(const QString& acquisitionFolder,
                                       const QString& deviceAddress) {
    const QString prefix = framePrefix(deviceAddress);
    const QDir img(acquisitionFolder + QStringLiteral("/img"));
    // No name filter: the address may hold characters that a filter reads as a pattern.
    const QStringList names = img.entryList(QDir::Files);
    const QSet<QString> present(names.begin(), names.end());
    std::vector<std::int32_t> frames;
    for (std::int32_t n = 0; n <= kBatchLastFrame; ++n)
        if (present.contains(prefix + QString::number(n) + QStringLiteral(".jpg")))
            frames.push_back(n);
    return frames;
}

QString zStackAccumulatorPath(const QString& acquisitionFolder) {
    return acquisitionFolder + QStringLiteral("/zstack.pgm");
}

QString zStackImagePath(const QString& acquisitionFolder) {
    return acquisitionFolder + QStringLiteral("/zstack.bmp");
}

namespace {

// The frames to write lines for: 0 to 300, ascending, each once.
std::vector<std::int32_t> batchFrames(std::vector<std::int32_t> frames) {
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    frames.erase(std::remove_if(frames.begin(), frames.end(),
                                [](std::int32_t n) { return n < 0 || n > kBatchLastFrame; }),
                 frames.end());
    return frames;
}

QString quotedCommand(const CommandLine& command) {
    QString line = shellQuote(command.program);
    for (const QString& argument : command.arguments)
        line += QLatin1Char(' ') + shellQuote(argument);
    return line;
}

// The opening of every batch: the helpers that write the progress file whole; a failure first
// waits for the frame still finishing, so that its record comes last.
QString batchHead(const QString& programFolder) {
    const QString progress = shellQuote(programFolder + QLatin1Char('/') + kBatchProgressFileName);
    const QString temporary = shellQuote(programFolder + QLatin1Char('/') + kBatchProgressFileName +
                                         QStringLiteral(".tmp"));
    const QString rename = QStringLiteral("'mv' '-f' ") + temporary + QLatin1Char(' ') + progress;
    return QStringLiteral("#!/bin/sh\n"
                          "# Written by Vermalux for one batch and replaced by the next.\n") +
           QStringLiteral("progress() { printf '%s\\n' \"$1\" >") + temporary +
           QStringLiteral(" && ") + rename + QStringLiteral("; }\n") +
           QStringLiteral("failed() { wait; printf '%s\\n%s\\n' \"$1\" \"$2\" >") + temporary +
           QStringLiteral("; ") + rename + QStringLiteral("; exit 1; }\n") +
           QStringLiteral("notAnalysed() { printf '%s\\n' \"$1\" >>") +
           shellQuote(programFolder + QLatin1Char('/') + kBatchFailedFramesFileName) +
           QStringLiteral("; }\n");
}

// The two programs of a frame: the second runs only when the first succeeded; when either
// fails the frame's number is noted and the batch goes on.
QString frameLines(const CommandLine& convert, const CommandLine& use, std::int32_t frame) {
    return quotedCommand(convert) + QStringLiteral(" >'/dev/null' 2>&1 &&\n") +
           quotedCommand(use) + QStringLiteral(" >'/dev/null' 2>&1 || notAnalysed ") +
           shellQuote(QString::number(frame)) + QLatin1Char('\n');
}

// A program of the batch, its output discarded; when it fails the batch ends and records why.
QString checkedLine(const CommandLine& command, const QString& lastDone, const QString& failure) {
    return quotedCommand(command) + QStringLiteral(" >'/dev/null' 2>&1 || failed ") +
           shellQuote(lastDone) + QLatin1Char(' ') + shellQuote(failure) + QLatin1Char('\n');
}

// The end of a frame: its converted frame deleted and its number recorded (each a short
// program of its own) in the background while the next frame is converted. The end of the
// frame before is waited for first, so the records come in order.
QString frameDoneLines(std::int32_t frame, const QString& pgm) {
    return QStringLiteral("echo ") +
           shellQuote(QStringLiteral("FRAME [") + QString::number(frame) +
                      QStringLiteral("] done")) +
           QStringLiteral("\nwait\n{ 'rm' '-f' ") + shellQuote(pgm) +
           QStringLiteral("; progress ") + shellQuote(batchProgressLine(frame)) +
           QStringLiteral("; } &\n");
}

// The end of every batch: once everything started has finished, "300 ".
QString batchTail() {
    return QStringLiteral("wait\nprogress ") + shellQuote(batchFinalLine()) +
           QStringLiteral(" || exit 1\n");
}


} // namespace

BatchScript findBatchScript(const FindBatchInput& input) {
    BatchScript script;
    script.text = batchHead(input.programFolder);
    for (const std::int32_t n : batchFrames(input.frames)) {
        const QString jpg =
            framePath(input.acquisitionFolder, input.deviceAddress, n, QStringLiteral("jpg"));
        const QString pgm =
            framePath(input.acquisitionFolder, input.deviceAddress, n, QStringLiteral("pgm"));
        script.text += frameLines(
            dravelCommand(input.programFolder, pgm, jpg),
            sirrexCommand(input.programFolder, pgm, input.trainingOptions, input.roundShape, n),
            n);
        script.text += frameDoneLines(n, pgm);
        script.scratchFiles << pgm;
    }
    script.text += batchTail();
    return script;
}

BatchScript zStackBatchScript(const ZStackBatchInput& input) {
    BatchScript script;
    script.text = batchHead(input.programFolder);
    const QString accumulator = zStackAccumulatorPath(input.acquisitionFolder);
    const QString mirrant = input.programFolder + QStringLiteral("/Mirrant");
    QString lastDone;
    for (const std::int32_t n : batchFrames(input.frames)) {
        const QString jpg =
            framePath(input.acquisitionFolder, input.deviceAddress, n, QStringLiteral("jpg"));
        const QString pgm =
            framePath(input.acquisitionFolder, input.deviceAddress, n, QStringLiteral("pgm"));
        script.text += frameLines(dravelCommand(input.programFolder, pgm, jpg),
                                  {mirrant, {pgm, accumulator, accumulator}}, n);
        script.text += frameDoneLines(n, pgm);
        script.scratchFiles << pgm;
        lastDone = batchProgressLine(n);
    }
    script.text += checkedLine({mirrant, {accumulator, zStackImagePath(input.acquisitionFolder)}},
                               lastDone, QStringLiteral("Mirrant failed on the z-stack image"));
    script.text += QStringLiteral("'rm' '-f' ") + shellQuote(accumulator) + QLatin1Char('\n');
    script.text += batchTail();
    script.scratchFiles << accumulator;
    return script;
}

} // namespace acquisition
