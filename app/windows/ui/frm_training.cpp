#include "app/windows/ui/frm_training.h"

#include "app/acquisition/ui/acquisition_run_controller.h"
#include "app/acquisition/ui/reprocess_controller.h"
#include "app/device/device_client.h"
#include "app/device/logger_lock.h"
#include "app/device/training_boxes.h"
#include "app/device/ui/light_controller.h"
#include "app/device/ui/training_boxes_view.h"
#include "app/microbeam/ui/microbeam_run_controller.h"
#include "app/results/bad_frames.h"
#include "app/results/csv_exports.h"
#include "app/results/joint_report.h"
#include "app/results/ui/report_frame_controller.h"
#include "app/results/ui/trail_replay_controller.h"
#include "app/training/ui/plate_controller.h"
#include "app/training/ui/training_controller.h"
#include "app/widgets/background_work.h"
#include "app/widgets/box_values.h"
#include "app/widgets/caption_fit.h"
#include "app/widgets/clickable_label.h"
#include "app/widgets/control_factory.h"
#include "app/widgets/picture_box.h"
#include "app/widgets/twips.h"
#include "app/widgets/window_registry.h"
#include "app/windows/browser.h"
#include "app/windows/layout.h"
#include "app/windows/ui/browse_controller.h"
#include "app/windows/ui/window_shell.h"
#include "formats/frame_names.h"
#include "formats/training_file.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace ui {

namespace {

constexpr int kBlack = colourValue(0, 0, 0);

// The design window: 1024 x 768 pixels.
constexpr int kDesignWidth = 1024;
constexpr int kDesignHeight = 768;

} // namespace

FrmTraining::FrmTraining(const platform::Services& services, QWidget* parent)
    : ShellWindow(parent), m_services(services),
      m_deviceClient(std::make_shared<device::DeviceClient>(services)) {
    startShell(kWindowName, QStringLiteral("Plate Reanalysis"));
    // The lamp goes to the device beside the window; closing it abandons the wait.
    m_deviceClient->setRequestRunner(requestsBesideWindow(m_life));
    buildMenus();
    setShellParts(m_c.menuBar, m_client);
    buildPictures();
    buildBrowser();
    buildResultsFrame();
    buildSetupFrame();
    buildTimers();
    m_plate = new PlateController(
        {m_c.Picture1, m_c.txt_x1, m_c.txt_x2, m_c.txt_y1, m_c.txt_y2, m_c.txt_npix, m_c.txt_psize,
         m_c.HScroll_plate, m_c.cmd_offset_left, m_c.cmd_offset_right, m_c.cmd_offset_down,
         m_c.cmd_offset_up},
        m_services, m_life, {[] { return true; }, [this] { return m_pageState >= 1; }}, this);
    // Each change of the lamp goes to the device at once; its answer is not waited for.
    m_light = new LightController({m_c.frm_contrast, m_c.Label_light, m_c.cmd_light_less,
                                   m_c.cmd_light_more, m_c.cmd_light_auto},
                                  this, LightRules::reanalysisWindow([this](int lampValue) {
                                      HandlerGuard guard(m_life);
                                      if (!device::mayDisturbLogger(m_services) || !guard.alive())
                                          return;
                                      const auto client = m_deviceClient;
                                      client->SetLamp(m_c.txt_ip1->text(), lampValue);
                                  }));
    TrainingHooks training;
    training.window = training::TrainingWindow::Reanalysis;
    training.pageState = [this] { return static_cast<int>(m_pageState); };
    training.showPreview = [this] {
        return m_plate->ShowImage(programFile(QString::fromLatin1(formats::kPreviewFileName)));
    };
    training.writeTrainingFile = [this] { return WriteTrainingFile(m_services.programFolder); };
    training.reloadFirstFrame = [this] { return ReloadFirstFrame(); };
    training.roundShape = [this] { return m_c.mn_invariable->isChecked(); };
    m_training = new TrainingController(
        {m_c.Picture1, m_c.cmd_detect, m_c.cmd_clear, nullptr, m_c.lbl_last_training, m_c.txt_npix,
         m_c.txt_x1, m_c.txt_x2, m_c.txt_y1, m_c.txt_y2, m_c.txt_pixmin, m_c.txt_pixmax,
         m_c.txt_umbralmin, m_c.txt_umbralmax, m_c.txt_lenmin, m_c.txt_umbral_analisis,
         m_c.txt_lenmax, m_c.txt_maxtravel},
        *m_plate, m_services, m_life, std::move(training), this);
    ReprocessControls reprocess;
    reprocess.cmd_reprocess = m_c.cmd_reprocess;
    reprocess.cmd_prev = m_c.cmd_prev;
    reprocess.cmd_next = m_c.cmd_next;
    reprocess.cmd_del = m_c.cmd_del;
    reprocess.cmd_exportbmp = m_c.cmd_exportbmp;
    reprocess.cmd_stopprocess = m_c.cmd_stopprocess;
    reprocess.txt_nfile = m_c.txt_nfile;
    reprocess.Picture_progress = m_c.Picture_progress;
    reprocess.Picture1 = m_c.Picture1;
    reprocess.frame_messages = m_c.frame_messages;
    reprocess.lbl_messages = m_c.lbl_messages;
    reprocess.List_subproject = m_c.List_subproject;
    reprocess.Timeracq = m_c.Timeracq;
    reprocess.mn_masstrainingload = m_c.mn_masstrainingload;
    reprocess.mn_masstrainingapply = m_c.mn_masstrainingapply;
    reprocess.mn_reprocess = m_c.mn_reprocess;
    reprocess.mn_zstack = m_c.mn_zstack;
    reprocess.mn_zseq = m_c.mn_zseq;
    reprocess.mn_invariable = m_c.mn_invariable;
    reprocess.mn_backfilter = m_c.mn_backfilter;
    reprocess.trackingMode = m_c.Opt_acq[0];
    reprocess.txt_x1 = m_c.txt_x1;
    reprocess.txt_x2 = m_c.txt_x2;
    reprocess.txt_y1 = m_c.txt_y1;
    reprocess.txt_y2 = m_c.txt_y2;
    reprocess.txt_psize = m_c.txt_psize;
    reprocess.txt_maxtravel = m_c.txt_maxtravel;
    reprocess.txt_ip1 = m_c.txt_ip1;
    ReprocessHooks hooks;
    hooks.acquisitionFolder = [this] { return AcquisitionFolder(); };
    // A mass run moves the window to each acquisition it tracks: name, folder and picture.
    hooks.setAcquisitionFolder = [this](const QString& folder) {
        m_browse->enterAcquisition(folder, false);
    };
    hooks.processing = [this] { return m_processing; };
    hooks.setProcessing = [this](bool on) { m_processing = on; };
    hooks.projectName = [this] { return ProjectName(); };
    hooks.loadTraining = [this](const QString& folder) { LoadTraining(folder); };
    hooks.writeTrainingFile = [this](const QString& folder) {
        return QString::fromStdString(TrainingBoxesView(m_client).write(folder, false));
    };
    hooks.closePickList = [this] { m_plate->setTargetCount(-1); };
    hooks.startMicrobeamRun = [this] { m_microbeam->StartMicrobeamRun(); };
    hooks.replayRunning = [this] { return m_trailReplay->running(); };
    m_reprocess = new ReprocessController(reprocess, m_services, m_life, std::move(hooks), this);
    TrailReplayControls replay;
    replay.cmd_wormtrails = m_c.cmd_wormtrails;
    replay.cmd_exportbmp = m_c.cmd_exportbmp;
    replay.lbl_particle = m_c.lbl_particle;
    replay.lbl_distance = m_c.lbl_distance;
    replay.lbl_turnings = m_c.lbl_turnings;
    replay.lbl_speed = m_c.lbl_speed;
    replay.label_frame = m_c.label_frame;
    replay.Label_rotation = m_c.Label_rotation;
    replay.txt_nfile = m_c.txt_nfile;
    replay.txt_ip1 = m_c.txt_ip1;
    replay.txt_filepj = m_c.txt_filepj;
    replay.txt_x1 = m_c.txt_x1;
    replay.txt_x2 = m_c.txt_x2;
    replay.txt_y1 = m_c.txt_y1;
    replay.txt_y2 = m_c.txt_y2;
    replay.txt_psize = m_c.txt_psize;
    replay.Picture1 = m_c.Picture1;
    replay.Picture2 = m_c.Picture2;
    replay.Picture3 = m_c.Picture3;
    replay.Picture_progress = m_c.Picture_progress;
    replay.Timeracq = m_c.Timeracq;
    replay.mn_idmark = m_c.mn_idmark;
    replay.chk_bmp = m_c.chk_bmp;
    replay.chk_white = m_c.chk_white;
    TrailReplayHooks replayHooks;
    replayHooks.acquisitionFolder = [this] { return AcquisitionFolder(); };
    replayHooks.processing = [this] { return m_processing; };
    replayHooks.setProcessing = [this](bool on) { m_processing = on; };
    replayHooks.singleAnimal = [this] { return m_singleAnimal; };
    replayHooks.loadTraining = [this](const QString& folder) { LoadTraining(folder); };
    replayHooks.showImage = [this](const QString& file) { return m_plate->ShowImage(file); };
    replayHooks.drawPlateOutline = [this] { m_plate->DrawPlateOutline(); };
    replayHooks.endBatch = [this] { m_reprocess->replayTakesThePoll(); };
    m_trailReplay =
        new TrailReplayController(replay, m_services, m_life, std::move(replayHooks), this);
    // The Microbeam run of the Microbeam mode, started by the reprocess button.
    MicrobeamRunHooks microbeam;
    microbeam.processing = [this] { return m_processing; };
    microbeam.setProcessing = [this](bool on) { m_processing = on; };
    microbeam.acquisitionFolder = [this] { return AcquisitionFolder(); };
    microbeam.status = [this](const QString& text) { setMessage(text); };
    m_microbeam =
        new MicrobeamRunController(MicrobeamRunController::Window::Reanalysis,
                                   {m_c.cmd_reprocess, m_c.txt_nfile, m_c.txt_max, m_c.txt_activity,
                                    m_c.Picture1, m_c.Timer2, m_c.txt_file, nullptr, m_c.txt_ip1},
                                   m_services, m_life, std::move(microbeam), this);
    ReportFrameControls report;
    report.Frame_report = m_c.Frame_report;
    report.combo_bin = m_c.combo_bin;
    report.txt_spacer = m_c.txt_spacer;
    report.txt_x1 = m_c.txt_x1;
    report.txt_x2 = m_c.txt_x2;
    report.txt_y1 = m_c.txt_y1;
    report.txt_y2 = m_c.txt_y2;
    report.txt_psize = m_c.txt_psize;
    report.cmd_report_calc = m_c.cmd_report_calc;
    report.mn_idmark = m_c.mn_idmark;
    m_report = new ReportFrameController(report, m_services, m_life,
                                         {{}, [this] { return AcquisitionFolder(); }}, this);
    BrowseHooks browse;
    browse.busyWith = [this] { return m_reprocess->busyWith(); };
    browse.refuseWhileBusy = [this](const QString& action) {
        return m_reprocess->refuseWhileBusy(action);
    };
    browse.loadTraining = [this](const QString& folder) { LoadTraining(folder); };
    browse.clearResults = [this] { m_trailReplay->clearResults(); };
    browse.enableFrameStepping = [this] { m_reprocess->setFrameStepping(true); };
    browse.projectClosed = [this] { m_reprocess->forgetTrainingSource(); };
    browse.showLoadNotice = [this](const QString& text) {
        if (!text.isEmpty()) {
            setMessage(text);
            m_c.frame_messages->show();
            m_c.frame_messages->raise();
        } else if (!m_loadNotice.isEmpty() && m_c.lbl_messages->text() == m_loadNotice) {
            m_c.frame_messages->hide();
        }
        m_loadNotice = text;
    };
    m_browse = new BrowseController({m_c.List_project, m_c.List_subproject, m_c.cmd_dir,
                                     m_c.cmd_load, m_c.txt_filepj, m_c.txt_file, m_c.txt_ip1,
                                     m_c.txt_nfile, m_c.Picture1, m_c.cmd_prev, m_c.cmd_next,
                                     m_c.cmd_del, m_c.Timer_loadimg},
                                    *m_plate, m_services, m_life, std::move(browse), this);
    connectHandlers();
    resize(kDesignWidth, kDesignHeight);
    FormLoad();
}

FrmTraining::~FrmTraining() {
    m_life.end();
}

QString FrmTraining::programFile(const QString& name) const {
    return QDir(m_services.programFolder).filePath(name);
}

FrmTraining::TrainingSourceRef FrmTraining::TrainingSource() const {
    const auto& source = m_reprocess->trainingSource();
    return source ? TrainingSourceRef{source->name, source->folder} : TrainingSourceRef{};
}

void FrmTraining::setTrainingSource(const TrainingSourceRef& source) {
    m_reprocess->setTrainingSource({source.name, source.folder});
}

std::int16_t FrmTraining::TargetCount() const {
    return m_plate->TargetCount();
}

// ---- Browser -----------------------------------------------------------------------------

std::int16_t FrmTraining::ProjectOpen() const {
    return m_browse->projectOpen();
}
QString FrmTraining::ProjectName() const {
    return m_browse->projectName();
}
std::int16_t FrmTraining::FrameIndex() const {
    return m_browse->frameIndex();
}
QString FrmTraining::AcquisitionFolder() const {
    return m_browse->acquisitionFolder();
}
void FrmTraining::OpenProject() {
    m_browse->OpenProject();
}
void FrmTraining::SelectAcquisition() {
    m_browse->SelectAcquisition();
}
void FrmTraining::DeferredLoad() {
    m_browse->DeferredLoad();
}
bool FrmTraining::LoadAcquisition() {
    return m_browse->LoadAcquisition();
}
void FrmTraining::ShowFrame(std::int16_t n) {
    m_browse->ShowFrame(n);
}
bool FrmTraining::ReloadFirstFrame() {
    return m_browse->ReloadFirstFrame();
}

// ---- Building the window -----------------------------------------------------------------

void FrmTraining::buildMenus() {
    m_c.menuBar = new QMenuBar(this);
    m_c.menuBar->setObjectName("menuBar");
    m_c.mntools = makeMenu(m_c.menuBar, "mntools", QStringLiteral("Tools"));
    m_c.mn_reprocess =
        makeMenuItem(m_c.mntools, "mn_reprocess", QStringLiteral("Reprocess Routes"));
    m_c.mn_adv = makeMenu(m_c.mntools, "mn_adv", QStringLiteral("Advanced"));
    m_c.mnexport_xyimage = makeMenuItem(m_c.mn_adv, "mnexport_xyimage",
                                        QStringLiteral("Convert xy_image.bin to text"));
    m_c.mnexport_xyworm =
        makeMenuItem(m_c.mn_adv, "mnexport_xyworm", QStringLiteral("Convert xy_worms.bin to text"));
    m_c.mn_beta = makeMenu(m_c.mntools, "mn_beta", QStringLiteral("Beta test options"));
    m_c.mn_singleanimal =
        makeMenuItem(m_c.mn_beta, "mn_singleanimal", QStringLiteral("Single animal"), true);
    m_c.mn_enable_microbeam =
        makeMenuItem(m_c.mn_beta, "mn_enable_microbeam", QStringLiteral("Microbeam Analysis"));
    m_c.mn_invariable =
        makeMenuItem(m_c.mn_beta, "mn_invariable", QStringLiteral("Round Shape Organism"), true);
    m_c.mn_detectbad =
        makeMenuItem(m_c.mn_beta, "mn_detectbad", QStringLiteral("Detect bad_images"));
    m_c.mn_backfilter =
        makeMenuItem(m_c.mn_beta, "mn_backfilter", QStringLiteral("background_filter"), true);
    m_c.mn_autoconnect =
        makeMenuItem(m_c.mn_beta, "mn_autoconnect", QStringLiteral("Autoconnect Wifi"), true);
    // Hidden at design, and nothing shows them: the beta menu offers the round shape only.
    for (QAction* hidden : {m_c.mn_singleanimal, m_c.mn_enable_microbeam, m_c.mn_detectbad,
                            m_c.mn_backfilter, m_c.mn_autoconnect})
        hidden->setVisible(false);
    m_c.nm_plotoptions = makeMenu(m_c.menuBar, "nm_plotoptions", QStringLiteral("Plot Options"));
    m_c.mn_idmark =
        makeMenuItem(m_c.nm_plotoptions, "mn_idmark", QStringLiteral("Enable ID-Marks"), true);
    m_c.chk_bmp = makeMenuItem(m_c.nm_plotoptions, "chk_bmp",
                               QStringLiteral("Enable BMP sequence  export"), true);
    m_c.chk_white = makeMenuItem(m_c.nm_plotoptions, "chk_white",
                                 QStringLiteral("Enable White background"), true);
    m_c.separador1 = m_c.nm_plotoptions->addSeparator();
    m_c.separador1->setObjectName("separador1");
    m_c.mn_zstack = makeMenuItem(m_c.nm_plotoptions, "mn_zstack", QStringLiteral("Export ZStack"));
    // The pop-up menu of the acquisition list; its bar entry is hidden.
    m_c.mn_joint_report = makeMenu(m_c.menuBar, "mn_joint_report", QStringLiteral("Joint_Report"));
    m_c.submn_joint_report =
        makeMenuItem(m_c.mn_joint_report, "submn_joint_report", QStringLiteral("Joint Report"));
    m_c.submn_full_joint_report = makeMenuItem(m_c.mn_joint_report, "submn_full_joint_report",
                                               QStringLiteral("Full Joint Report"));
    m_c.mnrepro = makeMenu(m_c.mn_joint_report, "mnrepro", QStringLiteral("Reprocess"));
    m_c.mn_masstrainingload =
        makeMenuItem(m_c.mnrepro, "mn_masstrainingload", QStringLiteral("Load Training to memory"));
    m_c.mn_masstrainingapply = makeMenuItem(m_c.mnrepro, "mn_masstrainingapply",
                                            QStringLiteral("Reprocess using Training..."));
    m_c.separador2 = m_c.mnrepro->addSeparator();
    m_c.separador2->setObjectName("separador2");
    m_c.mn_zseq = makeMenuItem(m_c.mnrepro, "mn_zseq", QStringLiteral("Export ZStack Sequence"));
    m_c.mn_about = makeMenu(m_c.menuBar, "mn_about", QStringLiteral("About"));
    m_c.mn_credits = makeMenuItem(m_c.mn_about, "mn_credits", QStringLiteral("Credits"));
}

void FrmTraining::buildPictures() {
    QWidget* c = m_client;
    m_c.Shape_device = makeShape(c, "Shape_device", QRect(59, 19, 461, 30));
    m_c.Picture1 = makePicture(c, "Picture1", QSize(1600, 1200), QRect(59, 59, 568, 571));
    m_c.Picture2 = makePicture(c, "Picture2", QSize(1600, 1200), QRect(59, 59, 568, 571));
    m_c.Picture2->hide();
    m_c.Image1 = makeLabel(c, "Image1", QString(), QRect(59, 59, 568, 571));
    m_c.Image1->hide();
    m_c.Picture_progress =
        makePicture(c, "Picture_progress", QSize(640, 16), QRect(59, 641, 492, 27));
    m_c.txt_nfile = makeEdit(c, "txt_nfile", QStringLiteral("0"), QRect(551, 641, 77, 27));
    m_c.cmd_exportbmp =
        makeButton(c, "cmd_exportbmp", QStringLiteral("Export .BMP"), QRect(551, 641, 77, 27));
    m_c.cmd_prev = makeButton(c, "cmd_prev", QStringLiteral("<"), QRect(59, 672, 40, 24));
    m_c.cmd_next = makeButton(c, "cmd_next", QStringLiteral(">"), QRect(103, 672, 40, 24));
    m_c.cmd_del = makeButton(c, "cmd_del", QStringLiteral("Delete [0]"), QRect(150, 672, 90, 24));
    m_c.frm_contrast = makeGroup(m_c.Picture1, "frm_contrast", QString(), QRect(0, 0, 214, 48));
    m_c.frm_contrast->setAutoFillBackground(true); // drawn over the picture
    QWidget* f = m_c.frm_contrast;
    m_c.Label_light = makeLabel(f, "Label_light", QStringLiteral("Light "), QRect(6, 16, 72, 24));
    m_c.cmd_light_less =
        makeButton(f, "cmd_light_less", QStringLiteral("-"), QRect(80, 14, 30, 28));
    m_c.cmd_light_more =
        makeButton(f, "cmd_light_more", QStringLiteral("+"), QRect(112, 14, 30, 28));
    m_c.cmd_light_auto =
        makeButton(f, "cmd_light_auto", QStringLiteral("Auto"), QRect(146, 14, 62, 28));
}

void FrmTraining::buildBrowser() {
    QWidget* c = m_client;
    makeBrowser(m_c, c);
    m_c.frame_messages =
        makeMessageFrame(c, QRect(135, 59, 384, 76), QRect(30, 12, 300, 24), &m_c.lbl_messages);
    m_c.cmd_stopprocess = makeButton(m_c.frame_messages, "cmd_stopprocess", QStringLiteral("STOP"),
                                     QRect(330, 50, 54, 26));
}

void FrmTraining::buildResultsFrame() {
    QWidget* c = m_client;
    m_c.Frame_plotter =
        makeGroup(c, "Frame_plotter", QStringLiteral("Results"), QRect(643, 59, 284, 571));
    QWidget* f = m_c.Frame_plotter;
    m_c.cmd_wormtrails =
        makeButton(f, "cmd_wormtrails", QStringLiteral("Plot Results"), QRect(14, 28, 256, 57));
    m_c.lbl_results =
        makeLabel(f, "lbl_results", QStringLiteral("Results"), QRect(28, 114, 71, 20));
    m_c.Shape_particles = makeShape(f, "Shape_particles", QRect(114, 103, 142, 46));
    m_c.label_particles = makeLabel(f, "label_particles", QStringLiteral("#Detected particles:"),
                                    QRect(121, 106, 77, 40));
    m_c.lbl_particle = makeLabel(f, "lbl_particle", QString(), QRect(199, 108, 57, 20));
    m_c.Label_speed = makeLabel(f, "Label_speed", QStringLiteral("Average Speed  [mm/s]"),
                                QRect(14, 157, 85, 46));
    m_c.lbl_speed = makeLabel(f, "lbl_speed", QString(), QRect(14, 200, 77, 20));
    m_c.Label_distance = makeLabel(
        f, "Label_distance", QStringLiteral("Travel Distance  [mm/part]"), QRect(99, 157, 85, 46));
    m_c.lbl_distance = makeLabel(f, "lbl_distance", QString(), QRect(99, 200, 77, 20));
    m_c.Label_rotation = makeLabel(f, "Label_rotation", QStringLiteral("Rotation Index (0-16)"),
                                   QRect(187, 157, 85, 46));
    m_c.lbl_turnings = makeLabel(f, "lbl_turnings", QString(), QRect(187, 200, 77, 20));
    for (QLabel* caption :
         {m_c.label_particles, m_c.Label_speed, m_c.Label_distance, m_c.Label_rotation})
        caption->setWordWrap(true);
    m_c.Picture3 = makePicture(f, "Picture3", QSize(400, 200), QRect(14, 257, 256, 171));
    m_c.Label_histo =
        makeLabel(f, "Label_histo", QStringLiteral("Speed Histogram"), QRect(14, 428, 142, 20));
    m_c.Frame_report =
        makeGroup(f, "Frame_report", QStringLiteral("Report"), QRect(14, 457, 256, 57));
    QWidget* r = m_c.Frame_report;
    m_c.Label_bin =
        makeLabel(r, "Label_bin", QStringLiteral("BIN_Size [min]"), QRect(13, 14, 51, 20));
    m_c.Label_bin->setWordWrap(true);
    m_c.combo_bin = new QComboBox(r);
    m_c.combo_bin->setObjectName("combo_bin");
    m_c.combo_bin->setEditable(true);
    m_c.combo_bin->setGeometry(QRect(64, 14, 38, 24));
    m_c.Label_spacer =
        makeLabel(r, "Label_spacer", QStringLiteral("spacer"), QRect(102, 14, 38, 20));
    m_c.txt_spacer = makeEdit(r, "txt_spacer", QStringLiteral(";"), QRect(146, 14, 26, 22));
    m_c.cmd_report_calc =
        makeButton(r, "cmd_report_calc", QStringLiteral("Report..."), QRect(186, 11, 64, 34));
    m_c.lbl_backinit =
        makeClickable(f, "lbl_backinit", QStringLiteral("< Back"), QRect(28, 534, 114, 20));
    m_c.lbl_reprocess =
        makeClickable(f, "lbl_reprocess", QStringLiteral("ReProcess>"), QRect(142, 534, 114, 20));
    m_c.Frame_plotter->hide();
}

void FrmTraining::buildSetupFrame() {
    makeSetupFrame(m_c, m_client, QRect(643, 59, 284, 571));
    QWidget* p = m_c.frm_preview;
    m_c.frame_micro = makeGroup(p, "frame_micro", QStringLiteral("Microbeam Results"),
                                m_c.frame_train->geometry());
    QWidget* m = m_c.frame_micro;
    m_c.Label4 = makeLabel(m, "Label4", QStringLiteral("Activity:"), QRect(14, 28, 71, 20));
    m_c.txt_activity = makeEdit(m, "txt_activity", QStringLiteral("0"), QRect(91, 25, 114, 24));
    m_c.Label5 = makeLabel(m, "Label5", QStringLiteral("#frames"), QRect(14, 64, 71, 20));
    m_c.txt_max = makeEdit(m, "txt_max", QStringLiteral("300"), QRect(91, 61, 114, 24));
    m_c.frame_micro->hide();
    m_c.cmd_reprocess =
        makeButton(p, "cmd_reprocess", QStringLiteral("Reprocess Images"), QRect(156, 500, 99, 57));
    m_c.label_frame =
        makeLabel(p, "label_frame", QStringLiteral("Frame: "), QRect(156, 542, 99, 20));
    m_c.frame_setupmas->raise();
}

void FrmTraining::buildTimers() {
    m_c.Timeracq = makeTimer(this, "Timeracq", 100, true);
    m_c.Timer2 = makeTimer(this, "Timer2", 100, false);
    m_c.Timer_loadimg = makeTimer(this, "Timer_loadimg", 500, false);
}

void FrmTraining::connectHandlers() {
    m_c.List_subproject->viewport()->installEventFilter(this);
    connect(m_c.lbl_backinit, &ClickableLabel::clicked, this, &FrmTraining::lblBackInitClick);
    connect(m_c.lbl_reprocess, &ClickableLabel::clicked, this, &FrmTraining::lblReprocessClick);
    connect(m_c.lbl_back, &ClickableLabel::clicked, this, &FrmTraining::lblBackClick);
    m_c.lbl_ip->installEventFilter(this);
    connect(m_c.mn_singleanimal, &QAction::triggered, this, &FrmTraining::mnSingleAnimalClick);
    connect(m_c.mn_enable_microbeam, &QAction::triggered, this,
            &FrmTraining::mnEnableMicrobeamClick);
    connect(m_c.mn_credits, &QAction::triggered, this, &FrmTraining::mnCreditsClick);
    connect(m_c.cmd_mas, &QPushButton::clicked, this, &FrmTraining::cmdMasClick);
    for (int i = 0; i < 2; ++i) {
        connect(m_c.Opt_acq[i], &QRadioButton::clicked, this, [this, i] { optAcqClick(i); });
        m_c.Opt_acq[i]->installEventFilter(this);
    }
    connect(m_c.mn_autoconnect, &QAction::triggered, this, &FrmTraining::ToggleAutoconnect);
    connect(m_c.mn_detectbad, &QAction::triggered, this, [this] {
        const std::string report = results::ReportBadImages(AcquisitionFolder().toStdString());
        if (!report.empty())
            m_services.dialogs->message(QString::fromStdString(report));
    });
    // The exports read files of any size: the window answers while they run.
    connect(m_c.mnexport_xyimage, &QAction::triggered, this,
            [this] { exportCsv(&results::ExportImageDescriptorCsv); });
    connect(m_c.mnexport_xyworm, &QAction::triggered, this,
            [this] { exportCsv(&results::ExportWormPositionsCsv); });
    connect(m_c.submn_joint_report, &QAction::triggered, this,
            [this] { JointReport(results::kJointReportShort); });
    connect(m_c.submn_full_joint_report, &QAction::triggered, this,
            [this] { JointReport(results::kJointReportFull); });
    // Commands of this window that this version does not have yet say so when chosen.
    // The plate size is checked on every change as well as when the box is left.
    connect(m_c.txt_psize, &QLineEdit::textChanged, m_plate, &PlateController::txtPsizeLostFocus);
}

// ---- Load, unload and layout -------------------------------------------------------------

void FrmTraining::FormLoad() {
    HandlerGuard guard(m_life);
    m_pageState = 0;
    m_browse->reset();
    m_singleAnimal = false;
    m_c.mn_singleanimal->setChecked(false);
    m_processing = false;
    m_c.Timeracq->stop();
    m_c.mn_joint_report->menuAction()->setVisible(false);
    for (QWidget* w :
         {static_cast<QWidget*>(m_c.frm_contrast), static_cast<QWidget*>(m_c.frm_preview),
          static_cast<QWidget*>(m_c.Picture_progress), static_cast<QWidget*>(m_c.cmd_exportbmp),
          static_cast<QWidget*>(m_c.txt_nfile)})
        w->hide();
    m_reprocess->forgetTrainingSource();
    m_plate->setTargetCount(-1);
    m_browse->showStepping(false);
    LoadTraining(m_services.programFolder);
    if (!guard.alive())
        return;
    m_plate->syncSlider();
    m_c.combo_bin->clear();
    m_c.combo_bin->addItem(QStringLiteral("5"));
    m_c.combo_bin->addItem(QStringLiteral("1"));
    m_c.combo_bin->setCurrentText(QStringLiteral("5"));
    m_c.frame_limits->setEnabled(false);
    m_c.frame_train->setEnabled(false);
    PictureBox* pic = m_c.Picture1;
    const double width = pic->scaleRight() - pic->scaleLeft();
    const double height = pic->scaleBottom() - pic->scaleTop();
    pic->printText(pic->scaleLeft() + width / 5.0, pic->scaleTop() + height / 2.0,
                   QStringLiteral("Select Project and Acquisition "), kBlack, 48);
    m_c.frm_preview->show();
    m_c.frame_limits->setEnabled(true);
    m_c.frame_train->setEnabled(true);
    m_pageState = 1;
}

void FrmTraining::LoadTraining(const QString& folder) {
    HandlerGuard guard(m_life);
    const device::TrainingLoad load =
        device::loadTrainingReanalysis(folder, m_services.programFolder);
    TrainingBoxesView boxes(m_client);
    boxes.apply(load);
    bool ok = load.source != device::TrainingLoad::Source::Failed;
    if (load.source == device::TrainingLoad::Source::Defaults)
        ok = WriteTrainingFile(m_services.programFolder);
    if (!ok && guard.alive())
        m_services.dialogs->message(QStringLiteral("Error reading training.dat file"));
}

bool FrmTraining::WriteTrainingFile(const QString& folder) {
    return TrainingBoxesView(m_client).write(folder, false).empty();
}

void FrmTraining::FormUnload() {
    if (!m_life.alive())
        return;
    // A plot or replay under way stops at its next frame and touches nothing more.
    m_processing = false;
    m_life.end();
    m_c.Timer_loadimg->stop();
    m_c.Timer2->stop();
    m_microbeam->stopForClose();
    // A batch of this window ends with it, its whole process group.
    m_reprocess->stopBatch();
    hide();
    returnToStartWindow();
}

void FrmTraining::LayoutControls() {
    layOut(&windows::trainingLayout, m_c.Opt_acq);
}

bool FrmTraining::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == m_c.lbl_ip) {
            lblIpDoubleClick();
            return true;
        }
        for (int i = 0; i < 2; ++i)
            if (watched == m_c.Opt_acq[i]) {
                ShowConnecting();
                return true;
            }
    } else if (event->type() == QEvent::MouseButtonPress &&
               watched == m_c.List_subproject->viewport()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            ShowAcquisitionMenu(mouse->button(), mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Shell handlers ----------------------------------------------------------------------

void FrmTraining::lblBackInitClick() {
    close();
}

void FrmTraining::lblIpDoubleClick() {
    const QString folder = programFile(m_c.txt_filepj->text());
    if (QFileInfo(folder).isDir())
        m_services.launcher->openPath(folder);
}

void FrmTraining::lblReprocessClick() {
    // Clearing the flag is the stop signal of the long operations; started processes go on.
    m_processing = false;
    m_c.Frame_plotter->hide();
    m_c.frm_preview->show();
    m_browse->showStepping(true);
    m_browse->showDeleteCaption();
    m_c.cmd_exportbmp->hide();
}

void FrmTraining::lblBackClick() {
    // A replay or batch that polls the flag stops.
    m_processing = false;
    m_plate->setTargetCount(-1);
    m_c.cmd_detect->setText(QStringLiteral("TEST TRAINING"));
    m_c.cmd_clear->setText(QStringLiteral("New"));
    m_c.Frame_plotter->show();
    m_c.frm_preview->hide();
    m_browse->showStepping(false);
}

void FrmTraining::optAcqClick(int index) {
    m_c.frame_train->setVisible(index != 1);
    m_c.frame_micro->setVisible(index == 1);
    ShowConnecting();
}

void FrmTraining::mnSingleAnimalClick() {
    // The action has already flipped its own check mark.
    m_singleAnimal = m_c.mn_singleanimal->isChecked();
}

void FrmTraining::mnEnableMicrobeamClick() {
    m_c.Opt_acq[1]->show();
}

void FrmTraining::mnCreditsClick() {
    showAboutWindow();
}

void FrmTraining::cmdMasClick() {
    m_c.frame_setupmas->setVisible(m_c.frame_setupmas->isHidden());
}

void FrmTraining::ToggleAutoconnect() {
    // The action has flipped its own check mark; switching off does nothing more.
    if (!m_c.mn_autoconnect->isChecked())
        return;
    HandlerGuard guard(m_life);
    const QString network = m_services.dialogs->input(
        QStringLiteral("Network to connect:"), QStringLiteral("Autoconnect before cycle"),
        AcquisitionRunController::defaultNetworkName());
    if (!guard.alive() || network.isEmpty())
        return;
    m_services.launcher->joinNetwork(network);
}

void FrmTraining::exportCsv(results::CsvExportResult (*exporter)(const std::string&)) {
    HandlerGuard guard(m_life, "ExportCsv");
    if (!guard.entered()) {
        m_services.dialogs->message(
            QStringLiteral("A CSV export is running: let it end before starting another."));
        return;
    }
    const std::string folder = AcquisitionFolder().toStdString();
    const results::CsvExportResult result =
        runWhileAnswering([exporter, folder] { return exporter(folder); });
    if (guard.alive())
        showExport(result);
}

void FrmTraining::showExport(const results::CsvExportResult& result) {
    if (result.status == results::CsvExportResult::Status::Missing)
        return;
    HandlerGuard guard(m_life);
    if (!result.frameCaption.empty())
        m_c.label_frame->setText(QString::fromStdString(result.frameCaption));
    m_services.dialogs->message(QString::fromStdString(result.message));
    if (guard.alive() && result.status == results::CsvExportResult::Status::Finished)
        openWritten(QStringLiteral("Export"), QString::fromStdString(result.csvPath));
}

void FrmTraining::openWritten(const QString& what, const QString& path) {
    // The file is kept either way; an opener that does not start, or fails, says so.
    m_services.launcher->openPath(path, [dialogs = m_services.dialogs, what, path] {
        dialogs->message(what + QStringLiteral(" written to ") + path +
                         QStringLiteral(", but it could not be opened"));
    });
}

void FrmTraining::JointReport(int reportMode) {
    HandlerGuard guard(m_life, "JointReport");
    if (!guard.entered())
        return;
    // The report loads each acquisition in turn: not under a command that works on one.
    if (m_reprocess->refuseWhileBusy(QStringLiteral("making a joint report")))
        return;
    results::JointReportRequest request;
    request.programFolder = m_services.programFolder.toStdString();
    request.projectName = ProjectName().toStdString();
    for (int i = 0; i < m_c.List_subproject->count(); ++i)
        if (m_c.List_subproject->item(i)->isSelected())
            request.selectedEntries.push_back(m_c.List_subproject->item(i)->text().toStdString());
    request.spacer = m_c.txt_spacer->text().toStdString();
    request.reportMode = reportMode;
    request.idMarks = m_c.mn_idmark->isChecked();
    request.now = results::reportTimeFrom(m_services.clock->now());
    // Each acquisition is loaded with its own training before its line, as the report reads its
    // rectangle and plate size from the boxes; the window is left on the last one, so that
    // boxes, folder and name always belong to one acquisition.
    const results::JointReportResult result =
        results::WriteJointReport(request, [this](const std::string& folder) {
            m_browse->enterAcquisition(QString::fromStdString(folder), true);
            return results::RectangleTexts{
                m_c.txt_x1->text().toStdString(), m_c.txt_x2->text().toStdString(),
                m_c.txt_y1->text().toStdString(), m_c.txt_y2->text().toStdString(),
                m_c.txt_psize->text().toStdString()};
        });
    if (!result.started || !guard.alive())
        return;
    if (!result.ok) {
        m_services.dialogs->message(QString::fromStdString(result.message));
        return;
    }
    m_services.dialogs->message(QString::fromStdString(result.summary));
    if (guard.alive())
        openWritten(QStringLiteral("Report"), QString::fromStdString(result.path));
}

void FrmTraining::setMessage(const QString& text) {
    showStatusNow(m_c.lbl_messages, text);
}

void FrmTraining::ShowConnecting() {
    HandlerGuard guard(m_life);
    m_plate->setTargetCount(-1);
    setMessage(QStringLiteral("Connecting"));
    m_c.frame_messages->show();
    m_c.frame_messages->raise();
    m_services.clock->pause(300);
    if (!guard.alive())
        return;
    m_pageState = 1;
    ShowPreview(m_c.txt_ip1->text());
    if (!guard.alive())
        return;
    m_c.frame_limits->setEnabled(true);
    m_c.frame_train->setEnabled(true);
    m_c.frame_messages->hide();
}

bool FrmTraining::ShowPreview(const QString&) {
    return m_plate->DrawPreviewOrSay();
}

void FrmTraining::ShowAcquisitionMenu(Qt::MouseButton button, const QPoint& at) {
    if (button != Qt::RightButton || ProjectOpen() != 1)
        return;
    const int selected = static_cast<int>(m_c.List_subproject->selectedItems().size());
    m_c.mn_masstrainingload->setEnabled(selected == 1);
    const TrainingSourceRef source = TrainingSource();
    if (selected > 0 && !source.name.isEmpty()) {
        m_c.mn_masstrainingapply->setText(QStringLiteral("Apply Training: ") + source.name);
        m_c.mn_masstrainingapply->setVisible(true);
    } else {
        m_c.mn_masstrainingapply->setVisible(false);
    }
    m_c.mn_joint_report->popup(at);
}

} // namespace ui
