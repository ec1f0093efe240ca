#include "app/acquisition/reprocess.h"

#include "app/acquisition/run_files.h"
#include "formats/device_address.h"
#include "formats/numbers.h"
#include "formats/regular_file.h"
#include "formats/run_data_file.h"
#include "formats/save_file.h"
#include "formats/text_lines.h"
#include "formats/training_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace acquisition {

namespace {

QString inFolder(const QString& folder, const QString& name) {
    return folder + QLatin1Char('/') + name;
}

std::optional<QByteArray> readWhole(const QString& path, QString* error) {
    std::string bytes, reason;
    if (!formats::readRegularFile(path.toStdString(), bytes, reason)) {
        *error = QString::fromStdString(reason);
        return std::nullopt;
    }
    return QByteArray::fromStdString(bytes);
}

// Copies source over target; the target is replaced whole or not at all.
QString copyWhole(const QString& source, const QString& target) {
    return QString::fromStdString(
        formats::copyFileAtomic(source.toStdString(), target.toStdString()));
}

// Copies `source` under a new temporary name beside `target`, put into `temporary`.
QString copyBeside(const QString& source, const QString& target, QString* temporary) {
    QString error;
    const auto bytes = readWhole(source, &error);
    if (!bytes)
        return error;
    *temporary = QString::fromStdString(formats::temporaryNameFor(target.toStdString()));
    QFile file(*temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return QStringLiteral("Cannot write ") + target + QStringLiteral(": ") + file.errorString();
    const bool written = file.write(*bytes) == bytes->size() && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        error =
            QStringLiteral("Cannot write ") + target + QStringLiteral(": ") + file.errorString();
        QFile::remove(*temporary);
        temporary->clear();
        return error;
    }
    return {};
}

// What the program's writers, killed on the way, left beside the files of an acquisition under
// their temporary names. Called with the program folder held, after any attempt was undone.
void removeLeftTemporaries(const QString& folder) {
    formats::removeLeftTemporaries(folder.toStdString(),
                                   {kTrailsFile.toStdString(), kTrailsBackupFile.toStdString(),
                                    kOriginalTrailsName, std::string(kShapesFileName),
                                    formats::kTrainingFileName, formats::kDescriptorFileName,
                                    kNotAnalysedNoteName});
}

QString canonical(const QString& folder) {
    const QString path = QFileInfo(folder).canonicalFilePath();
    return path.isEmpty() ? QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) : path;
}

// The Sirrex options of a folder's training.dat; a missing or unreadable file is an error.
QString trainingOptionsOf(const QString& folder, QString* options) {
    const QString path = inFolder(folder, QString::fromLatin1(formats::kTrainingFileName));
    if (!QFileInfo::exists(path))
        return QStringLiteral("No training file ") + path;
    std::string error;
    *options = QString::fromStdString(formats::ReadTrainingOptions(folder.toStdString(), &error));
    return QString::fromStdString(error);
}

AcquisitionOutcome outcomeOf(const QString& item, const BatchStatus& status, int maxPolls) {
    AcquisitionOutcome outcome;
    outcome.item = item;
    outcome.frame = status.frame;
    switch (status.state) {
    case BatchStatus::State::Finished:
        outcome.result = AcquisitionOutcome::Result::Done;
        if (!status.notAnalysed.empty())
            outcome.message = item + QStringLiteral(": ") + notAnalysedMessage(status.notAnalysed);
        break;
    case BatchStatus::State::EndedEarly:
        outcome.result = AcquisitionOutcome::Result::EndedEarly;
        outcome.message = item + QStringLiteral(": ") + status.message;
        break;
    case BatchStatus::State::Stopped:
        outcome.result = AcquisitionOutcome::Result::Stopped;
        outcome.message = item + QStringLiteral(": ") + status.message;
        break;
    default:
        outcome.result = AcquisitionOutcome::Result::TimedOut;
        outcome.message = item + QStringLiteral(": not finished within ") +
                          QString::number(maxPolls * kBatchPollMs / 1000) +
                          QStringLiteral(" s, stopped after frame ") +
                          QString::number(status.frame) + QStringLiteral(" of ") +
                          QString::number(kBatchLastFrame);
        break;
    }
    return outcome;
}

AcquisitionOutcome skipped(const QString& item, const QString& why) {
    AcquisitionOutcome outcome;
    outcome.item = item;
    outcome.result = AcquisitionOutcome::Result::Skipped;
    outcome.message = item + QStringLiteral(": ") + why;
    return outcome;
}

void tell(const BatchHooks& hooks, const QString& text) {
    if (hooks.status)
        hooks.status(text);
}

bool goingOn(const BatchHooks& hooks) {
    return !hooks.keepGoing || hooks.keepGoing();
}

} // namespace

AcquisitionCheck checkAcquisition(const QString& folder, const QString& windowAddress) {
    AcquisitionCheck check;
    if (!QFileInfo(folder).isDir()) {
        check.error =
            QStringLiteral("The acquisition folder ") + folder + QStringLiteral(" does not exist");
        return check;
    }
    const QString runData = inFolder(folder, QString::fromLatin1(formats::kRunDataFileName));
    std::string error;
    std::optional<formats::RunData> data;
    if (!QFileInfo::exists(runData) && !windowAddress.isEmpty()) {
        data.emplace();
        data->deviceAddress = windowAddress.toStdString();
    } else {
        data = formats::readRunData(folder.toStdString(), &error);
    }
    if (!data) {
        check.error = error.empty() ? QStringLiteral("No run data file ") + runData +
                                          QStringLiteral(": the device address of the frames "
                                                         "is unknown")
                                    : QString::fromStdString(error);
        return check;
    }
    const std::string refused = formats::checkDeviceAddress(data->deviceAddress);
    if (!refused.empty()) {
        check.error = runData + QStringLiteral(": ") + QString::fromStdString(refused);
        return check;
    }
    check.deviceAddress = QString::fromStdString(data->deviceAddress);
    check.frames = storedFrames(folder, check.deviceAddress);
    if (check.frames.empty())
        check.error = QStringLiteral("No stored frame from 0 to 300 in ") +
                      inFolder(folder, QStringLiteral("img")) + QStringLiteral(" (") +
                      framePrefix(check.deviceAddress) + QStringLiteral("N.jpg)");
    return check;
}

bool hasUnfinishedAttempt(const QString& folder) {
    return hasSetAside(folder);
}

QString abandonAttempt(const QString& folder) {
    cancelOriginalCopy(inFolder(folder, QString::fromLatin1(kOriginalWormsName)));
    return putResultsBack(folder);
}

QString finishAttempt(const QString& folder, const std::vector<std::int32_t>& notAnalysed) {
    return keepNewResults(folder, notAnalysed);
}

namespace {

// A message of an attempt that ends here, with why its put-back failed, if it did.
QString withPutBack(const QString& folder, const QString& error) {
    if (QString failed = abandonAttempt(folder); !failed.isEmpty())
        return error + QStringLiteral("; ") + failed;
    return error;
}

} // namespace

QString putBack(const QString& folder) {
    cancelOriginalCopy(inFolder(folder, QString::fromLatin1(kOriginalWormsName)));
    bool kept = false;
    const QString error = putResultsBack(folder, &kept);
    if (!error.isEmpty())
        return QStringLiteral("; ") + error;
    return kept ? QStringLiteral("; the new results were kept")
                : QStringLiteral("; the previous results were put back");
}

QString endAttempt(const QString& folder, const std::vector<std::int32_t>& notAnalysed,
                   bool* complete, bool tracked) {
    if (complete)
        *complete = false;
    if (hasUnfinishedAttempt(folder)) {
        // A tracker that did not finish, or wrote no trails, did not finish the attempt either.
        if (!tracked)
            return QStringLiteral("The tracker did not finish ") + kTrailsFile + putBack(folder);
        if (!QFileInfo::exists(inFolder(folder, kTrailsFile)))
            return QStringLiteral("The tracker wrote no ") + kTrailsFile + putBack(folder);
    }
    if (QString error = finishAttempt(folder, notAnalysed); !error.isEmpty())
        return error;
    if (complete)
        *complete = true;
    return notAnalysedMessage(notAnalysed);
}

QString resetOutputs(const QString& folder) {
    // What an attempt cut short left (the program ended under it) is put back first.
    if (QString error = abandonAttempt(folder); !error.isEmpty())
        return error;
    removeLeftTemporaries(folder);
    // The first results ever replaced (those recorded live) are kept once, for good; the
    // position file, which may be large, is copied beside the window.
    const QString trails = inFolder(folder, kTrailsFile);
    const QString trailsCopy = inFolder(folder, QString::fromLatin1(kOriginalTrailsName));
    if (QFileInfo(trails).isFile() && !QFileInfo(trails).isSymLink() &&
        !QFileInfo::exists(trailsCopy)) {
        if (QString error = copyWhole(trails, trailsCopy); !error.isEmpty())
            return error;
    }
    const QString wormsCopy = inFolder(folder, QString::fromLatin1(kOriginalWormsName));
    if (QString error = beginOriginalCopy(inFolder(folder, kWormsFile), wormsCopy); !error.isEmpty())
        return error;
    // The results are set aside, not deleted, until the new ones are whole.
    if (QString error = setResultsAside(folder); !error.isEmpty()) {
        cancelOriginalCopy(wormsCopy);
        return error;
    }
    if (QString error = createShapesFile(folder); !error.isEmpty())
        return withPutBack(folder, error);
    return {};
}

QString startFindReprocess(BatchRunner& runner, const QString& programFolder,
                           const QString& acquisitionFolder, bool roundShape,
                           const QString& windowAddress) {
    const AcquisitionCheck check = checkAcquisition(acquisitionFolder, windowAddress);
    if (!check.error.isEmpty())
        return check.error;
    if (QString busy = runner.readyForNext(); !busy.isEmpty())
        return busy;
    QString options;
    if (QString error = trainingOptionsOf(programFolder, &options); !error.isEmpty())
        return error;
    FindBatchInput input{programFolder, acquisitionFolder, check.deviceAddress,
                         options,       roundShape,        check.frames};
    // The outputs are reset only once the batch holds the program folder and is written; a
    // reset that fails has put back what it set aside, or said why not.
    bool reset = false;
    const QString error = runner.start(findBatchScript(input), [&] {
        const QString refused = resetOutputs(acquisitionFolder);
        reset = refused.isEmpty();
        return refused;
    });
    if (!error.isEmpty() && reset)
        return withPutBack(acquisitionFolder, error);
    return error;
}

std::optional<PixelsPerMm> pixelsPerMm(const QString& x1, const QString& x2, const QString& y1,
                                       const QString& y2, const QString& plateSize,
                                       PlateSizeRule rule) {
    auto whole = [](const QString& text) {
        return formats::toInt16(formats::leadingNumber(text.toStdString()));
    };
    const auto left = whole(x1);
    const auto right = whole(x2);
    const auto top = whole(y1);
    const auto bottom = whole(y2);
    if (!left || !right || !top || !bottom)
        return std::nullopt;
    const auto across = formats::toInt16(static_cast<double>(*right) - *left);
    const auto down = formats::toInt16(static_cast<double>(*bottom) - *top);
    if (!across || !down)
        return std::nullopt;
    PixelsPerMm result;
    double size = 0.0;
    if (rule == PlateSizeRule::Real) {
        size = formats::leadingNumber(plateSize.toStdString());
        result.plateSizeReplaced = size < 10.0 || size > 60.0;
    } else {
        const auto value = whole(plateSize);
        if (!value)
            return std::nullopt;
        size = *value;
        result.plateSizeReplaced = *value < 10 || *value >= 61;
    }
    if (result.plateSizeReplaced)
        size = 35.0;
    result.across = *across / size;
    result.down = *down / size;
    return result;
}

std::optional<TrainingSource> rememberTrainingSource(const QString& projectFolder,
                                                     const QStringList& selectedItems) {
    if (selectedItems.size() != 1 || selectedItems.front() == QLatin1String(kParentItem))
        return std::nullopt;
    return TrainingSource{selectedItems.front(), inFolder(projectFolder, selectedItems.front())};
}

BatchStatus waitForBatch(BatchRunner& runner, platform::Clock& clock, const BatchHooks& hooks,
                         int maxPolls) {
    BatchStatus status = runner.status();
    for (int round = 0; round < maxPolls && status.state == BatchStatus::State::Running; ++round) {
        clock.pause(kBatchPollMs);
        status = runner.poll();
        if (hooks.progress)
            hooks.progress(status);
        if (status.state == BatchStatus::State::Running && !goingOn(hooks)) {
            runner.stop();
            return runner.status();
        }
    }
    if (status.state == BatchStatus::State::Running) {
        // Out of time: the next batch must not start under this one.
        const BatchStatus reached = status;
        runner.stop();
        return reached;
    }
    return status;
}

std::vector<AcquisitionOutcome> applyTrainingToSelection(const platform::Services& services,
                                                         BatchRunner& runner,
                                                         const TrainingSource& source,
                                                         const QString& projectFolder,
                                                         const QStringList& selectedItems,
                                                         bool roundShape, const BatchHooks& hooks,
                                                         const QString& windowAddress) {
    std::vector<AcquisitionOutcome> outcomes;
    const QString training = QString::fromLatin1(formats::kTrainingFileName);
    const QString descriptor = QString::fromLatin1(formats::kDescriptorFileName);
    if (!QFileInfo(inFolder(source.folder, training)).isFile())
        return outcomes;
    const QString sourceFolder = canonical(source.folder);
    for (const QString& item : selectedItems) {
        if (item == QLatin1String(kParentItem))
            continue;
        if (!goingOn(hooks))
            break;
        const QString folder = inFolder(projectFolder, item);
        tell(hooks, item);
        const AcquisitionCheck check = checkAcquisition(folder, windowAddress);
        if (!check.error.isEmpty()) {
            outcomes.push_back(skipped(item, check.error));
            continue;
        }
        // The program folder is held before anything of the acquisition changes.
        if (const QString busy = runner.hold(); !busy.isEmpty()) {
            outcomes.push_back(skipped(item, busy));
            continue;
        }
        if (canonical(folder) != sourceFolder) {
            QString error =
                copyWhole(inFolder(source.folder, training), inFolder(folder, training));
            if (error.isEmpty() && QFileInfo::exists(inFolder(source.folder, descriptor)))
                error =
                    copyWhole(inFolder(source.folder, descriptor), inFolder(folder, descriptor));
            if (!error.isEmpty()) {
                outcomes.push_back(skipped(item, error));
                continue;
            }
        }
        QString options;
        if (QString error = trainingOptionsOf(folder, &options); !error.isEmpty()) {
            outcomes.push_back(skipped(item, error));
            continue;
        }
        FindBatchInput input{
            services.programFolder, folder, check.deviceAddress, options, roundShape, check.frames};
        bool reset = false;
        if (QString error = runner.start(findBatchScript(input),
                                         [&] {
                                             const QString refused = resetOutputs(folder);
                                             reset = refused.isEmpty();
                                             return refused;
                                         });
            !error.isEmpty()) {
            outcomes.push_back(skipped(item, reset ? withPutBack(folder, error) : error));
            continue;
        }
        const BatchStatus status = waitForBatch(runner, *services.clock, hooks);
        AcquisitionOutcome outcome = outcomeOf(item, status, kMaxPollsPerAcquisition);
        tell(hooks, item + QStringLiteral(" Tracking..."));
        if (outcome.result == AcquisitionOutcome::Result::Done) {
            bool finished = true;
            if (QFileInfo::exists(inFolder(folder, kImageFile)) && hooks.track) {
                finished = hooks.track(folder);
                outcome.tracked = true;
            }
            bool complete = false;
            const QString ended = endAttempt(folder, status.notAnalysed, &complete, finished);
            if (!complete)
                outcome.result = AcquisitionOutcome::Result::EndedEarly;
            if (!ended.isEmpty())
                outcome.message = item + QStringLiteral(": ") + ended;
        } else {
            outcome.message += putBack(folder);
        }
        if (hooks.clearProgress)
            hooks.clearProgress();
        outcomes.push_back(outcome);
    }
    runner.release();
    return outcomes;
}

RoutesPreparation prepareReprocessRoutes(const QString& folder) {
    RoutesPreparation preparation;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return preparation;
    // A reprocess cut short (the program ended under it) is undone first.
    if (QString error = abandonAttempt(folder); !error.isEmpty()) {
        preparation.message = error;
        return preparation;
    }
    removeLeftTemporaries(folder);
    if (!QFileInfo::exists(inFolder(folder, kImageFile))) {
        preparation.message =
            QStringLiteral("Image backgroung file not found. Please reprocess acquisition");
        return preparation;
    }
    const QString original = inFolder(folder, QString::fromLatin1(kOriginalTrailsName));
    if (QFileInfo(inFolder(folder, kTrailsFile)).isFile() && !QFileInfo::exists(original))
        preparation.message = copyWhole(inFolder(folder, kTrailsFile), original);
    // Trails over detections that miss frames never replace the backup of complete ones.
    const QString trails = inFolder(folder, kTrailsFile);
    const QString backup = inFolder(folder, kTrailsBackupFile);
    if (preparation.message.isEmpty() && QFileInfo::exists(trails) &&
        !QFileInfo::exists(inFolder(folder, QString::fromLatin1(kNotAnalysedNoteName)))) {
        // A folder under the backup's name could never be replaced once the trails are new.
        if (QFileInfo(backup).isDir() && !QFileInfo(backup).isSymLink())
            preparation.message = QStringLiteral("Cannot write ") + backup;
        else
            preparation.message = copyBeside(trails, backup, &preparation.previousTrails);
    }
    preparation.track = preparation.message.isEmpty();
    return preparation;
}

QString endReprocessRoutes(const QString& previousTrails, RoutesEnd end) {
    if (previousTrails.isEmpty())
        return {};
    const QString folder = QFileInfo(previousTrails).path();
    const QByteArray from = QFile::encodeName(previousTrails);
    if (end == RoutesEnd::NotWritten) {
        ::unlink(from.constData());
        return {};
    }
    const QString target =
        inFolder(folder, end == RoutesEnd::Whole ? kTrailsBackupFile : kTrailsFile);
    if (::rename(from.constData(), QFile::encodeName(target).constData()) != 0) {
        const QString error = QStringLiteral("Cannot write ") + target + QStringLiteral(": ") +
                              QString::fromLocal8Bit(std::strerror(errno));
        ::unlink(from.constData());
        return error;
    }
    return {};
}

bool seedZStack(platform::Launcher& launcher, const QString& programFolder,
                const QString& acquisitionFolder, const QString& deviceAddress,
                const std::vector<std::int32_t>& frames) {
    for (const std::int32_t n : frames) {
        if (n < 0 || n > 10)
            continue;
        const QString jpg = framePath(acquisitionFolder, deviceAddress, n, QStringLiteral("jpg"));
        const QString pgm = framePath(acquisitionFolder, deviceAddress, n, QStringLiteral("pgm"));
        const CommandLine dravel = dravelCommand(programFolder, pgm, jpg);
        const auto status = launcher.run(dravel.program, dravel.arguments, programFolder, 10000);
        if (!status || *status != 0 || !QFileInfo(pgm).isFile()) {
            QFile::remove(pgm);
            return false;
        }
        return std::rename(pgm.toLocal8Bit().constData(),
                           zStackAccumulatorPath(acquisitionFolder).toLocal8Bit().constData()) == 0;
    }
    return false;
}

QString startZStack(const platform::Services& services, BatchRunner& runner,
                    const QString& acquisitionFolder, const QString& windowAddress) {
    const AcquisitionCheck check = checkAcquisition(acquisitionFolder, windowAddress);
    if (!check.error.isEmpty())
        return check.error;
    // The program folder is held before the accumulator is touched.
    if (QString busy = runner.hold(); !busy.isEmpty())
        return busy;
    const QString accumulator = zStackAccumulatorPath(acquisitionFolder);
    if (QFileInfo::exists(accumulator) && !QFile::remove(accumulator))
        return QStringLiteral("Cannot delete ") + accumulator;
    seedZStack(*services.launcher, services.programFolder, acquisitionFolder, check.deviceAddress,
               check.frames);
    ZStackBatchInput input{services.programFolder, acquisitionFolder, check.deviceAddress,
                           check.frames};
    return runner.start(zStackBatchScript(input));
}

QString zStackSequenceImagePath(const QString& projectFolder, const QString& item) {
    return projectFolder + QStringLiteral("/zstack_") + item + QStringLiteral(".bmp");
}

std::vector<AcquisitionOutcome> exportZStackSequence(const platform::Services& services,
                                                     BatchRunner& runner,
                                                     const QString& projectFolder,
                                                     const QStringList& selectedItems,
                                                     const BatchHooks& hooks,
                                                     const QString& windowAddress) {
    std::vector<AcquisitionOutcome> outcomes;
    bool any = false;
    for (const QString& item : selectedItems) {
        if (item == QLatin1String(kParentItem))
            continue;
        if (!goingOn(hooks))
            break;
        any = true;
        const QString folder = inFolder(projectFolder, item);
        tell(hooks, item);
        tell(hooks, item + QStringLiteral(" Cleaning..."));
        // The program folder is held before the cleaning marks any frame.
        if (const QString busy = runner.hold(); !busy.isEmpty()) {
            outcomes.push_back(skipped(item, busy));
            continue;
        }
        if (hooks.clean && QFileInfo(folder).isDir())
            hooks.clean(folder);
        if (QString error = startZStack(services, runner, folder, windowAddress);
            !error.isEmpty()) {
            outcomes.push_back(skipped(item, error));
            continue;
        }
        AcquisitionOutcome outcome =
            outcomeOf(item, waitForBatch(runner, *services.clock, hooks), kMaxPollsPerAcquisition);
        if (outcome.result == AcquisitionOutcome::Result::Done) {
            const QString error =
                copyWhole(zStackImagePath(folder), zStackSequenceImagePath(projectFolder, item));
            if (!error.isEmpty()) {
                outcome.result = AcquisitionOutcome::Result::EndedEarly;
                outcome.message = item + QStringLiteral(": ") + error;
            }
        }
        if (hooks.clearProgress)
            hooks.clearProgress();
        outcomes.push_back(outcome);
    }
    runner.release();
    if (any)
        services.launcher->openPath(projectFolder);
    return outcomes;
}

} // namespace acquisition
