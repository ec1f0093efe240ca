// The acquisition window's connect against the camera device simulator over real HTTP, and a
// picture of the window after it: the preview and the plate outline must be on screen.

#include "tests/support/all_windows.h"
#include "tests/windows/ui/frontend_support.h"

#include "app/acquisition/ui/acquisition_run_controller.h"
#include "app/device/logger_lock.h"
#include "app/widgets/picture_box.h"
#include "formats/run_data_file.h"
#include "formats/training_file.h"
#include "platform/curl_downloader.h"
#include "tools/devicesim/sim_process.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>

#include <unistd.h>

namespace {

using namespace frontend_test;
using ui::FrmFrontend;
using ui::Windows;

class FrontendDeviceSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        if (!QFile::exists(QStringLiteral(VX_BIN_DIR "/devicesim")))
            GTEST_SKIP() << "devicesim was not built";
        m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vxfsXXXXXX"));
        ASSERT_TRUE(m_dir->isValid());
        m_folder = m_dir->path();
        m_log = QDir(m_folder).filePath("sim.log");
        m_sim = std::make_unique<devicesim::SimProcess>(
            VX_BIN_DIR, std::vector<std::string>{"--worms", "8", "--seed", "7"});
        ASSERT_TRUE(m_sim->ok()) << m_sim->error();
        m_hook = std::make_shared<HookDownloader>(std::make_shared<platform::CurlDownloader>());
        platform::Services services = fakes.services(m_folder);
        services.downloader = m_hook;
        writeFile(QDir(m_folder).filePath("ipdata.dat"),
                  QByteArray::fromStdString(m_sim->address()) + "\r\n");
        Windows::setServices(services);
        test_support::registerAllWindows();
    }
    void TearDown() override {
        Windows::destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_sim.reset();
    }

    FrmFrontend& open() {
        FrmFrontend& w = Windows::get<ui::FrmFrontend>();
        w.controls().Timer_autoload->stop();
        return w;
    }

    platform::fakes::FakeServices fakes;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
    QString m_log;
    std::unique_ptr<devicesim::SimProcess> m_sim;
    std::shared_ptr<HookDownloader> m_hook;
};

TEST_F(FrontendDeviceSimTest, ConnectSetsTheCameraUpAndFetchesThePreview) {
    FrmFrontend& w = open();
    const QString address = QString::fromStdString(m_sim->address());
    ASSERT_EQ(w.controls().txt_ip1->text(), address);
    QStringList urls;
    QStringList seen; // lbl_messages when each request went out
    m_hook->onRequest = [&](const QString& url) {
        urls << url;
        seen << w.controls().lbl_messages->text();
    };
    EXPECT_EQ(w.ConnectDevice(1), 1);
    EXPECT_EQ(
        seen,
        (QStringList{"Connecting", "Setting Resolution 1600x1200...", "Setting Exposition...",
                     "Setting Gain...", "Setting Compression...", "Setting Lighting...",
                     "Setting Lens correction...", "Setting Pixel correction...", "Connecting"}));
    EXPECT_EQ(urls.value(5), "http://" + address + "/control?var=lamp&val=30");
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join('|').toStdString();
    ASSERT_EQ(urls.size(), 9);
    EXPECT_EQ(urls.front(), "http://" + address + "/status");
    EXPECT_EQ(urls.back(), "http://" + address + "/capture");
    EXPECT_EQ(w.PageState(), 1);
    const QImage preview(QDir(m_folder).filePath("preview.jpg"));
    EXPECT_EQ(preview.size(), QSize(1600, 1200));
    EXPECT_FALSE(w.controls().Picture1->isHidden());
    EXPECT_TRUE(w.controls().frame_messages->isHidden());
}

TEST_F(FrontendDeviceSimTest, TwoStartsOnOneProgramFolderMakeOneRunAndTheRefusedOneNothing) {
    ASSERT_EQ(formats::writeTrainingFile(m_folder.toStdString(), formats::TrainingFile::defaults()),
              "");
    FrmFrontend& w = open();
    const auto& c = w.controls();
    ui::AcquisitionRunController* run = w.runController();
    const QString address = QString::fromStdString(m_sim->address());
    const QString project = QDir(m_folder).filePath("default");
    const auto runFolders = [&] {
        return QDir(project).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    };
    const auto runDataFolder = [&] {
        const auto data = formats::readRunData(m_folder.toStdString());
        return data ? QString::fromStdString(data->acquisitionFolder) : QString();
    };

    // Another Vermalux on this folder presses Start while this one's Start waits on the device:
    // it is refused, and this run is the only one, recorded where the run data says.
    int other = -1;
    QString otherRefusal;
    QStringList urls;
    m_hook->onRequest = [&](const QString& url) {
        urls << url;
        if (url.endsWith("/status"))
            other = device::takeLoggerLock(m_folder, &otherRefusal);
    };
    fakes.dialogs->inputs.push_back("run A");
    c.cmdPlay->click();
    EXPECT_LT(other, 0);
    if (other >= 0)
        ::close(other);
    EXPECT_EQ(otherRefusal, QString::fromLatin1(device::kLoggerRunningMessage));
    ASSERT_TRUE(run->acquisitionRunning()) << fakes.dialogs->messages().join('|').toStdString();
    ASSERT_EQ(runFolders().size(), 1);
    const QString runA = QDir(project).filePath(runFolders().front());
    EXPECT_EQ(runDataFolder(), runA);
    EXPECT_TRUE(device::loggerFetching(m_folder)); // its logger holds the lock now
    run->stopAcquisitionRun();
    ASSERT_FALSE(device::loggerFetching(m_folder));

    // The other way round: the other Vermalux's start takes the lock while this one sets the
    // lamp before it asks for the run's name. This start is refused and makes, writes and sends
    // nothing more.
    urls.clear();
    fakes.dialogs->log.clear();
    m_hook->onRequest = [&](const QString& url) {
        urls << url;
        if (url.contains("var=lamp&"))
            other = device::takeLoggerLock(m_folder, &otherRefusal);
    };
    fakes.dialogs->inputs.push_back("run B");
    c.cmdPlay->click();
    ASSERT_GE(other, 0) << otherRefusal.toStdString();
    EXPECT_FALSE(run->acquisitionRunning());
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{device::kLoggerRunningMessage});
    EXPECT_EQ(urls, QStringList{"http://" + address + "/control?var=lamp&val=30"});
    EXPECT_EQ(runFolders().size(), 1);
    EXPECT_EQ(runDataFolder(), runA);
    ::close(other);
}

TEST_F(FrontendDeviceSimTest, RefusedSettingStopsTheSetUpWithoutAPreview) {
    FrmFrontend& w = open();
    // A device that refuses the gain: the set-up stops there and no preview is taken.
    m_sim = std::make_unique<devicesim::SimProcess>(
        VX_BIN_DIR, std::vector<std::string>{"--fault", "http500:agc_gain"});
    ASSERT_TRUE(m_sim->ok()) << m_sim->error();
    const QString address = QString::fromStdString(m_sim->address());
    w.controls().txt_ip1->setText(address);
    w.setPageState(2);
    w.controls().frm_preview->hide();
    QStringList seen;
    m_hook->onRequest = [&](const QString&) { seen << w.controls().lbl_messages->text(); };
    EXPECT_EQ(w.ConnectDevice(1), -1);
    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Error connecting to " + address});
    EXPECT_EQ(seen, (QStringList{"Connecting", "Setting Resolution 1600x1200...",
                                 "Setting Exposition...", "Setting Gain..."}));
    EXPECT_EQ(w.PageState(), 2); // a failed set-up keeps the page
    EXPECT_FALSE(QFile::exists(QDir(m_folder).filePath("preview.jpg")));
    // The set-up page is opened all the same, and the messages frame goes away.
    EXPECT_FALSE(w.controls().frm_preview->isHidden());
    EXPECT_TRUE(w.controls().frame_messages->isHidden());
}

TEST_F(FrontendDeviceSimTest, ConnectToAClosedPortReportsTheDevice) {
    FrmFrontend& w = open();
    const QString address = QString::fromStdString(m_sim->address());
    m_sim.reset(); // the device goes away
    EXPECT_EQ(w.ConnectDevice(1), -1);
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"IP Connection ERROR!. check if device is ON, and IP"});
    EXPECT_EQ(w.controls().lbl_messages->text(), "IP Connection ERROR");
}

TEST_F(FrontendDeviceSimTest, BackWhileStartWaitsOnASlowDeviceStartsNothing) {
    // Every answer of this device comes after 300 ms.
    m_sim = std::make_unique<devicesim::SimProcess>(
        VX_BIN_DIR, std::vector<std::string>{"--fault", "delay:300"});
    ASSERT_TRUE(m_sim->ok()) << m_sim->error();
    FrmFrontend& w = open();
    auto& c = w.controls();
    c.txt_ip1->setText(QString::fromStdString(m_sim->address()));
    const QStringList folders = QDir(m_folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    // "< Back" while the press waits on the lamp, then while the start waits on its probe.
    for (const QString& waitedOn : {QStringLiteral("/control?var=lamp"), QStringLiteral("/status")}) {
        SCOPED_TRACE(waitedOn.toStdString());
        c.lbl_next->click();
        ASSERT_FALSE(c.frm_acquire->isHidden());
        fakes.dialogs->inputs = {"run A"};
        bool back = false;
        QStringList afterBack;
        m_hook->onRequest = [&](const QString& url) {
            if (back)
                afterBack << url;
            else if (url.contains(waitedOn)) {
                back = true;
                c.lbl_back2->click();
            }
        };
        c.cmdPlay->click();
        m_hook->onRequest = nullptr;
        ASSERT_TRUE(back);
        // The set-up page is shown, and nothing of a run is sent, made or started behind it.
        EXPECT_TRUE(afterBack.isEmpty()) << afterBack.join(' ').toStdString();
        EXPECT_FALSE(c.frm_preview->isHidden());
        EXPECT_TRUE(c.frm_acquire->isHidden());
        EXPECT_FALSE(w.runController()->acquisitionRunning());
        EXPECT_FALSE(c.Timeracq->isActive());
        EXPECT_EQ(c.cmdPlay->text().toStdString(), "Start");
        EXPECT_TRUE(c.chk_stimulus->isEnabled());
        EXPECT_TRUE(fakes.launcher->started.empty());
        EXPECT_EQ(QDir(m_folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).join(' ').toStdString(),
                  folders.join(' ').toStdString());
        EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
            << fakes.dialogs->messages().join('|').toStdString();
    }
}

TEST_F(FrontendDeviceSimTest, LateAnswersAfterNextSetNothingUpAndDrawNothing) {
    m_sim = std::make_unique<devicesim::SimProcess>(
        VX_BIN_DIR, std::vector<std::string>{"--fault", "delay:300"});
    ASSERT_TRUE(m_sim->ok()) << m_sim->error();
    FrmFrontend& w = open();
    auto& c = w.controls();
    c.txt_ip1->setText(QString::fromStdString(m_sim->address()));
    bool next = false;
    QStringList afterNext;
    m_hook->onRequest = [&](const QString& url) {
        if (next)
            afterNext << url;
        else if (url.endsWith("/status")) {
            next = true; // "Next >" while the device is asked
            c.lbl_next->click();
        }
    };
    const auto onTheAcquisitionPage = [&] {
        ASSERT_TRUE(next);
        EXPECT_TRUE(afterNext.isEmpty()) << afterNext.join(' ').toStdString();
        EXPECT_EQ(w.PageState(), 2);
        EXPECT_FALSE(c.frm_acquire->isHidden());
        EXPECT_TRUE(c.frm_preview->isHidden());
        EXPECT_TRUE(c.frame_messages->isHidden());
        EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
            << fakes.dialogs->messages().join('|').toStdString();
    };

    // A connect: its late answer sends no set-up and fetches no preview.
    c.Opt_acq[0]->click();
    onTheAcquisitionPage();
    EXPECT_FALSE(QFile::exists(QDir(m_folder).filePath("preview.jpg")));

    // FOCUS: its late answer starts no live preview.
    c.lbl_back2->click();
    next = false;
    c.cmd_focus->click();
    onTheAcquisitionPage();
    EXPECT_FALSE(c.Timer_focus->isActive());
    EXPECT_EQ(c.cmd_focus->text(), "FOCUS");
    EXPECT_TRUE(c.frm_contrast->isHidden());
}

TEST_F(FrontendDeviceSimTest, WindowPictureShowsThePreviewAndThePlateOutline) {
    FrmFrontend& w = open();
    // A window large enough that the picture box shows the frame nearly one to one.
    w.resize(2400, 1800);
    w.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(w.ConnectDevice(1), 1);
    QCoreApplication::processEvents();

    const QImage shot = w.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    // VX_SHOT_FILE=path keeps the picture for a person to look at.
    if (qEnvironmentVariableIsSet("VX_SHOT_FILE"))
        shot.save(qEnvironmentVariable("VX_SHOT_FILE"));
    ui::PictureBox* pic = w.controls().Picture1;
    const QRect area(pic->mapTo(&w, QPoint(0, 0)), pic->size());
    ASSERT_TRUE(shot.rect().contains(area)) << "picture box outside the window";

    // The preview: many distinct gray levels inside the picture box (not a blank box).
    std::set<int> grays;
    int red = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2)
        for (int x = area.left(); x <= area.right(); x += 2) {
            const QColor c = shot.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
                ++red;
            else if (std::abs(c.red() - c.green()) < 12 && std::abs(c.green() - c.blue()) < 12)
                grays.insert(c.red());
        }
    EXPECT_GT(grays.size(), 20u);

    // The plate outline: red points along the inscribed ellipse, on both sides of the centre.
    red = 0;
    int left = 0;
    int right = 0;
    QRect bounds; // the smallest rectangle holding every red pixel
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60) {
                ++red;
                (x < area.center().x() ? left : right)++;
                bounds |= QRect(x, y, 1, 1);
            }
        }
    EXPECT_GT(red, 200);
    EXPECT_GT(left, 50);
    EXPECT_GT(right, 50);
    // The outline touches the analysis rectangle of the training in use (335..1170 across,
    // 215..1035 down, frame pixels), wherever the window put the picture on the screen.
    const auto& c = w.controls();
    ASSERT_EQ(c.txt_x1->text(), "335");
    const auto screenX = [&](double frameX) {
        return area.left() + frameX * area.width() / 1600.0;
    };
    const auto screenY = [&](double frameY) {
        return area.top() + frameY * area.height() / 1200.0;
    };
    EXPECT_NEAR(bounds.left(), screenX(335), 3.0);
    EXPECT_NEAR(bounds.right(), screenX(1170), 3.0);
    EXPECT_NEAR(bounds.top(), screenY(215), 3.0);
    EXPECT_NEAR(bounds.bottom(), screenY(1035), 3.0);
    // Nothing red at the picture's centre (the outline is a ring).
    const QColor centre = shot.pixelColor(area.center());
    EXPECT_FALSE(centre.red() > 200 && centre.green() < 60);
}

} // namespace
