#include "app/device/ui/frm_init.h"

#include "app/device/device_client.h"
#include "app/device/logger_lock.h"
#include "app/device/names.h"
#include "app/device/settings.h"
#include "app/widgets/background_work.h"
#include "app/widgets/caption_fit.h"
#include "app/widgets/clickable_label.h"
#include "app/widgets/picture_box.h"
#include "app/widgets/twips.h"
#include "app/widgets/window_registry.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace ui {

namespace {

const QString kVersionText = QStringLiteral("<< Software Version V1.7 Rev06/2023 >>");
// A default device address shown before one was stored.
const QString kDesignAddress = QStringLiteral("192.168.4.1");
const QString kCrLf = QStringLiteral("\r\n");
// The project's page in the program folder, beside the programs.
constexpr const char* kProjectPageFile = "README.md";

constexpr int kWhite = colourValue(255, 255, 255);
constexpr int kGray = colourValue(128, 128, 128);
constexpr int kHighlight = colourValue(255, 224, 192);

QRect twipsRect(int left, int top, int width, int height) {
    using ui::twipsToPixels;
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// Back to the background the style gives (the system window colour).
void clearBackground(QWidget* widget) {
    widget->setAutoFillBackground(false);
    widget->setPalette(QPalette());
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace

bool FrmInit::s_connected = false;

QString FrmInit::versionText() {
    return kVersionText;
}

bool FrmInit::Connected() {
    return s_connected;
}

QStringList FrmInit::installFolderWarnings(const QString& programFolder) {
    QStringList warnings;
    // Characters, not UTF-16 units: a letter outside the basic plane counts once.
    if (programFolder.toUcs4().size() > 40)
        warnings << QStringLiteral("WARNING: Installation Folder name lenght > 40 characters!") +
                        kCrLf + kCrLf +
                        QStringLiteral("Please Install the Software into a shorter name folder. "
                                       "example: c:\\tovik") +
                        kCrLf + kCrLf + QStringLiteral("Current = ") + programFolder;
    if (device::SanitizePath(programFolder) != programFolder)
        warnings << QStringLiteral("WARNING: Folder name Contains Special Characters!") + kCrLf +
                        kCrLf +
                        QStringLiteral("Please Install the Software into a simpler folder name. "
                                       "example: c:\\tovik") +
                        kCrLf + kCrLf + QStringLiteral("Current = ") + programFolder;
    return warnings;
}

FrmInit::~FrmInit() {
    m_life.end();
}

FrmInit::FrmInit(const platform::Services& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    setObjectName(kWindowName);
    buildControls();
    resetToDesign();
}

void FrmInit::buildControls() {
    setWindowTitle("Vermalux");
    setFixedSize(twipsRect(0, 0, 5520, 4620).size());

    m_image1 = new QLabel("Vermalux", this);
    m_image1->setObjectName("Image1");
    QFont titleFont = m_image1->font();
    titleFont.setPointSize(20);
    titleFont.setBold(true);
    m_image1->setFont(titleFont);
    m_image1->setAlignment(Qt::AlignCenter);
    m_image1->setGeometry(twipsRect(120, 120, 5280, 960));
    m_image1->installEventFilter(this);

    QFont menuFont = font();
    menuFont.setPointSize(11);
    menuFont.setBold(true);

    auto makeEntry = [&](int index, int top, ClickableLabel*& label) {
        auto* frame = new QFrame(this);
        frame->setObjectName(QStringLiteral("frame_option%1").arg(index));
        frame->setFrameShape(QFrame::NoFrame);
        frame->setGeometry(twipsRect(600, top, 4320, 615));
        frame->setMouseTracking(true);
        frame->setCursor(Qt::PointingHandCursor);
        frame->installEventFilter(this);

        auto* shape = new QFrame(frame);
        shape->setObjectName(QStringLiteral("Shape_option%1").arg(index));
        shape->setFrameShape(QFrame::Box);
        shape->setGeometry(twipsRect(240, 180, 255, 255));
        shape->setAttribute(Qt::WA_TransparentForMouseEvents);

        label = new ClickableLabel(QString(), frame);
        label->setObjectName(QStringLiteral("Label_option%1").arg(index));
        label->setFont(menuFont);
        label->setGeometry(twipsRect(720, 120, 3480, 375));
        label->setMouseTracking(true);
        label->installEventFilter(this);
        return frame;
    };
    m_frameOption1 = makeEntry(1, 1200, m_labelOption1);
    m_frameOption2 = makeEntry(2, 1920, m_labelOption2);
    m_frameOption5 = makeEntry(5, 2640, m_labelOption5);
    connect(m_labelOption1, &ClickableLabel::clicked, this, &FrmInit::ShowAddressPanel);
    connect(m_labelOption2, &ClickableLabel::clicked, this, &FrmInit::OpenReanalysisWindow);
    connect(m_labelOption5, &ClickableLabel::clicked, this, &FrmInit::ExitOrBack);

    m_frameIp = new QFrame(this);
    m_frameIp->setObjectName("frame_ip");
    m_frameIp->setFrameShape(QFrame::Box);
    m_frameIp->setGeometry(twipsRect(600, 1200, 4320, 1335));
    m_lblIp = new QLabel(m_frameIp);
    m_lblIp->setObjectName("lbl_ip");
    m_lblIp->setGeometry(twipsRect(240, 180, 1200, 285));
    m_txtIp1 = new QLineEdit(m_frameIp);
    m_txtIp1->setObjectName("txt_ip1");
    m_txtIp1->setGeometry(twipsRect(1560, 120, 2520, 375));
    m_cmdPreview = new QPushButton(m_frameIp);
    m_cmdPreview->setObjectName("cmd_preview");
    m_cmdPreview->setGeometry(twipsRect(1560, 660, 1560, 495));
    connect(m_cmdPreview, &QPushButton::clicked, this, &FrmInit::ConnectButtonClick);
    connect(m_txtIp1, &QLineEdit::returnPressed, m_cmdPreview, &QPushButton::click);

    m_frame1 = new QFrame(this);
    m_frame1->setObjectName("Frame1");
    m_frame1->setFrameShape(QFrame::Box);
    m_frame1->setGeometry(twipsRect(120, 3480, 5280, 855));
    m_lblNews = new QLabel(m_frame1);
    m_lblNews->setObjectName("LblNews");
    m_lblNews->setAlignment(Qt::AlignCenter);
    m_lblNews->setGeometry(twipsRect(120, 180, 5040, 495));

    // The Microbeam entry of the start window: opens the Microbeam window beside this one.
    m_cmdMicro = new QPushButton(this);
    m_cmdMicro->setObjectName("cmd_micro");
    m_cmdMicro->setGeometry(twipsRect(5040, 4380, 375, 195));
    connect(m_cmdMicro, &QPushButton::clicked, this, &FrmInit::OpenMicrobeamWindow);

    m_timerEnd = new QTimer(this);
    m_timerEnd->setObjectName("Timer_end");
    connect(m_timerEnd, &QTimer::timeout, this, &FrmInit::HideStartWindowTick);
}

// The design values of every control: what a freshly loaded window shows.
void FrmInit::resetToDesign() {
    m_labelOption1->setText("START New Acquisition");
    m_labelOption2->setText("Check Results");
    m_labelOption5->setText("EXIT");
    setBackground(m_frameOption1, toQColor(kWhite));
    clearBackground(m_frameOption2);
    clearBackground(m_frameOption5);
    for (ClickableLabel* label : {m_labelOption1, m_labelOption2, m_labelOption5})
        setTextColour(label, toQColor(kGray));
    m_frameOption1->show();
    m_frameOption2->show();
    m_frameOption5->show();

    setBackground(m_frame1, toQColor(kWhite));
    setTextColour(m_lblNews, toQColor(kGray));
    m_lblNews->setText("Equipment Status = unknown");

    m_lblIp->setText("Device ID");
    m_txtIp1->setText(kDesignAddress);
    m_cmdPreview->setText("Connect");
    m_frameIp->hide();

    m_cmdMicro->setText("uM");
    m_cmdMicro->show();

    m_timerEnd->stop();
    m_timerEnd->setInterval(500);
    m_menuState = 0;
    m_lampLevel = 0;
    fitCaptions(this);
}

void FrmInit::setVisible(bool visible) {
    if (visible && !m_loaded) {
        // The window loads before it appears; the folder check may wait on message boxes.
        HandlerGuard guard(m_life);
        resetToDesign();
        StartWindowLoad();
        if (!guard.alive())
            return;
    }
    QWidget::setVisible(visible);
}

void FrmInit::StartWindowLoad() {
    m_loaded = true;
    s_connected = false;
    setNews(kVersionText);
    m_frameIp->hide();
    m_timerEnd->stop();
    m_menuState = 0;
    CheckInstallFolder();
}

void FrmInit::CheckInstallFolder() {
    HandlerGuard guard(m_life);
    const QStringList warnings = installFolderWarnings(m_services.programFolder);
    for (const QString& warning : warnings) {
        if (!guard.alive() || !m_services.dialogs)
            return;
        m_services.dialogs->message(warning);
    }
}

void FrmInit::closeEvent(QCloseEvent* event) {
    // Closing unloads the window: handlers that are waiting stop, and the next showing loads it
    // again from its design values.
    m_life.renew();
    m_loaded = false;
    m_timerEnd->stop();
    event->accept();
}

void FrmInit::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        StartWindowActivate();
    QWidget::changeEvent(event);
}

void FrmInit::StartWindowActivate() {
    m_timerEnd->stop();
}

bool FrmInit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_image1 && event->type() == QEvent::MouseButtonDblClick) {
        OpenMakerPage();
        return true;
    }
    QFrame* entry = nullptr;
    for (QFrame* frame : {m_frameOption1, m_frameOption2, m_frameOption5})
        if (watched == frame || watched->parent() == frame)
            entry = frame;
    if (!entry)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseMove) {
        HighlightMenuEntry(entry);
    } else if (event->type() == QEvent::MouseButtonRelease) {
        // A click on an entry's label or on the frame around it runs the entry once. The release
        // is taken here, so that one on the label does not travel on to the frame and run the
        // entry a second time ("Back" followed by "Sure to Quit?").
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* widget = static_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton &&
            widget->rect().contains(mouse->position().toPoint())) {
            if (entry == m_frameOption1)
                ShowAddressPanel();
            else if (entry == m_frameOption2)
                OpenReanalysisWindow();
            else
                ExitOrBack();
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmInit::HighlightMenuEntry(QFrame* entry) {
    for (QFrame* frame : {m_frameOption1, m_frameOption2, m_frameOption5}) {
        setBackground(frame, toQColor(frame == entry ? kHighlight : kWhite));
        frame->repaint();
    }
}

void FrmInit::ShowAddressPanel() {
    m_menuState = 1;
    m_labelOption5->setText("Back");
    m_frameOption1->hide();
    m_frameOption2->hide();
    LoadDeviceIp();
    m_frameIp->show();
}

void FrmInit::OpenReanalysisWindow() {
    QWidget* reanalysis = Windows::window(QString::fromLatin1(kReanalysisWindowName));
    if (!reanalysis)
        return;
    hide();
    reanalysis->show();
    reanalysis->raise();
}

void FrmInit::OpenMicrobeamWindow() {
    // The start window stays shown.
    QWidget* microbeam = Windows::window(QString::fromLatin1(kMicrobeamWindowName));
    if (!microbeam)
        return;
    microbeam->show();
    microbeam->raise();
    microbeam->activateWindow();
}

// The project's own page, the README of the program folder, in the desktop's opener; nothing
// is awaited, and an opener that does not start changes nothing here.
void FrmInit::OpenMakerPage() {
    m_services.launcher->openPath(
        QDir(m_services.programFolder).filePath(QString::fromLatin1(kProjectPageFile)));
}

void FrmInit::ShowStartMenu() {
    m_frameIp->hide();
    m_menuState = 0;
    m_labelOption5->setText("EXIT");
    m_frameOption1->show();
    m_frameOption2->show();
}

void FrmInit::ExitOrBack() {
    if (m_menuState != 0) {
        // A connect that waits on the device is left with the panel, and its status with it:
        // the menu shows what the load showed, not "Connecting..." or an error of the panel.
        m_life.renew();
        setNews(kVersionText);
        ShowStartMenu();
        return;
    }
    HandlerGuard guard(m_life);
    if (!m_services.dialogs || !m_services.dialogs->question(QStringLiteral("Sure to Quit?")))
        return;
    if (!guard.alive())
        return;
    // Yes ends the program at once: waiting handlers stop, nothing is saved.
    m_life.renew();
    m_timerEnd->stop();
    emit quitRequested();
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

void FrmInit::setNews(const QString& text) {
    m_lblNews->setText(text);
    m_lblNews->repaint();
}

void FrmInit::LoadDeviceIp() {
    const std::optional<QString> address = device::LoadDeviceIp(m_services.programFolder);
    if (!address)
        return;
    m_txtIp1->setText(*address);
    m_txtIp1->repaint();
}

void FrmInit::SaveDeviceIp(const QString& address) {
    // Fails silently: the connect goes on without a stored address.
    device::SaveDeviceIp(m_services.programFolder, address);
}

void FrmInit::LoadLampLevel() {
    m_lampLevel = device::LoadLampLevel(m_services.programFolder, m_lampLevel);
}

bool FrmInit::ConnectDevice(const QString& address) {
    HandlerGuard guard(m_life);
    // True while this window is still the one the connect started in.
    auto alive = [&] { return guard.alive(); };
    const auto fail = [&](const QString& message) {
        s_connected = false;
        if (!message.isEmpty() && m_services.dialogs)
            m_services.dialogs->message(message);
        if (alive())
            setNews(QStringLiteral("Connection ERROR"));
        return false;
    };

    // The address is checked before any request is built from it.
    const QString refusal = device::DeviceClient::checkAddress(address);
    if (!refusal.isEmpty())
        return fail(refusal);

    // Copies: the services stay valid even if the window goes away during a wait.
    const platform::Services services = m_services;
    device::DeviceClient client(services);
    // The window answers while the device is asked; "Back" or a close abandons the wait.
    client.setRequestRunner(requestsBesideWindow(m_life));

    setNews(QStringLiteral("Connecting..."));
    QCoreApplication::processEvents();
    if (!alive())
        return s_connected;
    if (services.clock)
        services.clock->pause(500);
    if (!alive())
        return s_connected;

    const std::int16_t probe = client.QueryStatus(address, QStringLiteral("0"));
    if (client.lastRequestAbandoned()) {
        s_connected = false;
        return false;
    }
    if (probe == -1) {
        s_connected = false;
        if (services.dialogs)
            services.dialogs->message(
                QStringLiteral("IP Connection ERROR!. check if device is ON, and #ID"));
        if (alive())
            setNews(QStringLiteral("Connection ERROR"));
        return false;
    }
    if (!alive())
        return s_connected;

    s_connected = true;
    setNews(QStringLiteral("Connected to") + address);
    // The address that answered is the one stored, whatever the box holds by now.
    SaveDeviceIp(address);
    LoadLampLevel();

    const int lampValue = device::lampValueForLevel(m_lampLevel);
    const auto status = [this, &guard](const QString& text) {
        if (guard.alive())
            setNews(text);
    };
    QString error;
    const std::int16_t result =
        client.ConfigureCamera(address, 0, device::SetupWindow::Start, lampValue, status, &error);
    if (result < 1) {
        s_connected = false;
        if (!error.isEmpty() && services.dialogs)
            services.dialogs->message(error);
        if (alive())
            setNews(QStringLiteral("Connection ERROR"));
        return false;
    }
    s_connected = true;
    if (alive())
        setNews(QStringLiteral("Connected to") + address);
    return s_connected;
}

void FrmInit::ConnectButtonClick() {
    // A second click while a connect waits is ignored.
    HandlerGuard guard(m_life, "ConnectButtonClick");
    if (!guard.entered())
        return;
    // The set-up would change the camera of a run being recorded.
    if (!device::mayDisturbLogger(m_services) || !guard.alive())
        return;
    const bool connected = ConnectDevice(m_txtIp1->text());
    if (!connected || !guard.alive())
        return;
    QWidget* frontend = Windows::window(QString::fromLatin1(kAcquisitionWindowName));
    if (!frontend)
        return;
    frontend->show();
    frontend->raise();
    frontend->activateWindow();
    if (!guard.alive())
        return;
    m_timerEnd->start();
}

void FrmInit::HideStartWindowTick() {
    m_timerEnd->stop();
    // The start window hides because the acquisition window took over. When that window was
    // closed again before the tick (its close shows this window), hiding would leave no window
    // on the screen: the tick is then cancelled like a re-activation of this window.
    const QWidget* frontend = Windows::existing(QString::fromLatin1(kAcquisitionWindowName));
    if (!frontend || !frontend->isVisible())
        return;
    hide();
    ShowStartMenu();
}

} // namespace ui
