#include "app/microbeam/ui/frm_processmulti.h"

#include "app/microbeam/arena_limits.h"
#include "app/microbeam/frame_load.h"
#include "app/microbeam/ui/frame_check_controller.h"
#include "app/microbeam/ui/microbeam_run_controller.h"
#include "app/widgets/caption_fit.h"
#include "app/widgets/control_factory.h"
#include "app/widgets/picture_box.h"
#include "app/widgets/twips.h"
#include "app/widgets/window_registry.h"
#include "formats/frame_names.h"
#include "formats/text_lines.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMargins>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

constexpr int kRed = colourValue(255, 0, 0);

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

// The design text of the folder box: the name of frame 0 of the default device address.
QString designFileText() {
    return QString::fromStdString(formats::frameImageFile("192.168.4.1", 0));
}

std::string toStd(const QString& text) {
    return text.toStdString();
}

} // namespace

FrmProcessMulti::FrmProcessMulti(const platform::Services& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    setObjectName(QString::fromLatin1(kWindowName));
    setWindowTitle(QStringLiteral("Form1"));
    buildControls();
    MicrobeamRunControls run;
    run.runButton = m_c.cmd_process;
    run.counter = m_c.txt_current;
    run.txt_max = m_c.txt_max;
    run.txt_activity = m_c.txt_activity;
    run.Picture1 = m_c.Picture1;
    run.Timer2 = m_c.Timer2;
    run.txt_file = m_c.txt_file;
    run.chk_micro = m_c.chk_micro;
    MicrobeamRunHooks runHooks;
    runHooks.setFrameSize = [this](QSize size) { m_frameSize = size; };
    runHooks.status = [this](const QString& text) { m_c.lbl_block->setText(text); };
    m_run = new MicrobeamRunController(MicrobeamRunController::Window::Microbeam, run, m_services,
                                       m_life, std::move(runHooks), this);
    FrameCheckControls check;
    check.cmd_filtrar = m_c.cmd_filtrar;
    check.cmd_stop = m_c.cmd_stop;
    check.txt_file = m_c.txt_file;
    check.txt_current = m_c.txt_current;
    check.txt_x1 = m_c.txt_x1;
    check.txt_x2 = m_c.txt_x2;
    check.txt_y1 = m_c.txt_y1;
    check.txt_y2 = m_c.txt_y2;
    check.Picture1 = m_c.Picture1;
    FrameCheckHooks checkHooks;
    checkHooks.showImage = [this](const QString& file) { return ShowImage(file, true); };
    checkHooks.prepareFrameSize = [this] { m_frameSize = loadFrameSize(); };
    m_check = new FrameCheckController(check, m_services, m_life, std::move(checkHooks), this);

    connect(m_c.cmd_dir, &QPushButton::clicked, this, &FrmProcessMulti::cmdDirClick);
    connect(m_c.cmd_load, &QPushButton::clicked, this, &FrmProcessMulti::cmdLoadClick);
    connect(m_c.Dir_list1, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        if (!item)
            return;
        const QString name = item->text();
        setDirListFolder(name == QStringLiteral("..") ? QFileInfo(m_dirFolder).absolutePath()
                                                      : QDir(m_dirFolder).filePath(name));
    });
    // "REPROCESS" has no action.
    resetToDesign();
    FormLoad();
}

FrmProcessMulti::~FrmProcessMulti() {
    m_life.end();
}

void FrmProcessMulti::buildControls() {
    setFixedSize(twipsRect(0, 0, 15915, 9285).size());
    QWidget* w = this;
    m_c.Label1 = makeLabel(w, "Label1", QString(), twipsRect(0, 0, 735, 255));
    m_c.txt_file = makeEdit(w, "txt_file", QString(), twipsRect(720, 0, 6975, 375));
    m_c.cmd_dir = makeButton(w, "cmd_dir", QString(), twipsRect(7680, 0, 615, 375));
    m_c.cmd_load = makeButton(w, "cmd_load", QString(), twipsRect(8400, 0, 1215, 375));
    m_c.txt_current = makeEdit(w, "txt_current", QString(), twipsRect(10320, 0, 1095, 375));
    m_c.Picture1 = makePicture(w, "Picture1", QSize(1600, 1200), twipsRect(0, 360, 11535, 8895));
    m_c.Dir_list1 = new QListWidget(w);
    m_c.Dir_list1->setObjectName("Dir_list1");
    m_c.Dir_list1->setGeometry(twipsRect(720, 360, 7575, 4365));
    m_c.Dir_list1->raise(); // drawn over the picture
    m_c.chk_micro = makeCheck(w, "chk_micro", QString(), twipsRect(11760, 120, 2055, 255));
    m_c.txt_max = makeEdit(w, "txt_max", QString(), twipsRect(12120, 600, 1335, 375));
    m_c.cmd_process = makeButton(w, "cmd_process", QString(), twipsRect(12120, 1080, 3375, 1215));
    m_c.cmd_reprocess_paths =
        makeButton(w, "cmd_reprocess_paths", QString(), twipsRect(12120, 2520, 3375, 1455));
    m_c.Label3 = makeLabel(w, "Label3", QString(), twipsRect(11880, 4800, 855, 255));
    m_c.txt_x1 = makeEdit(w, "txt_x1", QString(), twipsRect(12840, 4680, 735, 375));
    m_c.txt_x2 = makeEdit(w, "txt_x2", QString(), twipsRect(13680, 4680, 735, 375));
    m_c.Label4 = makeLabel(w, "Label4", QString(), twipsRect(11880, 5280, 855, 255));
    m_c.txt_y1 = makeEdit(w, "txt_y1", QString(), twipsRect(12840, 5160, 735, 375));
    m_c.txt_y2 = makeEdit(w, "txt_y2", QString(), twipsRect(13680, 5160, 735, 375));
    m_c.Label2 = makeLabel(w, "Label2", QString(), twipsRect(11640, 6000, 1215, 255));
    m_c.txt_activity = makeEdit(w, "txt_activity", QString(), twipsRect(13080, 5880, 1455, 375));
    // The outcome of the last block of a run (one that could not be measured says why).
    m_c.lbl_block = makeLabel(w, "lbl_block", QString(), twipsRect(11640, 6360, 4155, 735));
    m_c.lbl_block->setWordWrap(true);
    m_c.cmd_filtrar = makeButton(w, "cmd_filtrar", QString(), twipsRect(11760, 7200, 2895, 855));
    m_c.cmd_stop = makeButton(w, "cmd_stop", QString(), twipsRect(14760, 7200, 855, 855));
    m_c.Timer2 = makeTimer(this, "Timer2", 100, false);
    for (QObject* child : children())
        if (child->isWidgetType())
            m_design.emplace_back(static_cast<QWidget*>(child),
                                  static_cast<QWidget*>(child)->geometry());
    buildTabOrder();
}

QMargins FrmProcessMulti::outerMargins() const {
    auto marginsOf = [](const QWidget* w) {
        const QRect outer = w->frameGeometry();
        const QRect inner = w->geometry();
        return QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                        outer.right() - inner.right(), outer.bottom() - inner.bottom());
    };
    if (isVisible())
        return marginsOf(this);
    // Not shown yet: the desktop decorates it as it does the start window.
    if (const QWidget* start = Windows::existing(QString::fromLatin1(kStartWindowName));
        start && start->isVisible())
        return marginsOf(start);
    return QMargins();
}

void FrmProcessMulti::fitToScreen(const QRect& available) {
    if (!available.isValid())
        return;
    const QSize design = twipsRect(0, 0, 15915, 9285).size();
    const QMargins m = outerMargins();
    const double across =
        static_cast<double>(available.width() - m.left() - m.right()) / design.width();
    const double down =
        static_cast<double>(available.height() - m.top() - m.bottom()) / design.height();
    m_scale = std::clamp(std::min(across, down), 0.25, 1.0);
    auto scaled = [this](const QRect& r) {
        return QRect(QPoint(static_cast<int>(std::lround(r.left() * m_scale)),
                            static_cast<int>(std::lround(r.top() * m_scale))),
                     QPoint(static_cast<int>(std::lround((r.right() + 1) * m_scale)) - 1,
                            static_cast<int>(std::lround((r.bottom() + 1) * m_scale)) - 1));
    };
    setFixedSize(scaled(QRect(QPoint(0, 0), design)).size());
    for (const auto& [control, geometry] : m_design)
        control->setGeometry(scaled(geometry));
    fitCaptions(this);

    // Beside the start window: on its right, else on its left, else over its right part.
    const QSize outer = size().grownBy(m);
    QPoint at = available.topLeft();
    if (const QWidget* start = Windows::existing(QString::fromLatin1(kStartWindowName));
        start && start->isVisible()) {
        const QRect beside = start->frameGeometry();
        at.setY(beside.top());
        if (beside.right() + 1 + outer.width() <= available.right() + 1)
            at.setX(beside.right() + 1);
        else if (beside.left() - outer.width() >= available.left())
            at.setX(beside.left() - outer.width());
        else
            at.setX(available.right() + 1 - outer.width());
    }
    at.setX(std::clamp(at.x(), available.left(),
                       std::max(available.left(), available.right() + 1 - outer.width())));
    at.setY(std::clamp(at.y(), available.top(),
                       std::max(available.top(), available.bottom() + 1 - outer.height())));
    move(at);
}

void FrmProcessMulti::buildTabOrder() {
    const QWidget* order[] = {m_c.cmd_dir,
                              m_c.Dir_list1,
                              m_c.cmd_load,
                              m_c.txt_file,
                              m_c.Label1,
                              m_c.Picture1,
                              m_c.cmd_process,
                              m_c.txt_max,
                              m_c.txt_current,
                              m_c.Label2,
                              m_c.txt_activity,
                              m_c.chk_micro,
                              m_c.cmd_reprocess_paths,
                              m_c.txt_x1,
                              m_c.txt_x2,
                              m_c.txt_y1,
                              m_c.txt_y2,
                              m_c.Label3,
                              m_c.Label4,
                              m_c.cmd_filtrar,
                              m_c.cmd_stop};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
}

// The design values of every control: what a freshly loaded window shows.
void FrmProcessMulti::resetToDesign() {
    m_c.Label1->setText(QStringLiteral("Folder:"));
    m_c.txt_file->setText(designFileText());
    m_c.cmd_dir->setText(QStringLiteral("..."));
    m_c.cmd_load->setText(QStringLiteral("LOAD"));
    m_c.txt_current->setText(QStringLiteral("0"));
    m_c.Dir_list1->hide();
    m_c.Picture1->clearPicture();
    m_c.Picture1->resetScale();
    m_c.Picture1->setScale(0.0, 0.0, 1600.0, 1200.0);
    m_c.Picture1->setDrawWidth(1);
    m_c.Picture1->cls();
    m_c.Picture1->show();
    m_c.chk_micro->setText(QStringLiteral("Microbeam mode"));
    m_c.chk_micro->setChecked(false);
    m_c.txt_max->setText(QStringLiteral("10"));
    m_c.cmd_process->setText(QStringLiteral("PROCESS"));
    m_c.cmd_reprocess_paths->setText(QStringLiteral("REPROCESS"));
    m_c.Label3->setText(QStringLiteral("X-Limits"));
    m_c.txt_x1->setText(QStringLiteral("txt_x1"));
    m_c.txt_x2->setText(QStringLiteral("txt_x2"));
    m_c.Label4->setText(QStringLiteral("Y-Limits"));
    m_c.txt_y1->setText(QStringLiteral("txt_y1"));
    m_c.txt_y2->setText(QStringLiteral("txt_y2"));
    m_c.Label2->setText(QStringLiteral("ACTIVITY="));
    m_c.txt_activity->setText(QStringLiteral("0"));
    m_c.lbl_block->clear();
    m_c.cmd_filtrar->setText(QStringLiteral("Filtrar Archivos con errores"));
    m_c.cmd_stop->setText(QStringLiteral("stop"));
    m_c.Timer2->start(); // enabled at design; idle while no run is on
    fitCaptions(this);
}

void FrmProcessMulti::FormLoad() {
    m_loaded = true;
    m_run->resetForLoad();
    m_check->resetForLoad();
    m_dirFolder = QDir(m_services.programFolder).absolutePath();
    fillDirList();
}

void FrmProcessMulti::setVisible(bool visible) {
    if (visible && !m_loaded) {
        resetToDesign();
        FormLoad();
    }
    if (visible && !isVisible()) {
        const QWidget* start = Windows::existing(QString::fromLatin1(kStartWindowName));
        const QScreen* screen = start && start->isVisible() ? start->screen() : this->screen();
        if (screen)
            fitToScreen(screen->availableGeometry());
    }
    QWidget::setVisible(visible);
}

void FrmProcessMulti::closeEvent(QCloseEvent* event) {
    FormUnload();
    event->accept();
}

void FrmProcessMulti::FormUnload() {
    // A run or a check of this window stops first; handlers that wait stop when they resume.
    m_run->stopForClose();
    m_check->stopForClose();
    m_life.renew();
    m_loaded = false;
    m_c.Timer2->stop();
    hide();
    QPointer<QWidget> start(Windows::window(QString::fromLatin1(kStartWindowName)));
    if (start) {
        start->setVisible(true);
        if (start) {
            start->show();
            start->raise();
        }
    }
}

// ---- Folder list -------------------------------------------------------------------------

void FrmProcessMulti::cmdDirClick() {
    if (m_c.Dir_list1->isVisibleTo(this)) {
        m_c.Dir_list1->hide();
        m_c.cmd_dir->setText(QStringLiteral("..."));
    } else {
        m_c.Dir_list1->show();
        m_c.Dir_list1->raise();
        m_c.cmd_dir->setText(QStringLiteral("Ok"));
    }
}

void FrmProcessMulti::fillDirList() {
    m_c.Dir_list1->clear();
    const QDir dir(m_dirFolder);
    if (!dir.isRoot())
        m_c.Dir_list1->addItem(QStringLiteral(".."));
    m_c.Dir_list1->addItems(
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
}

void FrmProcessMulti::setDirListFolder(const QString& folder) {
    const QString path = QDir(folder).absolutePath();
    if (!QFileInfo(path).isDir() || path == m_dirFolder)
        return;
    m_dirFolder = path;
    fillDirList();
    DirList1Change();
}

void FrmProcessMulti::DirList1Change() {
    m_c.txt_file->setText(m_dirFolder);
}

// ---- LOAD --------------------------------------------------------------------------------

void FrmProcessMulti::cmdLoadClick() {
    HandlerGuard guard(m_life, "cmdLoadClick");
    if (!guard.entered())
        return;
    m_c.cmd_dir->setText(QStringLiteral("..."));
    m_c.Dir_list1->hide();

    const QString folder = m_c.txt_file->text();
    const std::optional<std::string> first = microbeam::firstFrameName(toStd(folder));
    if (!first) {
        m_services.dialogs->message(QStringLiteral("File 0 not found"));
        return;
    }
    QString limits = QString::fromStdString(microbeam::limitsFolder(toStd(folder)));
    const std::string prefix = microbeam::framePrefix(toStd(folder), *first);
    const QString frame0 = QString::fromStdString(microbeam::framePath(prefix, 0));
    if (!QFileInfo::exists(frame0)) {
        const bool yes =
            m_services.dialogs->question(QStringLiteral("File 0 not found. Copy File1 to File0?"));
        if (!yes || !guard.alive())
            return;
        // A copy that fails ends LOAD.
        if (!formats::copyFileAtomic(microbeam::framePath(prefix, 1), toStd(frame0)).empty())
            return;
    }
    LoadArenaLimits(limits);
    if (!guard.alive())
        return;
    m_frameSize = loadFrameSize();
    if (!ShowImage(frame0) || !guard.alive())
        return;
    DrawArenaOutline();
}

void FrmProcessMulti::LoadArenaLimits(QString& folder) {
    const microbeam::ArenaLimitsLoad load =
        microbeam::LoadArenaLimits(toStd(folder), toStd(m_services.programFolder));
    QLineEdit* const boxes[] = {m_c.txt_x1, m_c.txt_x2, m_c.txt_y1, m_c.txt_y2};
    for (std::size_t i = 0; i < microbeam::kArenaLimitCount; ++i)
        if (load.limits[i])
            boxes[i]->setText(QString::fromStdString(*load.limits[i]));
    folder = QString::fromStdString(load.folder);
    if (load.failed)
        m_services.dialogs->message(QStringLiteral("Error reading training.dat file"));
}

QSize FrmProcessMulti::loadFrameSize() const {
    return m_c.chk_micro->isChecked() ? QSize(640, 480) : QSize(1600, 1200);
}

bool FrmProcessMulti::ShowImage(const QString& file, bool quiet) {
    PictureBox* pic = m_c.Picture1;
    pic->hide();
    pic->clearPicture();
    pic->cls();
    QImage picture;
    QString refusal;
    if (!readPictureFile(file, picture, &refusal)) {
        // A pipe or a device in a frame's place is refused and named, never waited on.
        if (!refusal.isEmpty() && !quiet)
            m_services.dialogs->message(refusal);
        return false;
    }
    const QSize size = m_frameSize.value_or(QSize(1600, 1200));
    if (picture.size() != size) {
        // Painting a region the frame does not have would read past its end.
        if (quiet)
            return false;
        m_services.dialogs->message(QStringLiteral("Frame size %1 x %2 differs from %3 x %4: %5")
                                        .arg(picture.width())
                                        .arg(picture.height())
                                        .arg(size.width())
                                        .arg(size.height())
                                        .arg(QDir::toNativeSeparators(file)));
        return false;
    }
    pic->paintPicture(picture, QRect(QPoint(0, 0), size));
    pic->keepAsPicture();
    pic->setScale(0.0, 0.0, 1600.0, 1200.0);
    pic->show();
    pic->repaint();
    return true;
}

void FrmProcessMulti::DrawArenaOutline() {
    const auto x1 = microbeam::limitValue(toStd(m_c.txt_x1->text()));
    const auto x2 = microbeam::limitValue(toStd(m_c.txt_x2->text()));
    const auto y1 = microbeam::limitValue(toStd(m_c.txt_y1->text()));
    const auto y2 = microbeam::limitValue(toStd(m_c.txt_y2->text()));
    // A limit beyond 16 bits draws nothing.
    if (!x1 || !x2 || !y1 || !y2)
        return;
    PictureBox* pic = m_c.Picture1;
    pic->setDrawWidth(microbeam::kOutlinePenWidth);
    for (const microbeam::OutlineStroke& stroke :
         microbeam::arenaOutline(*x1, *x2, *y1, *y2).strokes)
        pic->line(stroke.x1, stroke.y, stroke.x2, stroke.y, kRed);
}

} // namespace ui
