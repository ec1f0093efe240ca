// The start window: load, start menu, installation-folder warnings, "EXIT", and connecting to
// a device answered by fakes.

#include "tests/device/ui/start_window_support.h"
#include "tests/support/all_windows.h"

#include "app/device/logger_lock.h"
#include "app/device/ui/frm_about.h"
#include "app/device/ui/frm_init.h"
#include "app/widgets/clickable_label.h"
#include "app/windows/ui/frm_frontend.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using namespace start_window_test;
using platform::fakes::FakeServices;
using ui::FrmInit;
using ui::Windows;

const QString kAddress = QStringLiteral("10.0.0.7");

// The control queries of a full start-window set-up with lamp value `lamp`.
QStringList setupQueries(int lamp) {
    return {"var=framesize&val=13",
            "var=aec_value&val=1100",
            "var=agc_gain&val=0",
            "var=quality&val=16",
            QStringLiteral("var=lamp&val=%1").arg(lamp),
            "var=lenc&val=1",
            "var=wpc&val=1"};
}

const QStringList kStepTexts = {
    "Setting Resolution 1600x1200...", "Setting Exposition...", "Setting Gain...",
    "Setting Compression...",          "Setting Lighting...",   "Setting Lens correction...",
    "Setting Pixel correction..."};

class StartWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        m_dir = makeProgramFolder();
        ASSERT_TRUE(m_dir->isValid());
        useFolder(m_dir->path());
    }
    void TearDown() override {
        Windows::destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Services with the fakes and a downloader that notes the status label at each request.
    void useFolder(const QString& folder) {
        m_folder = folder;
        const auto newsText = [] {
            if (!Windows::has<ui::FrmInit>())
                return QString();
            auto* news = Windows::get<ui::FrmInit>().findChild<QLabel*>("LblNews");
            return news ? news->text() : QString();
        };
        m_recorder = std::make_shared<RecordingDownloader>(fakes.downloader, newsText);
        m_clock = std::make_shared<RecordingClock>(fakes.clock, newsText);
        platform::Services services = fakes.services(folder);
        services.downloader = m_recorder;
        services.clock = m_clock;
        Windows::setServices(services);
        test_support::registerAllWindows();
    }

    FrmInit& window() { return Windows::get<ui::FrmInit>(); }
    template <class T> T* child(const char* name) {
        T* found = window().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString news() { return child<QLabel>("LblNews")->text(); }

    // The device at kAddress answers "/status" and every set-up query but `refused`.
    void answerDevice(int lamp, const QString& refused = QString()) {
        fakes.downloader->bodies["http://" + kAddress + "/status"] = "{}";
        for (const QString& query : setupQueries(lamp))
            if (query != refused)
                fakes.downloader->bodies["http://" + kAddress + "/control?" + query] = "";
    }

    void openPanel() { child<ui::ClickableLabel>("Label_option1")->click(); }
    void clickConnect() { child<QPushButton>("cmd_preview")->click(); }

    QStringList requestedUrls() const {
        QStringList urls;
        for (const auto& call : m_recorder->calls)
            urls << call.url;
        return urls;
    }
    QStringList statusAtRequests() const {
        QStringList texts;
        for (const auto& call : m_recorder->calls)
            texts << call.status;
        return texts;
    }

    FakeServices fakes;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
    std::shared_ptr<RecordingDownloader> m_recorder;
    std::shared_ptr<RecordingClock> m_clock;
};

TEST_F(StartWindowTest, LoadShowsVersionAndStartMenu) {
    window().show();
    EXPECT_EQ(news(), "<< Software Version V1.7 Rev06/2023 >>");
    EXPECT_EQ(window().menuState(), 0);
    EXPECT_FALSE(FrmInit::Connected());
    EXPECT_FALSE(child<QFrame>("frame_ip")->isVisible());
    EXPECT_TRUE(child<QPushButton>("cmd_micro")->isVisible());
    EXPECT_EQ(child<QPushButton>("cmd_micro")->text(), "uM");
    EXPECT_FALSE(child<QTimer>("Timer_end")->isActive());
    EXPECT_EQ(child<QTimer>("Timer_end")->interval(), 500);
    EXPECT_EQ(child<QLabel>("Label_option1")->text(), "START New Acquisition");
    EXPECT_EQ(child<QLabel>("Label_option2")->text(), "Check Results");
    EXPECT_EQ(child<QLabel>("Label_option5")->text(), "EXIT");
    EXPECT_EQ(child<QLabel>("lbl_ip")->text(), "Device ID");
    EXPECT_EQ(child<QPushButton>("cmd_preview")->text(), "Connect");
    EXPECT_EQ(child<QFrame>("frame_option1")->palette().color(QPalette::Window),
              QColor(255, 255, 255));
    EXPECT_EQ(child<QLabel>("Label_option1")->palette().color(QPalette::WindowText),
              QColor(128, 128, 128));
    EXPECT_TRUE(fakes.dialogs->log.empty());
}

TEST_F(StartWindowTest, StartMenuOpensPanelWithStoredAddressAndBackReturns) {
    writeFile(m_folder + "/ipdata.dat", "192.168.7.20\r\n");
    window().show();
    openPanel();
    EXPECT_EQ(window().menuState(), 1);
    EXPECT_EQ(child<QLabel>("Label_option5")->text(), "Back");
    EXPECT_FALSE(child<QFrame>("frame_option1")->isVisible());
    EXPECT_FALSE(child<QFrame>("frame_option2")->isVisible());
    EXPECT_TRUE(child<QFrame>("frame_ip")->isVisible());
    EXPECT_EQ(child<QLineEdit>("txt_ip1")->text(), "192.168.7.20");

    // "Back" closes the panel without asking to quit.
    child<ui::ClickableLabel>("Label_option5")->click();
    EXPECT_EQ(window().menuState(), 0);
    EXPECT_EQ(child<QLabel>("Label_option5")->text(), "EXIT");
    EXPECT_TRUE(child<QFrame>("frame_option1")->isVisible());
    EXPECT_TRUE(child<QFrame>("frame_option2")->isVisible());
    EXPECT_FALSE(child<QFrame>("frame_ip")->isVisible());
    EXPECT_TRUE(fakes.dialogs->questions().isEmpty());
}

TEST_F(StartWindowTest, PanelWithoutStoredAddressKeepsTheBoxText) {
    window().show();
    const QString design = child<QLineEdit>("txt_ip1")->text();
    openPanel();
    EXPECT_EQ(child<QLineEdit>("txt_ip1")->text(), design);
}

TEST_F(StartWindowTest, ClickOnEntryFrameActsLikeItsLabel) {
    window().show();
    auto* frame = child<QFrame>("frame_option1");
    const QPointF inside(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, inside, frame->mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, frame->mapToGlobal(inside),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(frame, &press);
    QCoreApplication::sendEvent(frame, &release);
    EXPECT_EQ(window().menuState(), 1);
}

// A mouse click on an entry's label runs the entry once, even though the label sits inside the
// entry's frame, which answers clicks too.
TEST_F(StartWindowTest, MouseClickOnBackLabelRunsOnce) {
    window().show();
    openPanel();
    auto* back = child<QLabel>("Label_option5");
    const QPointF inside(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, inside, back->mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, back->mapToGlobal(inside),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(back, &press);
    QCoreApplication::sendEvent(back, &release);
    EXPECT_EQ(window().menuState(), 0);
    EXPECT_TRUE(fakes.dialogs->questions().isEmpty());
}

TEST_F(StartWindowTest, HoveredEntryStaysHighlighted) {
    window().show();
    auto move = [](QWidget* widget) {
        const QPointF at(3, 3);
        QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
    };
    const QColor highlight(255, 224, 192);
    const QColor white(255, 255, 255);
    move(child<QFrame>("frame_option2"));
    EXPECT_EQ(child<QFrame>("frame_option2")->palette().color(QPalette::Window), highlight);
    EXPECT_EQ(child<QFrame>("frame_option1")->palette().color(QPalette::Window), white);
    EXPECT_EQ(child<QFrame>("frame_option5")->palette().color(QPalette::Window), white);
    // Over the label of another entry, then off the menu: the last entry stays highlighted.
    move(child<QLabel>("Label_option5"));
    move(&window());
    EXPECT_EQ(child<QFrame>("frame_option5")->palette().color(QPalette::Window), highlight);
    EXPECT_EQ(child<QFrame>("frame_option2")->palette().color(QPalette::Window), white);
}

TEST_F(StartWindowTest, ExitAnsweredNoChangesNothing) {
    window().show();
    int quits = 0;
    QObject::connect(&window(), &FrmInit::quitRequested, [&] { ++quits; });
    fakes.dialogs->answers = {false};
    child<ui::ClickableLabel>("Label_option5")->click();
    EXPECT_EQ(fakes.dialogs->questions(), QStringList{"Sure to Quit?"});
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(window().menuState(), 0);
    EXPECT_EQ(child<QLabel>("Label_option5")->text(), "EXIT");
    EXPECT_TRUE(child<QFrame>("frame_option1")->isVisible());
}

TEST_F(StartWindowTest, ExitAnsweredYesEndsTheProgram) {
    window().show();
    int quits = 0;
    QObject::connect(&window(), &FrmInit::quitRequested, [&] { ++quits; });
    fakes.dialogs->answers = {true};
    child<ui::ClickableLabel>("Label_option5")->click();
    EXPECT_EQ(fakes.dialogs->questions(), QStringList{"Sure to Quit?"});
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
}

TEST_F(StartWindowTest, CheckResultsOpensTheReanalysisWindow) {
    window().show();
    child<ui::ClickableLabel>("Label_option2")->click();
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
    ASSERT_TRUE(Windows::has<ui::FrmTraining>());
    EXPECT_TRUE(Windows::get<ui::FrmTraining>().isVisible());
    EXPECT_EQ(Windows::get<ui::FrmTraining>().windowTitle(), "Plate Reanalysis");
    EXPECT_FALSE(window().isVisible());
    // Its back label brings the start window again.
    Windows::get<ui::FrmTraining>().controls().lbl_backinit->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window().isVisible());
}

TEST_F(StartWindowTest, DoubleClickOnTheLogoOpensTheProjectsPageAndWaitsForNothing) {
    window().show();
    fakes.launcher->openSucceeds = false; // an opener that does not start changes nothing
    auto* logo = child<QLabel>("Image1");
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5), logo->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(logo, &click);
    EXPECT_EQ(fakes.launcher->opened, QStringList{QDir(m_folder).filePath("README.md")});
    // No program is started and none waited on.
    EXPECT_TRUE(fakes.launcher->started.empty());
    // Nothing else happens on the start window.
    EXPECT_EQ(window().menuState(), 0);
    EXPECT_TRUE(fakes.dialogs->log.empty());
}

// ---- installation folder -------------------------------------------------------------------

QString lengthWarning(const QString& path) {
    return "WARNING: Installation Folder name lenght > 40 characters!\r\n\r\n"
           "Please Install the Software into a shorter name folder. example: c:\\tovik\r\n\r\n"
           "Current = " +
           path;
}
QString specialWarning(const QString& path) {
    return "WARNING: Folder name Contains Special Characters!\r\n\r\n"
           "Please Install the Software into a simpler folder name. example: c:\\tovik\r\n\r\n"
           "Current = " +
           path;
}

// A folder inside the test's folder whose full path has exactly `length` characters, the
// name padded with "a" after `stem`.
QString folderOfLength(const QString& base, const QString& stem, int length) {
    QString path = base + "/" + stem;
    while (path.size() < length)
        path += "a";
    QDir().mkpath(path);
    return path;
}

TEST_F(StartWindowTest, FolderOfFortyCharactersGivesNoWarning) {
    const QString path = folderOfLength(m_dir->path(), "p", 40);
    ASSERT_EQ(path.size(), 40);
    useFolder(path);
    window().show();
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
    EXPECT_TRUE(window().isVisible());
}

TEST_F(StartWindowTest, FolderOfFortyOneCharactersWarnsAndGoesOn) {
    const QString path = folderOfLength(m_dir->path(), "p", 41);
    ASSERT_EQ(path.size(), 41);
    useFolder(path);
    window().show();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{lengthWarning(path)});
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(news(), "<< Software Version V1.7 Rev06/2023 >>");
    EXPECT_EQ(window().menuState(), 0);
}

TEST_F(StartWindowTest, SpecialCharactersWarn) {
    for (const QString name : {"my folder", "v1.7", "caf\u00e9", "a#b"}) {
        const QString path = m_dir->path() + "/" + name;
        ASSERT_LE(path.size(), 40);
        EXPECT_EQ(FrmInit::installFolderWarnings(path), QStringList{specialWarning(path)})
            << name.toStdString();
    }
    // Letters, digits, "_", "-", "+", brackets, "/", "\" and ":" are fine.
    EXPECT_TRUE(FrmInit::installFolderWarnings("/opt/Vx_2-(a)[b]+c").isEmpty());
    EXPECT_TRUE(FrmInit::installFolderWarnings("c:\\tovik").isEmpty());
}

TEST_F(StartWindowTest, LongFolderWithBlankGivesBothWarningsLengthFirst) {
    const QString path = folderOfLength(m_dir->path(), "my folder ", 45);
    useFolder(path);
    window().show();
    EXPECT_EQ(fakes.dialogs->messages(), (QStringList{lengthWarning(path), specialWarning(path)}));
    EXPECT_TRUE(window().isVisible());
}

// ---- connecting ----------------------------------------------------------------------------

TEST_F(StartWindowTest, ConnectSetsCameraUpOpensAcquisitionWindowAndHidesStartWindow) {
    writeFile(m_folder + "/config.dat", "plates\r\n[ 2026-01-10 ]\r\n7.5\r\n");
    answerDevice(48); // level 7.5 rounds to 8: lamp value 48
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    clickConnect();

    QStringList expectedUrls{"http://" + kAddress + "/status"};
    for (const QString& query : setupQueries(48))
        expectedUrls << "http://" + kAddress + "/control?" + query;
    EXPECT_EQ(requestedUrls(), expectedUrls);
    QStringList expectedTexts{"Connecting..."};
    expectedTexts << kStepTexts;
    EXPECT_EQ(statusAtRequests(), expectedTexts);
    // The connect's own pauses with the status shown during each (the acquisition window may
    // pause afterwards as it loads).
    QStringList expectedPauses{"500 Connecting...", "300 Connecting to IP10.0.0.7"};
    for (const QString& text : kStepTexts)
        expectedPauses << "250 " + text;
    expectedPauses << "100 Setting OK...";
    QStringList pauses;
    for (const auto& pause : m_clock->pauses)
        pauses << QString::number(pause.ms) + " " + pause.status;
    EXPECT_EQ(pauses.mid(0, expectedPauses.size()), expectedPauses);
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty());
    EXPECT_EQ(news(), "Connected to10.0.0.7");
    EXPECT_TRUE(FrmInit::Connected());
    EXPECT_EQ(window().lampLevel(), 8);
    EXPECT_EQ(readFile(m_folder + "/ipdata.dat"), QByteArray("10.0.0.7\r\n"));

    ASSERT_TRUE(Windows::has<ui::FrmFrontend>());
    EXPECT_TRUE(Windows::get<ui::FrmFrontend>().isVisible());
    EXPECT_TRUE(child<QTimer>("Timer_end")->isActive());

    // 500 ms later the start window hides and is back on its start menu.
    ASSERT_TRUE(waitFor([&] { return !window().isVisible(); }));
    EXPECT_FALSE(child<QTimer>("Timer_end")->isActive());
    EXPECT_EQ(window().menuState(), 0);
    EXPECT_EQ(child<QLabel>("Label_option5")->text(), "EXIT");
    EXPECT_TRUE(child<QFrame>("frame_ip")->isHidden());
    EXPECT_FALSE(child<QFrame>("frame_option1")->isHidden());
    EXPECT_FALSE(child<QFrame>("frame_option2")->isHidden());
    EXPECT_TRUE(FrmInit::Connected());

    // Shown again, it shows the start menu (it was hidden, not reloaded).
    window().show();
    EXPECT_TRUE(child<QFrame>("frame_option1")->isVisible());
    EXPECT_FALSE(child<QFrame>("frame_ip")->isVisible());
    EXPECT_EQ(child<QLabel>("Label_option5")->text(), "EXIT");
}

TEST_F(StartWindowTest, ConnectWithoutConfigFileSendsLampLevelFive) {
    answerDevice(30);
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    clickConnect();
    EXPECT_TRUE(requestedUrls().contains("http://" + kAddress + "/control?var=lamp&val=30"));
    EXPECT_TRUE(FrmInit::Connected());
    EXPECT_EQ(window().lampLevel(), 5);
}

TEST_F(StartWindowTest, ConnectAsksFirstWhileALoggerFetchesAndNoSendsNothing) {
    // A logger (of this or another Vermalux on the folder) holds the program folder's lock.
    QString error;
    const int logger = device::takeLoggerLock(m_folder, &error);
    ASSERT_GE(logger, 0) << error.toStdString();
    answerDevice(30);
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    clickConnect(); // No, the default
    const QString question = QString::fromLatin1(device::kLoggerFetchingQuestion);
    EXPECT_EQ(fakes.dialogs->questions(), QStringList{question});
    EXPECT_EQ(fakes.dialogs->buttonsOf(question), platform::QuestionButtons::YesNoDefaultNo);
    EXPECT_TRUE(requestedUrls().isEmpty());
    EXPECT_FALSE(FrmInit::Connected());
    fakes.dialogs->answers = {true};
    clickConnect();
    ::close(logger);
    EXPECT_EQ(fakes.dialogs->questions().size(), 2);
    EXPECT_TRUE(FrmInit::Connected());
    EXPECT_EQ(requestedUrls().size(), 1 + setupQueries(30).size());
}

TEST_F(StartWindowTest, HandEditedLampLevelIsHeldBeforeItIsSent) {
    // Line 3 beyond what the device takes: the level is held to 16 (lamp value 96).
    writeFile(m_folder + "/config.dat", "plates\r\n[ - - ]\r\n250.0\r\n");
    answerDevice(96);
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    clickConnect();
    EXPECT_TRUE(FrmInit::Connected()) << fakes.dialogs->messages().join('|').toStdString();
    EXPECT_EQ(window().lampLevel(), 16);
    EXPECT_TRUE(requestedUrls().contains("http://" + kAddress + "/control?var=lamp&val=96"));
}

TEST_F(StartWindowTest, NegativeLampLevelGivesFive) {
    writeFile(m_folder + "/config.dat", "plates\r\n[ - - ]\r\n-3.0\r\n");
    answerDevice(30);
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    clickConnect();
    EXPECT_EQ(window().lampLevel(), 5);
    EXPECT_TRUE(requestedUrls().contains("http://" + kAddress + "/control?var=lamp&val=30"));
}

TEST_F(StartWindowTest, RefusedSettingStopsSetUpAndStaysOnPanel) {
    answerDevice(30, "var=quality&val=16");
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    clickConnect();

    QStringList expectedUrls{"http://" + kAddress + "/status"};
    for (const QString& query : setupQueries(30).mid(0, 4))
        expectedUrls << "http://" + kAddress + "/control?" + query;
    EXPECT_EQ(requestedUrls(), expectedUrls);
    QStringList expectedTexts{"Connecting..."};
    expectedTexts << kStepTexts.mid(0, 4);
    EXPECT_EQ(statusAtRequests(), expectedTexts);
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Error connecting to 10.0.0.7"});
    EXPECT_EQ(news(), "Connection ERROR");
    EXPECT_FALSE(FrmInit::Connected());
    // The device answered, so its address was kept.
    EXPECT_EQ(readFile(m_folder + "/ipdata.dat"), QByteArray("10.0.0.7\r\n"));
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>() && Windows::get<ui::FrmFrontend>().isVisible());
    EXPECT_FALSE(child<QTimer>("Timer_end")->isActive());
    EXPECT_TRUE(child<QFrame>("frame_ip")->isVisible());
    EXPECT_EQ(window().menuState(), 1);
}

TEST_F(StartWindowTest, DeadAddressReportsConnectionError) {
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    clickConnect();
    EXPECT_EQ(requestedUrls(), QStringList{"http://" + kAddress + "/status"});
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"IP Connection ERROR!. check if device is ON, and #ID"});
    EXPECT_EQ(news(), "Connection ERROR");
    EXPECT_FALSE(FrmInit::Connected());
    EXPECT_FALSE(QFile::exists(m_folder + "/ipdata.dat"));
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>() && Windows::get<ui::FrmFrontend>().isVisible());
    EXPECT_TRUE(child<QFrame>("frame_ip")->isVisible());
    // Back leaves the error with the panel: the start menu shows what the load showed.
    child<ui::ClickableLabel>("Label_option5")->click();
    EXPECT_FALSE(child<QFrame>("frame_ip")->isVisible());
    EXPECT_EQ(news(), FrmInit::versionText());
}

TEST_F(StartWindowTest, RefusedAddressIsReportedWithoutAnyRequest) {
    window().show();
    openPanel();
    for (const QString address : {"10.0.0.7/../x", "10.0.0.7 ", "host:99999", "a@b"}) {
        fakes.dialogs->log.clear();
        child<QLineEdit>("txt_ip1")->setText(address);
        clickConnect();
        ASSERT_EQ(fakes.dialogs->messages().size(), 1) << address.toStdString();
        EXPECT_TRUE(fakes.dialogs->messages()[0].startsWith("The device address \""))
            << fakes.dialogs->messages()[0].toStdString();
        EXPECT_EQ(news(), "Connection ERROR");
    }
    fakes.dialogs->log.clear();
    child<QLineEdit>("txt_ip1")->setText("");
    clickConnect();
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"No device address was given."});
    EXPECT_TRUE(requestedUrls().isEmpty());
    EXPECT_FALSE(FrmInit::Connected());
    EXPECT_FALSE(QFile::exists(m_folder + "/ipdata.dat"));
}

TEST_F(StartWindowTest, AddressEditedDuringConnectIsNotTheOneSaved) {
    answerDevice(30);
    fakes.clock->processEventsInPause = true;
    window().show();
    openPanel();
    auto* box = child<QLineEdit>("txt_ip1");
    box->setText(kAddress);
    QTimer::singleShot(0, box, [box] { box->setText("10.0.0.99"); });
    clickConnect();
    EXPECT_TRUE(FrmInit::Connected());
    EXPECT_EQ(readFile(m_folder + "/ipdata.dat"), QByteArray("10.0.0.7\r\n"));
}

TEST_F(StartWindowTest, ClosingDuringConnectStopsTheHandler) {
    answerDevice(30);
    fakes.clock->processEventsInPause = true;
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    QPointer<FrmInit> start(&window());
    QTimer::singleShot(0, start, [start] { start->close(); });
    clickConnect();
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>() && Windows::get<ui::FrmFrontend>().isVisible());
    EXPECT_FALSE(child<QTimer>("Timer_end")->isActive());
    EXPECT_FALSE(window().isVisible());

    // Shown again, the window is loaded anew from its design values.
    window().show();
    EXPECT_EQ(news(), "<< Software Version V1.7 Rev06/2023 >>");
    EXPECT_FALSE(FrmInit::Connected());
    EXPECT_FALSE(child<QFrame>("frame_ip")->isVisible());
    EXPECT_EQ(child<QLabel>("Label_option5")->text(), "EXIT");
    EXPECT_EQ(child<QLineEdit>("txt_ip1")->text(), "192.168.4.1");
}

TEST_F(StartWindowTest, BackWorksWhileTheDeviceDoesNotAnswer) {
    answerDevice(30);
    // The device accepts and keeps silent until the test lets it answer (the limit only guards
    // against a hang); it is asked straight, not through the recorder that looks at the window.
    Windows::setServices(fakes.services(m_folder));
    fakes.downloader->hold(120000);
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    int turns = 0; // of the window's event loop while the device is asked
    bool backClicked = false;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (fakes.downloader->waiting() == 0 || backClicked)
            return;
        if (++turns == 5) {
            backClicked = true;
            child<ui::ClickableLabel>("Label_option5")->click();
        }
    });
    ticker.start();
    clickConnect();
    ticker.stop();
    EXPECT_TRUE(backClicked);
    EXPECT_EQ(fakes.downloader->waiting(), 1); // the connect returned while the device was silent
    EXPECT_FALSE(child<QFrame>("frame_ip")->isVisible());
    EXPECT_EQ(child<QLabel>("Label_option5")->text(), "EXIT");

    // The late answer changes nothing: the wait was abandoned with the panel.
    fakes.downloader->release();
    ASSERT_TRUE(waitFor([&] { return fakes.downloader->waiting() == 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fakes.downloader->requests, QStringList{"http://" + kAddress + "/status"});
    EXPECT_TRUE(fakes.dialogs->log.empty());
    EXPECT_FALSE(FrmInit::Connected());
    EXPECT_EQ(news(), FrmInit::versionText());
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>() && Windows::get<ui::FrmFrontend>().isVisible());
}

TEST_F(StartWindowTest, ClosingDuringSetUpLeavesTheClosedWindowAlone) {
    answerDevice(30);
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    QPointer<FrmInit> start(&window());
    m_recorder->onRequest = [start](const QString& url) {
        if (url.endsWith("var=agc_gain&val=0") && start)
            start->close();
    };
    clickConnect();
    ASSERT_FALSE(start.isNull());
    // The set-up stopped with the window, which kept the text it had.
    EXPECT_EQ(requestedUrls().size(), 4);
    EXPECT_EQ(news(), "Setting Gain...");
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>() && Windows::get<ui::FrmFrontend>().isVisible());
    EXPECT_FALSE(child<QTimer>("Timer_end")->isActive());
}

TEST_F(StartWindowTest, DestroyingWindowsDuringSetUpIsSafe) {
    answerDevice(30);
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    QPointer<FrmInit> start(&window());
    m_recorder->onRequest = [](const QString& url) {
        if (url.endsWith("var=quality&val=16"))
            Windows::destroyAll();
    };
    child<QPushButton>("cmd_preview")->click();
    EXPECT_TRUE(start.isNull());
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>());
    EXPECT_FALSE(FrmInit::Connected()); // the set-up stopped with the windows
}

TEST_F(StartWindowTest, ActivatingStartWindowCancelsTheHiding) {
    answerDevice(30);
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    clickConnect();
    ASSERT_TRUE(child<QTimer>("Timer_end")->isActive());
    // The hiding waits for as long as the activations take on a busy machine.
    child<QTimer>("Timer_end")->start(600000);
    if (!waitFor([&] { return Windows::get<ui::FrmFrontend>().isActiveWindow(); }, 5000))
        GTEST_SKIP() << "this platform does not activate windows";
    window().activateWindow();
    if (!waitFor([&] { return window().isActiveWindow(); }, 5000))
        GTEST_SKIP() << "this platform does not activate windows";
    EXPECT_FALSE(child<QTimer>("Timer_end")->isActive());
    EXPECT_TRUE(window().isVisible());
}

TEST_F(StartWindowTest, AcquisitionWindowClosedBeforeTheTickKeepsStartWindowShown) {
    answerDevice(30);
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    clickConnect();
    ASSERT_TRUE(child<QTimer>("Timer_end")->isActive());
    Windows::get<ui::FrmFrontend>().close();
    ASSERT_TRUE(waitFor([&] { return !child<QTimer>("Timer_end")->isActive(); }));
    // Never a program without a window on the screen.
    EXPECT_TRUE(window().isVisible());
}

TEST_F(StartWindowTest, DestroyingWindowsDuringConnectIsSafe) {
    answerDevice(30);
    fakes.clock->processEventsInPause = true;
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    QPointer<FrmInit> start(&window());
    QTimer::singleShot(0, [] { Windows::destroyAll(); });
    child<QPushButton>("cmd_preview")->click();
    EXPECT_TRUE(start.isNull());
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>());
}

TEST_F(StartWindowTest, SecondClickWhileConnectingIsIgnored) {
    answerDevice(30);
    fakes.clock->processEventsInPause = true;
    window().show();
    openPanel();
    child<QLineEdit>("txt_ip1")->setText(kAddress);
    auto* button = child<QPushButton>("cmd_preview");
    QTimer::singleShot(0, button, [button] { button->click(); });
    button->click();
    EXPECT_EQ(requestedUrls().count("http://" + kAddress + "/status"), 1);
    EXPECT_TRUE(FrmInit::Connected());
}

// ---- about box -----------------------------------------------------------------------------

TEST_F(StartWindowTest, AboutBoxShowsVersionText) {
    ui::FrmAbout& about = Windows::get<ui::FrmAbout>();
    about.show();
    auto* version = about.findChild<QLabel*>("Label_Version");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), "<< Software Version V1.7 Rev06/2023 >>");
    about.close();
    about.show();
    EXPECT_EQ(version->text(), "<< Software Version V1.7 Rev06/2023 >>");
}

} // namespace
