#include "app/acquisition/ui/acquisition_run_controller.h"

#include "app/acquisition/run_files.h"
#include "app/acquisition/run_rules.h"
#include "app/device/device_client.h"
#include "app/device/names.h"
#include "app/device/settings.h"
#include "app/results/live_block_reader.h"
#include "app/results/report.h"
#include "app/results/track_color.h"
#include "app/windows/ui/clickable_label.h"
#include "app/windows/ui/frm_frontend.h"
#include "app/windows/ui/picture_box.h"
#include "app/windows/ui/tick_guard.h"
#include "formats/numbers.h"
#include "formats/training_file.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cmath>

namespace ui {

namespace {

constexpr int kOrange = colourValue(255, 165, 0);
constexpr int kPlateGray = colourValue(160, 160, 160);
constexpr int kBlack = colourValue(0, 0, 0);
constexpr int kWhite = colourValue(255, 255, 255);

const QString kIpErrorMessage =
    QStringLiteral("IP Connection ERROR!. check if device is ON, and IP");
const QString kProcessingError = QStringLiteral("Image processing error");
const QString kTrackerError = QStringLiteral("Error procesing files");

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

AcquisitionRunController::AcquisitionRunController(FrmFrontend* window, platform::Services services)
    : QObject(nullptr), m_window(window), m_services(std::move(services)) {
    bindControls();
}

AcquisitionRunController::~AcquisitionRunController() = default;

bool AcquisitionRunController::isGone() const {
    return m_window.isNull();
}

void AcquisitionRunController::bindControls() {
    if (m_bound || isGone())
        return;
    auto& c = m_window->controls();
    if (!c.cmdPlay || !c.Timeracq || !c.Timer_cycle)
        return;
    m_bound = true;
    connect(c.cmdPlay, &QPushButton::clicked, this, &AcquisitionRunController::cmdPlayClick);
    connect(c.Timeracq, &QTimer::timeout, this, &AcquisitionRunController::LiveProcessingTick);
    connect(c.Timer_cycle, &QTimer::timeout, this, &AcquisitionRunController::CycleSchedulerTick);
    if (c.chk_cycle)
        connect(c.chk_cycle, &QCheckBox::clicked, this, &AcquisitionRunController::ToggleCycleMode);
    if (c.mn_autoconnect)
        connect(c.mn_autoconnect, &QAction::triggered, this,
                &AcquisitionRunController::AskAutoconnectNetwork);
    if (c.cmd_generate)
        connect(c.cmd_generate, &QPushButton::clicked, this,
                &AcquisitionRunController::GenerateReport);
    for (QLineEdit* box : {c.txtlapse, c.txt_mcycle, c.txt_ncycle})
        if (box)
            box->installEventFilter(this);
}

bool AcquisitionRunController::eventFilter(QObject* watched, QEvent* event) {
    // A box is checked when the operator leaves it for another control, not when a message
    // box, a menu or another program takes the focus away from the window for a while.
    const auto leftForAnotherControl = [event] {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
    };
    if (event->type() == QEvent::FocusOut && !isGone() && leftForAnotherControl()) {
        auto& c = m_window->controls();
        if (watched == c.txtlapse)
            CheckAcquisitionLapse();
        else if (watched == c.txt_mcycle)
            CheckCyclePeriod();
        else if (watched == c.txt_ncycle)
            CheckCycleCount();
    }
    return QObject::eventFilter(watched, event);
}

double AcquisitionRunController::numberIn(const QString& text) const {
    return formats::leadingNumber(text.toStdString());
}

QString AcquisitionRunController::deviceAddress() const {
    return isGone() ? QString() : m_window->controls().txt_ip1->text();
}

QString AcquisitionRunController::imgFolder() const {
    return m_cursor.runFolder + QStringLiteral("/img");
}

void AcquisitionRunController::reportStatus(const QString& text) {
    if (isGone())
        return;
    auto& c = m_window->controls();
    c.lbl_messages->setText(text);
    c.frame_messages->show();
    c.lbl_messages->repaint();
}

void AcquisitionRunController::unlockCycleControls(bool unlocked) {
    auto& c = m_window->controls();
    c.txt_ncycle->setReadOnly(!unlocked);
    c.txt_mcycle->setReadOnly(!unlocked);
    c.chk_cycle->setEnabled(unlocked);
}

// ---- Start button ----------------------------------------------------------------------------

void AcquisitionRunController::cmdPlayClick() {
    if (isGone() || m_playBusy)
        return;
    if (m_startBusy || m_cycleBusy || m_tickBusy || m_stopBusy) {
        // A press while a tick or a start waits is taken when that handler has returned; more
        // presses meanwhile count as that one press (a second "Stop" starts no new run).
        if (!m_playDeferred) {
            m_playDeferred = true;
            QTimer::singleShot(50, this, [this] {
                m_playDeferred = false;
                cmdPlayClick();
            });
        }
        return;
    }
    TickGuard guard(m_playBusy);
    QPointer<FrmFrontend> window(m_window);
    auto& c = m_window->controls();
    if (m_running || m_cycle.cycleMode) {
        c.lbl_stimated->hide();
        stopAcquisitionRun();
        return;
    }
    // A run that cannot work is refused before anything is sent or asked.
    const QString refusal = runRefusal();
    if (!refusal.isEmpty()) {
        m_services.dialogs->message(refusal);
        return;
    }
    if (m_window->autoconnectOn()) {
        const QString network = m_window->autoconnectNetwork();
        c.cmdPlay->setText(QStringLiteral("Setting ") + network);
        m_services.launcher->joinNetwork(network);
        m_services.clock->pause(1000);
        if (window.isNull())
            return;
        c.cmdPlay->setText(QStringLiteral("Start"));
    }
    m_window->deviceClient().SendControl(
        deviceAddress(), QStringLiteral("var=lamp&val=") + QString::number(m_window->lampValue()));
    c.txt_project->setText(
        acquisition::projectFolderName(device::SanitizeName(c.txt_project->text())));
    const QString answer =
        m_services.dialogs->input(QStringLiteral("Enter acquisition Name"),
                                  QStringLiteral("project ") + c.txt_project->text());
    if (window.isNull() || answer.isEmpty())
        return;
    m_cycle.baseName = answer;
    if (c.chk_cycle->isChecked()) {
        m_cycle.cycleNumber = 1;
        m_cycle.cycleMode = true;
        StartAcquisitionRun(acquisition::cycleRunName(answer, 1, numberIn(c.txt_mcycle->text())));
    } else {
        StartAcquisitionRun(answer);
    }
}

QString AcquisitionRunController::runRefusal() const {
    const auto& c = m_window->controls();
    const auto x1 = formats::toInt16(numberIn(c.txt_x1->text()));
    const auto x2 = formats::toInt16(numberIn(c.txt_x2->text()));
    const auto y1 = formats::toInt16(numberIn(c.txt_y1->text()));
    const auto y2 = formats::toInt16(numberIn(c.txt_y2->text()));
    const double plateSize = acquisition::runPlateSize(numberIn(c.txt_psize->text()));
    QString refusal = acquisition::checkRunLength(numberIn(c.txtlapse->text()));
    if (refusal.isEmpty())
        refusal = (x1 && x2 && y1 && y2)
                      ? acquisition::checkRunGeometry(*x1, *x2, *y1, *y2, plateSize)
                      : QString::fromLatin1(acquisition::kEmptyRectangle);
    if (refusal.isEmpty() &&
        !QFileInfo::exists(QDir(m_services.programFolder).filePath("training.dat")))
        refusal = QString::fromLatin1(acquisition::kNoTraining);
    return refusal;
}

bool AcquisitionRunController::StartAcquisitionRun(const QString& typedName) {
    TickGuard guard(m_startBusy);
    if (!guard.entered() || isGone() || m_running)
        return false;
    QPointer<FrmFrontend> window(m_window);
    auto& c = m_window->controls();
    const QString programFolder = m_services.programFolder;
    const std::uint64_t generation = m_stopGeneration;
    // A stop that came while this start waited ends it.
    auto stopped = [&] { return window.isNull() || m_stopGeneration != generation; };

    // Checks that keep a run from dividing by zero or running without a training.
    const QString refusal = runRefusal();
    if (!refusal.isEmpty()) {
        m_services.dialogs->message(refusal);
        return false;
    }
    const double lapse = numberIn(c.txtlapse->text());
    const std::int16_t x1 = *formats::toInt16(numberIn(c.txt_x1->text()));
    const std::int16_t x2 = *formats::toInt16(numberIn(c.txt_x2->text()));
    const std::int16_t y1 = *formats::toInt16(numberIn(c.txt_y1->text()));
    const std::int16_t y2 = *formats::toInt16(numberIn(c.txt_y2->text()));
    const double plateSize = acquisition::runPlateSize(numberIn(c.txt_psize->text()));

    // 1-2: probe the device.
    c.lbl_messages->setText(QStringLiteral("Connecting to ") + deviceAddress() +
                            QStringLiteral("..."));
    c.frame_messages->show();
    c.frame_messages->repaint();
    if (m_window->deviceClient().QueryStatus(deviceAddress()) != 1) {
        if (stopped())
            return false;
        c.frame_messages->hide();
        m_services.dialogs->message(kIpErrorMessage);
        return false;
    }
    if (stopped())
        return false;
    // 3-4: lamp, and the automatic lamp with the light stimulus.
    m_window->deviceClient().SendControl(
        deviceAddress(), QStringLiteral("var=lamp&val=") + QString::number(m_window->lampValue()));
    m_services.clock->pause(100);
    if (stopped())
        return false;
    c.chk_stimulus->setEnabled(false);
    if (c.chk_stimulus->isChecked())
        m_window->deviceClient().SendControl(deviceAddress(), QStringLiteral("var=autolamp&val=1"));
    // 5-6: name.
    c.Frame_report->hide();
    c.frame_messages->hide();
    const QString name = device::SanitizeName(typedName);
    c.lbl_stimated->setText(QStringLiteral("Acq_Name: [") + name + QStringLiteral("]"));
    const QString folderName = acquisition::acquisitionFolderName(m_services.clock->now(), name);
    c.lbl_stimated->show();
    // 7-8: mode and folders.
    m_acquisitionMode = c.Opt_acq[0]->isChecked() ? 0 : 1;
    const QString projectFolder =
        QDir(programFolder)
            .filePath(acquisition::projectFolderName(device::SanitizeName(c.txt_project->text())));
    const acquisition::RunFolder folder =
        acquisition::createAcquisitionFolder(projectFolder, folderName);
    if (!folder.error.isEmpty()) {
        c.chk_stimulus->setEnabled(true);
        m_services.dialogs->message(folder.error);
        return false;
    }
    // 9-10: the run is on; the live tracker starts afresh.
    c.cmdPlay->setText(QStringLiteral("Stop"));
    unlockCycleControls(false);
    m_running = true;
    m_processingErrorShown = false;
    m_cursor = LiveFrameCursor{};
    m_cursor.runFolder = folder.path;
    m_window->setRunFolder(folder.path);
    // 11-14: pixels per mm, result views, progress bar.
    if (numberIn(c.txt_psize->text()) != plateSize)
        c.txt_psize->setText(QStringLiteral("35"));
    const double width = x2 - x1;
    const double height = y2 - y1;
    m_tracker.reset(width / plateSize, height / plateSize);
    m_rectX1 = x1;
    m_rectY1 = y1;
    m_window->setLastTimeMark(0);
    prepareResultViews(width, height, lapse);
    // 15-17: settings and training copies.
    c.lbl_back2->setEnabled(false);
    m_window->SaveDeviceIp();
    m_window->SaveConfigFile();
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
    if (error.isEmpty() && !QFileInfo::exists(QDir(folder.path).filePath("training.dat")))
        error = QString::fromLatin1(acquisition::kNoTraining);
    if (error.isEmpty() && !optionsError.empty())
        error = fromStd(optionsError);
    // 22-25: cursors, start time, run data.
    m_services.clock->pause(500);
    if (stopped())
        return false;
    m_cursor.runStart = m_services.clock->now();
    m_cursor.runStartMs = m_services.clock->monotonicMs();
    if (m_cycle.cycleNumber < 2)
        m_cycle.cycleStartTime = m_cursor.runStart;
    if (error.isEmpty()) {
        device::RunDataValues values;
        values.deviceIp = deviceAddress();
        values.startText = device::runStartText(m_cursor.runStart);
        values.runLength = c.txtlapse->text();
        values.acquisitionMode = m_acquisitionMode;
        error = device::SaveRunData(programFolder, folder.path, values);
    }
    // 26: the logger.
    if (error.isEmpty()) {
        const acquisition::CommandLine pendrel =
            acquisition::pendrelCommand(programFolder, folder.path);
        m_loggerPid = m_services.launcher->start(pendrel.program, pendrel.arguments, programFolder);
        if (!m_loggerPid)
            error = QStringLiteral("The logger Pendrel could not be started");
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
    c.Timeracq->setInterval(900);
    c.Timeracq->start();
    return true;
}

void AcquisitionRunController::prepareResultViews(double width, double height, double lapse) {
    auto& c = m_window->controls();
    c.cmdreport->setEnabled(true);
    c.frame_results->show();
    c.Picture_post->cls();
    c.Picture_post->setScale(-0.15 * width, -0.15 * height, 1.15 * width, 1.15 * height);
    const double radius = std::sqrt(width * width + height * height) / 3.0;
    c.Picture_post->circle(width / 2.0, height / 2.0, radius, kPlateGray);
    c.lbl_speed->setText(QString());
    c.lbl_distance->setText(QString());
    c.lbl_particle->setText(QString());
    c.Picture3->cls();
    c.Picture_progress->setScale(0.0, 0.0, lapse > 0.0 ? lapse * 60.0 : 1.0, 10.0);
    c.Picture_progress->cls();
}

// ---- Stop ------------------------------------------------------------------------------------

bool AcquisitionRunController::helperRunning(std::optional<std::int64_t>& pid) {
    if (pid && !m_services.launcher->isRunning(*pid))
        pid.reset();
    return pid.has_value();
}

void AcquisitionRunController::finishHelper(std::optional<std::int64_t>& pid) {
    // A converter or finder still at work gets two seconds to finish its frame, then it is
    // stopped, so that no converted frame appears after the clean-up.
    for (int waited = 0; helperRunning(pid) && waited < 2000; waited += 20)
        m_services.clock->pause(20);
    if (pid)
        m_services.launcher->stop(*pid);
    pid.reset();
}

void AcquisitionRunController::endRunProcesses() {
    QPointer<FrmFrontend> window(m_window);
    // The logger this program started, by its process (never by name).
    if (m_loggerPid) {
        m_services.launcher->stop(*m_loggerPid);
        m_loggerPid.reset();
    }
    finishHelper(m_dravelPid);
    finishHelper(m_sirrexPid);
    if (window.isNull())
        return;
    auto& c = m_window->controls();
    if (c.chk_stimulus->isChecked()) {
        m_window->deviceClient().SendControl(deviceAddress(), QStringLiteral("var=autolamp&val=0"));
        m_services.clock->pause(100);
        if (window.isNull())
            return;
        m_window->deviceClient().SendControl(deviceAddress(), QStringLiteral("var=autolamp&val=0"));
    }
    c.chk_stimulus->setEnabled(true);
    if (!m_cursor.runFolder.isEmpty())
        acquisition::deleteConvertedFrames(imgFolder(), acquisition::framePrefix(deviceAddress()));
}

void AcquisitionRunController::stopAcquisitionRun() {
    TickGuard guard(m_stopBusy);
    if (!guard.entered() || isGone())
        return;
    auto& c = m_window->controls();
    c.cmdPlay->setText(QStringLiteral("Start"));
    c.lbl_back2->setEnabled(true);
    unlockCycleControls(true);
    c.Timeracq->stop();
    c.Timer_cycle->stop();
    ++m_stopGeneration;
    m_cycle.cycleMode = false;
    m_cycle.cycleNumber = 0;
    m_running = false;
    endRunProcesses();
}

void AcquisitionRunController::EndCycleRun() {
    TickGuard guard(m_stopBusy);
    if (!guard.entered() || isGone())
        return;
    auto& c = m_window->controls();
    c.cmdPlay->setText(QStringLiteral("Stop Cycles"));
    c.lbl_back2->setEnabled(true);
    c.Timeracq->stop();
    m_running = false;
    endRunProcesses();
}

// ---- Live pipeline ---------------------------------------------------------------------------

void AcquisitionRunController::LiveProcessingTick() {
    TickGuard guard(m_tickBusy);
    if (!guard.entered() || isGone())
        return;
    QPointer<FrmFrontend> window(m_window);
    auto& c = m_window->controls();
    const std::int64_t elapsedMs = m_services.clock->monotonicMs() - m_cursor.runStartMs;
    const std::int64_t elapsed = formats::roundHalfEven(static_cast<double>(elapsedMs) / 1000.0);
    if (!m_running) {
        c.Timeracq->stop();
        return;
    }
    const bool onlyImages = c.chk_onlyimg->isChecked();
    if (!onlyImages) {
        const QString prefix = acquisition::framePrefix(deviceAddress());
        const QString programFolder = m_services.programFolder;
        // The newest frame to the converter, one conversion at a time.
        if (!helperRunning(m_dravelPid)) {
            const std::int32_t n =
                acquisition::FindNextFrameIndex(imgFolder(), prefix, m_cursor.jpgCursor, "jpg");
            if (m_cursor.jpgCursor < n) {
                const auto command = acquisition::dravelCommand(
                    programFolder,
                    acquisition::framePath(m_cursor.runFolder, deviceAddress(), n, "pgm"),
                    acquisition::framePath(m_cursor.runFolder, deviceAddress(), n, "jpg"));
                m_dravelPid =
                    m_services.launcher->start(command.program, command.arguments, programFolder);
                if (!m_dravelPid) {
                    c.Timeracq->stop();
                    reportStatus(QStringLiteral("The converter Dravel could not be started"));
                    m_services.dialogs->message(kProcessingError);
                    return;
                }
                m_cursor.jpgCursor = n;
            }
        }
        // The newest converted frame to the finder: only one finder runs at a time, so blocks
        // are appended in frame order and never pile up.
        if (!helperRunning(m_sirrexPid)) {
            const std::int32_t n =
                acquisition::FindNextFrameIndex(imgFolder(), prefix, m_cursor.pgmCursor, "pgm");
            if (m_cursor.pgmCursor < n) {
                const auto command = acquisition::sirrexCommand(
                    programFolder,
                    acquisition::framePath(m_cursor.runFolder, deviceAddress(), n, "pgm"),
                    m_trainingOptions, c.mn_invariable->isChecked(), n);
                m_sirrexPid =
                    m_services.launcher->start(command.program, command.arguments, programFolder);
                if (!m_sirrexPid) {
                    c.Timeracq->stop();
                    reportStatus(QStringLiteral("The finder Sirrex could not be started"));
                    m_services.dialogs->message(kProcessingError);
                    return;
                }
                m_cursor.pgmCursor = n;
            }
        }
        const std::int32_t r = TrackWormsLive();
        if (window.isNull())
            return;
        if (r >= 0)
            QFile::remove(acquisition::framePath(m_cursor.runFolder, deviceAddress(), r, "pgm"));
    }
    if (!m_running)
        return;

    const double limit = numberIn(c.txtlapse->text()) * 60.0;
    const acquisition::RunEnd end = acquisition::decideRunEnd(static_cast<double>(elapsed), limit,
                                                              onlyImages, m_tracker.lastTimeMark);
    switch (end) {
    case acquisition::RunEnd::Running:
        c.lbl_time->setText(acquisition::elapsedText(elapsed));
        c.Picture_progress->box(0.0, 0.0, static_cast<double>(elapsed), 10.0, kOrange, true);
        return;
    case acquisition::RunEnd::Waiting:
        c.lbl_time->setText(m_cycle.cycleMode
                                ? QStringLiteral("Ending[") + QString::number(m_cycle.cycleNumber) +
                                      QStringLiteral("]...")
                                : QStringLiteral("Ending..."));
        return;
    case acquisition::RunEnd::End:
    case acquisition::RunEnd::Overdue:
        break;
    }
    c.Timeracq->stop();
    const bool loggerEnded = m_loggerPid && !m_services.launcher->isRunning(*m_loggerPid);
    const int cycle = m_cycle.cycleNumber;
    if (m_cycle.cycleMode) {
        EndCycleRun();
        if (window.isNull())
            return;
        c.lbl_time->setText(QStringLiteral("End[") + QString::number(cycle) + QStringLiteral("]"));
        c.Timer_cycle->start();
    } else {
        stopAcquisitionRun();
        if (window.isNull())
            return;
        c.lbl_time->setText(QStringLiteral("Ended"));
    }
    if (end == acquisition::RunEnd::Overdue)
        reportStatus(QStringLiteral("Run ended at its time limit: the live analysis reached "
                                    "frame ") +
                     QString::number(m_tracker.lastTimeMark) + QStringLiteral(" of ") +
                     QString::number(static_cast<std::int64_t>(limit)) +
                     (loggerEnded ? QStringLiteral(" (the logger had stopped)") : QString()));
}

std::int32_t AcquisitionRunController::TrackWormsLive() {
    auto& c = m_window->controls();
    const double maxTravel = numberIn(c.txt_maxtravel->text());
    const results::DetectionBlock block =
        results::ReadWormBlock(m_cursor.runFolder.toStdString(), m_tracker.reader);
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
    c.label_frame->setText(QStringLiteral("#") + QString::number(t));
    m_window->setLastTimeMark(t);
    const QString jpg = acquisition::framePath(m_cursor.runFolder, deviceAddress(), t, "jpg");
    if (QFileInfo::exists(jpg))
        m_window->ShowImage(jpg);

    const results::LiveBlockResult result = results::trackLiveBlock(
        m_tracker, t, results::liveDetections(block), maxTravel, m_rectX1, m_rectY1,
        [this](results::LiveTrackerState& state) { showLabels(results::updateLiveLabels(state)); });

    // The rows of the block: the first block creates the trails file.
    QFile trails(
        QDir(m_cursor.runFolder).filePath(QString::fromLatin1(acquisition::kTrailsFileName)));
    const QIODevice::OpenMode mode = result.firstBlock
                                         ? (QIODevice::WriteOnly | QIODevice::Truncate)
                                         : (QIODevice::WriteOnly | QIODevice::Append);
    bool written = trails.open(mode);
    if (written && !result.rows.empty())
        written = trails.write(result.rows.data(), static_cast<qint64>(result.rows.size())) ==
                  static_cast<qint64>(result.rows.size());
    trails.close();
    if (!written && !m_processingErrorShown) {
        m_processingErrorShown = true;
        reportStatus(QStringLiteral("Cannot write ") + trails.fileName());
        m_services.dialogs->message(kTrackerError);
    }
    if (result.trackLimitReached) {
        reportStatus(QString::fromLatin1(results::kTrackIdLimitMessage));
        m_services.dialogs->message(QString::fromLatin1(results::kTrackIdLimitMessage));
    }
    if (result.firstBlock)
        return t;

    for (const results::LiveSegment& s : result.trailMap)
        c.Picture_post->line(s.x1, s.y1, s.x2, s.y2, results::TrackColor(s.id));
    for (const results::LiveSegment& s : result.recentPath)
        c.Picture1->line(s.x1, s.y1, s.x2, s.y2, results::TrackColor(s.id));
    c.Picture1->update();
    c.Picture_post->update();
    QCoreApplication::processEvents();
    return t;
}

void AcquisitionRunController::showLabels(const results::LiveLabels& labels) {
    if (isGone())
        return;
    auto& c = m_window->controls();
    c.lbl_particle->setText(fromStd(labels.particleText));
    c.lbl_particle->repaint();
    if (labels.distanceText) {
        c.lbl_distance->setText(fromStd(*labels.distanceText));
        c.lbl_distance->repaint();
    }
    if (labels.speedText) {
        c.lbl_speed->setText(fromStd(*labels.speedText));
        c.lbl_speed->repaint();
    }
    if (labels.histogram)
        DrawHistogram(*labels.histogram);
}

void AcquisitionRunController::DrawHistogram(const results::SpeedHistogram& h) {
    PictureBox* p = m_window->controls().Picture3;
    p->setBackColor(kWhite);
    p->cls();
    p->setScale(0.0, h.cmax + 1.0 + h.yLab, h.nb + 1.0, -1.0);
    p->box(0.95 * h.xLab, h.yLab, 1.05 * h.xLab, h.still + h.yLab, kBlack, true);
    for (int j = 0; j <= h.nb; ++j) {
        p->box(j + h.xLab, h.yLab, j + 1.0 + h.xLab, h.bins[static_cast<std::size_t>(j)] + h.yLab,
               kBlack, false);
        p->printText(h.xLab + j, h.yLab - 1.0, fromStd(h.binLabels[static_cast<std::size_t>(j)]),
                     kBlack, 12);
    }
    p->printText(0.0, h.yLab, QStringLiteral("0"), kBlack, 12);
    p->printText(0.0, h.cmax + h.yLab, QString::number(h.cmax), kBlack, 12);
    p->update();
}

// ---- Report of the last run -------------------------------------------------------------------

void AcquisitionRunController::GenerateReport() {
    if (isGone())
        return;
    auto& c = m_window->controls();
    const results::ReportSettings settings = results::reportSettingsFromTexts(
        c.txt_x1->text().toStdString(), c.txt_x2->text().toStdString(),
        c.txt_y1->text().toStdString(), c.txt_y2->text().toStdString(),
        c.txt_psize->text().toStdString(), c.txt_spacer->text().toStdString(),
        c.combo_bin->currentText().toStdString());
    if (settings.plateSizeReplaced)
        c.txt_psize->setText(QStringLiteral("35"));
    if (settings.blockMinutesReplaced)
        c.combo_bin->setCurrentText(QStringLiteral("1"));
    if (!settings.ok) {
        m_services.dialogs->message(fromStd(settings.message));
        return;
    }
    results::AnalyzeTrailsParams params;
    params.acqFolder = c.lbl_path->text().toStdString();
    params.blockMinutes = settings.blockMinutes;
    params.separator = settings.separator;
    params.pxPerMmX = settings.pxPerMmX;
    params.pxPerMmY = settings.pxPerMmY;
    params.trailNumbering = -1;
    params.plateSizeMm = settings.plateSizeMm;
    params.reportMode = results::kReportFile;
    params.programFolder = m_services.programFolder.toStdString();
    params.now = results::reportTimeFrom(m_services.clock->now());
    const results::AnalyzeTrailsResult result = results::AnalyzeTrails(params);
    QPointer<FrmFrontend> window(m_window);
    if (!result.ok) {
        m_services.dialogs->message(fromStd(result.message));
    } else if (QFileInfo::exists(fromStd(result.reportPath))) {
        QCoreApplication::processEvents();
        m_services.launcher->openPath(fromStd(result.reportPath));
    }
    if (window.isNull())
        return;
    c.Frame_report->hide();
}

// ---- Cycle series ----------------------------------------------------------------------------

void AcquisitionRunController::CycleSchedulerTick() {
    TickGuard guard(m_cycleBusy);
    if (!guard.entered() || isGone())
        return;
    QPointer<FrmFrontend> window(m_window);
    auto& c = m_window->controls();
    if (!m_cycle.cycleMode && m_running)
        return; // a single run is on: no series to schedule or to end
    const int cycles = acquisition::cycleCountOf(numberIn(c.txt_ncycle->text()));
    const acquisition::CycleDecision decision = acquisition::decideCycle(
        m_cycle.cycleMode, m_cycle.cycleNumber, cycles, m_cycle.cycleStartTime,
        m_services.clock->now(), numberIn(c.txt_mcycle->text()), m_running);
    switch (decision.action) {
    case acquisition::CycleDecision::Action::EndSeries:
        c.lbl_stimated->setText(decision.caption);
        m_cycle.cycleMode = false;
        c.Timer_cycle->stop();
        unlockCycleControls(true);
        c.cmdPlay->setText(QStringLiteral("Start"));
        return;
    case acquisition::CycleDecision::Action::Countdown:
        if (!decision.caption.isEmpty())
            c.lbl_stimated->setText(decision.caption);
        return;
    case acquisition::CycleDecision::Action::Wait:
        return;
    case acquisition::CycleDecision::Action::StartNext:
        break;
    }
    m_cycle.cycleNumber = decision.cycleNumber;
    c.lbl_stimated->setText(decision.caption);
    if (m_window->autoconnectOn()) {
        const QString network = m_window->autoconnectNetwork();
        c.lbl_stimated->setText(QStringLiteral("Setting Wifi ") + network);
        m_services.launcher->joinNetwork(network);
        m_services.clock->pause(1000);
        if (window.isNull())
            return;
        c.lbl_stimated->setText(QStringLiteral("WiFi=") + network);
        QCoreApplication::processEvents();
        m_services.clock->pause(1000);
        if (window.isNull())
            return;
    }
    c.lbl_stimated->setText(decision.caption);
    m_window->ConnectDevice(2);
    if (window.isNull())
        return;
    const QString name = acquisition::cycleRunName(m_cycle.baseName, m_cycle.cycleNumber,
                                                   numberIn(c.txt_mcycle->text()));
    m_services.clock->pause(500);
    if (window.isNull() || !m_cycle.cycleMode)
        return;
    StartAcquisitionRun(name);
    if (window.isNull())
        return;
    c.Timer_cycle->stop();
}

void AcquisitionRunController::showDuration() {
    auto& c = m_window->controls();
    c.lbl_stimated->setText(acquisition::runDurationText(numberIn(c.txt_mcycle->text()),
                                                         numberIn(c.txt_ncycle->text()),
                                                         numberIn(c.txtlapse->text())));
}

void AcquisitionRunController::ToggleCycleMode() {
    if (isGone())
        return;
    auto& c = m_window->controls();
    const bool on = c.chk_cycle->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{c.txt_ncycle, c.lbl_everycycle, c.txt_mcycle,
                                                      c.lbl_mcycle, c.shape_cycle})
        w->setVisible(on);
    if (on) {
        showDuration();
        c.lbl_stimated->show();
        c.chk_cycle->setText(QStringLiteral("Cycle time :"));
        c.chk_onlyimg->show();
    } else {
        c.lbl_stimated->setText(QString());
        c.lbl_stimated->hide();
        c.Timer_cycle->stop();
        m_cycle.cycleMode = false;
        m_cycle.cycleNumber = 0;
        c.chk_cycle->setText(QStringLiteral("Cycle"));
        c.chk_onlyimg->hide();
        c.chk_onlyimg->setChecked(false);
    }
}

void AcquisitionRunController::CheckCyclePeriod() {
    if (isGone())
        return;
    auto& c = m_window->controls();
    const acquisition::PeriodCheck check =
        acquisition::checkCyclePeriod(numberIn(c.txt_mcycle->text()), c.chk_onlyimg->isChecked());
    c.txt_mcycle->setText(check.text);
    if (check.tickOnlyImages) {
        c.chk_onlyimg->setChecked(true);
        m_services.dialogs->message(QString::fromLatin1(acquisition::kLongCycleAdvice));
        if (isGone())
            return;
    }
    showDuration();
}

void AcquisitionRunController::CheckCycleCount() {
    if (isGone())
        return;
    auto& c = m_window->controls();
    c.txt_ncycle->setText(acquisition::checkCycleCount(numberIn(c.txt_ncycle->text())));
    showDuration();
}

void AcquisitionRunController::CheckAcquisitionLapse() {
    if (isGone())
        return;
    QPointer<FrmFrontend> window(m_window);
    auto& c = m_window->controls();
    if (m_window->LapseChanged()) {
        const auto offer = acquisition::lapseRoundingOffer(numberIn(c.txtlapse->text()));
        if (offer) {
            const bool yes =
                m_services.dialogs->question(acquisition::lapseRoundingQuestion(*offer));
            if (window.isNull())
                return;
            if (yes)
                c.txtlapse->setText(QString::number(*offer));
            m_window->setLapseChanged(false);
        }
    }
    showDuration();
}

void AcquisitionRunController::AskAutoconnectNetwork() {
    if (isGone())
        return;
    QPointer<FrmFrontend> window(m_window);
    QAction* item = m_window->controls().mn_autoconnect;
    if (!m_autoconnectChecked) {
        const QString answer = m_services.dialogs->input(QStringLiteral("Network to connect:"),
                                                         QStringLiteral("Autoconnect before cycle"),
                                                         m_window->autoconnectNetwork());
        if (window.isNull())
            return;
        if (!answer.isEmpty()) {
            m_window->setAutoconnect(true, answer);
            item->setText(QStringLiteral("Autoconnect ") + answer);
            m_autoconnectChecked = true;
        } else {
            m_window->setAutoconnect(false, m_window->autoconnectNetwork());
            item->setText(QStringLiteral("Autoconnect Network"));
            m_autoconnectChecked = false;
        }
    } else {
        m_window->setAutoconnect(false, m_window->autoconnectNetwork());
        item->setText(QStringLiteral("Autoconnect Network"));
        m_autoconnectChecked = false;
    }
    item->setCheckable(true);
    item->setChecked(m_autoconnectChecked);
}

} // namespace ui
