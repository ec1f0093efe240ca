#include "app/acquisition/ui/acquisition_run_controller.h"

#include "app/acquisition/run_files.h"
#include "app/acquisition/run_rules.h"
#include "app/device/device_client.h"
#include "app/device/logger_lock.h"
#include "app/device/names.h"
#include "app/device/settings.h"
#include "app/device/training_boxes.h"
#include "app/results/live_block_reader.h"
#include "app/results/track_color.h"
#include "app/results/ui/result_views.h"
#include "app/results/worm_trails_file.h"
#include "app/widgets/background_work.h"
#include "app/widgets/box_values.h"
#include "app/widgets/clickable_label.h"
#include "app/widgets/picture_box.h"
#include "formats/numbers.h"
#include "formats/run_data_file.h"
#include "formats/training_file.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

constexpr int kOrange = colourValue(255, 165, 0);
constexpr int kPlateGray = colourValue(160, 160, 160);

const QString kProcessingError = QStringLiteral("Image processing error");
const QString kTrackerError = QStringLiteral("Error procesing files");

// The status of a run that reached its deadline before its analysis reached its end, with the
// cause when the frames stopped coming: the logger when it ended before the run length, the
// device when its frames stopped well before the end. Short, so that the status line shows it
// whole.
QString overdueText(std::int32_t analysed, std::int64_t limit, std::int32_t newestFrame,
                    bool loggerEndedEarly) {
    if (loggerEndedEarly)
        return QStringLiteral("Run ended: the logger stopped after frame ") +
               QString::number(std::max(newestFrame, 0));
    if (newestFrame + acquisition::kStallSeconds < limit) {
        if (newestFrame <= 0)
            return QStringLiteral("Run ended: no frame came from the device");
        return QStringLiteral("Run ended: no frame from the device after frame ") +
               QString::number(newestFrame);
    }
    return QStringLiteral("Run ended at its time limit: analysed to frame ") +
           QString::number(analysed) + QStringLiteral(" of ") + QString::number(limit);
}

} // namespace

AcquisitionRunController::AcquisitionRunController(const RunControls& controls,
                                                   std::shared_ptr<device::DeviceClient> client,
                                                   platform::Services services,
                                                   const Lifetime& window, RunHooks hooks,
                                                   QObject* parent)
    : QObject(parent), m_c(controls), m_client(std::move(client)), m_services(services),
      m_life(Lifetime::childOf(window)), m_hooks(std::move(hooks)), m_pipeline(services),
      m_autoconnectNetwork(defaultNetworkName()) {
    connect(m_c.cmdPlay, &QPushButton::clicked, this, &AcquisitionRunController::cmdPlayClick);
    connect(m_c.Timeracq, &QTimer::timeout, this, &AcquisitionRunController::LiveProcessingTick);
    connect(m_c.Timer_cycle, &QTimer::timeout, this, &AcquisitionRunController::CycleSchedulerTick);
    connect(m_c.chk_cycle, &QCheckBox::clicked, this, &AcquisitionRunController::ToggleCycleMode);
    connect(m_c.mn_autoconnect, &QAction::triggered, this,
            &AcquisitionRunController::AskAutoconnectNetwork);
    connect(m_c.txtlapse, &QLineEdit::textChanged, this, [this] { m_lapseChanged = true; });
    for (QLineEdit* box : {m_c.txtlapse, m_c.txt_mcycle, m_c.txt_ncycle})
        box->installEventFilter(this);
    // A status that the run left (its end, a stall) goes when the operator clicks it.
    m_c.frame_messages->installEventFilter(this);
    // The second press of a double-click on the button is no second click.
    m_c.cmdPlay->installEventFilter(this);
}

AcquisitionRunController::~AcquisitionRunController() {
    m_life.end();
}

QString AcquisitionRunController::defaultNetworkName() {
    return QStringLiteral("vermalux-device");
}

bool AcquisitionRunController::eventFilter(QObject* watched, QEvent* event) {
    // A box is checked when the operator leaves it for another control, not when a message
    // box, a menu or another program takes the focus away from the window for a while.
    const auto leftForAnotherControl = [event] {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
    };
    if (event->type() == QEvent::FocusOut && m_life.alive() && leftForAnotherControl()) {
        if (watched == m_c.txtlapse)
            CheckAcquisitionLapse();
        else if (watched == m_c.txt_mcycle)
            CheckCyclePeriod();
        else if (watched == m_c.txt_ncycle)
            CheckCycleCount();
    } else if (watched == m_c.cmdPlay && event->type() == QEvent::MouseButtonDblClick) {
        return true;
    } else if (watched == m_c.frame_messages && event->type() == QEvent::MouseButtonPress &&
               !m_life.running("StartAcquisitionRun")) {
        clearStatus();
    }
    return QObject::eventFilter(watched, event);
}

QString AcquisitionRunController::deviceAddress() const {
    return m_c.txt_ip1->text();
}

device::DeviceClient AcquisitionRunController::waitingClient() const {
    return m_client->withRunner(requestsBesideWindow(m_life));
}

void AcquisitionRunController::abandonWaits() {
    m_life.renew();
}

void AcquisitionRunController::reportStatus(const QString& text) {
    m_c.lbl_messages->setText(text);
    m_c.frame_messages->show();
    m_c.lbl_messages->repaint();
}

void AcquisitionRunController::clearStatus() {
    m_stallShown.clear();
    m_c.frame_messages->hide();
}

void AcquisitionRunController::unlockCycleControls(bool unlocked) {
    m_c.txt_ncycle->setReadOnly(!unlocked);
    m_c.txt_mcycle->setReadOnly(!unlocked);
    m_c.chk_cycle->setEnabled(unlocked);
}

// ---- Start button ----------------------------------------------------------------------------

void AcquisitionRunController::cmdPlayClick() {
    if (m_life.running("cmdPlayClick"))
        return;
    const bool on = m_running || m_cycle.cycleMode;
    if (m_life.running("stop") && !on)
        return; // the run is being stopped already: that is what the press asks for
    if (m_life.running("StartAcquisitionRun") || m_life.running("CycleSchedulerTick") ||
        m_life.running("LiveProcessingTick") || m_life.running("stop")) {
        // A press while a tick or a start waits is taken when that handler has returned; more
        // presses meanwhile count as that one press. A "Stop" whose run has ended meanwhile
        // starts no new run.
        if (!m_playDeferred) {
            m_playDeferred = true;
            QTimer::singleShot(50, this, [this, on] {
                m_playDeferred = false;
                if (on && !m_running && !m_cycle.cycleMode)
                    return;
                cmdPlayClick();
            });
        }
        return;
    }
    HandlerGuard guard(m_life, "cmdPlayClick");
    if (!guard.alive())
        return;
    clearStatus();
    if (m_running || m_cycle.cycleMode) {
        const bool series = m_cycle.cycleMode;
        const bool running = m_running;
        const std::int64_t elapsed = m_pipeline.elapsedSeconds();
        m_c.lbl_stimated->hide();
        stopAcquisitionRun();
        if (!guard.ownerAlive())
            return;
        // The clock keeps the time the run was stopped at, and the status says why.
        if (running)
            m_c.lbl_time->setText(acquisition::elapsedText(elapsed));
        if (m_lampOffFailure.isEmpty())
            reportStatus(series ? QStringLiteral("Cycle series stopped")
                                : QStringLiteral("Acquisition stopped"));
        return;
    }
    // A run that cannot work is refused before anything is sent or asked.
    const QString refusal = runRefusal();
    if (!refusal.isEmpty()) {
        m_services.dialogs->message(refusal);
        return;
    }
    if (!endEarlierLoggers(guard))
        return;
    // From here on, the operator leaving the page (or the window) ends the start where it
    // waits: nothing more is sent, asked or made.
    if (m_autoconnectOn) {
        const QString network = m_autoconnectNetwork;
        m_c.cmdPlay->setText(QStringLiteral("Setting ") + network);
        m_services.launcher->joinNetwork(network);
        m_services.clock->pause(1000);
        if (!guard.ownerAlive())
            return;
        m_c.cmdPlay->setText(QStringLiteral("Start"));
        if (!guard.alive())
            return;
    }
    device::DeviceClient client = waitingClient();
    client.SetLamp(deviceAddress(), m_hooks.lampValue());
    if (!guard.alive())
        return; // the window went, or was left, while the device was asked
    m_c.txt_project->setText(
        acquisition::projectFolderName(device::SanitizeName(m_c.txt_project->text())));
    const QString answer =
        m_services.dialogs->input(QStringLiteral("Enter acquisition Name"),
                                  QStringLiteral("project ") + m_c.txt_project->text());
    if (!guard.ownerAlive() || answer.isEmpty())
        return;
    m_cycle.baseName = answer;
    if (m_c.chk_cycle->isChecked()) {
        m_cycle.cycleNumber = 1;
        m_cycle.cycleMode = true;
        StartAcquisitionRun(acquisition::cycleRunName(answer, 1, numberIn(m_c.txt_mcycle)));
    } else {
        StartAcquisitionRun(answer);
    }
}

namespace {

const QString kEarlierLoggerQuestion =
    QStringLiteral("The logger of an earlier run is still fetching frames. Stop it and start "
                   "the new run?");
const QString kEarlierLoggerRunning = QString::fromLatin1(device::kLoggerRunningMessage);

} // namespace

std::vector<std::int64_t> AcquisitionRunController::loggersRunning() const {
    return m_services.launcher->runningStarts(
        acquisition::pendrelCommand(m_services.programFolder, QString()).program);
}

bool AcquisitionRunController::loggerFetching() const {
    // The lock tells of a logger of any Vermalux on the folder, also of one whose Vermalux has
    // ended (crashed, killed).
    return !loggersRunning().empty() || device::loggerFetching(m_services.programFolder);
}

bool AcquisitionRunController::endEarlierLoggers(const HandlerGuard& guard) {
    // Two loggers would ask the device for frames at once. Enter keeps the earlier run.
    if (!loggerFetching())
        return true;
    // Only the loggers this program started can be stopped from here: another program's logger
    // (or one whose program has ended) is refused without a question it could not honour.
    if (loggersRunning().empty()) {
        m_services.dialogs->message(kEarlierLoggerRunning);
        return false;
    }
    const bool stop = m_services.dialogs->question(kEarlierLoggerQuestion,
                                                   platform::QuestionButtons::YesNoDefaultNo);
    if (!guard.ownerAlive() || !stop)
        return false;
    for (const std::int64_t pid : loggersRunning())
        m_services.launcher->stop(pid);
    if (!loggerFetching())
        return true;
    m_services.dialogs->message(kEarlierLoggerRunning);
    return false;
}

QString AcquisitionRunController::runRefusal() const {
    const auto x1 = formats::toInt16(numberIn(m_c.txt_x1));
    const auto x2 = formats::toInt16(numberIn(m_c.txt_x2));
    const auto y1 = formats::toInt16(numberIn(m_c.txt_y1));
    const auto y2 = formats::toInt16(numberIn(m_c.txt_y2));
    const double plateSize = acquisition::runPlateSize(numberIn(m_c.txt_psize));
    QString refusal = acquisition::checkRunLength(numberIn(m_c.txtlapse));
    // A box the finder would read as another number is named before the area it may empty.
    if (refusal.isEmpty())
        refusal = device::trainingBoxesRefusal(device::trainingBoxTexts(m_c.txt_x1->window()));
    if (refusal.isEmpty())
        refusal = (x1 && x2 && y1 && y2)
                      ? acquisition::checkRunGeometry(*x1, *x2, *y1, *y2, plateSize)
                      : QString::fromLatin1(acquisition::kEmptyRectangle);
    if (refusal.isEmpty() &&
        !QFileInfo::exists(QDir(m_services.programFolder)
                               .filePath(QString::fromLatin1(formats::kTrainingFileName))))
        refusal = QString::fromLatin1(acquisition::kNoTraining);
    if (refusal.isEmpty())
        refusal = device::trainingRefusal(
            fromStd(formats::ReadTrainingOptions(m_services.programFolder.toStdString())));
    return refusal;
}

bool AcquisitionRunController::StartAcquisitionRun(const QString& typedName) {
    HandlerGuard guard(m_life, "StartAcquisitionRun");
    if (!guard.entered() || !guard.alive() || m_running)
        return false;
    const QString programFolder = m_services.programFolder;
    // A stop that came while this start waited, or the window's close, ends it.
    auto stopped = [&] { return !guard.alive(); };

    // Checks that keep a run from dividing by zero or running without a training.
    const QString refusal = runRefusal();
    if (!refusal.isEmpty()) {
        m_services.dialogs->message(refusal);
        return false;
    }

    // Never two loggers at once. The logger's lock is the run's from here on: another start on
    // this program folder is refused before it makes, writes or sends anything, and so is this
    // one while another holds it.
    if (loggerFetching()) {
        m_services.dialogs->message(kEarlierLoggerRunning);
        return false;
    }
    device::HeldLoggerLock lock;
    if (QString lockError; !lock.take(programFolder, &lockError)) {
        m_services.dialogs->message(lockError);
        return false;
    }
    const double lapse = numberIn(m_c.txtlapse);
    const std::int16_t x1 = *formats::toInt16(numberIn(m_c.txt_x1));
    const std::int16_t x2 = *formats::toInt16(numberIn(m_c.txt_x2));
    const std::int16_t y1 = *formats::toInt16(numberIn(m_c.txt_y1));
    const std::int16_t y2 = *formats::toInt16(numberIn(m_c.txt_y2));
    const double plateSize = acquisition::runPlateSize(numberIn(m_c.txt_psize));
    // A stop, "< Back" or a close abandons the requests' wait.
    device::DeviceClient waiting = waitingClient();
    device::DeviceClient* const client = &waiting;
    // The run's device: every request of the run, its frames' names and its end go to this
    // address, whatever the box holds later.
    const QString address = deviceAddress();

    // 1-2: probe the device.
    m_c.lbl_messages->setText(QStringLiteral("Connecting to ") + address + QStringLiteral("..."));
    m_c.frame_messages->show();
    m_c.frame_messages->repaint();
    if (client->QueryStatus(address) != 1) {
        if (stopped())
            return false;
        m_c.frame_messages->hide();
        m_services.dialogs->message(device::kIpErrorMessage);
        return false;
    }
    if (stopped())
        return false;
    // 3-4: lamp, and the automatic lamp with the light stimulus.
    client->SetLamp(address, m_hooks.lampValue());
    m_services.clock->pause(100);
    if (stopped())
        return false;
    m_c.chk_stimulus->setEnabled(false);
    if (m_c.chk_stimulus->isChecked())
        client->SetAutoLamp(address, true);
    if (stopped()) {
        m_c.chk_stimulus->setEnabled(true);
        return false;
    }
    // 5-6: name.
    m_c.Frame_report->hide();
    m_c.frame_messages->hide();
    const QString name = device::SanitizeName(typedName);
    m_c.lbl_stimated->setText(QStringLiteral("Acq_Name: [") + name + QStringLiteral("]"));
    const QString folderName = acquisition::acquisitionFolderName(m_services.clock->now(), name);
    m_c.lbl_stimated->show();
    // 7-8: mode and folders.
    m_acquisitionMode = m_c.trackingMode->isChecked() ? formats::kAcquisitionModeTracking
                                                      : formats::kAcquisitionModeMicrobeam;
    const QString projectFolder = QDir(programFolder)
                                      .filePath(acquisition::projectFolderName(
                                          device::SanitizeName(m_c.txt_project->text())));
    const acquisition::RunFolder folder =
        acquisition::createAcquisitionFolder(projectFolder, folderName);
    if (!folder.error.isEmpty()) {
        m_c.chk_stimulus->setEnabled(true);
        m_services.dialogs->message(folder.error);
        return false;
    }
    // 9-10: the run is on; the live tracker starts afresh.
    m_c.cmdPlay->setText(QStringLiteral("Stop"));
    unlockCycleControls(false);
    m_running = true;
    m_processingErrorShown = false;
    m_stallShown.clear();
    m_runAddress = address;
    m_pipeline.startRun(folder.path, m_runAddress, QString());
    m_runFolder = folder.path;
    // 11-14: pixels per mm, result views, progress bar.
    if (numberIn(m_c.txt_psize) != plateSize)
        m_c.txt_psize->setText(QStringLiteral("35"));
    const double width = x2 - x1;
    const double height = y2 - y1;
    m_tracker.reset(width / plateSize, height / plateSize);
    m_rectX1 = x1;
    m_rectY1 = y1;
    m_lastTimeMark = 0;
    m_loggerEndedEarly = false;
    prepareResultViews(width, height, lapse);
    // 15-17: settings and training copies.
    m_c.lbl_back2->setEnabled(false);
    m_hooks.saveSettings();
    QString error = acquisition::copyTrainingFiles(programFolder, folder.path);
    if (error.isEmpty())
        error = acquisition::copyTrainingFiles(programFolder, projectFolder);
    // 18-21: fresh position and shapes files, the option string from the copied training.
    acquisition::removeStaleRunFiles(folder.path);
    if (error.isEmpty())
        error = acquisition::createShapesFile(folder.path);
    std::string optionsError;
    m_trainingOptions =
        fromStd(formats::ReadTrainingOptions(folder.path.toStdString(), &optionsError));
    if (error.isEmpty() &&
        !QFileInfo::exists(
            QDir(folder.path).filePath(QString::fromLatin1(formats::kTrainingFileName))))
        error = QString::fromLatin1(acquisition::kNoTraining);
    if (error.isEmpty() && !optionsError.empty())
        error = fromStd(optionsError);
    // 22-25: cursors, start time, run data.
    m_services.clock->pause(500);
    if (stopped())
        return false;
    m_pipeline.startRun(folder.path, m_runAddress, m_trainingOptions);
    if (m_cycle.cycleNumber < 2)
        m_cycle.cycleStartTime = m_pipeline.cursor().runStart;
    if (error.isEmpty()) {
        device::RunDataValues values;
        values.deviceIp = address;
        values.startText = device::runStartText(m_pipeline.cursor().runStart);
        values.runLength = m_c.txtlapse->text();
        values.acquisitionMode = m_acquisitionMode;
        error = device::SaveRunData(programFolder, folder.path, values);
    }
    // 26: the logger.
    if (error.isEmpty()) {
        // It holds the program folder's logger lock for its whole life, so that every
        // Vermalux on the folder knows of it, even after this one has gone.
        const acquisition::CommandLine pendrel =
            acquisition::pendrelCommand(programFolder, folder.path);
        m_pipeline.setLoggerPid(device::startLoggerHoldingLock(m_services, lock, pendrel.program,
                                                               pendrel.arguments, &error));
        lock.release(); // the logger holds it from now on
    }
    if (!error.isEmpty()) {
        // Nothing of the run can be logged: back to idle, with the reason.
        const bool series = m_cycle.cycleMode;
        stopAcquisitionRun();
        if (!series)
            m_cycle = CycleState{};
        m_services.dialogs->message(error);
        return false;
    }
    m_services.clock->pause(100);
    if (stopped())
        return false;
    // 27: the acquisition tick.
    m_c.Timeracq->setInterval(900);
    m_c.Timeracq->start();
    return true;
}

void AcquisitionRunController::prepareResultViews(double width, double height, double lapse) {
    m_c.cmdreport->setEnabled(true);
    m_c.frame_results->show();
    m_c.Picture_post->cls();
    m_c.Picture_post->setScale(-0.15 * width, -0.15 * height, 1.15 * width, 1.15 * height);
    const double radius = std::sqrt(width * width + height * height) / 3.0;
    m_c.Picture_post->circle(width / 2.0, height / 2.0, radius, kPlateGray);
    m_c.lbl_speed->setText(QString());
    m_c.lbl_distance->setText(QString());
    m_c.lbl_particle->setText(QString());
    m_c.Picture3->cls();
    m_c.Picture_progress->setScale(0.0, 0.0, lapse > 0.0 ? lapse * 60.0 : 1.0, 10.0);
    m_c.Picture_progress->cls();
}

// ---- Stop ------------------------------------------------------------------------------------

void AcquisitionRunController::endRunProcesses() {
    HandlerGuard guard(m_life);
    m_lampOffFailure.clear();
    m_pipeline.stopLogger();
    m_pipeline.finishHelpers();
    if (!guard.ownerAlive())
        return;
    // The lamp of the run's own device, whatever the address box holds by now.
    bool lampOff = true;
    if (m_c.chk_stimulus->isChecked() && !m_runAddress.isEmpty()) {
        const auto client = m_client;
        const QString address = m_runAddress;
        lampOff = client->SetAutoLamp(address, false) == 1;
        m_services.clock->pause(100);
        if (!guard.ownerAlive())
            return;
        lampOff = client->SetAutoLamp(address, false) == 1 || lampOff;
        if (!guard.ownerAlive())
            return;
        if (!lampOff)
            m_lampOffFailure = QStringLiteral("The automatic lamp of ") + address +
                               QStringLiteral(" could not be switched off");
    }
    m_c.chk_stimulus->setEnabled(true);
    if (!m_pipeline.cursor().runFolder.isEmpty())
        acquisition::deleteConvertedFrames(m_pipeline.imgFolder(),
                                           acquisition::framePrefix(m_runAddress));
    if (!lampOff) {
        // A device left on its automatic lamp changes the light of whatever comes next.
        reportStatus(m_lampOffFailure);
        m_services.dialogs->message(m_lampOffFailure);
    }
}

bool AcquisitionRunController::askToStopRun() {
    HandlerGuard guard(m_life);
    if (!m_running && !m_cycle.cycleMode)
        return true;
    const bool stop = m_services.dialogs->question(QStringLiteral("Stop Acquisition?"));
    if (!guard.alive() || !stop)
        return false;
    m_c.lbl_stimated->hide();
    stopAcquisitionRun();
    return guard.ownerAlive();
}

void AcquisitionRunController::stopAcquisitionRun() {
    HandlerGuard guard(m_life, "stop");
    if (!guard.entered() || !guard.ownerAlive())
        return;
    m_c.cmdPlay->setText(QStringLiteral("Start"));
    m_c.lbl_back2->setEnabled(true);
    unlockCycleControls(true);
    m_c.Timeracq->stop();
    m_c.Timer_cycle->stop();
    // Handlers that wait now (a start, a tick, the scheduler) end when they resume.
    m_life.renew();
    m_cycle.cycleMode = false;
    m_cycle.cycleNumber = 0;
    m_running = false;
    endRunProcesses();
}

void AcquisitionRunController::EndCycleRun() {
    HandlerGuard guard(m_life, "stop");
    if (!guard.entered() || !guard.ownerAlive())
        return;
    m_c.cmdPlay->setText(QStringLiteral("Stop Cycles"));
    m_c.lbl_back2->setEnabled(true);
    m_c.Timeracq->stop();
    m_running = false;
    endRunProcesses();
}

// ---- Live pipeline ---------------------------------------------------------------------------

void AcquisitionRunController::stopOnProcessingError(const QString& reason) {
    m_c.Timeracq->stop();
    reportStatus(reason);
    m_services.dialogs->message(kProcessingError);
}

void AcquisitionRunController::LiveProcessingTick() {
    HandlerGuard guard(m_life, "LiveProcessingTick");
    if (!guard.entered() || !guard.ownerAlive())
        return;
    const std::int64_t elapsed = m_pipeline.elapsedSeconds();
    if (!m_running) {
        m_c.Timeracq->stop();
        return;
    }
    const bool onlyImages = m_c.chk_onlyimg->isChecked();
    if (!onlyImages) {
        switch (m_pipeline.scheduleHelpers(m_c.mn_invariable->isChecked())) {
        case acquisition::LivePipeline::Step::Ok:
            break;
        case acquisition::LivePipeline::Step::ConverterNotStarted:
            stopOnProcessingError(QStringLiteral("The converter Dravel could not be started"));
            return;
        case acquisition::LivePipeline::Step::FinderNotStarted:
            stopOnProcessingError(QStringLiteral("The finder Sirrex could not be started"));
            return;
        }
        const std::int32_t r = TrackWormsLive(guard);
        if (!guard.ownerAlive())
            return;
        if (r >= 0 && !m_pipeline.dropConvertedFrame(r)) {
            // Left in place, converted frames would fill the folder without a word.
            stopOnProcessingError(QStringLiteral("Cannot delete ") +
                                  m_pipeline.framePath(r, "pgm"));
            return;
        }
    }
    if (!m_running)
        return;

    const double limit = numberIn(m_c.txtlapse) * 60.0;
    const acquisition::RunEnd end = acquisition::decideRunEnd(static_cast<double>(elapsed), limit,
                                                              onlyImages, m_tracker.lastTimeMark);
    switch (end) {
    case acquisition::RunEnd::Running: {
        // A logger that ends before the run length (it ends by itself at the length) failed.
        if (m_pipeline.loggerPid() && static_cast<double>(elapsed + 1) < limit &&
            !m_pipeline.loggerRunning())
            m_loggerEndedEarly = true;
        m_c.lbl_time->setText(acquisition::elapsedText(elapsed));
        m_c.Picture_progress->box(0.0, 0.0, static_cast<double>(elapsed), 10.0, kOrange, true);
        // A device that stopped sending or a logger that ended is said while the run is on.
        const QString stall = m_pipeline.stallText(onlyImages);
        if (stall != m_stallShown) {
            if (stall.isEmpty())
                clearStatus();
            else
                reportStatus(stall);
            m_stallShown = stall;
        }
        return;
    }
    case acquisition::RunEnd::Waiting:
        m_c.lbl_time->setText(m_cycle.cycleMode ? QStringLiteral("Ending[") +
                                                      QString::number(m_cycle.cycleNumber) +
                                                      QStringLiteral("]...")
                                                : QStringLiteral("Ending..."));
        return;
    case acquisition::RunEnd::End:
    case acquisition::RunEnd::Overdue:
        break;
    }
    m_c.Timeracq->stop();
    const std::int32_t newestFrame = acquisition::newestFrameNumber(
        m_pipeline.imgFolder(), acquisition::framePrefix(m_runAddress), QStringLiteral("jpg"));
    const int cycle = m_cycle.cycleNumber;
    if (m_cycle.cycleMode) {
        EndCycleRun();
        if (!guard.ownerAlive())
            return;
        m_c.lbl_time->setText(QStringLiteral("End[") + QString::number(cycle) +
                              QStringLiteral("]"));
        m_c.Timer_cycle->start();
    } else {
        stopAcquisitionRun();
        if (!guard.ownerAlive())
            return;
        m_c.lbl_time->setText(QStringLiteral("Ended"));
    }
    m_stallShown.clear();
    if (!m_lampOffFailure.isEmpty())
        reportStatus(m_lampOffFailure);
    else if (end == acquisition::RunEnd::Overdue)
        reportStatus(overdueText(m_tracker.lastTimeMark, static_cast<std::int64_t>(limit),
                                 newestFrame, m_loggerEndedEarly));
    else
        clearStatus();
}

std::int32_t AcquisitionRunController::TrackWormsLive(const HandlerGuard& guard) {
    const double maxTravel = numberIn(m_c.txt_maxtravel);
    const results::DetectionBlock block =
        results::ReadWormBlock(m_pipeline.cursor().runFolder.toStdString(), m_tracker.reader);
    // A damaged block is tracked by its header's count; the first one of a run is said.
    if (!block.notice.empty())
        reportStatus(fromStd(block.notice));
    if (block.status == results::DetectionBlock::Status::Error ||
        block.status == results::DetectionBlock::Status::Skipped) {
        if (!m_processingErrorShown) {
            m_processingErrorShown = true;
            reportStatus(fromStd(block.error));
            m_services.dialogs->message(kTrackerError);
        }
        return -1;
    }
    if (!block.hasBlock() || block.timeMark < 0)
        return -1;
    const std::int32_t t = block.timeMark;
    m_c.label_frame->setText(QStringLiteral("#") + QString::number(t));
    m_lastTimeMark = t;
    const QString jpg = m_pipeline.framePath(t, "jpg");
    if (QFileInfo::exists(jpg)) {
        // The frame is read while the window answers: a close may end the run meanwhile.
        m_hooks.showImage(jpg);
        if (!guard.ownerAlive() || !m_running)
            return -1;
    }

    // The figures of the block are shown once its rows are in the trails file.
    std::optional<results::LiveLabels> labels;
    const results::LiveBlockResult result = results::trackLiveBlock(
        m_tracker, t, results::liveDetections(block), maxTravel, m_rectX1, m_rectY1,
        [&labels](results::LiveTrackerState& state) { labels = results::updateLiveLabels(state); });

    const QString trails = QDir(m_pipeline.cursor().runFolder)
                               .filePath(QString::fromLatin1(results::kWormTrailsFileName));
    const std::string error =
        results::writeLiveTrailRows(trails.toStdString(), result.rows, result.firstBlock);
    if (!error.empty() && !m_processingErrorShown) {
        m_processingErrorShown = true;
        reportStatus(QStringLiteral("Cannot write ") + trails);
        m_services.dialogs->message(kTrackerError);
        if (!guard.ownerAlive())
            return t;
    }
    if (labels)
        showLiveLabels({m_c.lbl_particle, m_c.lbl_distance, m_c.lbl_speed, m_c.Picture3}, *labels);
    if (result.trackLimitReached) {
        reportStatus(QString::fromLatin1(results::kTrackIdLimitMessage));
        m_services.dialogs->message(QString::fromLatin1(results::kTrackIdLimitMessage));
        if (!guard.ownerAlive())
            return t;
    }
    if (result.firstBlock)
        return t;

    for (const results::LiveSegment& s : result.trailMap)
        m_c.Picture_post->line(s.x1, s.y1, s.x2, s.y2, results::TrackColor(s.id));
    for (const results::LiveSegment& s : result.recentPath)
        m_c.Picture1->line(s.x1, s.y1, s.x2, s.y2, results::TrackColor(s.id));
    m_c.Picture1->update();
    m_c.Picture_post->update();
    QCoreApplication::processEvents();
    return t;
}

} // namespace ui
