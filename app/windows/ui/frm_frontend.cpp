#include "app/windows/ui/frm_frontend.h"

#include "app/acquisition/ui/acquisition_run_controller.h"
#include "app/device/device_client.h"
#include "app/device/names.h"
#include "app/device/settings.h"
#include "app/device/ui/frm_about.h"
#include "app/device/ui/frm_init.h"
#include "app/training/plate_overlay.h"
#include "app/widgets/caption_fit.h"
#include "app/windows/acquisition_shell.h"
#include "app/windows/layout.h"
#include "app/windows/twips.h"
#include "app/windows/ui/clickable_label.h"
#include "app/windows/ui/picture_box.h"
#include "app/windows/ui/tick_guard.h"
#include "app/windows/ui/window_registry.h"
#include "formats/numbers.h"
#include "formats/save_file.h"
#include "formats/training_file.h"

#include <QAction>
#include <QCheckBox>
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

constexpr int kRed = colourValue(255, 0, 0);
constexpr int kBlue = colourValue(0, 0, 255);
constexpr int kBlack = colourValue(0, 0, 0);

const QString kIpErrorStatus = QStringLiteral("IP Connection ERROR");
const QString kIpErrorMessage =
    QStringLiteral("IP Connection ERROR!. check if device is ON, and IP");

// The design window: 1024 x 768 pixels (15360 x 11520 twips).
constexpr int kDesignWidth = 1024;
constexpr int kDesignHeight = 768;

double numberIn(const QLineEdit* box) {
    return formats::leadingNumber(box->text().toStdString());
}

QString numberText(double value) {
    return QString::fromStdString(formats::formatNumber(value));
}

// A window that was closed while one of its handlers waited must not be touched again.
bool gone(const QPointer<FrmFrontend>& self, const bool& unloading) {
    return self.isNull() || unloading;
}

// Copies a file over another through a temporary file, so no reader sees half a file.
bool copyFileOver(const QString& source, const QString& target) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = in.readAll();
    if (in.error() != QFile::NoError)
        return false;
    return formats::saveFileAtomic(QDir::toNativeSeparators(target).toStdString(),
                                   std::string_view(bytes.constData(), bytes.size()))
        .empty();
}

} // namespace

FrmFrontend::FrmFrontend(const platform::Services& services, QWidget* parent)
    : QWidget(parent), m_services(services),
      m_client_device(std::make_shared<device::DeviceClient>(services)) {
    setObjectName("frm_frontend");
    setWindowTitle(QStringLiteral("Front end"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_client = new QWidget(this);
    m_client->setObjectName("frm_frontend_client");
    buildMenus();
    buildControls();
    buildTimers();
    connectHandlers();
    resize(kDesignWidth, kDesignHeight);
    FormLoad();
}

FrmFrontend::~FrmFrontend() {
    m_unloading = true;
    if (m_runController)
        m_runController.release()->deleteLater();
}

QString FrmFrontend::defaultNetworkName() {
    return QStringLiteral("vermalux-device");
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

// ---- Building the window -----------------------------------------------------------------

void FrmFrontend::buildMenus() {
    m_c.menuBar = new QMenuBar(this);
    m_c.menuBar->setObjectName("menuBar");
    m_c.mntools = m_c.menuBar->addMenu(QStringLiteral("Tools"));
    m_c.mntools->setObjectName("mntools");
    m_c.mnbluen = m_c.mntools->addAction(QStringLiteral("Enable BlueLight"));
    m_c.mnbluen->setObjectName("mnbluen");
    m_c.mnbluen->setCheckable(true);
    // The autoconnect item sets its own check mark (a click must not flip it first).
    m_c.mn_autoconnect = m_c.mntools->addAction(QStringLiteral("autoconnect WiFi Network"));
    m_c.mn_autoconnect->setObjectName("mn_autoconnect");
    m_c.mn_beta = m_c.mntools->addMenu(QStringLiteral("Beta Test options"));
    m_c.mn_beta->setObjectName("mn_beta");
    m_c.mn_invariable = m_c.mn_beta->addAction(QStringLiteral("Round Shape Organism"));
    m_c.mn_invariable->setObjectName("mn_invariable");
    m_c.mn_invariable->setCheckable(true);
    m_c.mn_about = m_c.menuBar->addMenu(QStringLiteral("About"));
    m_c.mn_about->setObjectName("mn_about");
    m_c.mn_credit = m_c.mn_about->addAction(QStringLiteral("Credits"));
    m_c.mn_credit->setObjectName("mn_credit");
}

void FrmFrontend::buildControls() {
    auto label = [](QWidget* parent, const char* name, const QString& text, QRect geometry) {
        auto* w = new QLabel(text, parent);
        w->setObjectName(name);
        w->setGeometry(geometry);
        return w;
    };
    auto clickable = [](QWidget* parent, const char* name, const QString& text, QRect geometry) {
        auto* w = new ClickableLabel(text, parent);
        w->setObjectName(name);
        w->setGeometry(geometry);
        return w;
    };
    auto edit = [](QWidget* parent, const char* name, const QString& text, QRect geometry) {
        auto* w = new QLineEdit(text, parent);
        w->setObjectName(name);
        w->setGeometry(geometry);
        return w;
    };
    auto button = [](QWidget* parent, const char* name, const QString& text, QRect geometry) {
        auto* w = new QPushButton(text, parent);
        w->setObjectName(name);
        w->setGeometry(geometry);
        return w;
    };
    auto group = [](QWidget* parent, const char* name, const QString& title, QRect geometry) {
        auto* w = new QGroupBox(title, parent);
        w->setObjectName(name);
        w->setGeometry(geometry);
        return w;
    };
    auto check = [](QWidget* parent, const char* name, const QString& text, QRect geometry) {
        auto* w = new QCheckBox(text, parent);
        w->setObjectName(name);
        w->setGeometry(geometry);
        return w;
    };
    auto shape = [](QWidget* parent, const char* name, QRect geometry) {
        auto* w = new QFrame(parent);
        w->setObjectName(name);
        w->setFrameShape(QFrame::Box);
        w->setGeometry(geometry);
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
        return w;
    };
    auto picture = [](QWidget* parent, const char* name, QSize backing, QRect geometry) {
        auto* w = new PictureBox(parent, backing);
        w->setObjectName(name);
        w->setGeometry(geometry);
        return w;
    };

    QWidget* c = m_client;

    // Device address and the picture.
    m_c.Shape_device = shape(c, "Shape_device", QRect(59, 19, 230, 30));
    m_c.lbl_ip = label(c, "lbl_ip", QStringLiteral("Device ID"), QRect(74, 22, 77, 20));
    m_c.txt_ip1 = edit(c, "txt_ip1", QStringLiteral("192.168.4.1"), QRect(135, 19, 154, 30));
    m_c.Picture1 = picture(c, "Picture1", QSize(1600, 1200), QRect(59, 59, 568, 571));
    m_c.Picture2 = picture(c, "Picture2", QSize(1600, 1200), QRect(59, 59, 568, 571));
    m_c.Image1 = label(c, "Image1", QString(), QRect(59, 59, 568, 571));
    m_c.Image1->hide();
    m_c.Picture_progress = picture(c, "Picture_progress", QSize(640, 16), QRect(59, 641, 492, 27));
    m_c.lbl_time = label(c, "lbl_time", QStringLiteral("00:00"), QRect(551, 641, 77, 27));
    m_c.Picture_post = picture(c, "Picture_post", QSize(400, 400), QRect(476, 60, 150, 150));
    // The trail map of a run: shown with the acquisition page (see eventFilter).
    m_c.Picture_post->hide();

    // Light frame, inside the picture.
    m_c.frm_contrast = group(m_c.Picture1, "frm_contrast", QString(), QRect(0, 0, 214, 48));
    m_c.frm_contrast->setAutoFillBackground(true); // drawn over the picture
    m_c.Label_light =
        label(m_c.frm_contrast, "Label_light", QStringLiteral("Light "), QRect(6, 16, 72, 24));
    m_c.cmd_light_less =
        button(m_c.frm_contrast, "cmd_light_less", QStringLiteral("-"), QRect(80, 14, 30, 28));
    m_c.cmd_light_more =
        button(m_c.frm_contrast, "cmd_light_more", QStringLiteral("+"), QRect(112, 14, 30, 28));
    m_c.cmd_light_auto = button(m_c.frm_contrast, "cmd_light_auto", QStringLiteral("default"),
                                QRect(146, 14, 62, 28));

    // Status messages.
    m_c.frame_messages = new QFrame(c);
    m_c.frame_messages->setObjectName("frame_messages");
    m_c.frame_messages->setFrameShape(QFrame::Box);
    m_c.frame_messages->setAutoFillBackground(true);
    m_c.frame_messages->setGeometry(QRect(80, 300, 420, 40));
    m_c.lbl_messages = label(m_c.frame_messages, "lbl_messages", QString(), QRect(10, 8, 400, 24));
    m_c.frame_messages->hide();

    // Project.
    m_c.Label_projects =
        label(c, "Label_projects", QStringLiteral("Project Name"), QRect(643, 23, 284, 20));
    m_c.txt_project = edit(c, "txt_project", QStringLiteral("default"), QRect(643, 57, 253, 22));
    m_c.cmd_explore_pj = button(c, "cmd_explore_pj", QStringLiteral(",,,"), QRect(896, 56, 31, 22));
    m_c.list_projects = new QListWidget(c);
    m_c.list_projects->setObjectName("list_projects");
    m_c.list_projects->setGeometry(QRect(643, 81, 284, 134));
    m_c.list_projects->hide();

    // Set-up page.
    m_c.frm_preview = group(c, "frm_preview", QStringLiteral("Setup"), QRect(643, 86, 284, 546));
    QWidget* p = m_c.frm_preview;
    m_c.lbl_mode = label(p, "lbl_mode", QStringLiteral("Mode"), QRect(28, 27, 57, 20));
    m_c.Opt_acq[0] = new QRadioButton(QStringLiteral("Tracking"), p);
    m_c.Opt_acq[0]->setObjectName("Opt_acq(0)");
    m_c.Opt_acq[0]->setGeometry(QRect(85, 27, 85, 20));
    m_c.Opt_acq[0]->setChecked(true);
    m_c.Opt_acq[1] = new QRadioButton(QStringLiteral("Microbeam"), p);
    m_c.Opt_acq[1]->setObjectName("Opt_acq(1)");
    m_c.Opt_acq[1]->setGeometry(QRect(170, 27, 85, 20));
    m_c.Opt_acq[1]->hide();

    m_c.frame_limits =
        group(p, "frame_limits", QStringLiteral("Plate Position"), QRect(28, 55, 227, 164));
    QWidget* l = m_c.frame_limits;
    m_c.cmd_offset_down = button(l, "cmd_offset_down", QStringLiteral("up"), QRect(23, 33, 68, 16));
    m_c.cmd_offset_left = button(l, "cmd_offset_left", QStringLiteral("<"), QRect(23, 49, 34, 16));
    m_c.cmd_offset_right =
        button(l, "cmd_offset_right", QStringLiteral(">"), QRect(57, 49, 34, 16));
    m_c.cmd_offset_up = button(l, "cmd_offset_up", QStringLiteral("down"), QRect(23, 66, 68, 16));
    m_c.lbl_diameter = label(l, "lbl_diameter", QStringLiteral("Diameter"), QRect(114, 33, 45, 20));
    m_c.HScroll_plate = new QScrollBar(Qt::Horizontal, l);
    m_c.HScroll_plate->setObjectName("HScroll_plate");
    m_c.HScroll_plate->setGeometry(QRect(159, 33, 57, 18));
    m_c.HScroll_plate->setRange(0, 32767);
    m_c.lbl_psize = label(l, "lbl_psize", QStringLiteral("Size[mm]"), QRect(114, 66, 45, 20));
    m_c.txt_psize = edit(l, "txt_psize", QStringLiteral("35"), QRect(170, 66, 45, 22));
    m_c.cmd_focus = button(l, "cmd_focus", QStringLiteral("FOCUS"), QRect(23, 107, 182, 33));

    m_c.frame_train = group(p, "frame_train", QStringLiteral("Training"), QRect(28, 273, 227, 137));
    QWidget* t = m_c.frame_train;
    m_c.cmd_detect =
        button(t, "cmd_detect", QStringLiteral("TEST TRAINING"), QRect(23, 48, 91, 55));
    m_c.lbl_last_training =
        label(t, "lbl_last_training", QStringLiteral("[ - - ]"), QRect(23, 103, 91, 20));
    m_c.cmd_clear = button(t, "cmd_clear", QStringLiteral("NEW"), QRect(125, 48, 57, 55));
    m_c.cmd_mas = button(t, "cmd_mas", QStringLiteral("..."), QRect(182, 48, 23, 55));
    m_c.Label_boxs = label(t, "Label_boxs", QStringLiteral("Box Size = "), QRect(125, 21, 45, 20));
    m_c.txt_npix = edit(t, "txt_npix", QStringLiteral("35"), QRect(170, 21, 34, 22));

    m_c.frame_setupmas =
        group(p, "frame_setupmas", QStringLiteral("Parameters"), QRect(28, 437, 227, 164));
    m_c.frame_setupmas->setAutoFillBackground(true);
    {
        // The detector parameters, four to a row: key label and box.
        struct Param {
            const char* label;
            const char* name;
            const char* design;
            QLineEdit** box;
        };
        const Param params[] = {
            {"xs", "txt_x1", "330", &m_c.txt_x1},
            {"xe", "txt_x2", "1100", &m_c.txt_x2},
            {"ys", "txt_y1", "200", &m_c.txt_y1},
            {"ye", "txt_y2", "1000", &m_c.txt_y2},
            {"pl", "txt_pixmin", "26", &m_c.txt_pixmin},
            {"ph", "txt_pixmax", "76", &m_c.txt_pixmax},
            {"pt", "txt_pixtol", "20", &m_c.txt_pixtol},
            {"tl", "txt_umbralmin", "6.8", &m_c.txt_umbralmin},
            {"th", "txt_umbralmax", "9.5", &m_c.txt_umbralmax},
            {"tt", "txt_umbraltol", "20", &m_c.txt_umbraltol},
            {"ll", "txt_lenmin", "16", &m_c.txt_lenmin},
            {"lh", "txt_lenmax", "25", &m_c.txt_lenmax},
            {"lt", "txt_lentol", "20", &m_c.txt_lentol},
            {"al", "txt_umbral_analisis", "10", &m_c.txt_umbral_analisis},
            {"at", "txt_umb_an_tol", "50", &m_c.txt_umb_an_tol},
            {"mt", "txt_maxtravel", "31.25", &m_c.txt_maxtravel},
        };
        int i = 0;
        for (const Param& param : params) {
            const int x = 4 + (i % 4) * 55;
            const int y = 16 + (i / 4) * 22;
            const QString labelName = QStringLiteral("Label_") + QLatin1String(param.label);
            auto* key = new QLabel(QLatin1String(param.label), m_c.frame_setupmas);
            key->setObjectName(labelName);
            key->setGeometry(QRect(x, y, 18, 20));
            *param.box = edit(m_c.frame_setupmas, param.name, QLatin1String(param.design),
                              QRect(x + 18, y, 35, 20));
            ++i;
        }
    }
    m_c.frame_setupmas->hide();
    m_c.lbl_back = clickable(p, "lbl_back", QStringLiteral("< Back"), QRect(43, 491, 71, 20));
    m_c.lbl_next = clickable(p, "lbl_next", QStringLiteral("Next >"), QRect(170, 491, 71, 20));

    // Acquisition page.
    m_c.frm_acquire =
        group(c, "frm_acquire", QStringLiteral("Acquisition"), QRect(643, 86, 284, 297));
    QWidget* a = m_c.frm_acquire;
    m_c.frame_acquisition = group(a, "frame_acquisition", QString(), QRect(28, 30, 227, 134));
    QWidget* q = m_c.frame_acquisition;
    m_c.Label_acqlapse = label(q, "Label_acqlapse", QStringLiteral("Time"), QRect(23, 40, 34, 20));
    m_c.txtlapse = edit(q, "txtlapse", QStringLiteral("5"), QRect(57, 40, 40, 22));
    m_c.Label_minutes = label(q, "Label_minutes", QStringLiteral("minutes"), QRect(98, 40, 45, 20));
    m_c.chk_stimulus =
        check(q, "chk_stimulus", QStringLiteral("Light Stimulus"), QRect(136, 13, 79, 20));
    m_c.shape_cycle = shape(q, "shape_cycle", QRect(11, 74, 204, 47));
    m_c.chk_cycle = check(q, "chk_cycle", QStringLiteral("cycle"), QRect(23, 87, 91, 20));
    m_c.txt_ncycle = edit(q, "txt_ncycle", QStringLiteral("12"), QRect(125, 40, 34, 22));
    m_c.lbl_everycycle =
        label(q, "lbl_everycycle", QStringLiteral("times"), QRect(159, 40, 45, 20));
    m_c.txt_mcycle = edit(q, "txt_mcycle", QStringLiteral("30"), QRect(102, 87, 34, 22));
    m_c.lbl_mcycle = label(q, "lbl_mcycle", QStringLiteral("min"), QRect(136, 87, 23, 20));
    m_c.chk_onlyimg = check(q, "chk_onlyimg", QStringLiteral("RToff"), QRect(159, 87, 45, 20));
    m_c.chk_onlyimg->setToolTip(QStringLiteral("only image recording. Without RT processing"));
    m_c.chk_onlyimg->hide();
    m_c.lbl_stimated =
        label(a, "lbl_stimated", QStringLiteral("estimated total reading time = ##m"),
              QRect(0, 166, 284, 20));
    m_c.lbl_back2 = clickable(a, "lbl_back2", QStringLiteral("< Back"), QRect(28, 252, 114, 20));
    m_c.cmdPlay = button(a, "cmdPlay", QStringLiteral("Start"), QRect(142, 238, 114, 45));
    m_c.frm_acquire->hide();
    m_c.frm_acquire->installEventFilter(this);

    // Results.
    m_c.frame_results =
        group(c, "frame_results", QStringLiteral("Results"), QRect(643, 389, 284, 286));
    QWidget* r = m_c.frame_results;
    m_c.lbl_detpart = label(r, "lbl_detpart", QStringLiteral("Particles"), QRect(14, 21, 85, 20));
    m_c.lbl_particle = label(r, "lbl_particle", QString(), QRect(14, 43, 82, 29));
    m_c.lbl_avrgspeed =
        label(r, "lbl_avrgspeed", QStringLiteral("Speed[mm/s]"), QRect(99, 21, 85, 20));
    m_c.lbl_speed = label(r, "lbl_speed", QString(), QRect(99, 43, 82, 29));
    m_c.lbl_trvldist =
        label(r, "lbl_trvldist", QStringLiteral("Distance[mm]"), QRect(184, 21, 85, 20));
    m_c.lbl_distance = label(r, "lbl_distance", QString(), QRect(184, 43, 85, 29));
    m_c.Picture3 = picture(r, "Picture3", QSize(400, 200), QRect(14, 79, 256, 150));
    m_c.lbl_speedhisto =
        label(r, "lbl_speedhisto", QStringLiteral("Speed Histogram"), QRect(14, 229, 114, 20));
    m_c.cmdreport = button(r, "cmdreport", QStringLiteral("Report"), QRect(142, 229, 128, 36));
    m_c.label_frame = label(r, "label_frame", QString(), QRect(171, 267, 107, 18));
    m_c.lbl_turnings = label(r, "lbl_turnings", QString(), QRect(184, 60, 85, 20));
    m_c.lbl_turnings->hide();

    // Report frame (same rectangle as the results frame).
    m_c.Frame_report =
        group(c, "Frame_report", QStringLiteral("Report"), QRect(643, 389, 284, 286));
    m_c.Frame_report->setAutoFillBackground(true); // covers the results frame
    QWidget* f = m_c.Frame_report;
    m_c.Label_bin = label(f, "Label_bin", QStringLiteral("BIN_Size [min]"), QRect(10, 30, 120, 20));
    m_c.combo_bin = new QComboBox(f);
    m_c.combo_bin->setObjectName("combo_bin");
    m_c.combo_bin->setEditable(true);
    m_c.combo_bin->setGeometry(QRect(135, 28, 70, 24));
    m_c.combo_bin->addItem(QStringLiteral("5"));
    m_c.Label_spacer = label(f, "Label_spacer", QStringLiteral("spacer"), QRect(10, 62, 120, 20));
    m_c.txt_spacer = edit(f, "txt_spacer", QStringLiteral(";"), QRect(135, 60, 40, 22));
    m_c.lbl_path = label(f, "lbl_path", QStringLiteral("my path"), QRect(10, 92, 264, 40));
    m_c.lbl_path->setWordWrap(true);
    m_c.cmd_generate =
        button(f, "cmd_generate", QStringLiteral("Generate"), QRect(10, 140, 125, 32));
    m_c.cmd_cancelreport =
        button(f, "cmd_cancelreport", QStringLiteral("Cancel"), QRect(145, 140, 125, 32));
    m_c.Frame_report->hide();

    // Spare controls of the design.
    m_c.Label6 = label(c, "Label6", QString(), QRect(0, 0, 10, 10));
    m_c.Label6->hide();
    m_c.Label11 = label(c, "Label11", QString(), QRect(0, 0, 10, 10));
    m_c.Label11->hide();
    m_c.Combo1 = new QComboBox(c);
    m_c.Combo1->setObjectName("Combo1");
    m_c.Combo1->hide();
    m_c.Command9 = button(c, "Command9", QString(), QRect(0, 0, 10, 10));
    m_c.Command9->hide();

    m_c.frm_contrast->raise();
    m_c.frame_setupmas->raise(); // over the back and next labels when shown
    m_c.frame_messages->raise();
    m_c.list_projects->raise();
}

void FrmFrontend::buildTimers() {
    auto timer = [this](const char* name, int interval, bool enabled) {
        auto* t = new QTimer(this);
        t->setObjectName(name);
        t->setInterval(interval);
        if (enabled)
            t->start();
        return t;
    };
    m_c.Timeracq = timer("Timeracq", 1000, true);
    m_c.Timer_focus = timer("Timer_focus", 1000, false);
    m_c.Timer_autoload = timer("Timer_autoload", 100, false);
    m_c.Timer_cycle = timer("Timer_cycle", 5000, false);
}

void FrmFrontend::connectHandlers() {
    connect(m_c.lbl_back, &ClickableLabel::clicked, this, &FrmFrontend::lblBackClick);
    connect(m_c.lbl_back2, &ClickableLabel::clicked, this, &FrmFrontend::lblBack2Click);
    connect(m_c.lbl_next, &ClickableLabel::clicked, this, &FrmFrontend::lblNextClick);
    connect(m_c.cmd_explore_pj, &QPushButton::clicked, this, &FrmFrontend::cmdExploreProjectsClick);
    connect(m_c.list_projects, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem*) { listProjectsDoubleClick(); });
    connect(m_c.cmdreport, &QPushButton::clicked, this, &FrmFrontend::cmdReportClick);
    connect(m_c.cmd_cancelreport, &QPushButton::clicked, this, &FrmFrontend::cmdCancelReportClick);
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
    m_c.txt_psize->installEventFilter(this);
    connect(m_c.txtlapse, &QLineEdit::textChanged, this, [this] { m_lapseChanged = true; });
    connect(m_c.cmd_light_auto, &QPushButton::clicked, this, &FrmFrontend::cmdLightAutoClick);
    connect(m_c.cmd_light_less, &QPushButton::clicked, this, &FrmFrontend::cmdLightLessClick);
    connect(m_c.cmd_light_more, &QPushButton::clicked, this, &FrmFrontend::cmdLightMoreClick);
    connect(m_c.cmd_focus, &QPushButton::clicked, this, &FrmFrontend::FocusButtonClick);
    connect(m_c.Timer_focus, &QTimer::timeout, this, &FrmFrontend::FocusModeTick);
    connect(m_c.Timer_autoload, &QTimer::timeout, this, &FrmFrontend::AutoloadPreviewTick);
    connect(m_c.HScroll_plate, &QScrollBar::valueChanged, this,
            &FrmFrontend::ResizePlateFromSlider);
    connect(m_c.cmd_offset_left, &QPushButton::clicked, this, &FrmFrontend::cmdOffsetLeftClick);
    connect(m_c.cmd_offset_right, &QPushButton::clicked, this, &FrmFrontend::cmdOffsetRightClick);
    connect(m_c.cmd_offset_down, &QPushButton::clicked, this, &FrmFrontend::cmdOffsetDownClick);
    connect(m_c.cmd_offset_up, &QPushButton::clicked, this, &FrmFrontend::cmdOffsetUpClick);
}

// ---- Load, unload and layout -------------------------------------------------------------

void FrmFrontend::FormLoad() {
    QPointer<FrmFrontend> self(this);
    m_pageState = 0;
    m_runController = std::make_unique<AcquisitionRunController>(this, m_services);

    m_c.Timeracq->stop();
    m_c.Timer_focus->stop();
    m_focusRunning = false;

    m_c.frm_contrast->hide();
    m_c.frm_preview->hide();
    m_c.Picture_progress->hide();
    m_c.lbl_time->hide();
    m_c.Picture2->hide();
    m_c.Picture2->setGeometry(m_c.Picture1->geometry());
    m_c.frame_results->hide();
    m_targetCount = -1;

    LoadDeviceSettings();
    trainingRestore();
    if (m_services.clock)
        m_services.clock->pause(20);
    if (gone(self, m_unloading))
        return;
    LoadTraining(m_services.programFolder);
    if (gone(self, m_unloading))
        return;

    m_c.chk_stimulus->hide();
    m_c.chk_stimulus->setChecked(false);
    m_autoconnectOn = false;
    m_autoconnectNetwork = defaultNetworkName();

    // The slider's range, then its value; the value is held to the range, and PageState 0
    // keeps the change handler from moving the analysis area.
    m_c.HScroll_plate->setMaximum(training::kSliderMaximum);
    m_c.HScroll_plate->setMinimum(training::kSliderMinimum);
    m_c.HScroll_plate->setValue(training::sliderValueFor(
        {numberIn(m_c.txt_x1), numberIn(m_c.txt_x2), numberIn(m_c.txt_y1), numberIn(m_c.txt_y2)}));

    m_c.combo_bin->clear();
    m_c.combo_bin->addItem(QStringLiteral("5"));
    m_c.combo_bin->addItem(QStringLiteral("1"));
    m_c.combo_bin->setCurrentText(QStringLiteral("5"));

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

    m_lapseChanged = false;
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
        copyFileOver(project, program);
    else if (QFileInfo(defaults).isFile())
        copyFileOver(defaults, program);
}

void FrmFrontend::FormUnload() {
    if (m_unloading)
        return;
    m_unloading = true;
    m_c.Timer_focus->stop();
    m_c.Timer_autoload->stop();
    hide();
    // Showing the start window may load it, and its folder check may wait on message boxes:
    // neither window is touched again when it went away meanwhile.
    QPointer<FrmFrontend> self(this);
    QPointer<FrmInit> start(&Windows::frmInit());
    start->setVisible(true);
    if (start) {
        start->show();
        start->raise();
    }
    if (self)
        emit unloaded();
}

void FrmFrontend::closeEvent(QCloseEvent* event) {
    QPointer<FrmFrontend> self(this);
    FormUnload();
    event->accept();
    if (!self)
        return;
    QWidget::closeEvent(event);
    // Unloaded: the next use creates the window anew from its design values.
    deleteLater();
}

void FrmFrontend::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int menuHeight = m_c.menuBar->sizeHint().height();
    m_c.menuBar->setGeometry(0, 0, width(), menuHeight);
    m_client->setGeometry(0, menuHeight, width(), std::max(0, height() - menuHeight));
    LayoutControls();
}

void FrmFrontend::LayoutControls() {
    const QRect outer = frameGeometry();
    const auto placements = windows::frontendLayout(windows::pixelsToTwips(outer.width()),
                                                    windows::pixelsToTwips(outer.height()));
    for (const windows::Placement& place : placements) {
        QWidget* w = nullptr;
        if (place.name == "Opt_acq(0)")
            w = m_c.Opt_acq[0];
        else if (place.name == "Opt_acq(1)")
            w = m_c.Opt_acq[1];
        else
            w = m_client->findChild<QWidget*>(QString::fromStdString(place.name));
        if (!w)
            continue;
        QRect g = w->geometry();
        if (place.left)
            g.moveLeft(windows::twipsToPixels(*place.left));
        if (place.top)
            g.moveTop(windows::twipsToPixels(*place.top));
        if (place.width)
            g.setWidth(std::max(0, windows::twipsToPixels(*place.width)));
        if (place.height)
            g.setHeight(std::max(0, windows::twipsToPixels(*place.height)));
        w->setGeometry(g);
        if (place.hide)
            w->hide();
    }
    fitCaptions(this);
}

bool FrmFrontend::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_c.frm_acquire &&
        (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)) {
        // The trail map belongs to the acquisition page.
        m_c.Picture_post->setVisible(event->type() == QEvent::ShowToParent);
        if (m_c.Picture_post->isVisibleTo(m_client))
            m_c.Picture_post->raise();
    } else if (event->type() == QEvent::FocusOut) {
        if (watched == m_c.txt_project)
            txtProjectLostFocus();
        else if (watched == m_c.txt_psize)
            txtPsizeLostFocus();
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        for (int i = 0; i < 2; ++i)
            if (watched == m_c.Opt_acq[i]) {
                optAcqDoubleClick(i);
                return true;
            }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Shell handlers ----------------------------------------------------------------------

void FrmFrontend::lblBackClick() {
    Windows::frmInit().show();
    close();
}

void FrmFrontend::lblBack2Click() {
    QPointer<FrmFrontend> self(this);
    if (m_runController && m_runController->acquisitionRunning()) {
        const bool stop = m_services.dialogs->question(QStringLiteral("Stop Acquisition?"));
        if (gone(self, m_unloading) || !stop)
            return;
        m_c.lbl_stimated->hide();
        m_runController->stopAcquisitionRun();
        if (gone(self, m_unloading))
            return;
    }
    m_c.Picture_progress->cls();
    m_lastTimeMark = 0;
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
    QPointer<FrmFrontend> self(this);
    const bool saved = SaveConfigFile();
    if (!WriteTrainingFile() || !saved) {
        // The run would otherwise take an older training without a word.
        m_services.dialogs->message(
            QStringLiteral("The settings could not be saved in the program folder."));
        if (gone(self, m_unloading))
            return;
    }
    m_c.cmd_detect->setText(QStringLiteral("TEST TRAINING"));
    m_c.cmd_clear->setText(QStringLiteral("New"));
    // The focus mode ends with the set-up page.
    clearFocusRunning();
    m_c.Timer_focus->stop();
    m_c.Picture_progress->show();
    m_c.lbl_time->show();
    m_c.frm_contrast->hide();
    m_c.frm_preview->hide();
    m_pageState = 2;
    m_targetCount = -1;
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
    QPointer<FrmFrontend> self(this);
    QListWidgetItem* item = m_c.list_projects->currentItem();
    if (item) {
        m_c.txt_project->setText(item->text());
        const QString saved =
            QDir(projectFolder()).filePath(QString::fromLatin1(formats::kTrainingFileName));
        if (QFileInfo(saved).isFile()) {
            const bool load =
                m_services.dialogs->question(QStringLiteral("Load training from saved project?"));
            if (gone(self, m_unloading))
                return;
            if (load) {
                if (copyFileOver(saved,
                                 programFile(QString::fromLatin1(formats::kTrainingFileName)))) {
                    LoadTraining(m_services.programFolder);
                    if (gone(self, m_unloading))
                        return;
                    CapturePreview();
                    if (gone(self, m_unloading))
                        return;
                } else {
                    m_services.dialogs->message(QStringLiteral("Error reading training.dat file"));
                    if (gone(self, m_unloading))
                        return;
                }
            }
        }
    }
    m_c.list_projects->hide();
}

void FrmFrontend::cmdReportClick() {
    if (m_c.Frame_report->isHidden()) {
        m_c.combo_bin->setCurrentText(m_c.txtlapse->text());
        m_c.lbl_path->setText(m_runFolder);
        m_c.Frame_report->show();
        m_c.Frame_report->raise();
    } else {
        m_c.Frame_report->hide();
    }
}

void FrmFrontend::cmdCancelReportClick() {
    m_c.Frame_report->hide();
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
    FrmAbout& about = Windows::frmAbout();
    about.show();
    about.raise();
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
    QPointer<FrmFrontend> self(this);
    m_services.dialogs->message(QStringLiteral("32 characters Maximum"));
    if (gone(self, m_unloading))
        return;
    m_c.txt_project->setText(m_c.txt_project->text().left(device::kMaxProjectNameLength));
}

void FrmFrontend::txtProjectLostFocus() {
    const QString clean = device::SanitizeName(m_c.txt_project->text());
    if (clean != m_c.txt_project->text())
        m_c.txt_project->setText(clean);
}

void FrmFrontend::txtPsizeLostFocus() {
    if (!windows::plateSizeAccepted(numberIn(m_c.txt_psize))) {
        QPointer<FrmFrontend> self(this);
        m_services.dialogs->message(QStringLiteral("invalid Analisis Area value [10-60]"));
        if (gone(self, m_unloading))
            return;
        m_c.txt_psize->setText(QStringLiteral("35"));
    }
}

// ---- Device link ---------------------------------------------------------------------------

void FrmFrontend::setMessage(const QString& text) {
    m_c.lbl_messages->setText(text);
    m_c.lbl_messages->repaint();
}

int FrmFrontend::ConnectDevice(int mode) {
    const auto busy = m_busy;
    TickGuard guard(busy->connect);
    if (!guard.entered())
        return -1; // a connect is already waiting on the device
    QPointer<FrmFrontend> self(this);
    if (mode == 1) {
        m_c.frm_acquire->hide();
        m_c.frame_results->hide();
    }
    m_targetCount = -1;
    setMessage(QStringLiteral("Connecting"));
    m_c.frame_messages->show();
    m_c.frame_messages->raise();
    m_services.clock->pause(300);
    if (gone(self, m_unloading))
        return -1;

    const QString address = deviceAddress();
    const auto client = m_client_device; // stays alive while a request waits
    int result = -1;
    const std::int16_t status = client->QueryStatus(address, QStringLiteral("0"));
    if (gone(self, m_unloading))
        return -1;
    if (status == -1) {
        // The device did not answer: no set-up, and the set-up page is left as it is.
        setMessage(kIpErrorStatus);
        const QString refused = device::DeviceClient::checkAddress(address);
        m_services.dialogs->message(refused.isEmpty() ? kIpErrorMessage : refused);
        if (gone(self, m_unloading))
            return -1;
        m_c.frame_messages->hide();
        return -1;
    }
    const int setupMode = m_c.Opt_acq[0]->isChecked() ? 0 : 1;
    const std::int16_t setup =
        client->ConfigureCamera(address, setupMode, device::SetupWindow::Acquisition, lampValue(),
                                [self](const QString& text) {
                                    if (self && !self->m_unloading)
                                        self->setMessage(text);
                                });
    if (gone(self, m_unloading))
        return -1;
    if (setup >= 1) {
        setMessage(QStringLiteral("Connecting"));
        m_pageState = static_cast<std::int16_t>(mode);
        CapturePreview();
        if (gone(self, m_unloading))
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
    QPointer<FrmFrontend> self(this);
    const auto client = m_client_device;
    const bool fetched = client->CapturePreview(deviceAddress());
    if (gone(self, m_unloading) || !fetched)
        return false;
    if (!DrawPlateOverlay()) {
        m_services.dialogs->message(QStringLiteral("error acquisition"));
        return false;
    }
    return true;
}

bool FrmFrontend::ShowImage(const QString& file) {
    m_c.Picture1->hide();
    const QRect source =
        m_c.Opt_acq[0]->isChecked() ? QRect(0, 0, 1600, 1200) : QRect(0, 0, 640, 480);
    return m_c.Picture1->loadPicture(file, source);
}

bool FrmFrontend::DrawPlateOverlay() {
    if (!ShowImage(programFile(QStringLiteral("preview.jpg"))))
        return false;
    PictureBox* pic = m_c.Picture1;
    const int x1 = training::wholeValue(m_c.txt_x1->text().toStdString());
    const int x2 = training::wholeValue(m_c.txt_x2->text().toStdString());
    const int y1 = training::wholeValue(m_c.txt_y1->text().toStdString());
    const int y2 = training::wholeValue(m_c.txt_y2->text().toStdString());
    pic->setDrawWidth(1);
    for (const training::OutlineRow& row : training::plateOutlineRows(x1, x2, y1, y2)) {
        pic->pset(row.left, row.y, kRed);
        pic->pset(row.right, row.y, kRed);
    }
    if (m_targetCount > 0) {
        const int b = training::wholeValue(m_c.txt_npix->text().toStdString());
        const int count = std::min<int>(m_targetCount, static_cast<int>(m_picked.x.size()));
        for (int k = 0; k < count; ++k) {
            const auto s = training::targetSquare(m_picked.x[k], m_picked.y[k], b);
            pic->box(s.left, s.top, s.right, s.bottom, kBlue);
        }
    }
    pic->update();
    return true;
}

// ---- Light and focus ---------------------------------------------------------------------

void FrmFrontend::setLightLevel(double level) {
    m_lightLevel = device::clampLightLevel(level);
}

int FrmFrontend::lampValue() const {
    return device::lampValueForLevel(std::clamp(m_lightLevel, 0.0, 16.0));
}

void FrmFrontend::showLightLabel() {
    m_c.Label_light->setText(QString::fromStdString(windows::lightLabelText(m_lightLevel)));
}

void FrmFrontend::cmdLightAutoClick() {
    m_lightLevel = windows::kDefaultLightLevel;
    showLightLabel();
    m_lightChanged = true;
}

void FrmFrontend::cmdLightLessClick() {
    if (windows::lightStepDown(m_lightLevel)) {
        showLightLabel();
        m_lightChanged = true;
    }
}

void FrmFrontend::cmdLightMoreClick() {
    if (windows::lightStepUp(m_lightLevel)) {
        showLightLabel();
        m_lightChanged = true;
    }
}

void FrmFrontend::FocusButtonClick() {
    if (m_focusRunning) {
        m_c.Timer_focus->stop();
        m_focusRunning = false;
        m_c.frm_contrast->hide();
        m_c.cmd_focus->setText(QStringLiteral("FOCUS"));
        m_c.cmd_focus->repaint();
        return;
    }
    QPointer<FrmFrontend> self(this);
    m_focusSecondsLeft = 20;
    m_focusRunning = true;
    m_lightChanged = false;
    m_c.frm_contrast->show();
    m_c.frm_contrast->raise();
    showLightLabel();
    m_c.cmd_focus->setText(QStringLiteral("20"));
    const auto client = m_client_device;
    const std::int16_t status = client->QueryStatus(deviceAddress(), QStringLiteral("0"));
    if (gone(self, m_unloading))
        return;
    if (status != -1) {
        m_focusStartMs = m_services.clock->monotonicMs();
        m_c.Timer_focus->setInterval(250);
        m_c.Timer_focus->start();
    } else {
        setMessage(kIpErrorStatus);
        m_services.dialogs->message(kIpErrorMessage);
    }
}

void FrmFrontend::FocusModeTick() {
    const auto busy = m_busy;
    TickGuard guard(busy->focusTick);
    if (!guard.entered())
        return;
    QPointer<FrmFrontend> self(this);
    m_c.Timer_focus->stop();
    if (!m_focusRunning)
        return;
    // Elapsed time from the monotonic clock, whole seconds: the mode lasts 30 s whatever the
    // wall clock does meanwhile.
    const std::int64_t left =
        windows::focusSecondsLeft(m_services.clock->monotonicMs() - m_focusStartMs);
    if (left < 1) {
        m_focusRunning = false;
        m_c.frm_contrast->hide();
        m_focusSecondsLeft = 20;
        m_c.cmd_focus->setText(QStringLiteral("FOCUS"));
        return;
    }
    m_focusSecondsLeft = static_cast<int>(left);
    if (m_lightChanged) {
        const auto client = m_client_device;
        client->SendControl(deviceAddress(),
                            QStringLiteral("var=lamp&val=") + QString::number(lampValue()));
        if (gone(self, m_unloading))
            return;
        m_lightChanged = false;
        m_services.clock->pause(100);
        if (gone(self, m_unloading))
            return;
    }
    CapturePreview();
    if (gone(self, m_unloading))
        return;
    if (!m_focusRunning)
        return; // the operator ended the mode while the preview was fetched
    m_c.cmd_focus->setText(QString::fromStdString(windows::focusButtonText(left)));
    m_c.cmd_focus->repaint();
    m_c.frm_contrast->show();
    m_c.Timer_focus->start();
    QCoreApplication::processEvents();
}

void FrmFrontend::AutoloadPreviewTick() {
    const auto busy = m_busy;
    TickGuard guard(busy->autoload);
    if (!guard.entered())
        return;
    // One capture after the window has loaded; the timer goes off first so that a capture
    // that waits (a message box) is not started again by the next tick.
    m_c.Timer_autoload->stop();
    CapturePreview();
}

// ---- Plate position ------------------------------------------------------------------------

void FrmFrontend::ResizePlateFromSlider() {
    if (m_pageState < 1)
        return;
    const training::PlateRect rect = training::resizeAroundCentre(
        {numberIn(m_c.txt_x1), numberIn(m_c.txt_x2), numberIn(m_c.txt_y1), numberIn(m_c.txt_y2)},
        m_c.HScroll_plate->value());
    m_c.txt_x1->setText(numberText(rect.x1));
    m_c.txt_x2->setText(numberText(rect.x2));
    m_c.txt_y1->setText(numberText(rect.y1));
    m_c.txt_y2->setText(numberText(rect.y2));
    DrawPlateOverlay();
}

namespace {
void nudge(FrmFrontend& window, training::Nudge direction) {
    auto& c = window.controls();
    training::PlateRect rect{numberIn(c.txt_x1), numberIn(c.txt_x2), numberIn(c.txt_y1),
                             numberIn(c.txt_y2)};
    if (training::nudgeRect(rect, direction)) {
        if (direction == training::Nudge::Left || direction == training::Nudge::Right) {
            c.txt_x1->setText(numberText(rect.x1));
            c.txt_x2->setText(numberText(rect.x2));
        } else {
            c.txt_y1->setText(numberText(rect.y1));
            c.txt_y2->setText(numberText(rect.y2));
        }
    }
    window.DrawPlateOverlay();
}
} // namespace

void FrmFrontend::cmdOffsetLeftClick() {
    nudge(*this, training::Nudge::Left);
}
void FrmFrontend::cmdOffsetRightClick() {
    nudge(*this, training::Nudge::Right);
}
void FrmFrontend::cmdOffsetDownClick() {
    nudge(*this, training::Nudge::Up);
}
void FrmFrontend::cmdOffsetUpClick() {
    nudge(*this, training::Nudge::Down);
}

// ---- Settings and training files -----------------------------------------------------------

void FrmFrontend::LoadDeviceSettings() {
    device::DeviceSettings settings;
    settings.deviceIp = m_c.txt_ip1->text();
    settings.projectName = m_c.txt_project->text();
    settings.lastTraining = m_c.lbl_last_training->text();
    settings.lightLevel = m_lightLevel;
    QString error;
    const bool ok = device::LoadDeviceSettings(m_services.programFolder, settings, &error);
    m_c.txt_ip1->setText(settings.deviceIp);
    m_c.txt_project->setText(settings.projectName);
    m_c.lbl_last_training->setText(settings.lastTraining);
    setLightLevel(settings.lightLevel);
    if (!ok && !error.isEmpty())
        m_services.dialogs->message(error);
}

void FrmFrontend::LoadProjectName() {
    if (const auto name = device::LoadProjectName(m_services.programFolder))
        m_c.txt_project->setText(*name);
}

bool FrmFrontend::SaveConfigFile() {
    return device::SaveConfigFile(m_services.programFolder, m_c.txt_project->text(),
                                  m_c.lbl_last_training->text(), m_lightLevel)
        .isEmpty();
}

bool FrmFrontend::SaveDeviceIp() {
    return device::SaveDeviceIp(m_services.programFolder, m_c.txt_ip1->text()).isEmpty();
}

namespace {
std::array<QLineEdit*, formats::kTrainingKeyCount> trainingBoxes(FrmFrontend::Controls& c) {
    return {c.txt_x1,         c.txt_x2,        c.txt_y1,     c.txt_y2,        c.txt_npix,
            c.txt_pixmin,     c.txt_pixmax,    c.txt_pixtol, c.txt_umbralmin, c.txt_umbralmax,
            c.txt_umbraltol,  c.txt_lenmin,    c.txt_lenmax, c.txt_lentol,    c.txt_umbral_analisis,
            c.txt_umb_an_tol, c.txt_maxtravel, c.txt_psize};
}
} // namespace

void FrmFrontend::LoadTraining(const QString& folder) {
    QPointer<FrmFrontend> self(this);
    const auto boxes = trainingBoxes(m_c);
    const formats::TrainingRead read = formats::readTrainingFile(folder.toStdString());
    bool ok = true;
    if (read.status == formats::TrainingRead::Status::Ok) {
        for (const formats::TrainingAssignment& a : read.assignments)
            if (a.index < boxes.size())
                boxes[a.index]->setText(QString::fromStdString(a.value));
    } else if (read.status == formats::TrainingRead::Status::Missing) {
        const formats::TrainingFile defaults = formats::TrainingFile::defaults();
        for (std::size_t i = 0; i < boxes.size(); ++i)
            boxes[i]->setText(QString::fromStdString(defaults[i]));
        ok = SaveConfigFile() && WriteTrainingFile();
    } else {
        ok = false;
    }
    if (!ok && !gone(self, m_unloading))
        m_services.dialogs->message(QStringLiteral("Error reading training.dat file"));
}

bool FrmFrontend::WriteTrainingFile() {
    formats::TrainingFile training;
    const auto boxes = trainingBoxes(m_c);
    for (std::size_t i = 0; i < boxes.size(); ++i)
        training[i] = boxes[i]->text().toStdString();
    return formats::writeTrainingFileWithDefaults(m_services.programFolder.toStdString(), training)
        .empty();
}

} // namespace ui
