// A live run end to end: the device simulator on 127.0.0.1, the acquisition window offscreen
// with fake dialogs but the real launcher, clock and downloader, and the real programs Pendrel,
// Dravel and Sirrex started from a program folder of the test's own.

#include "app/acquisition/ui/acquisition_run_controller.h"
#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_frontend.h"
#include "formats/position_file.h"
#include "formats/training_file.h"
#include "platform/fakes/fake_services.h"
#include "platform/production_services.h"
#include "tests/support/all_windows.h"
#include "tests/support/qt_application.h"
#include "tools/devicesim/sim_process.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <memory>

// Leaks inside the system libraries that a window test loads (the same list as
// tests/lsan.supp), for runs where the suppression file is not handed to the sanitizer.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libQt6Core\nleak:libQt6Gui\nleak:libQt6Widgets\n"
           "leak:libglib\nleak:libgobject\nleak:libdbus\n";
}

namespace {

using test_support::ensureApplication;

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

// The real launcher, recording what it started.
class RecordingLauncher : public platform::Launcher {
public:
    explicit RecordingLauncher(std::shared_ptr<platform::Launcher> inner)
        : m_inner(std::move(inner)) {}
    std::optional<std::int64_t> start(const QString& program, const QStringList& arguments,
                                      const QString& workingFolder,
                                      platform::WindowStyle style) override {
        auto pid = m_inner->start(program, arguments, workingFolder, style);
        started.push_back({program, pid ? *pid : -1});
        return pid;
    }
    std::optional<int> run(const QString& program, const QStringList& arguments,
                           const QString& workingFolder, int timeoutMs) override {
        return m_inner->run(program, arguments, workingFolder, timeoutMs);
    }
    bool isRunning(std::int64_t pid) override { return m_inner->isRunning(pid); }
    bool stop(std::int64_t pid) override {
        stopped.push_back(pid);
        return m_inner->stop(pid);
    }
    bool openPath(const QString& path, std::function<void()> failed = {}) override {
        return m_inner->openPath(path, std::move(failed));
    }
    bool joinNetwork(const QString& name) override { return m_inner->joinNetwork(name); }

    struct Start {
        QString program;
        std::int64_t pid;
    };
    std::vector<Start> started;
    std::vector<std::int64_t> stopped;

private:
    std::shared_ptr<platform::Launcher> m_inner;
};

} // namespace

TEST(AcquisitionEndToEnd, LiveRunWithTheRealProgramsAgainstTheSimulator) {
    ensureApplication();
    QTemporaryDir work(QStringLiteral("/tmp/vxe2eXXXXXX"));
    ASSERT_TRUE(work.isValid());
    const QString logPath = work.filePath("device.log");
    devicesim::SimProcess sim(VX_BIN_DIR, {"--worms", "8", "--log", logPath.toStdString()});
    ASSERT_TRUE(sim.ok()) << sim.error();

    // The program folder: the finder and the converter linked in, the logger copied (it finds
    // its run data beside its own executable, wherever a link would lead).
    const QString program = work.filePath("prog");
    ASSERT_TRUE(QDir().mkpath(program));
    const QString bin = QStringLiteral(VX_BIN_DIR);
    ASSERT_TRUE(QFile::link(bin + "/Sirrex", program + "/Sirrex"));
    ASSERT_TRUE(QFile::link(bin + "/Dravel", program + "/Dravel"));
    ASSERT_TRUE(QFile::copy(bin + "/Pendrel", program + "/Pendrel"));
    QFile::setPermissions(program + "/Pendrel", QFile::permissions(bin + "/Pendrel"));
    // The default training: the simulator's worms are drawn to fit it.
    ASSERT_EQ(formats::writeTrainingFile(program.toStdString(), formats::TrainingFile::defaults()),
              "");

    auto dialogs = std::make_shared<platform::fakes::FakeDialogs>();
    platform::Services services = platform::makeProductionServices(dialogs, program);
    auto launcher = std::make_shared<RecordingLauncher>(services.launcher);
    services.launcher = launcher;
    ui::Windows::setServices(services);
    test_support::registerAllWindows();
    ui::FrmFrontend& window = ui::Windows::get<ui::FrmFrontend>();
    ui::AcquisitionRunController* controller = window.runController();
    ASSERT_NE(controller, nullptr);
    auto& c = window.controls();
    c.Timer_autoload->stop();
    c.txt_ip1->setText(QString::fromStdString(sim.address()));
    c.txtlapse->setText("0.2");
    c.chk_stimulus->setChecked(true);
    dialogs->inputs.push_back("e2e run");

    c.cmdPlay->click();
    ASSERT_TRUE(controller->acquisitionRunning()) << dialogs->messages().join(" | ").toStdString();
    const QString run = controller->frameCursor().runFolder;
    ASSERT_TRUE(run.startsWith(program + "/default/"));
    EXPECT_TRUE(run.endsWith("_e2e_run"));

    QElapsedTimer timer;
    timer.start();
    QString particlesSeen;
    while (controller->acquisitionRunning() && timer.elapsed() < 90000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!c.lbl_particle->text().isEmpty())
            particlesSeen = c.lbl_particle->text();
    }
    ASSERT_FALSE(controller->acquisitionRunning()) << "the run did not end";
    EXPECT_EQ(c.lbl_time->text(), "Ended");
    // Ended by its analysis reaching the end, not by the deadline after it.
    EXPECT_FALSE(c.lbl_messages->text().startsWith("Run ended"))
        << c.lbl_messages->text().toStdString();
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join(" | ").toStdString();

    // Frames of every second, the logger's timing log.
    const QString prefix = "c127_0_0_1:" + QString::number(sim.port()) + "f";
    const QStringList jpgs = QDir(run + "/img").entryList({prefix + "*.jpg"}, QDir::Files);
    EXPECT_GE(jpgs.size(), 11) << jpgs.join(",").toStdString();
    // The first fetch is of second 0; a later second may be missed on a loaded machine.
    EXPECT_TRUE(QFile::exists(run + "/img/" + prefix + "0.jpg"));
    const QByteArray speed = readFile(run + "/speed_test.csv");
    EXPECT_NE(speed, "<missing>");
    EXPECT_GE(speed.count("\r\n"), 10);
    // No converted frame left.
    EXPECT_TRUE(QDir(run + "/img").entryList({"*.pgm"}, QDir::Files).isEmpty());

    // Position file: blocks in ascending time order, up to the end of the run. Each tick
    // analyses the newest frame, so a loaded machine analyses fewer of them.
    const formats::PositionFile positions =
        formats::readPositionFile((run + "/xy_worms.bin").toStdString());
    ASSERT_GE(positions.blocks.size(), 2u);
    for (std::size_t i = 1; i < positions.blocks.size(); ++i)
        EXPECT_LT(positions.blocks[i - 1].timeMark, positions.blocks[i].timeMark);
    EXPECT_GE(positions.blocks.back().timeMark, 12);
    EXPECT_GE(controller->lastTimeMark(), 12);

    // Trails file and live labels.
    const QByteArray trails = readFile(run + "/worm_trails.csv");
    EXPECT_TRUE(trails.startsWith("FRAME;ID;X;Y;LOST_COUNT;#PIX;X_SIZE;Y_SIZE;SHAPE\r\n"));
    EXPECT_GT(trails.count("\r\n"), 10);
    EXPECT_FALSE(particlesSeen.isEmpty());
    EXPECT_GT(particlesSeen.toInt(), 0);

    // The logger was stopped through its process and is gone.
    std::int64_t loggerPid = -1;
    for (const auto& s : launcher->started)
        if (s.program.endsWith("/Pendrel"))
            loggerPid = s.pid;
    ASSERT_GT(loggerPid, 0);
    EXPECT_NE(std::find(launcher->stopped.begin(), launcher->stopped.end(), loggerPid),
              launcher->stopped.end());
    EXPECT_FALSE(launcher->isRunning(loggerPid));
    EXPECT_NE(::kill(static_cast<pid_t>(loggerPid), 0), 0);
    for (const auto& s : launcher->started)
        EXPECT_FALSE(launcher->isRunning(s.pid)) << s.program.toStdString();

    // The lamp and the automatic lamp as the device saw them.
    const QByteArray log = readFile(logPath);
    EXPECT_GE(log.count("/control?var=lamp&val=30"), 1) << log.toStdString();
    EXPECT_EQ(log.count("/control?var=autolamp&val=1"), 1);
    EXPECT_EQ(log.count("/control?var=autolamp&val=0"), 2);

    ui::Windows::destroyAll();
    QCoreApplication::processEvents();
}
