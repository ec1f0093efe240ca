// The device client against the device simulator, over real HTTP on 127.0.0.1.
#include "app/device/device_client.h"
#include "platform/curl_downloader.h"
#include "platform/fakes/fake_services.h"
#include "tools/devicesim/sim_process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

using device::DeviceClient;
using device::SetupWindow;

namespace {

std::vector<std::string> logLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

class DeviceSimTest : public ::testing::Test {
protected:
    // Starts the simulator with the given faults; the client gets real downloads and a clock
    // whose pauses take no time.
    void startSim(std::vector<std::string> args = {},
                  platform::CurlDownloader::Limits limits = {}) {
        logPath = dir.path().toStdString() + "/requests.log";
        args.insert(args.end(), {"--worms", "3", "--log", logPath});
        sim = std::make_unique<devicesim::SimProcess>(VX_BIN_DIR, args);
        ASSERT_TRUE(sim->ok()) << sim->error();
        address = QString::fromStdString(sim->address());
        downloader = std::make_shared<platform::CurlDownloader>(limits);
        services.dialogs = dialogs;
        services.clock = clock;
        services.downloader = downloader;
        services.launcher = std::make_shared<platform::fakes::FakeLauncher>();
        services.programFolder = dir.path() + "/prog";
        QDir(dir.path()).mkpath("prog");
    }
    std::vector<std::string> controls() const {
        std::vector<std::string> out;
        for (const auto& line : logLines(logPath))
            if (line.rfind("/control?", 0) == 0)
                out.push_back(line.substr(9));
        return out;
    }
    QStringList progFiles() const {
        return QDir(services.programFolder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    std::string status(DeviceClient& client) {
        EXPECT_EQ(client.QueryStatus(address, "0"), 1);
        return readAll(services.programFolder + "/answer.txt").toStdString();
    }

    QTemporaryDir dir;
    std::string logPath;
    std::unique_ptr<devicesim::SimProcess> sim;
    QString address;
    std::shared_ptr<platform::fakes::FakeDialogs> dialogs =
        std::make_shared<platform::fakes::FakeDialogs>();
    std::shared_ptr<platform::fakes::FakeClock> clock =
        std::make_shared<platform::fakes::FakeClock>();
    std::shared_ptr<platform::CurlDownloader> downloader;
    platform::Services services;
    QStringList shown;
};

TEST_F(DeviceSimTest, StartWindowSetUpReachesTheDeviceInOrder) {
    startSim();
    DeviceClient client(services);
    ASSERT_EQ(client.QueryStatus(address, "0"), 1);
    EXPECT_EQ(client.ConfigureCamera(address, 0, SetupWindow::Start, 30,
                                     [&](const QString& t) { shown << t; }),
              1);
    EXPECT_EQ(logLines(logPath).front(), "/status");
    EXPECT_EQ(controls(),
              (std::vector<std::string>{"var=framesize&val=13", "var=aec_value&val=1100",
                                        "var=agc_gain&val=0", "var=quality&val=16",
                                        "var=lamp&val=30", "var=lenc&val=1", "var=wpc&val=1"}));
    EXPECT_EQ(shown.first(), "Connecting to IP" + address);
    EXPECT_EQ(shown.last(), "Setting OK...");
    const std::string answer = status(client);
    EXPECT_NE(answer.find("\"lamp\":30"), std::string::npos) << answer;
    EXPECT_NE(answer.find("\"aec_value\":1100"), std::string::npos) << answer;
    EXPECT_TRUE(dialogs->messages().isEmpty());
    EXPECT_EQ(progFiles(), QStringList{"answer.txt"});
}

TEST_F(DeviceSimTest, AcquisitionWindowSetUpsReachTheDeviceInOrder) {
    startSim();
    DeviceClient client(services);
    ASSERT_EQ(client.ConfigureCamera(address, 0, SetupWindow::Acquisition, 30,
                                     [&](const QString& t) { shown << t; }),
              1);
    ASSERT_EQ(client.ConfigureCamera(address, 1, SetupWindow::Acquisition, 30,
                                     [&](const QString& t) { shown << t; }),
              1);
    EXPECT_EQ(controls(),
              (std::vector<std::string>{
                  "var=framesize&val=13", "var=aec_value&val=1200", "var=agc_gain&val=0",
                  "var=quality&val=16", "var=lamp&val=30", "var=lenc&val=1", "var=wpc&val=1",
                  "var=framesize&val=8", "var=aec_value&val=1200", "var=agc_gain&val=5",
                  "var=quality&val=0", "var=lamp&val=30"}));
    EXPECT_EQ(logLines(logPath).size(), 12u); // nothing else reached the device
    EXPECT_EQ(
        shown,
        (QStringList{"Connecting to IP" + address, "Setting Resolution 1600x1200...",
                     "Setting Exposition...", "Setting Gain...", "Setting Compression...",
                     "Setting Lighting...", "Setting Lens correction...",
                     "Setting Pixel correction...", "Setting OK...", "Connecting to IP" + address,
                     "Setting Resolution 640x480...", "Setting Exposition...", "Setting Gain...",
                     "Setting Compression...", "Setting Lighting...", "Setting OK..."}));
    const std::string answer = status(client);
    EXPECT_NE(answer.find("\"framesize\":8"), std::string::npos) << answer;
    EXPECT_NE(answer.find("\"agc_gain\":5"), std::string::npos) << answer;
    EXPECT_TRUE(dialogs->messages().isEmpty());
}

TEST_F(DeviceSimTest, LampValuesReachTheDevice) {
    startSim();
    DeviceClient client(services);
    for (double level : {2.5, 0.0, 16.0}) {
        const int lamp = device::lampValueForLevel(level);
        ASSERT_EQ(client.ConfigureCamera(address, 1, SetupWindow::Acquisition, lamp, {}), 1);
        const std::string answer = status(client);
        EXPECT_NE(answer.find("\"lamp\":" + std::to_string(lamp) + ","), std::string::npos)
            << level << " " << answer;
        EXPECT_NE(answer.find("\"framesize\":8"), std::string::npos) << answer;
    }
    const auto sent = controls();
    ASSERT_EQ(sent.size(), 15u);
    EXPECT_EQ(sent[4], "var=lamp&val=15");
    EXPECT_EQ(sent[9], "var=lamp&val=0");
    EXPECT_EQ(sent[14], "var=lamp&val=96");
}

TEST_F(DeviceSimTest, RefusedSettingStopsTheSequenceAtThatStep) {
    startSim({"--fault", "http500:quality"});
    DeviceClient client(services);
    QString error;
    EXPECT_EQ(client.ConfigureCamera(
                  address, 0, SetupWindow::Acquisition, 30, [&](const QString& t) { shown << t; },
                  &error),
              -1);
    EXPECT_EQ(controls(),
              (std::vector<std::string>{"var=framesize&val=13", "var=aec_value&val=1200",
                                        "var=agc_gain&val=0", "var=quality&val=16"}));
    EXPECT_FALSE(shown.contains("Setting OK..."));
    EXPECT_EQ(error, "Error connecting to " + address);
}

TEST_F(DeviceSimTest, PreviewCaptureStoresAJpeg) {
    startSim();
    DeviceClient client(services);
    ASSERT_EQ(client.ConfigureCamera(address, 1, SetupWindow::Acquisition, 30, {}), 1);
    EXPECT_TRUE(client.CapturePreview(address));
    const QByteArray preview = readAll(services.programFolder + "/preview.jpg");
    ASSERT_GT(preview.size(), 100);
    EXPECT_EQ(preview.left(2), QByteArray("\xFF\xD8", 2));
    EXPECT_EQ(progFiles(), (QStringList{"answer.txt", "preview.jpg"}));
}

// Each fault of the device: the request fails, says so, and leaves nothing behind.
TEST_F(DeviceSimTest, RefusedConnectionFails) {
    startSim({"--fault", "refuse"});
    DeviceClient client(services);
    EXPECT_EQ(client.QueryStatus(address), -1);
    QString error;
    EXPECT_FALSE(client.CapturePreview(address, &error));
    EXPECT_TRUE(progFiles().isEmpty());
    EXPECT_EQ(error, "ERROR http://" + address + "/capture");
}

TEST_F(DeviceSimTest, ShortAnswerFailsAndKeepsTheOldPreview) {
    startSim({"--fault", "short"});
    DeviceClient client(services);
    QFile old(services.programFolder + "/preview.jpg");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("\xFF\xD8old");
    old.close();
    EXPECT_FALSE(client.DownloadFile("http://" + address + "/capture",
                                     services.programFolder + "/frame.jpg"));
    EXPECT_FALSE(client.CapturePreview(address));
    EXPECT_EQ(readAll(services.programFolder + "/preview.jpg"), QByteArray("\xFF\xD8old"));
    EXPECT_EQ(progFiles(), QStringList{"preview.jpg"});
}

TEST_F(DeviceSimTest, AnswerThatIsNotAJpegIsNoPreview) {
    startSim({"--fault", "notjpeg"});
    DeviceClient client(services);
    EXPECT_FALSE(client.CapturePreview(address));
    EXPECT_TRUE(progFiles().isEmpty());
}

TEST_F(DeviceSimTest, HttpErrorIsAFailure) {
    startSim({"--fault", "http500:lamp"});
    DeviceClient client(services);
    EXPECT_EQ(client.SendControl(address, "var=lamp&val=30"), -1);
    EXPECT_EQ(client.SendControl(address, "var=lenc&val=1"), 1);
    EXPECT_EQ(client.SendControl(address, "var=nosuch&val=1"), -1); // the device answers 400
}

TEST_F(DeviceSimTest, SlowDeviceWithinTheTimeOutStillAnswers) {
    startSim({"--fault", "delay:400"});
    DeviceClient client(services);
    EXPECT_EQ(client.QueryStatus(address), 1);
}

TEST_F(DeviceSimTest, StalledDeviceEndsAtTheTimeOut) {
    startSim({"--fault", "stall"}, platform::CurlDownloader::Limits{30000, 800});
    DeviceClient client(services);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(client.QueryStatus(address), -1);
    EXPECT_FALSE(client.CapturePreview(address));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(15)); // not the 30 s
    EXPECT_TRUE(progFiles().isEmpty());
}

TEST_F(DeviceSimTest, StalledDeviceHoldsARequestNoLongerThanTenSeconds) {
    startSim({"--fault", "stall:/status"});
    DeviceClient client(services);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(client.QueryStatus(address), -1);
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, std::chrono::milliseconds(9500));
    EXPECT_LT(took, std::chrono::milliseconds(12000));
    EXPECT_TRUE(progFiles().isEmpty());
}

} // namespace
