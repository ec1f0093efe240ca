// The start window's "Connect" against the camera device simulator, over real HTTP.

#include "tests/device/ui/start_window_support.h"
#include "tests/support/all_windows.h"

#include "app/device/ui/frm_init.h"
#include "app/widgets/clickable_label.h"
#include "app/windows/ui/frm_frontend.h"
#include "platform/curl_downloader.h"
#include "tools/devicesim/sim_process.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <mutex>

namespace {

using namespace start_window_test;
using ui::FrmInit;
using ui::Windows;

class StartWindowDeviceSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        if (!QFile::exists(QStringLiteral(VX_BIN_DIR "/devicesim")))
            GTEST_SKIP() << "devicesim was not built";
        m_dir = makeProgramFolder();
        ASSERT_TRUE(m_dir->isValid());
        m_folder = m_dir->path();
        m_recorder =
            std::make_shared<RecordingDownloader>(std::make_shared<platform::CurlDownloader>(), [] {
                auto* news = Windows::get<ui::FrmInit>().findChild<QLabel*>("LblNews");
                return news ? news->text() : QString();
            });
        platform::Services services = fakes.services(m_folder);
        services.downloader = m_recorder;
        Windows::setServices(services);
        test_support::registerAllWindows();
    }
    void TearDown() override {
        Windows::destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Opens the address panel, types the address and clicks "Connect".
    void connectTo(const QString& address) {
        FrmInit& window = Windows::get<ui::FrmInit>();
        window.show();
        window.findChild<ui::ClickableLabel*>("Label_option1")->click();
        window.findChild<QLineEdit*>("txt_ip1")->setText(address);
        window.findChild<QPushButton*>("cmd_preview")->click();
    }
    std::string simLog() const { return (m_folder + "/devicesim.log").toStdString(); }
    QString news() { return Windows::get<ui::FrmInit>().findChild<QLabel*>("LblNews")->text(); }
    QStringList statusAtRequests() const {
        QStringList texts;
        for (const auto& call : m_recorder->calls)
            texts << call.status;
        return texts;
    }
    QStringList requestedUrls() const {
        QStringList urls;
        for (const auto& call : m_recorder->calls)
            urls << call.url;
        return urls;
    }

    platform::fakes::FakeServices fakes;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;
    std::shared_ptr<RecordingDownloader> m_recorder;
};

TEST_F(StartWindowDeviceSimTest, ConnectsAndSetsTheCameraUp) {
    devicesim::SimProcess sim(VX_BIN_DIR, {"--worms", "3", "--log", simLog()});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const QString address = QString::fromStdString(sim.address());
    connectTo(address);

    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_TRUE(FrmInit::Connected());
    EXPECT_EQ(news(), "Connected to" + address);
    EXPECT_EQ(
        statusAtRequests(),
        (QStringList{"Connecting...", "Setting Resolution 1600x1200...", "Setting Exposition...",
                     "Setting Gain...", "Setting Compression...", "Setting Lighting...",
                     "Setting Lens correction...", "Setting Pixel correction..."}));
    EXPECT_EQ(requestedUrls().value(5), "http://" + address + "/control?var=lamp&val=30");
    EXPECT_EQ(readFile(m_folder + "/ipdata.dat"), (address + "\r\n").toUtf8());
    ASSERT_TRUE(Windows::has<ui::FrmFrontend>());
    EXPECT_TRUE(Windows::get<ui::FrmFrontend>().isVisible());
}

TEST_F(StartWindowDeviceSimTest, RefusedSettingStopsTheSetUp) {
    devicesim::SimProcess sim(VX_BIN_DIR, {"--fault", "http500:aec_value", "--log", simLog()});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const QString address = QString::fromStdString(sim.address());
    connectTo(address);

    EXPECT_EQ(fakes.dialogs->messages(), QStringList{"Error connecting to " + address});
    EXPECT_FALSE(FrmInit::Connected());
    EXPECT_EQ(news(), "Connection ERROR");
    EXPECT_EQ(statusAtRequests(), (QStringList{"Connecting...", "Setting Resolution 1600x1200...",
                                               "Setting Exposition..."}));
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>() && Windows::get<ui::FrmFrontend>().isVisible());
}

TEST_F(StartWindowDeviceSimTest, BackDuringASetUpPauseSendsNothingMore) {
    devicesim::SimProcess sim(VX_BIN_DIR, {"--worms", "3", "--log", simLog()});
    ASSERT_TRUE(sim.ok()) << sim.error();
    // The requests straight to the device, as the program makes them (a fast device answers
    // before the window waits), and a pause in which "Back" is clicked.
    struct Counting : platform::Downloader {
        bool downloadFile(const QString& url, const QString& file) override {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                urls << url;
            }
            return inner.downloadFile(url, file);
        }
        QStringList sent() {
            const std::lock_guard<std::mutex> lock(mutex);
            return urls;
        }
        platform::CurlDownloader inner;
        std::mutex mutex;
        QStringList urls;
    };
    struct BackInPause : platform::fakes::FakeClock {
        void pause(int ms) override {
            FakeClock::pause(ms);
            if (onPause)
                onPause();
        }
        std::function<void()> onPause;
    };
    auto downloader = std::make_shared<Counting>();
    auto clock = std::make_shared<BackInPause>();
    platform::Services services = fakes.services(m_folder);
    services.downloader = downloader;
    services.clock = clock;
    Windows::setServices(services);
    QStringList sentAtBack;
    clock->onPause = [&] {
        if (sentAtBack.isEmpty() && news() == "Setting Exposition...") {
            sentAtBack = downloader->sent();
            Windows::get<ui::FrmInit>().findChild<ui::ClickableLabel*>("Label_option5")->click();
        }
    };
    connectTo(QString::fromStdString(sim.address()));

    ASSERT_EQ(sentAtBack.size(), 3) << sentAtBack.join(' ').toStdString();
    EXPECT_EQ(downloader->sent().join(' ').toStdString(), sentAtBack.join(' ').toStdString());
    EXPECT_FALSE(FrmInit::Connected());
    EXPECT_EQ(Windows::get<ui::FrmInit>().menuState(), 0);
    EXPECT_TRUE(fakes.dialogs->messages().isEmpty())
        << fakes.dialogs->messages().join("|").toStdString();
    EXPECT_FALSE(Windows::has<ui::FrmFrontend>() && Windows::get<ui::FrmFrontend>().isVisible());
}

TEST_F(StartWindowDeviceSimTest, DeadAddressReportsConnectionError) {
    connectTo("127.0.0.1:1");
    EXPECT_EQ(fakes.dialogs->messages(),
              QStringList{"IP Connection ERROR!. check if device is ON, and #ID"});
    EXPECT_FALSE(FrmInit::Connected());
    EXPECT_EQ(news(), "Connection ERROR");
    EXPECT_EQ(requestedUrls(), QStringList{"http://127.0.0.1:1/status"});
    EXPECT_FALSE(QFile::exists(m_folder + "/ipdata.dat"));
}

} // namespace
