#include "app/windows/ui/browse_controller.h"

#include "app/acquisition/batch_runner.h"
#include "app/training/ui/plate_controller.h"
#include "app/widgets/picture_box.h"
#include "app/acquisition/run_files.h"
#include "app/device/logger_lock.h"
#include "app/windows/browser.h"
#include "formats/frame_names.h"
#include "formats/position_file.h"
#include "formats/regular_file.h"
#include "formats/run_data_file.h"
#include "formats/training_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <utility>

namespace ui {

namespace {

// The frames that stepping shows and repairs.
constexpr std::int16_t kLastSteppedFrame = 3;
// The frames tried in place of a missing frame 0 when an acquisition is loaded.
constexpr int kFrameZeroCandidates = 20;

const QString kLoadingAnother = QStringLiteral("loading another acquisition");

// Said of an acquisition whose position file stops short of its frames (its live analysis
// ended before its run, or a reprocess covered only part of it); empty when the analysis
// reached the last frame of the run, or there is no position file to tell.
QString partialAnalysisNotice(const QString& acquisition, const QString& images,
                              const QString& prefix) {
    std::string bytes;
    std::string error;
    if (!formats::readRegularFile(QDir(acquisition).filePath(QStringLiteral("xy_worms.bin"))
                                      .toStdString(),
                                  bytes, error))
        return {};
    const auto analysed = formats::lastBlockTimeMark(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!analysed)
        return {};
    std::int32_t last = acquisition::newestFrameNumber(images, prefix, QStringLiteral("jpg"));
    // The run's own frames: a logger may add one after the run length, which no analysis waits
    // for.
    if (const auto data = formats::readRunData(acquisition.toStdString())) {
        const double length = data->runLengthMinutes() * 60.0;
        if (length > 0.0 && length < static_cast<double>(last))
            last = static_cast<std::int32_t>(length);
    }
    if (*analysed >= last)
        return {};
    return QStringLiteral("Partial results: the analysis reached frame ") +
           QString::number(*analysed) + QStringLiteral(" of ") + QString::number(last);
}

} // namespace

BrowseController::BrowseController(const BrowseControls& controls, PlateController& plate,
                                   platform::Services services, const Lifetime& window,
                                   BrowseHooks hooks, QObject* parent)
    : QObject(parent), m_c(controls), m_plate(plate), m_services(std::move(services)),
      m_life(Lifetime::childOf(window)), m_hooks(std::move(hooks)) {
    connect(m_c.cmd_dir, &QPushButton::clicked, this, &BrowseController::cmdDirClick);
    connect(m_c.cmd_load, &QPushButton::clicked, this, [this] { LoadAcquisition(); });
    connect(m_c.List_project, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem*) { OpenProject(); });
    connect(m_c.List_subproject, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem*) { SelectAcquisition(); });
    connect(m_c.Timer_loadimg, &QTimer::timeout, this, &BrowseController::DeferredLoad);
    connect(m_c.cmd_next, &QPushButton::clicked, this, &BrowseController::cmdNextClick);
    connect(m_c.cmd_prev, &QPushButton::clicked, this, &BrowseController::cmdPrevClick);
    connect(m_c.cmd_del, &QPushButton::clicked, this, &BrowseController::cmdDelClick);
}

BrowseController::~BrowseController() {
    m_life.end();
}

QString BrowseController::programFile(const QString& name) const {
    return QDir(m_services.programFolder).filePath(name);
}

void BrowseController::reset() {
    m_projectOpen = 0;
    m_frameIndex = 0;
}

void BrowseController::fillList(QListWidget* list, const QString& folder, bool withParent) {
    list->clear();
    list->addItems(windows::namesWithoutExtension(folder, withParent));
}

void BrowseController::showProjectList() {
    m_c.List_project->show();
    m_c.List_project->raise();
    m_c.List_subproject->hide();
}

void BrowseController::showAcquisitionList() {
    m_c.List_project->hide();
    m_c.List_subproject->show();
    m_c.List_subproject->raise();
}

void BrowseController::closeLists() {
    m_c.cmd_dir->setText(QStringLiteral("..."));
    m_c.List_project->hide();
    m_c.List_subproject->hide();
}

void BrowseController::cmdDirClick() {
    if (!m_c.List_project->isHidden() || !m_c.List_subproject->isHidden()) {
        closeLists();
        return;
    }
    m_c.cmd_dir->setText(QStringLiteral("Ok"));
    m_c.List_project->clear();
    m_c.List_subproject->clear();
    if (m_projectOpen) {
        fillList(m_c.List_subproject, programFile(m_projectName), true);
        showAcquisitionList();
    } else {
        fillList(m_c.List_project, m_services.programFolder, false);
        showProjectList();
    }
}

void BrowseController::OpenProject() {
    if (m_projectOpen)
        return;
    const QListWidgetItem* item = m_c.List_project->currentItem();
    if (!item)
        return;
    m_projectName = item->text();
    fillList(m_c.List_subproject, programFile(m_projectName), true);
    m_projectOpen = 1;
    showAcquisitionList();
}

void BrowseController::SelectAcquisition() {
    const QListWidgetItem* item = m_c.List_subproject->currentItem();
    if (!item)
        return;
    const QString s = item->text();
    if (s != QStringLiteral("..") && m_hooks.refuseWhileBusy(kLoadingAnother))
        return; // the acquisition shown stays the one named
    if (s == QStringLiteral("..")) {
        fillList(m_c.List_project, m_services.programFolder, false);
        m_projectOpen = 0;
        m_hooks.projectClosed();
        showProjectList();
        return;
    }
    m_c.txt_filepj->setText(m_projectName + QLatin1Char('/') + s);
    m_c.txt_file->setText(QDir(programFile(m_projectName)).filePath(s) + QStringLiteral("/img"));
    closeLists();
    m_frameIndex = 0;
    QCoreApplication::processEvents();
    m_c.Timer_loadimg->start();
}

void BrowseController::DeferredLoad() {
    HandlerGuard guard(m_life, "DeferredLoad");
    if (!guard.entered())
        return;
    // A single shot: the timer goes off first. A reprocess started meanwhile keeps its
    // acquisition.
    m_c.Timer_loadimg->stop();
    if (!m_hooks.busyWith().isEmpty()) {
        // Chosen just before the command started. The acquisition the command works on needs
        // no second load; another one is refused, and the boxes name again the one in work.
        if (windows::acquisitionFolderOf(m_c.txt_file->text()) == m_acquisitionFolder)
            return;
        m_hooks.refuseWhileBusy(kLoadingAnother);
        if (!guard.alive() || m_acquisitionFolder.isEmpty())
            return;
        m_c.txt_filepj->setText(
            QDir(m_services.programFolder).relativeFilePath(m_acquisitionFolder));
        m_c.txt_file->setText(m_acquisitionFolder + QStringLiteral("/img"));
        return;
    }
    if (!LoadAcquisition() || !guard.alive())
        return;
    m_services.clock->pause(100);
    if (!guard.alive())
        return;
    LoadAcquisition();
}

bool BrowseController::showFrameFile(const QString& imageFolder, const QString& name) {
    m_c.txt_ip1->setText(windows::deviceAddressOfFrame(name));
    const QString frame = QDir(imageFolder).filePath(name);
    if (!QFileInfo::exists(frame))
        return false;
    m_plate.DrawPlateOverlayOf(frame);
    windows::copyFileWhole(frame, programFile(QString::fromLatin1(formats::kPreviewFileName)));
    return true;
}

void BrowseController::frameShown(std::int16_t n, const QString& imageFolder) {
    m_c.txt_nfile->setText(QString::number(n));
    m_acquisitionFolder = windows::acquisitionFolderOf(imageFolder);
    m_plate.setTargetCount(-1);
}

void BrowseController::clearPicture() {
    m_c.Picture1->clearPicture();
    m_c.Picture1->cls();
}

bool BrowseController::LoadAcquisition() {
    HandlerGuard guard(m_life);
    // A reprocess works on the loaded acquisition's frames and files until it ends: loading
    // (which also clears converted frames) waits until then.
    if (m_hooks.refuseWhileBusy(kLoadingAnother))
        return false;
    // Whatever was loaded before is no longer the acquisition a later command works on, nor the
    // picture shown.
    m_acquisitionFolder.clear();
    m_hooks.clearResults();
    if (m_hooks.showLoadNotice)
        m_hooks.showLoadNotice(QString());
    clearPicture();
    m_c.cmd_dir->setText(QStringLiteral("..."));
    const QString images = m_c.txt_file->text();
    const windows::FrameZero zero = windows::ensureFrameZero(images, kFrameZeroCandidates);
    if (zero.copyFailed) {
        m_services.dialogs->message(QStringLiteral("Frame #0 could not be made in ") + images);
        return false;
    }
    if (zero.name.isEmpty()) {
        m_services.dialogs->message(QStringLiteral("File 0 not found"));
        return false;
    }
    if (zero.replacedFrom > 0) {
        m_services.dialogs->message(QStringLiteral("Frame #0 not found. Replaced with Frame #") +
                                    QString::number(zero.replacedFrom));
        if (!guard.alive())
            return false;
    }
    // Converted frames of an earlier processing go, but only under the program folder's batch
    // lock, taken without waiting: while a batch of any Vermalux holds it, the frames may be
    // that batch's own, and they stay. So do those of a run a logger still records: its live
    // analysis converts each new frame there.
    const QString prefix = windows::framePrefixOf(zero.name);
    const QString acquisition = windows::acquisitionFolderOf(images);
    if (!device::stillRecorded(m_services.programFolder, acquisition)) {
        acquisition::BatchRunner folderLock(m_services);
        if (folderLock.reserve().isEmpty()) {
            const QDir dir(images);
            for (const QString& pgm :
                 dir.entryList({prefix + QStringLiteral("*.pgm")}, QDir::Files))
                QFile::remove(dir.filePath(pgm));
        }
    }
    if (!showFrameFile(images, zero.name)) {
        m_services.dialogs->message(QStringLiteral("file0 not found"));
        if (!guard.alive())
            return false;
    }
    m_c.txt_nfile->setText(QStringLiteral("0"));
    const QDir acq(acquisition);
    for (const auto& [from, to] : {std::pair{QString::fromLatin1(formats::kTrainingFileName),
                                             QString::fromLatin1(formats::kTrainingFileName)},
                                   std::pair{QString::fromLatin1(formats::kDescriptorFileName),
                                             QString::fromLatin1(formats::kDescriptorFileName)}}) {
        if (QFileInfo::exists(acq.filePath(from)) &&
            !windows::copyFileWhole(acq.filePath(from), programFile(to))) {
            m_services.dialogs->message(QStringLiteral("Cannot copy ") + acq.filePath(from));
            return false;
        }
    }
    m_hooks.loadTraining(acquisition);
    if (!guard.alive())
        return false;
    m_acquisitionFolder = acquisition;
    m_plate.setTargetCount(-1);
    // Frame stepping works on the acquisition loaded, whatever a reprocess before left it.
    m_hooks.enableFrameStepping();
    if (m_hooks.showLoadNotice)
        m_hooks.showLoadNotice(partialAnalysisNotice(acquisition, images, prefix));
    return true;
}

void BrowseController::ShowFrame(std::int16_t n) {
    HandlerGuard guard(m_life);
    m_c.cmd_dir->setText(QStringLiteral("..."));
    const QString images = m_c.txt_file->text();
    QString name = windows::findFrameFile(images, n);
    if (name.isEmpty()) {
        const QString next = windows::findFrameFile(images, n + 1);
        if (next.isEmpty()) {
            m_services.dialogs->message(QStringLiteral("File ") + QString::number(n) +
                                        QStringLiteral("not found"));
            return;
        }
        // The missing frame is made from the next one.
        name = windows::framePrefixOf(next) + QString::number(n) + QStringLiteral(".jpg");
        if (!windows::copyFileWhole(QDir(images).filePath(next), QDir(images).filePath(name))) {
            m_services.dialogs->message(QStringLiteral("Cannot copy ") + next);
            return;
        }
    }
    if (!showFrameFile(images, name)) {
        m_services.dialogs->message(QStringLiteral("file") + QString::number(n) +
                                    QStringLiteral(" not found"));
        if (!guard.alive())
            return;
    }
    frameShown(n, images);
    const QString training =
        QDir(m_acquisitionFolder).filePath(QString::fromLatin1(formats::kTrainingFileName));
    if (!windows::copyFileWhole(training,
                                programFile(QString::fromLatin1(formats::kTrainingFileName))))
        return; // an acquisition without its training keeps the training in the boxes
    m_hooks.loadTraining(m_acquisitionFolder);
}

bool BrowseController::ReloadFirstFrame() {
    m_c.cmd_dir->setText(QStringLiteral("..."));
    const QString images = m_c.txt_file->text();
    const windows::FrameZero zero = windows::ensureFrameZero(images, 1);
    if (zero.name.isEmpty() || zero.copyFailed) {
        m_services.dialogs->message(QStringLiteral("File 0 not found"));
        return false;
    }
    if (!showFrameFile(images, zero.name))
        m_services.dialogs->message(QStringLiteral("file0 not found"));
    frameShown(0, images);
    return true;
}

void BrowseController::showDeleteCaption() {
    m_c.cmd_del->setText(QStringLiteral("Delete[") + QString::number(m_frameIndex) +
                         QStringLiteral("]"));
}

void BrowseController::showStepping(bool visible) {
    for (QPushButton* step : {m_c.cmd_prev, m_c.cmd_next, m_c.cmd_del})
        step->setVisible(visible);
}

void BrowseController::cmdNextClick() {
    if (m_frameIndex < kLastSteppedFrame)
        ++m_frameIndex;
    showDeleteCaption();
    ShowFrame(m_frameIndex);
}

void BrowseController::cmdPrevClick() {
    if (m_frameIndex > 0)
        --m_frameIndex;
    showDeleteCaption();
    ShowFrame(m_frameIndex);
}

void BrowseController::cmdDelClick() {
    HandlerGuard guard(m_life);
    const std::int16_t n = m_frameIndex;
    const bool yes = m_services.dialogs->question(
        QStringLiteral("replace file") + QString::number(n) + QStringLiteral(" with file") +
        QString::number(n + 1) + QStringLiteral("?"));
    if (!guard.alive() || !yes)
        return;
    const QString images = m_c.txt_file->text();
    const QString a = windows::findFrameFile(images, n);
    const QString b = windows::findFrameFile(images, n + 1);
    if (a.isEmpty() || b.isEmpty()) {
        m_services.dialogs->message(QStringLiteral(" not found"));
        return;
    }
    // The frame is replaced by a complete copy or not at all.
    if (!windows::copyFileWhole(QDir(images).filePath(b), QDir(images).filePath(a))) {
        m_services.dialogs->message(QStringLiteral("Cannot copy ") + b);
        return;
    }
    ShowFrame(n);
}

void BrowseController::enterAcquisition(const QString& folder, bool withTraining) {
    HandlerGuard guard(m_life);
    m_acquisitionFolder = folder;
    m_c.txt_filepj->setText(QDir(m_services.programFolder).relativeFilePath(folder));
    const QString images = folder + QStringLiteral("/img");
    m_c.txt_file->setText(images);
    m_frameIndex = 0;
    showDeleteCaption();
    m_plate.setTargetCount(-1);
    if (withTraining) {
        m_hooks.loadTraining(folder);
        if (!guard.alive())
            return;
    }
    QString first;
    for (int n = 0; n <= kFrameZeroCandidates && first.isEmpty(); ++n)
        first = windows::findFrameFile(images, n);
    if (first.isEmpty() || !showFrameFile(images, first)) {
        // No picture of this acquisition: none of another one either.
        if (first.isEmpty())
            m_c.txt_ip1->clear();
        clearPicture();
        m_c.Picture1->update();
    }
}

} // namespace ui
