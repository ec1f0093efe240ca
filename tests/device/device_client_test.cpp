#include "app/device/device_client.h"
#include "platform/fakes/fake_services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using device::DeviceClient;
using device::SetupWindow;

namespace {

// Everything the client does, in order: status texts, requests and pauses.
struct Journal {
    QStringList events;
};

class JournalClock : public platform::fakes::FakeClock {
public:
    explicit JournalClock(Journal& j) : m_journal(j) {}
    void pause(int ms) override {
        FakeClock::pause(ms);
        m_journal.events << QString("pause %1").arg(ms);
    }

private:
    Journal& m_journal;
};

class JournalDownloader : public platform::fakes::FakeDownloader {
public:
    explicit JournalDownloader(Journal& j) : m_journal(j) { fallback = QByteArray("ok"); }
    bool downloadFile(const QString& url, const QString& file) override {
        m_journal.events << "GET " + url;
        if (refused.contains(url))
            return false;
        return FakeDownloader::downloadFile(url, file);
    }
    QStringList refused;

private:
    Journal& m_journal;
};

class DeviceClientTest : public ::testing::Test {
protected:
    DeviceClientTest() {
        services.dialogs = dialogs;
        services.clock = clock;
        services.downloader = downloader;
        services.launcher = std::make_shared<platform::fakes::FakeLauncher>();
        services.programFolder = dir.path();
    }
    device::StatusSink sink() {
        return [this](const QString& text) { journal.events << "show " + text; };
    }
    QStringList gets() const {
        QStringList out;
        for (const QString& e : journal.events)
            if (e.startsWith("GET "))
                out << e.mid(4);
        return out;
    }

    QTemporaryDir dir;
    Journal journal;
    std::shared_ptr<platform::fakes::FakeDialogs> dialogs =
        std::make_shared<platform::fakes::FakeDialogs>();
    std::shared_ptr<JournalClock> clock = std::make_shared<JournalClock>(journal);
    std::shared_ptr<JournalDownloader> downloader = std::make_shared<JournalDownloader>(journal);
    platform::Services services;
};

TEST_F(DeviceClientTest, StartWindowSetUpSendsSevenStepsWithTheirTextsAndPauses) {
    DeviceClient client(services);
    EXPECT_EQ(client.ConfigureCamera("192.168.4.1", 0, SetupWindow::Start, 30, sink()), 1);
    const QString c = "GET http://192.168.4.1/control?";
    const QStringList expected = {
        "show Connecting to IP192.168.4.1",
        "pause 300",
        "show Setting Resolution 1600x1200...",
        c + "var=framesize&val=13",
        "pause 250",
        "show Setting Exposition...",
        c + "var=aec_value&val=1100",
        "pause 250",
        "show Setting Gain...",
        c + "var=agc_gain&val=0",
        "pause 250",
        "show Setting Compression...",
        c + "var=quality&val=16",
        "pause 250",
        "show Setting Lighting...",
        c + "var=lamp&val=30",
        "pause 250",
        "show Setting Lens correction...",
        c + "var=lenc&val=1",
        "pause 250",
        "show Setting Pixel correction...",
        c + "var=wpc&val=1",
        "pause 250",
        "show Setting OK...",
        "pause 100",
    };
    EXPECT_EQ(journal.events, expected);
    EXPECT_TRUE(dialogs->messages().isEmpty());
}

TEST_F(DeviceClientTest, AcquisitionWindowModesSendTheirOwnValues) {
    DeviceClient client(services);
    EXPECT_EQ(client.ConfigureCamera("10.0.0.2", 0, SetupWindow::Acquisition, 15, sink()), 1);
    const QString c = "http://10.0.0.2/control?";
    EXPECT_EQ(gets(),
              (QStringList{c + "var=framesize&val=13", c + "var=aec_value&val=1200",
                           c + "var=agc_gain&val=0", c + "var=quality&val=16",
                           c + "var=lamp&val=15", c + "var=lenc&val=1", c + "var=wpc&val=1"}));
    EXPECT_EQ(clock->pauses, (std::vector<int>{300, 250, 250, 250, 250, 250, 250, 250, 250}));

    journal.events.clear();
    clock->pauses.clear();
    EXPECT_EQ(client.ConfigureCamera("10.0.0.2", 1, SetupWindow::Acquisition, 96, sink()), 1);
    EXPECT_EQ(gets(), (QStringList{c + "var=framesize&val=8", c + "var=aec_value&val=1200",
                                   c + "var=agc_gain&val=5", c + "var=quality&val=0",
                                   c + "var=lamp&val=96"}));
    EXPECT_TRUE(journal.events.contains("show Setting Resolution 640x480..."));
    EXPECT_EQ(clock->pauses, (std::vector<int>{300, 250, 250, 250, 250, 250, 250}));
}

TEST_F(DeviceClientTest, RefusedSettingStopsTheSequence) {
    downloader->refused << "http://10.0.0.2/control?var=quality&val=16";
    DeviceClient client(services);
    QString error;
    EXPECT_EQ(client.ConfigureCamera("10.0.0.2", 0, SetupWindow::Acquisition, 30, sink(), &error),
              -1);
    EXPECT_EQ(gets().size(), 4);
    EXPECT_TRUE(gets().last().endsWith("var=quality&val=16"));
    EXPECT_EQ(journal.events.last(), "GET http://10.0.0.2/control?var=quality&val=16");
    EXPECT_FALSE(journal.events.contains("show Setting OK..."));
    EXPECT_EQ(error, "Error connecting to 10.0.0.2");
    EXPECT_TRUE(dialogs->messages().isEmpty()); // the window shows it
}

TEST_F(DeviceClientTest, LampValueIsTheIntegerPartOfLevelTimesSix) {
    EXPECT_EQ(device::lampValueForLevel(2.5), 15);
    EXPECT_EQ(device::lampValueForLevel(0.0), 0);
    EXPECT_EQ(device::lampValueForLevel(16.0), 96);
    EXPECT_EQ(device::lampValueForLevel(5.0), 30);
    EXPECT_EQ(device::lampValueForLevel(0.5), 3);
    EXPECT_EQ(device::lampValueForLevel(-1.0), 0);
}

TEST_F(DeviceClientTest, LampRequestsCarryTheValueAndTheAutomaticLamp) {
    DeviceClient client(services);
    EXPECT_EQ(client.SetLamp("10.0.0.2", 15), 1);
    EXPECT_EQ(client.SetAutoLamp("10.0.0.2", true), 1);
    EXPECT_EQ(client.SetAutoLamp("10.0.0.2", false), 1);
    const QString c = "http://10.0.0.2/control?";
    EXPECT_EQ(gets(), (QStringList{c + "var=lamp&val=15", c + "var=autolamp&val=1",
                                   c + "var=autolamp&val=0"}));
}

TEST_F(DeviceClientTest, RequestsSaveTheAnswerAndReportSuccess) {
    downloader->bodies["http://10.0.0.2/status"] = "{\"status\":1}";
    DeviceClient client(services);
    EXPECT_EQ(client.QueryStatus("10.0.0.2", "0"), 1);
    QFile answer(dir.path() + "/answer.txt");
    ASSERT_TRUE(answer.open(QIODevice::ReadOnly));
    EXPECT_EQ(answer.readAll(), QByteArray("{\"status\":1}"));
    EXPECT_EQ(client.SendControl("10.0.0.2", "var=lamp&val=30"), 1);
    downloader->refused << "http://10.0.0.2/status";
    EXPECT_EQ(client.QueryStatus("10.0.0.2"), -1);
}

TEST_F(DeviceClientTest, RefusedAddressBuildsNoUrl) {
    DeviceClient client(services);
    for (const QString& bad : {QString(""), QString("1.2.3.4/x?"), QString("1.2.3.4 ; x"),
                               QString("1.2.3.4:99999"), QString("a@b")}) {
        EXPECT_EQ(client.QueryStatus(bad), -1);
        EXPECT_EQ(client.SendControl(bad, "var=lamp&val=30"), -1);
        EXPECT_FALSE(DeviceClient::checkAddress(bad).isEmpty());
        EXPECT_TRUE(DeviceClient::requestUrl(bad, "/status").isEmpty());
    }
    EXPECT_TRUE(gets().isEmpty());
    QString error;
    EXPECT_EQ(client.ConfigureCamera("", 0, SetupWindow::Start, 30, sink(), &error), -1);
    EXPECT_TRUE(gets().isEmpty());
    EXPECT_EQ(error, "Error connecting to ");
}

TEST_F(DeviceClientTest, ControlQueryWithOddCharactersIsNotSent) {
    DeviceClient client(services);
    EXPECT_EQ(client.SendControl("10.0.0.2", "var=lamp&val=30 HTTP/1.1\r\nX: y"), -1);
    EXPECT_EQ(client.SendControl("10.0.0.2", "var=lamp&val=30#"), -1);
    EXPECT_TRUE(gets().isEmpty());
}

TEST_F(DeviceClientTest, PreviewIsReplacedOnlyByAJpeg) {
    DeviceClient client(services);
    const QByteArray jpeg = QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(50, 'j');
    downloader->bodies["http://10.0.0.2/capture"] = jpeg;
    EXPECT_TRUE(client.CapturePreview("10.0.0.2"));
    downloader->bodies["http://10.0.0.2/capture"] = "<html>busy</html>";
    QString error;
    EXPECT_FALSE(client.CapturePreview("10.0.0.2", &error));
    QFile preview(dir.path() + "/preview.jpg");
    ASSERT_TRUE(preview.open(QIODevice::ReadOnly));
    EXPECT_EQ(preview.readAll(), jpeg);
    EXPECT_EQ(error, "ERROR http://10.0.0.2/capture");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"preview.jpg"});
}

} // namespace
