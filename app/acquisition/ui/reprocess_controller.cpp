#include "app/acquisition/ui/reprocess_controller.h"

#include "app/acquisition/batch_script.h"
#include "app/device/logger_lock.h"
#include "app/device/training_boxes.h"
#include "app/results/bad_frames.h"
#include "app/results/stored_tracker.h"
#include "app/results/ui/result_views.h"
#include "app/widgets/box_values.h"
#include "app/widgets/control_factory.h"
#include "app/widgets/picture_box.h"
#include "formats/frame_names.h"
#include "formats/text_lines.h"
#include "formats/training_file.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace ui {

namespace {

constexpr int kOrange = colourValue(255, 165, 0);
constexpr int kGreen = colourValue(0, 255, 0); // 65280
constexpr int kBadFrameTextPixels = 30;

const QString kRoutesRunning =
    QStringLiteral("Reprocess Routes is running: let it end before starting it again.");

const QString kMassQuestion = QStringLiteral(
    "MASS REPROCESSING\n***********************\nWARNING: Current Process will be Replaced.\n"
    "Proceed?");

// The finder must read the training boxes of `box`'s window as they show: otherwise says why,
// and true.
bool refuseTrainingBoxes(const platform::Services& services, const QWidget* box) {
    const QString refused = device::trainingBoxesRefusal(device::trainingBoxTexts(box->window()));
    if (refused.isEmpty())
        return false;
    services.dialogs->message(refused);
    return true;
}

} // namespace

void ShowBadFrame(PictureBox* picture, const QString& file, std::int32_t frame) {
    picture->loadPicture(file);
    picture->printText(0.0, 0.0, fromStd(results::badFrameCaption(frame)), kGreen,
                       kBadFrameTextPixels);
    picture->update();
}

ReprocessController::ReprocessController(const ReprocessControls& controls,
                                         platform::Services services, const Lifetime& window,
                                         ReprocessHooks hooks, QObject* parent)
    : QObject(parent), m_c(controls), m_services(services), m_life(Lifetime::childOf(window)),
      m_hooks(std::move(hooks)),
      m_runner(std::make_shared<acquisition::BatchRunner>(services)) {
    m_unseenZStack = new QTimer(this);
    m_unseenZStack->setInterval(acquisition::kBatchPollMs);
    connect(m_unseenZStack, &QTimer::timeout, this, &ReprocessController::followUnseenZStack);
    connect(m_c.cmd_reprocess, &QPushButton::clicked, this, &ReprocessController::ToggleReprocess);
    connect(m_c.Timeracq, &QTimer::timeout, this, &ReprocessController::PollBatchProgress);
    connect(m_c.mn_masstrainingload, &QAction::triggered, this,
            &ReprocessController::RememberTrainingSource);
    connect(m_c.mn_masstrainingapply, &QAction::triggered, this,
            &ReprocessController::ApplyTrainingToSelection);
    connect(m_c.mn_reprocess, &QAction::triggered, this, &ReprocessController::ReprocessRoutes);
    connect(m_c.mn_zstack, &QAction::triggered, this, &ReprocessController::ExportZStack);
    connect(m_c.mn_zseq, &QAction::triggered, this, &ReprocessController::ExportZStackSequence);
    // The stop of the message frame stops what runs, like a second click on the command.
    connect(m_c.cmd_stopprocess, &QPushButton::clicked, this, [this] {
        m_hooks.setProcessing(false);
        stopBatch();
    });
}

ReprocessController::~ReprocessController() {
    m_life.end();
    // A command still waiting on the runner finds its batch stopped.
    m_runner->stop();
    // No window is left to show why a put-back failed: it goes to the standard error, and the
    // next command on the acquisition, which tries again first, says it as well.
    acquisition::endReprocessRoutes(std::exchange(m_routesPrevious, {}),
                                    acquisition::RoutesEnd::NotWritten);
    if (m_mode == 1 || m_mode == 4)
        if (const QString failed = acquisition::abandonAttempt(m_batchFolder); !failed.isEmpty())
            std::fprintf(stderr, "%s\n", qUtf8Printable(failed));
    if (m_mode != 0 || m_unseenZStack->isActive())
        m_runner->release();
}

void ReprocessController::setFrameStepping(bool enabled) {
    for (QPushButton* step : {m_c.cmd_prev, m_c.cmd_next, m_c.cmd_del})
        step->setEnabled(enabled);
}

void ReprocessController::stopBatch() {
    setFrameStepping(true);
    m_c.Timeracq->stop();
    const bool unseen = m_unseenZStack->isActive();
    m_unseenZStack->stop();
    const int mode = m_mode;
    m_mode = 0;
    m_routes.reset(); // a tracking that did not finish writes nothing
    const bool copying = m_copyShown;
    endFirstCopyWait();
    acquisition::endReprocessRoutes(std::exchange(m_routesPrevious, {}),
                                    acquisition::RoutesEnd::NotWritten);
    m_runner->stop();
    if (mode == 1)
        reprocessUnfinished(m_runner->status().message);
    else if (mode == 4)
        reprocessUnfinished(copying ? QStringLiteral("The reprocess was stopped while ") +
                                          acquisition::kWormsFile +
                                          QStringLiteral(" was copied to ") +
                                          QLatin1String(acquisition::kOriginalWormsName)
                                    : QStringLiteral("The tracking was stopped"));
    // A command over a selection gives the folder back at its own end.
    if (mode != 0 || unseen)
        m_runner->release();
}

void ReprocessController::replayTakesThePoll() {
    if (m_mode == 1 || m_mode == 4) {
        stopBatch();
    } else if (m_mode == 3) {
        stopBatch();
        m_services.dialogs->message(QStringLiteral(
            "Reprocess Routes was stopped: worm_trails.csv was left as it was"));
    } else if (m_mode == 2) {
        m_c.Timeracq->stop();
        m_mode = 0;
        m_unseenZStack->start();
    }
}

void ReprocessController::followUnseenZStack() {
    const acquisition::BatchStatus status = m_runner->poll();
    if (status.state == acquisition::BatchStatus::State::Running)
        return;
    m_unseenZStack->stop();
    m_runner->release();
    if (status.state == acquisition::BatchStatus::State::Finished) {
        m_services.launcher->openPath(acquisition::zStackImagePath(m_batchFolder));
        if (!status.notAnalysed.empty())
            m_services.dialogs->message(acquisition::notAnalysedMessage(status.notAnalysed));
    } else {
        m_services.dialogs->message(status.message);
    }
}

void ReprocessController::reprocessUnfinished(const QString& why) {
    m_services.dialogs->message(why + acquisition::putBack(m_batchFolder));
}

QString ReprocessController::busyWith() const {
    if (m_hooks.replayRunning && m_hooks.replayRunning())
        return QStringLiteral("A replay is running");
    if (m_hooks.processing() || m_mode != 0)
        return QStringLiteral("A reprocess is running");
    return {};
}

bool ReprocessController::refuseWhileBusy(const QString& action) {
    QString busy;
    if (!action.isEmpty()) {
        busy = busyWith();
        if (!busy.isEmpty())
            busy += QStringLiteral(": stop it before ") + action + QLatin1Char('.');
    } else {
        busy = m_runner->readyForNext();
        if (busy.isEmpty() && m_mode == 3)
            busy = kRoutesRunning;
        // A command over a selection holds the program folder between its batches.
        if (busy.isEmpty() && (m_mode != 0 || m_unseenZStack->isActive() || m_runner->reserved()))
            busy = QStringLiteral("A batch is still running; it must end or be stopped before "
                                  "the next one starts");
    }
    if (busy.isEmpty())
        return false;
    m_services.dialogs->message(busy);
    return true;
}

bool ReprocessController::refuseWhileRecorded(const QStringList& folders) {
    for (const QString& folder : folders) {
        if (!device::stillRecorded(m_services.programFolder, folder))
            continue;
        m_services.dialogs->message(QDir(folder).dirName() + QStringLiteral(": ") +
                                    QString::fromLatin1(device::kStillRecordedMessage));
        return true;
    }
    return false;
}

QStringList ReprocessController::selectedItems() const {
    QStringList out;
    for (int i = 0; i < m_c.List_subproject->count(); ++i)
        if (m_c.List_subproject->item(i)->isSelected())
            out << m_c.List_subproject->item(i)->text();
    return out;
}

QString ReprocessController::windowAddress() const {
    return m_c.txt_ip1 ? m_c.txt_ip1->text().trimmed() : QString();
}

QString ReprocessController::projectFolder() const {
    return QDir(m_services.programFolder).filePath(m_hooks.projectName());
}

void ReprocessController::setMessage(const QString& text) {
    showStatusNow(m_c.lbl_messages, text);
}

void ReprocessController::prepareProgressBar() {
    m_c.Picture_progress->setScale(0.0, 0.0, acquisition::kBatchLastFrame, 10.0);
    m_c.Picture_progress->cls();
    m_c.Picture_progress->show();
}

void ReprocessController::drawProgress(std::int32_t frame) {
    m_c.Picture_progress->box(0.0, 0.0, frame, 10.0, kOrange, true);
    m_c.Picture_progress->update();
}

results::StoredTrackerParams ReprocessController::trackerParams() const {
    results::StoredTrackerParams params;
    params.maxTravel = numberIn(m_c.txt_maxtravel);
    params.backgroundFilter = m_c.mn_backfilter->isChecked();
    return params;
}

void ReprocessController::showTrackResult(const results::StoredTrackResult& result,
                                          const HandlerGuard& guard) {
    DrawStoredTracks(m_c.Picture1, result);
    if (!result.notes.empty())
        setMessage(fromStd(result.notes.back()));
    for (const std::string& message : result.messages) {
        m_services.dialogs->message(fromStd(message));
        if (!guard.alive())
            return;
    }
}

std::function<bool(const std::string&, std::int32_t)>
ReprocessController::confirmBadFrame(const HandlerGuard& guard) {
    return [this, &guard](const std::string& file, std::int32_t frame) {
        if (!guard.alive())
            return false;
        ShowBadFrame(m_c.Picture1, QString::fromStdString(file), frame);
        return m_services.dialogs->question(fromStd(results::badFrameQuestion(frame)));
    };
}

bool ReprocessController::track(const QString& folder, bool interactive) {
    HandlerGuard guard(m_life);
    const results::StoredTrackResult result =
        results::TrackWorms(folder.toStdString(), interactive, trackerParams(),
                            m_services.programFolder.toStdString(), confirmBadFrame(guard));
    if (guard.alive())
        showTrackResult(result, guard);
    return result.completed;
}

void ReprocessController::startTracking(const QString& folder, int mode) {
    HandlerGuard guard(m_life);
    const std::shared_ptr<acquisition::BatchRunner> runner = m_runner;
    // The bad-frame pass (asking about each frame for Routes) now, the tracking in StepRoutes.
    auto run = std::make_unique<results::StoredTrackerRun>(
        results::startTrackWorms(folder.toStdString(), mode == 3, trackerParams(),
                                 m_services.programFolder.toStdString(), confirmBadFrame(guard)));
    if (!guard.alive()) {
        // Stopped or closed while the operator was asked (the stop or the close dropped the
        // trails Routes kept).
        runner->release();
        return;
    }
    m_routes = std::move(run);
    prepareProgressBar();
    m_mode = mode;
    m_c.Timeracq->setInterval(kRoutesTickMs);
    m_c.Timeracq->start();
}

void ReprocessController::StepRoutes() {
    HandlerGuard guard(m_life);
    const std::shared_ptr<acquisition::BatchRunner> runner = m_runner;
    if (!m_routes) {
        m_mode = 0;
        acquisition::endReprocessRoutes(std::exchange(m_routesPrevious, {}),
                                        acquisition::RoutesEnd::NotWritten);
        runner->release();
        return;
    }
    const bool ended = m_routes->step(std::chrono::milliseconds(kRoutesStepMs));
    drawProgress(m_routes->frame());
    if (!ended) {
        m_c.Timeracq->start();
        return;
    }
    // The new results are kept only with the first copy of the positions whole; that copy,
    // made beside the window since the reprocess began, is waited for in steps of the timer.
    if (m_mode == 4 && waitingForFirstCopy()) {
        m_c.Timeracq->setInterval(acquisition::kBatchPollMs);
        m_c.Timeracq->start();
        return;
    }
    endFirstCopyWait();
    const int mode = m_mode;
    m_mode = 0;
    const std::unique_ptr<results::StoredTrackerRun> run = std::move(m_routes);
    const results::StoredTrackResult result = run->finish();
    if (mode == 4) {
        // The end of a reprocess: the attempt ends before anything is shown, whatever becomes
        // of the window meanwhile.
        bool complete = false;
        const QString ended =
            acquisition::endAttempt(m_batchFolder, runner->status().notAnalysed, &complete,
                                    result.completed);
        runner->release();
        showTrackResult(result, guard);
        if (!guard.alive())
            return;
        m_hooks.setProcessing(false);
        m_c.cmd_reprocess->setText(QStringLiteral("[Process]"));
        setFrameStepping(true);
        QString done = QStringLiteral("Done!");
        if (!ended.isEmpty())
            done = complete ? done + QLatin1Char('\n') + ended : ended;
        m_services.dialogs->message(done);
        return;
    }
    // The previous trails replace the backup only once the new ones are whole; a run that
    // ended early leaves them in place of its trails.
    const bool kept = !m_routesPrevious.isEmpty();
    QString done = QStringLiteral("end of routes processing");
    if (const QString failed = acquisition::endReprocessRoutes(
            std::exchange(m_routesPrevious, {}),
            result.completed ? acquisition::RoutesEnd::Whole : acquisition::RoutesEnd::Partial);
        !failed.isEmpty())
        done += QLatin1Char('\n') + failed;
    else if (kept && !result.completed)
        done += QStringLiteral("\nThe tracker did not finish worm_trails.csv; the previous "
                               "trails were put back");
    runner->release();
    showTrackResult(result, guard);
    if (!guard.alive())
        return;
    m_services.dialogs->message(done);
}

bool ReprocessController::waitingForFirstCopy() {
    const QString target =
        m_batchFolder + QLatin1Char('/') + QLatin1String(acquisition::kOriginalWormsName);
    const auto progress = acquisition::originalCopyRunning(target);
    if (!progress)
        return false;
    QString text = QStringLiteral("Copying ") + acquisition::kWormsFile + QStringLiteral(" to ") +
                   QLatin1String(acquisition::kOriginalWormsName);
    if (progress->size > 0)
        text += QStringLiteral(": ") +
                QString::number(std::min<std::int64_t>(100, progress->copied * 100 / progress->size)) +
                QStringLiteral(" %");
    if (!m_copyShown) {
        m_copyShown = true;
        m_c.frame_messages->show();
        m_c.frame_messages->raise();
    }
    setMessage(text);
    return true;
}

void ReprocessController::endFirstCopyWait() {
    if (!m_copyShown)
        return;
    m_copyShown = false;
    m_c.frame_messages->hide();
}

// ---- The reprocess button ------------------------------------------------------------------

void ReprocessController::ToggleReprocess() {
    HandlerGuard guard(m_life);
    setFrameStepping(false);
    if (m_hooks.processing()) {
        // A stop: the batch ends with its whole process group, leaving no converted frame.
        m_c.cmd_reprocess->setText(QStringLiteral("[PROCESS]"));
        m_hooks.setProcessing(false);
        m_c.txt_nfile->setEnabled(false);
        stopBatch();
        return;
    }
    if (m_c.trackingMode->isChecked()) {
        StartAcquisitionReprocess();
        // Refused, cancelled or failed at once: no reprocess holds the frames.
        if (guard.alive() && m_mode == 0 && !m_hooks.processing())
            setFrameStepping(true);
    } else if (m_hooks.startMicrobeamRun) {
        m_c.txt_nfile->setEnabled(true);
        m_hooks.startMicrobeamRun();
    }
}

void ReprocessController::StartAcquisitionReprocess() {
    HandlerGuard guard(m_life, "StartAcquisitionReprocess");
    if (!guard.entered())
        return;
    const QString acquisition = m_hooks.acquisitionFolder();
    // Nothing is written into an acquisition that is not loaded or cannot be reprocessed.
    const acquisition::AcquisitionCheck check = acquisition::checkAcquisition(acquisition, windowAddress());
    if (acquisition.isEmpty() || !check.error.isEmpty()) {
        m_services.dialogs->message(
            acquisition.isEmpty() ? QStringLiteral("Load an acquisition first") : check.error);
        return;
    }
    if (refuseWhileRecorded({acquisition}) || refuseWhileBusy() ||
        refuseTrainingBoxes(m_services, m_c.txt_x1))
        return;
    const QString program = m_services.programFolder;
    // What could not be written is named under the message.
    auto cannotWrite = [this](const QString& why) {
        m_services.dialogs->message(QStringLiteral("Error processing tracking files\n") + why);
    };
    QString unwritten = m_hooks.writeTrainingFile(program);
    if (unwritten.isEmpty())
        unwritten = m_hooks.writeTrainingFile(acquisition);
    if (!unwritten.isEmpty()) {
        cannotWrite(unwritten);
        return;
    }
    const QString descriptor =
        QDir(program).filePath(QString::fromLatin1(formats::kDescriptorFileName));
    if (QFileInfo::exists(descriptor)) {
        const QString target =
            QDir(acquisition).filePath(QString::fromLatin1(formats::kDescriptorFileName));
        if (const std::string failed =
                formats::copyFileAtomic(descriptor.toStdString(), target.toStdString());
            !failed.empty()) {
            cannotWrite(QString::fromStdString(failed));
            return;
        }
    }
    prepareProgressBar();
    m_c.txt_nfile->setEnabled(true);
    m_c.txt_nfile->setText(QStringLiteral("0"));
    m_hooks.closePickList();
    m_hooks.setProcessing(true);
    m_c.cmd_reprocess->setText(QStringLiteral("[STOP]"));
    const auto scale = acquisition::pixelsPerMm(
        m_c.txt_x1->text(), m_c.txt_x2->text(), m_c.txt_y1->text(), m_c.txt_y2->text(),
        m_c.txt_psize->text(), acquisition::PlateSizeRule::Real);
    if (scale && scale->plateSizeReplaced)
        m_c.txt_psize->setText(QStringLiteral("35"));
    const bool proceed = m_services.dialogs->question(QStringLiteral("Proceed?"),
                                                      platform::QuestionButtons::OkCancel);
    if (!guard.alive())
        return;
    if (!proceed) {
        m_c.cmd_reprocess->setText(QStringLiteral("[PROCESS]"));
        m_hooks.setProcessing(false);
        return;
    }
    const QString error = acquisition::startFindReprocess(
        *m_runner, program, acquisition, m_c.mn_invariable->isChecked(), windowAddress());
    if (!error.isEmpty()) {
        m_runner->release();
        m_c.cmd_reprocess->setText(QStringLiteral("[PROCESS]"));
        m_hooks.setProcessing(false);
        m_services.dialogs->message(error);
        return;
    }
    m_deviceAddress = check.deviceAddress;
    m_batchFolder = acquisition;
    m_mode = 1;
    m_c.Timeracq->setInterval(acquisition::kBatchPollMs);
    m_c.Timeracq->start();
}

void ReprocessController::PollBatchProgress() {
    HandlerGuard guard(m_life, "PollBatchProgress");
    if (!guard.entered())
        return;
    m_c.Timeracq->stop();
    if (m_mode == 0)
        return; // no batch: the first tick after the window loads only switches the timer off
    if ((m_mode == 1 || m_mode == 4) && !m_hooks.processing()) {
        stopBatch();
        return;
    }
    if (m_mode == 3 || m_mode == 4) {
        StepRoutes();
        return;
    }
    const acquisition::BatchStatus status = m_runner->poll();
    // The acquisition the batch works on, whatever the window shows meanwhile.
    const QString folder = m_batchFolder;
    if (status.advanced) {
        m_c.txt_nfile->setText(status.line);
        drawProgress(status.frame);
        if (m_mode == 1) {
            const QString jpg = QDir(folder).filePath(
                QStringLiteral("img/") + QString::fromStdString(formats::frameImageFile(
                                             m_deviceAddress.toStdString(), status.frame)));
            if (QFileInfo::exists(jpg))
                m_c.Picture1->loadPicture(jpg);
        }
    }
    switch (status.state) {
    case acquisition::BatchStatus::State::Running:
    case acquisition::BatchStatus::State::Idle:
        m_c.Timeracq->start();
        return;
    case acquisition::BatchStatus::State::EndedEarly:
    case acquisition::BatchStatus::State::Stopped: {
        const int mode = m_mode;
        m_mode = 0;
        if (mode == 1) {
            m_hooks.setProcessing(false);
            m_c.cmd_reprocess->setText(QStringLiteral("[PROCESS]"));
            setFrameStepping(true);
            reprocessUnfinished(status.message);
        } else {
            m_services.dialogs->message(status.message);
        }
        m_runner->release();
        return;
    }
    case acquisition::BatchStatus::State::Finished:
        break;
    }
    const int mode = m_mode;
    m_mode = 0;
    drawProgress(acquisition::kBatchLastFrame);
    if (mode == 1) {
        // The tracking goes on in steps of the timer, which end the attempt (StepRoutes).
        startTracking(folder, 4);
        return;
    }
    m_runner->release();
    // The z-stack: shown here, and opened.
    m_services.clock->pause(500);
    if (!guard.alive())
        return;
    const QString image = acquisition::zStackImagePath(folder);
    m_c.Picture1->loadPicture(image);
    m_services.launcher->openPath(image);
    if (!status.notAnalysed.empty())
        m_services.dialogs->message(acquisition::notAnalysedMessage(status.notAnalysed));
}

// ---- Commands over several acquisitions ----------------------------------------------------

void ReprocessController::RememberTrainingSource() {
    if (auto source = acquisition::rememberTrainingSource(projectFolder(), selectedItems()))
        m_source = std::move(source);
}

acquisition::BatchHooks ReprocessController::batchHooks(const HandlerGuard& guard) {
    acquisition::BatchHooks hooks;
    hooks.keepGoing = [this, &guard] {
        QCoreApplication::processEvents(); // a stop click is taken here
        return guard.alive() && m_hooks.processing();
    };
    hooks.status = [this, &guard](const QString& text) {
        if (guard.alive())
            setMessage(text);
    };
    hooks.progress = [this, &guard](const acquisition::BatchStatus& status) {
        if (!guard.alive() || !status.advanced)
            return;
        m_c.txt_nfile->setText(status.line);
        drawProgress(status.frame);
    };
    hooks.track = [this, &guard](const QString& folder) {
        if (!guard.alive())
            return false;
        m_hooks.setAcquisitionFolder(folder);
        return track(folder, false);
    };
    hooks.clean = [](const QString& folder) {
        results::FilterBadImages(folder.toStdString(), false);
    };
    hooks.clearProgress = [this, &guard] {
        if (!guard.alive())
            return;
        m_c.Picture_progress->cls();
        m_c.Picture_progress->update();
    };
    return hooks;
}

void ReprocessController::reportOutcomes(
    const std::vector<acquisition::AcquisitionOutcome>& outcomes) {
    QStringList problems;
    for (const auto& outcome : outcomes)
        if (!outcome.message.isEmpty())
            problems << outcome.message;
    if (!problems.isEmpty())
        m_services.dialogs->message(problems.join(QLatin1Char('\n')));
}

void ReprocessController::ApplyTrainingToSelection() {
    HandlerGuard guard(m_life, "ApplyTrainingToSelection");
    if (!guard.entered() || !m_source)
        return;
    const QStringList selected = selectedItems();
    if (selected.isEmpty())
        return;
    const QString training =
        QDir(m_source->folder).filePath(QString::fromLatin1(formats::kTrainingFileName));
    if (!QFileInfo(training).isFile()) {
        m_services.dialogs->message(QStringLiteral("The training source ") + m_source->name +
                                    QStringLiteral(" has no training file ") + training);
        return;
    }
    // A reprocess that runs goes on: the mass run does not start under it.
    QStringList folders;
    for (const QString& item : selected)
        if (item != QStringLiteral(".."))
            folders << QDir(projectFolder()).filePath(item);
    if (refuseWhileRecorded(folders) || refuseWhileBusy())
        return;
    if (!m_services.dialogs->question(kMassQuestion, platform::QuestionButtons::YesNoCancel) || !guard.alive())
        return;
    const acquisition::TrainingSource source = *m_source;
    m_hooks.loadTraining(source.folder);
    // A borrowed training the finder would not read as shown is not copied anywhere.
    if (refuseTrainingBoxes(m_services, m_c.txt_x1)) {
        if (guard.alive() && !m_hooks.acquisitionFolder().isEmpty())
            m_hooks.loadTraining(m_hooks.acquisitionFolder());
        return;
    }
    const auto scale = acquisition::pixelsPerMm(
        m_c.txt_x1->text(), m_c.txt_x2->text(), m_c.txt_y1->text(), m_c.txt_y2->text(),
        m_c.txt_psize->text(), acquisition::PlateSizeRule::Whole);
    if (scale && scale->plateSizeReplaced)
        m_c.txt_psize->setText(QStringLiteral("35"));
    if (!beginSelectionRun(QStringLiteral("Starting Reprocess...."), guard))
        return;
    const QString before = m_hooks.acquisitionFolder();
    // The command keeps what it waits on, should the window go meanwhile.
    const platform::Services services = m_services;
    const std::shared_ptr<acquisition::BatchRunner> runner = m_runner;
    const auto outcomes = acquisition::applyTrainingToSelection(
        services, *runner, source, projectFolder(), selected, m_c.mn_invariable->isChecked(),
        batchHooks(guard), windowAddress());
    if (!guard.alive())
        return;
    // The window moved to each acquisition it tracked, whose training is the borrowed one. When
    // it stayed where it was, the boxes take back that acquisition's own training.
    if (!before.isEmpty() && m_hooks.acquisitionFolder() == before)
        m_hooks.loadTraining(before);
    endSelectionRun(outcomes, guard);
}

bool ReprocessController::beginSelectionRun(const QString& text, const HandlerGuard& guard) {
    setMessage(text);
    m_c.List_subproject->setEnabled(false);
    m_c.frame_messages->show();
    m_c.frame_messages->raise();
    m_c.frame_messages->repaint();
    m_services.clock->pause(500);
    if (!guard.alive())
        return false;
    m_hooks.setProcessing(true);
    prepareProgressBar();
    m_c.txt_nfile->setEnabled(true);
    return true;
}

void ReprocessController::endSelectionRun(
    const std::vector<acquisition::AcquisitionOutcome>& outcomes, const HandlerGuard& guard) {
    if (!guard.alive())
        return;
    setMessage(QStringLiteral("DONE!"));
    reportOutcomes(outcomes);
    if (!guard.alive())
        return;
    m_services.clock->pause(500);
    if (!guard.alive())
        return;
    m_hooks.setProcessing(false);
    m_c.frame_messages->hide();
    m_c.txt_nfile->setEnabled(false);
    m_c.List_subproject->setEnabled(true);
}

void ReprocessController::ReprocessRoutes() {
    HandlerGuard guard(m_life, "ReprocessRoutes");
    if (!guard.entered() || m_mode == 3) {
        m_services.dialogs->message(kRoutesRunning);
        return;
    }
    const QString folder = m_hooks.acquisitionFolder();
    if (folder.isEmpty() || refuseWhileRecorded({folder}) || refuseWhileBusy())
        return;
    // The trails change only under the program folder's lock, like every change of results: a
    // reprocess, a mass run or a z-stack of any Vermalux on this folder refuses it, and the
    // other way round, until the run ends.
    const std::shared_ptr<acquisition::BatchRunner> runner = m_runner;
    if (QString busy = runner->reserve(); !busy.isEmpty()) {
        m_services.dialogs->message(busy);
        return;
    }
    // A reprocess cut short (the program ended under it) is put back first.
    const acquisition::RoutesPreparation preparation = acquisition::prepareReprocessRoutes(folder);
    if (!preparation.track) {
        runner->release();
        if (!preparation.message.isEmpty())
            m_services.dialogs->message(preparation.message);
        return;
    }
    m_routesPrevious = preparation.previousTrails;
    m_hooks.loadTraining(folder);
    const auto scale = acquisition::pixelsPerMm(
        m_c.txt_x1->text(), m_c.txt_x2->text(), m_c.txt_y1->text(), m_c.txt_y2->text(),
        m_c.txt_psize->text(), acquisition::PlateSizeRule::Whole);
    if (scale && scale->plateSizeReplaced)
        m_c.txt_psize->setText(QStringLiteral("35"));
    if (!guard.alive()) {
        acquisition::endReprocessRoutes(preparation.previousTrails,
                                        acquisition::RoutesEnd::NotWritten);
        runner->release();
        return;
    }
    startTracking(folder, 3); // goes on in steps; StepRoutes ends it
}

void ReprocessController::ExportZStack() {
    HandlerGuard guard(m_life, "ExportZStack");
    if (!guard.entered())
        return;
    const QString folder = m_hooks.acquisitionFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || refuseWhileBusy())
        return;
    // The program folder is held before the cleaning marks any frame.
    const std::shared_ptr<acquisition::BatchRunner> runner = m_runner;
    if (QString busy = runner->reserve(); !busy.isEmpty()) {
        m_services.dialogs->message(busy);
        return;
    }
    prepareProgressBar();
    m_c.cmd_exportbmp->setEnabled(true);
    const results::BadFrameFilter filter = results::FilterBadImages(folder.toStdString(), false);
    if (!filter.cleaningApplied()) {
        m_services.dialogs->message(QStringLiteral("Warning!: Image cleaning not applied"));
        if (!guard.alive()) {
            runner->release();
            return;
        }
    }
    const QString error = acquisition::startZStack(m_services, *m_runner, folder, windowAddress());
    if (!error.isEmpty()) {
        m_runner->release();
        m_services.dialogs->message(error);
        return;
    }
    m_batchFolder = folder;
    m_mode = 2;
    m_c.Timeracq->setInterval(acquisition::kBatchPollMs);
    m_c.Timeracq->start();
}

void ReprocessController::ExportZStackSequence() {
    HandlerGuard guard(m_life, "ExportZStackSequence");
    if (!guard.entered())
        return;
    const QStringList selected = selectedItems();
    if (selected.isEmpty() || refuseWhileBusy())
        return;
    if (!beginSelectionRun(QStringLiteral("Generating ZStack Sequence...."), guard))
        return;
    const platform::Services services = m_services;
    const std::shared_ptr<acquisition::BatchRunner> runner = m_runner;
    const auto outcomes = acquisition::exportZStackSequence(
        services, *runner, projectFolder(), selected, batchHooks(guard), windowAddress());
    if (guard.alive())
        endSelectionRun(outcomes, guard);
}

} // namespace ui
