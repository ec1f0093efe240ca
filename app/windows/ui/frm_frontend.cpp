#include "app/windows/ui/frm_frontend.h"

#include "app/acquisition/ui/acquisition_run_controller.h"
#include "app/device/device_client.h"
#include "app/device/logger_lock.h"
#include "app/device/names.h"
#include "app/device/settings.h"
#include "app/device/ui/focus_controller.h"
#include "app/device/ui/light_controller.h"
#include "app/device/ui/training_boxes_view.h"
#include "app/results/ui/report_frame_controller.h"
#include "app/training/ui/plate_controller.h"
#include "app/training/ui/training_controller.h"
#include "app/widgets/background_work.h"
#include "app/widgets/caption_fit.h"
#include "app/widgets/clickable_label.h"
#include "app/widgets/control_factory.h"
#include "app/widgets/picture_box.h"
#include "app/widgets/twips.h"
#include "app/widgets/window_registry.h"
#include "app/windows/browser.h"
#include "app/windows/layout.h"
#include "app/windows/ui/window_shell.h"
#include "formats/frame_names.h"
#include "formats/save_file.h"
#include "formats/training_file.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace ui {

namespace {

constexpr int kBlack = colourValue(0, 0, 0);

// The design window: 1024 x 768 pixels (15360 x 11520 twips).
constexpr int kDesignWidth = 1024;
constexpr int kDesignHeight = 768;

// How often a close that came during a stop is tried again.
constexpr int kCloseAfterStopMs = 50;

} // namespace

FrmFrontend::FrmFrontend(const platform::Services& services, QWidget* parent)
    : ShellWindow(parent), m_services(services),
      m_deviceClient(std::make_shared<device::DeviceClient>(services)) {
    startShell(kWindowName, QStringLiteral("Front end"));
    // Requests to the device run beside the window; closing it abandons their wait.
    m_deviceClient->setRequestRunner(requestsBesideWindow(m_life));
    buildMenus();
    setShellParts(m_c.menuBar, m_client);
    buildDevicePanel();
    buildSetupPage();
    makeAcquisitionPage(m_c, m_client);
    buildResultsFrame();
    makeAcquisitionReportFrame(m_c, m_client);
    buildSpareControls();
    buildTimers();
    buildControllers();
    connectHandlers();
    resize(kDesignWidth, kDesignHeight);
    FormLoad();
}

FrmFrontend::~FrmFrontend() {
    m_life.end();
}

QString FrmFrontend::programFile(const QString& name) const {
    return QDir(m_services.programFolder).filePath(name);
}

QString FrmFrontend::deviceAddress() const {
    return m_c.txt_ip1->text();
}

QString FrmFrontend::projectFolderName() const {
    return device::cleanProjectName(m_c.txt_project->text());
}

QString FrmFrontend::projectFolder() const {
    return QDir(m_services.programFolder).filePath(projectFolderName());
}

// ---- State kept by the page controllers ----------------------------------------------------

std::int16_t FrmFrontend::TargetCount() const {
    return m_plate->TargetCount();
}
void FrmFrontend::setTargetCount(std::int16_t count) {
    m_plate->setTargetCount(count);
}
double FrmFrontend::LightLevel() const {
    return m_light->LightLevel();
}
void FrmFrontend::setLightLevel(double level) {
    m_light->setLightLevel(level);
}
int FrmFrontend::lampValue() const {
    return m_light->lampValue();
}
bool FrmFrontend::LightChanged() const {
    return m_light->LightChanged();
}
bool FrmFrontend::focusRunning() const {
    return m_focus->focusRunning();
}
bool FrmFrontend::LapseChanged() const {
    return m_run->LapseChanged();
}
void FrmFrontend::setLapseChanged(bool changed) {
    m_run->setLapseChanged(changed);
}
bool FrmFrontend::autoconnectOn() const {
    return m_run->autoconnectOn();
}
QString FrmFrontend::autoconnectNetwork() const {
    return m_run->autoconnectNetwork();
}
QString FrmFrontend::runFolder() const {
    return m_run->runFolder();
}
void FrmFrontend::setRunFolder(const QString& folder) {
    m_run->setRunFolder(folder);
}
std::int32_t FrmFrontend::lastTimeMark() const {
    return m_run->lastTimeMark();
}
void FrmFrontend::setLastTimeMark(std::int32_t mark) {
    m_run->setLastTimeMark(mark);
}
bool FrmFrontend::ShowImage(const QString& file) {
    return m_plate->ShowImage(file);
}
bool FrmFrontend::DrawPlateOverlay() {
    return m_plate->DrawPlateOverlay();
}
void FrmFrontend::FocusButtonClick() {
    m_focus->FocusButtonClick();
}
void FrmFrontend::FocusModeTick() {
    m_focus->FocusModeTick();
}

// ---- Building the window -----------------------------------------------------------------

void FrmFrontend::buildMenus() {
    m_c.menuBar = new QMenuBar(this);
    m_c.menuBar->setObjectName("menuBar");
    m_c.mntools = makeMenu(m_c.menuBar, "mntools", QStringLiteral("Tools"));
    m_c.mnbluen = makeMenuItem(m_c.mntools, "mnbluen", QStringLiteral("Enable BlueLight"), true);
    // The autoconnect item sets its own check mark (a click must not flip it first).
    m_c.mn_autoconnect =
        makeMenuItem(m_c.mntools, "mn_autoconnect", QStringLiteral("autoconnect WiFi Network"));
    m_c.mn_beta = makeMenu(m_c.mntools, "mn_beta", QStringLiteral("Beta Test options"));
    m_c.mn_invariable =
        makeMenuItem(m_c.mn_beta, "mn_invariable", QStringLiteral("Round Shape Organism"), true);
    m_c.mn_about = makeMenu(m_c.menuBar, "mn_about", QStringLiteral("About"));
    m_c.mn_credit = makeMenuItem(m_c.mn_about, "mn_credit", QStringLiteral("Credits"));
}

void FrmFrontend::buildDevicePanel() {
    QWidget* c = m_client;
    // Device address and the picture.
    m_c.Shape_device = makeShape(c, "Shape_device", QRect(59, 19, 230, 30));
    m_c.lbl_ip = makeLabel(c, "lbl_ip", QStringLiteral("Device ID"), QRect(74, 22, 77, 20));
    m_c.txt_ip1 = makeEdit(c, "txt_ip1", QStringLiteral("192.168.4.1"), QRect(135, 19, 154, 30));
    m_c.Picture1 = makePicture(c, "Picture1", QSize(1600, 1200), QRect(59, 59, 568, 571));
    m_c.Picture2 = makePicture(c, "Picture2", QSize(1600, 1200), QRect(59, 59, 568, 571));
    m_c.Image1 = makeLabel(c, "Image1", QString(), QRect(59, 59, 568, 571));
    m_c.Image1->hide();
    m_c.Picture_progress =
        makePicture(c, "Picture_progress", QSize(640, 16), QRect(59, 641, 492, 27));
    m_c.lbl_time = makeLabel(c, "lbl_time", QStringLiteral("00:00"), QRect(551, 641, 77, 27));
    m_c.Picture_post = makePicture(c, "Picture_post", QSize(400, 400), QRect(476, 60, 150, 150));
    // The trail map of a run: shown with the acquisition page (see eventFilter).
    m_c.Picture_post->hide();

    // Light frame, inside the picture.
    m_c.frm_contrast = makeGroup(m_c.Picture1, "frm_contrast", QString(), QRect(0, 0, 214, 48));
    m_c.frm_contrast->setAutoFillBackground(true); // drawn over the picture
    m_c.Label_light =
        makeLabel(m_c.frm_contrast, "Label_light", QStringLiteral("Light "), QRect(6, 16, 72, 24));
    m_c.cmd_light_less =
        makeButton(m_c.frm_contrast, "cmd_light_less", QStringLiteral("-"), QRect(80, 14, 30, 28));
    m_c.cmd_light_more =
        makeButton(m_c.frm_contrast, "cmd_light_more", QStringLiteral("+"), QRect(112, 14, 30, 28));
    m_c.cmd_light_auto = makeButton(m_c.frm_contrast, "cmd_light_auto", QStringLiteral("default"),
                                    QRect(146, 14, 62, 28));

    // Status messages.
    m_c.frame_messages =
        makeMessageFrame(c, QRect(80, 300, 420, 40), QRect(10, 8, 400, 24), &m_c.lbl_messages);

    // Project.
    m_c.Label_projects =
        makeLabel(c, "Label_projects", QStringLiteral("Project Name"), QRect(643, 23, 284, 20));
    m_c.txt_project =
        makeEdit(c, "txt_project", QStringLiteral("default"), QRect(643, 57, 253, 22));
    m_c.cmd_explore_pj =
        makeButton(c, "cmd_explore_pj", QStringLiteral(",,,"), QRect(896, 56, 31, 22));
    m_c.list_projects = new QListWidget(c);
    m_c.list_projects->setObjectName("list_projects");
    m_c.list_projects->setGeometry(QRect(643, 81, 284, 134));
    m_c.list_projects->hide();
}

void FrmFrontend::buildSetupPage() {
    makeSetupFrame(m_c, m_client, QRect(643, 86, 284, 546));
    m_c.cmd_focus =
        makeButton(m_c.frame_limits, "cmd_focus", QStringLiteral("FOCUS"), QRect(23, 107, 182, 33));
    m_c.lbl_next = makeClickable(m_c.frm_preview, "lbl_next", QStringLiteral("Next >"),
                                 QRect(170, 491, 71, 20));
}

void FrmFrontend::buildResultsFrame() {
    QWidget* c = m_client;
    // Results.
    m_c.frame_results =
        makeGroup(c, "frame_results", QStringLiteral("Results"), QRect(643, 389, 284, 286));
    QWidget* r = m_c.frame_results;
    m_c.lbl_detpart =
        makeLabel(r, "lbl_detpart", QStringLiteral("Particles"), QRect(14, 21, 85, 20));
    m_c.lbl_particle = makeLabel(r, "lbl_particle", QString(), QRect(14, 43, 82, 29));
    m_c.lbl_avrgspeed =
        makeLabel(r, "lbl_avrgspeed", QStringLiteral("Speed[mm/s]"), QRect(99, 21, 85, 20));
    m_c.lbl_speed = makeLabel(r, "lbl_speed", QString(), QRect(99, 43, 82, 29));
    m_c.lbl_trvldist =
        makeLabel(r, "lbl_trvldist", QStringLiteral("Distance[mm]"), QRect(184, 21, 85, 20));
    m_c.lbl_distance = makeLabel(r, "lbl_distance", QString(), QRect(184, 43, 85, 29));
    m_c.Picture3 = makePicture(r, "Picture3", QSize(400, 200), QRect(14, 79, 256, 150));
    m_c.lbl_speedhisto =
        makeLabel(r, "lbl_speedhisto", QStringLiteral("Speed Histogram"), QRect(14, 229, 114, 20));
    m_c.cmdreport = makeButton(r, "cmdreport", QStringLiteral("Report"), QRect(142, 229, 128, 36));
    m_c.label_frame = makeLabel(r, "label_frame", QString(), QRect(171, 267, 107, 18));
    m_c.lbl_turnings = makeLabel(r, "lbl_turnings", QString(), QRect(184, 60, 85, 20));
    m_c.lbl_turnings->hide();
}

void FrmFrontend::buildSpareControls() {
    QWidget* c = m_client;
    // Spare controls of the design.
    m_c.Label6 = makeLabel(c, "Label6", QString(), QRect(0, 0, 10, 10));
    m_c.Label6->hide();
    m_c.Label11 = makeLabel(c, "Label11", QString(), QRect(0, 0, 10, 10));
    m_c.Label11->hide();
    m_c.Combo1 = new QComboBox(c);
    m_c.Combo1->setObjectName("Combo1");
    m_c.Combo1->hide();
    m_c.Command9 = makeButton(c, "Command9", QString(), QRect(0, 0, 10, 10));
    m_c.Command9->hide();

    m_c.frm_contrast->raise();
    m_c.frame_messages->raise();
    m_c.list_projects->raise();
    m_c.frame_setupmas->raise(); // above its neighbours when shown
}

void FrmFrontend::buildTimers() {
    m_c.Timeracq = makeTimer(this, "Timeracq", 1000, true);
    m_c.Timer_focus = makeTimer(this, "Timer_focus", 1000, false);
    m_c.Timer_autoload = makeTimer(this, "Timer_autoload", 100, false);
    m_c.Timer_cycle = makeTimer(this, "Timer_cycle", 5000, false);
}

void FrmFrontend::buildControllers() {
    m_light = new LightController({m_c.frm_contrast, m_c.Label_light, m_c.cmd_light_less,
                                   m_c.cmd_light_more, m_c.cmd_light_auto},
                                  this);
    m_focus = new FocusController({m_c.cmd_focus, m_c.Timer_focus, m_c.frm_contrast}, *m_light,
                                  m_deviceClient, m_services, m_life,
                                  {[this] { return deviceAddress(); },
                                   [this] { return CapturePreview(); },
                                   [this](const QString& text) { setMessage(text); }},
                                  this);
    m_plate = new PlateController(
        {m_c.Picture1, m_c.txt_x1, m_c.txt_x2, m_c.txt_y1, m_c.txt_y2, m_c.txt_npix, m_c.txt_psize,
         m_c.HScroll_plate, m_c.cmd_offset_left, m_c.cmd_offset_right, m_c.cmd_offset_down,
         m_c.cmd_offset_up},
        m_services, m_life,
        {[this] { return m_c.Opt_acq[0]->isChecked(); }, [this] { return m_pageState >= 1; }},
        this);
    TrainingHooks training;
    training.window = training::TrainingWindow::Acquisition;
    training.pageState = [this] { return static_cast<int>(m_pageState); };
    training.showPreview = [this] {
        return m_plate->ShowImage(programFile(QString::fromLatin1(formats::kPreviewFileName)));
    };
    training.writeTrainingFile = [this] { return WriteTrainingFile(); };
    training.roundShape = [this] { return m_c.mn_invariable->isChecked(); };
    m_training = new TrainingController(
        {m_c.Picture1, m_c.cmd_detect, m_c.cmd_clear, m_c.cmd_focus, m_c.lbl_last_training,
         m_c.txt_npix, m_c.txt_x1, m_c.txt_x2, m_c.txt_y1, m_c.txt_y2, m_c.txt_pixmin,
         m_c.txt_pixmax, m_c.txt_umbralmin, m_c.txt_umbralmax, m_c.txt_lenmin,
         m_c.txt_umbral_analisis, m_c.txt_lenmax, m_c.txt_maxtravel},
        *m_plate, m_services, m_life, std::move(training), this);
    m_report = new ReportFrameController(
        {m_c.Frame_report, m_c.combo_bin, m_c.txt_spacer, m_c.lbl_path, m_c.cmd_generate,
         m_c.cmd_cancelreport, m_c.cmdreport, m_c.txt_x1, m_c.txt_x2, m_c.txt_y1, m_c.txt_y2,
         m_c.txt_psize},
        m_services, m_life,
        {[this] { return m_c.txtlapse->text(); }, [this] { return m_run->runFolder(); }}, this);

    RunControls run;
    run.txtlapse = m_c.txtlapse;
    run.chk_stimulus = m_c.chk_stimulus;
    run.chk_cycle = m_c.chk_cycle;
    run.shape_cycle = m_c.shape_cycle;
    run.txt_ncycle = m_c.txt_ncycle;
    run.lbl_everycycle = m_c.lbl_everycycle;
    run.txt_mcycle = m_c.txt_mcycle;
    run.lbl_mcycle = m_c.lbl_mcycle;
    run.chk_onlyimg = m_c.chk_onlyimg;
    run.lbl_stimated = m_c.lbl_stimated;
    run.lbl_back2 = m_c.lbl_back2;
    run.cmdPlay = m_c.cmdPlay;
    run.Timeracq = m_c.Timeracq;
    run.Timer_cycle = m_c.Timer_cycle;
    run.mn_autoconnect = m_c.mn_autoconnect;
    run.mn_invariable = m_c.mn_invariable;
    run.txt_ip1 = m_c.txt_ip1;
    run.txt_project = m_c.txt_project;
    run.trackingMode = m_c.Opt_acq[0];
    run.txt_x1 = m_c.txt_x1;
    run.txt_x2 = m_c.txt_x2;
    run.txt_y1 = m_c.txt_y1;
    run.txt_y2 = m_c.txt_y2;
    run.txt_psize = m_c.txt_psize;
    run.txt_maxtravel = m_c.txt_maxtravel;
    run.frame_messages = m_c.frame_messages;
    run.lbl_messages = m_c.lbl_messages;
    run.Picture1 = m_c.Picture1;
    run.Picture_post = m_c.Picture_post;
    run.Picture_progress = m_c.Picture_progress;
    run.lbl_time = m_c.lbl_time;
    run.label_frame = m_c.label_frame;
    run.frame_results = m_c.frame_results;
    run.Frame_report = m_c.Frame_report;
    run.cmdreport = m_c.cmdreport;
    run.lbl_particle = m_c.lbl_particle;
    run.lbl_distance = m_c.lbl_distance;
    run.lbl_speed = m_c.lbl_speed;
    run.Picture3 = m_c.Picture3;
    RunHooks hooks;
    hooks.lampValue = [this] { return m_light->lampValue(); };
    // A frame of the live run is read beside the window: it comes every second.
    hooks.showImage = [this](const QString& file) { return m_plate->ShowImageBesideWindow(file); };
    hooks.saveSettings = [this] {
        SaveDeviceIp();
        SaveConfigFile();
    };
    hooks.connectDevice = [this](int mode) { return ConnectDevice(mode); };
    m_run = new AcquisitionRunController(run, m_deviceClient, m_services, m_life, std::move(hooks),
                                         this);
}

void FrmFrontend::connectHandlers() {
    connect(m_c.lbl_back, &ClickableLabel::clicked, this, &FrmFrontend::lblBackClick);
    connect(m_c.lbl_back2, &ClickableLabel::clicked, this, &FrmFrontend::lblBack2Click);
    connect(m_c.lbl_next, &ClickableLabel::clicked, this, &FrmFrontend::lblNextClick);
    connect(m_c.cmd_explore_pj, &QPushButton::clicked, this, &FrmFrontend::cmdExploreProjectsClick);
    connect(m_c.list_projects, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem*) { listProjectsDoubleClick(); });
    connect(m_c.cmd_mas, &QPushButton::clicked, this, &FrmFrontend::cmdMasClick);
    connect(m_c.mnbluen, &QAction::triggered, this, &FrmFrontend::mnBlueLightClick);
    connect(m_c.mn_invariable, &QAction::triggered, this, &FrmFrontend::mnInvariableClick);
    connect(m_c.mn_credit, &QAction::triggered, this, &FrmFrontend::mnCreditClick);
    for (int i = 0; i < 2; ++i) {
        connect(m_c.Opt_acq[i], &QRadioButton::clicked, this, [this, i] { optAcqClick(i); });
        m_c.Opt_acq[i]->installEventFilter(this);
    }
    connect(m_c.txt_project, &QLineEdit::textChanged, this, &FrmFrontend::txtProjectChange);
    m_c.txt_project->installEventFilter(this);
    m_c.frm_acquire->installEventFilter(this);
    connect(m_c.Timer_autoload, &QTimer::timeout, this, &FrmFrontend::AutoloadPreviewTick);
}

// ---- Load, unload and layout -------------------------------------------------------------

void FrmFrontend::FormLoad() {
    HandlerGuard guard(m_life);
    m_pageState = 0;

    m_c.Timeracq->stop();
    m_c.Timer_focus->stop();
    m_focus->clearFocusRunning();

    m_c.frm_contrast->hide();
    m_c.frm_preview->hide();
    m_c.Picture_progress->hide();
    m_c.lbl_time->hide();
    m_c.Picture2->hide();
    m_c.Picture2->setGeometry(m_c.Picture1->geometry());
    m_c.frame_results->hide();
    m_plate->setTargetCount(-1);

    LoadDeviceSettings();
    trainingRestore();
    if (m_services.clock)
        m_services.clock->pause(20);
    if (!guard.alive())
        return;
    LoadTraining(m_services.programFolder);
    if (!guard.alive())
        return;

    m_c.chk_stimulus->hide();
    m_c.chk_stimulus->setChecked(false);
    m_run->setAutoconnect(false, AcquisitionRunController::defaultNetworkName());

    // The slider's range, then its value; the value is held to the range, and PageState 0
    // keeps the change handler from moving the analysis area.
    m_plate->syncSlider();
    m_report->resetBlockChoices();

    for (QWidget* w :
         {static_cast<QWidget*>(m_c.txt_ncycle), static_cast<QWidget*>(m_c.lbl_everycycle),
          static_cast<QWidget*>(m_c.txt_mcycle), static_cast<QWidget*>(m_c.lbl_mcycle),
          static_cast<QWidget*>(m_c.chk_stimulus), static_cast<QWidget*>(m_c.shape_cycle)})
        w->hide();

    m_c.frame_limits->setEnabled(false);
    m_c.frame_train->setEnabled(false);
    m_c.cmd_focus->setEnabled(false);

    // The prompt: a fifth of the way across, half way down.
    PictureBox* pic = m_c.Picture1;
    const double width = pic->scaleRight() - pic->scaleLeft();
    const double height = pic->scaleBottom() - pic->scaleTop();
    pic->printText(pic->scaleLeft() + width / 5.0, pic->scaleTop() + height / 2.0,
                   QStringLiteral("Configure Device IP and START Calibration "), kBlack, 48);

    m_run->setLapseChanged(false);
    m_c.frm_preview->show();
    m_c.frame_limits->setEnabled(true);
    m_c.frame_train->setEnabled(true);
    m_c.cmd_focus->setEnabled(true);
    m_pageState = 1;
    m_c.Timer_autoload->start();
}

void FrmFrontend::trainingRestore() {
    const QString program = programFile(QString::fromLatin1(formats::kTrainingFileName));
    const QString project =
        QDir(projectFolder()).filePath(QString::fromLatin1(formats::kTrainingFileName));
    const QString defaults = programFile(QString::fromLatin1(formats::kTrainingDefaultsFileName));
    if (QFileInfo(project).isFile())
        windows::copyFileWhole(project, program);
    else if (QFileInfo(defaults).isFile())
        windows::copyFileWhole(defaults, program);
}

void FrmFrontend::FormUnload() {
    if (!m_life.alive())
        return;
    // Handlers of this window and of its controllers that wait stop when they resume.
    m_life.end();
    m_c.Timer_focus->stop();
    m_c.Timer_autoload->stop();
    // The other work windows go with this one (the reanalysis window is not made for it; the
    // Microbeam window is made, and so loaded, hidden when it does not exist yet).
    if (QWidget* reanalysis = Windows::existing(QString::fromLatin1(kReanalysisWindowName)))
        reanalysis->hide();
    if (QWidget* microbeam = Windows::window(QString::fromLatin1(kMicrobeamWindowName)))
        microbeam->hide();
    hide();
    returnToStartWindow();
}

void FrmFrontend::LayoutControls() {
    layOut(&windows::frontendLayout, m_c.Opt_acq);
}

bool FrmFrontend::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_c.frm_acquire &&
        (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)) {
        // The trail map belongs to the acquisition page.
        m_c.Picture_post->setVisible(event->type() == QEvent::ShowToParent);
        if (m_c.Picture_post->isVisibleTo(m_client))
            m_c.Picture_post->raise();
    } else if (event->type() == QEvent::FocusOut && watched == m_c.txt_project) {
        txtProjectLostFocus();
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        for (int i = 0; i < 2; ++i)
            if (watched == m_c.Opt_acq[i]) {
                optAcqDoubleClick(i);
                return true;
            }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Page changes and the shell's own controls ---------------------------------------------

void FrmFrontend::lblBackClick() {
    if (QWidget* start = Windows::window(QString::fromLatin1(kStartWindowName)))
        start->show();
    close();
}

void FrmFrontend::closeEvent(QCloseEvent* event) {
    if (m_run->stopping()) {
        // A close while a stop waits (on the lamp of the device, on the helpers) is taken once
        // the stop has finished as Stop finishes it: lamp off tried twice, a failure said, the
        // converted frames deleted.
        event->ignore();
        if (!m_closeAfterStop) {
            m_closeAfterStop = true;
            QTimer::singleShot(kCloseAfterStopMs, this, [this] {
                m_closeAfterStop = false;
                close();
            });
        }
        return;
    }
    if (!m_run->askToStopRun()) {
        event->ignore();
        return;
    }
    ShellWindow::closeEvent(event);
}

void FrmFrontend::lblBack2Click() {
    HandlerGuard guard(m_life);
    // A cycle series between two of its runs is as much on as a run: left armed, its next
    // cycle would start behind the set-up page.
    if (!m_run->askToStopRun() || !guard.alive())
        return;
    // A start that waits on the device starts nothing behind the set-up page.
    m_run->abandonWaits();
    m_pageLife.renew();
    m_c.frame_messages->hide(); // what the last run said goes with its page
    m_c.Picture_progress->cls();
    m_run->setLastTimeMark(0);
    m_c.lbl_time->setText(QStringLiteral("00:00"));
    m_c.lbl_stimated->hide();
    m_pageState = 1;
    m_c.frm_acquire->hide();
    m_c.Picture_progress->hide();
    m_c.lbl_time->hide();
    m_c.frm_preview->show();
    m_c.Frame_report->hide();
    m_c.frame_results->hide();
}

void FrmFrontend::lblNextClick() {
    HandlerGuard guard(m_life);
    // A box the finder would read as another number keeps the page, and out of training.dat.
    if (const QString refused = TrainingBoxesView(m_client).refusal(); !refused.isEmpty()) {
        m_services.dialogs->message(refused);
        return;
    }
    const bool saved = SaveConfigFile();
    if (!WriteTrainingFile() || !saved) {
        // The run would otherwise take an older training without a word.
        m_services.dialogs->message(
            QStringLiteral("The settings could not be saved in the program folder."));
        if (!guard.alive())
            return;
    }
    m_c.cmd_detect->setText(QStringLiteral("TEST TRAINING"));
    m_c.cmd_clear->setText(QStringLiteral("New"));
    // A connect or a preview that waits on the device is left with the set-up page: its late
    // answer sets nothing up and draws nothing over the acquisition page.
    if (m_pageLife.running("ConnectDevice"))
        m_c.frame_messages->hide();
    m_pageLife.renew();
    // The focus mode ends with the set-up page, its button back to "FOCUS".
    m_focus->endFocusMode();
    m_c.Picture_progress->show();
    m_c.lbl_time->show();
    m_c.frm_contrast->hide();
    m_c.frm_preview->hide();
    m_pageState = 2;
    m_plate->setTargetCount(-1);
    LoadProjectName();
    m_c.frm_acquire->show();
}
void FrmFrontend::cmdExploreProjectsClick() {
    if (!m_c.list_projects->isHidden()) {
        m_c.list_projects->hide();
        return;
    }
    m_c.list_projects->clear();
    // Folders only: on this platform programs carry no extension, so a listing of names
    // without an extension would offer the executables beside the projects.
    const QStringList entries =
        QDir(m_services.programFolder)
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    if (entries.isEmpty())
        return;
    for (const QString& entry : entries)
        if (!entry.startsWith(QLatin1Char('.')))
            m_c.list_projects->addItem(entry);
    m_c.list_projects->show();
    m_c.list_projects->raise();
}

void FrmFrontend::listProjectsDoubleClick() {
    HandlerGuard guard(m_life);
    QListWidgetItem* item = m_c.list_projects->currentItem();
    if (item) {
        m_c.txt_project->setText(item->text());
        const QString saved =
            QDir(projectFolder()).filePath(QString::fromLatin1(formats::kTrainingFileName));
        if (QFileInfo(saved).isFile()) {
            const bool load =
                m_services.dialogs->question(QStringLiteral("Load training from saved project?"));
            if (!guard.alive())
                return;
            if (load) {
                if (windows::copyFileWhole(
                        saved, programFile(QString::fromLatin1(formats::kTrainingFileName)))) {
                    LoadTraining(m_services.programFolder);
                    if (!guard.alive())
                        return;
                    CapturePreview();
                    if (!guard.alive())
                        return;
                } else {
                    m_services.dialogs->message(QStringLiteral("Error reading training.dat file"));
                    if (!guard.alive())
                        return;
                }
            }
        }
    }
    m_c.list_projects->hide();
}

void FrmFrontend::cmdMasClick() {
    m_c.frame_setupmas->setVisible(m_c.frame_setupmas->isHidden());
}

void FrmFrontend::mnBlueLightClick() {
    // The action has already flipped its own check mark.
    const bool on = m_c.mnbluen->isChecked();
    m_c.chk_stimulus->setVisible(on);
    m_c.chk_stimulus->setChecked(on);
}

void FrmFrontend::mnInvariableClick() {
    // Only its own check mark (flipped by the action); read when a command line is built.
}

void FrmFrontend::mnCreditClick() {
    showAboutWindow();
}

void FrmFrontend::optAcqClick(int index) {
    m_c.frame_train->setVisible(index != 1);
    ConnectDevice(1);
}

void FrmFrontend::optAcqDoubleClick(int) {
    ConnectDevice(1);
}

void FrmFrontend::txtProjectChange() {
    const QString text = m_c.txt_project->text();
    if (text.size() <= device::kMaxProjectNameLength)
        return;
    HandlerGuard guard(m_life);
    m_services.dialogs->message(QStringLiteral("32 characters Maximum"));
    if (!guard.alive())
        return;
    m_c.txt_project->setText(m_c.txt_project->text().left(device::kMaxProjectNameLength));
}

void FrmFrontend::txtProjectLostFocus() {
    const QString clean = device::SanitizeName(m_c.txt_project->text());
    if (clean != m_c.txt_project->text())
        m_c.txt_project->setText(clean);
}

// ---- Device link ---------------------------------------------------------------------------

void FrmFrontend::setMessage(const QString& text) {
    showStatusNow(m_c.lbl_messages, text);
}

int FrmFrontend::ConnectDevice(int mode) {
    // Leaving the page, or the window, ends the connect where it waits.
    HandlerGuard guard(m_pageLife, "ConnectDevice");
    if (!guard.entered())
        return -1; // a connect is already waiting on the device
    if (!device::mayDisturbLogger(m_services) || !guard.alive())
        return -1; // nothing is sent to the device of a run being recorded
    if (mode == 1) {
        m_c.frm_acquire->hide();
        m_c.frame_results->hide();
    }
    m_plate->setTargetCount(-1);
    setMessage(QStringLiteral("Connecting"));
    m_c.frame_messages->show();
    m_c.frame_messages->raise();
    m_services.clock->pause(300);
    if (!guard.alive())
        return -1;

    const QString address = deviceAddress();
    device::DeviceClient waiting = m_deviceClient->withRunner(requestsBesideWindow(m_pageLife));
    device::DeviceClient* const client = &waiting;
    int result = -1;
    const std::int16_t status = client->QueryStatus(address, QStringLiteral("0"));
    if (!guard.alive())
        return -1;
    if (status == -1) {
        // The device did not answer: no set-up, and the set-up page is left as it is.
        setMessage(device::kIpErrorStatus);
        const QString refused = device::DeviceClient::checkAddress(address);
        m_services.dialogs->message(refused.isEmpty() ? device::kIpErrorMessage : refused);
        if (!guard.alive())
            return -1;
        m_c.frame_messages->hide();
        return -1;
    }
    const int setupMode = m_c.Opt_acq[0]->isChecked() ? 0 : 1;
    QString error;
    const std::int16_t setup = client->ConfigureCamera(
        address, setupMode, device::SetupWindow::Acquisition, m_light->lampValue(),
        [this, &guard](const QString& text) {
            if (guard.alive())
                setMessage(text);
        },
        &error);
    if (!guard.alive())
        return -1;
    if (!error.isEmpty()) {
        m_services.dialogs->message(error);
        if (!guard.alive())
            return -1;
    }
    if (setup >= 1) {
        setMessage(QStringLiteral("Connecting"));
        m_pageState = static_cast<std::int16_t>(mode);
        CapturePreview();
        if (!guard.alive())
            return -1;
        result = 1;
    }
    if (mode == 1) {
        // Whether the set-up succeeded or not.
        m_c.frm_preview->show();
        m_c.frame_limits->setEnabled(true);
        m_c.frame_train->setEnabled(true);
        m_c.cmd_focus->setEnabled(true);
    }
    m_c.frame_messages->hide();
    return result;
}

bool FrmFrontend::CapturePreview() {
    // A preview that comes after the operator left the page is not drawn.
    HandlerGuard guard(m_pageLife);
    device::DeviceClient client = m_deviceClient->withRunner(requestsBesideWindow(m_pageLife));
    QString error;
    const bool fetched = client.CapturePreview(deviceAddress(), &error);
    if (!guard.alive())
        return false;
    if (!fetched) {
        m_services.dialogs->message(error);
        return false;
    }
    return m_plate->DrawPreviewOrSay();
}

void FrmFrontend::AutoloadPreviewTick() {
    HandlerGuard guard(m_life, "AutoloadPreviewTick");
    if (!guard.entered())
        return;
    // One capture after the window has loaded; the timer goes off first so that a capture
    // that waits (a message box) is not started again by the next tick.
    m_c.Timer_autoload->stop();
    CapturePreview();
}

// ---- Settings and training files -----------------------------------------------------------

void FrmFrontend::LoadDeviceSettings() {
    device::DeviceSettings settings;
    settings.deviceIp = m_c.txt_ip1->text();
    settings.projectName = m_c.txt_project->text();
    settings.lastTraining = m_c.lbl_last_training->text();
    settings.lightLevel = m_light->LightLevel();
    QString error;
    const bool ok = device::LoadDeviceSettings(m_services.programFolder, settings, &error);
    m_c.txt_ip1->setText(settings.deviceIp);
    m_c.txt_project->setText(settings.projectName);
    m_c.lbl_last_training->setText(settings.lastTraining);
    m_light->setLightLevel(settings.lightLevel);
    if (!ok && !error.isEmpty())
        m_services.dialogs->message(error);
}

void FrmFrontend::LoadProjectName() {
    if (const auto name = device::LoadProjectName(m_services.programFolder))
        m_c.txt_project->setText(*name);
}

bool FrmFrontend::SaveConfigFile() {
    return device::SaveConfigFile(m_services.programFolder, m_c.txt_project->text(),
                                  m_c.lbl_last_training->text(), m_light->LightLevel())
        .isEmpty();
}

bool FrmFrontend::SaveDeviceIp() {
    return device::SaveDeviceIp(m_services.programFolder, m_c.txt_ip1->text()).isEmpty();
}

void FrmFrontend::LoadTraining(const QString& folder) {
    HandlerGuard guard(m_life);
    const device::TrainingLoad load = device::loadTrainingAcquisition(folder);
    TrainingBoxesView(m_client).apply(load);
    bool ok = load.source != device::TrainingLoad::Source::Failed;
    if (load.source == device::TrainingLoad::Source::Defaults)
        ok = SaveConfigFile() && WriteTrainingFile();
    if (!ok && guard.alive())
        m_services.dialogs->message(QStringLiteral("Error reading training.dat file"));
}

bool FrmFrontend::WriteTrainingFile() {
    return TrainingBoxesView(m_client).write(m_services.programFolder, true).empty();
}

} // namespace ui
