// The Microbeam window's run through the real converter of the build's bin folder, driven by the
// window's own timer: crawling worms on a synthetic plate give a total above 0.

#include "app/microbeam/ui/frm_processmulti.h"
#include "app/microbeam/ui/microbeam_run_controller.h"
#include "app/widgets/window_registry.h"
#include "platform/fakes/fake_services.h"
#include "platform/process_launcher.h"
#include "platform/system_clock.h"
#include "tests/support/all_windows.h"
#include "tests/support/qt_application.h"
#include "tools/devicesim/jpeg_writer.h"
#include "tools/plate/plate.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

const QString kBin = QStringLiteral(VX_BIN_DIR);

TEST(MicrobeamWindowReal, CrawlingWormsGiveActivityThroughTheWindow) {
    if (!QFileInfo(kBin + "/Dravel").isExecutable())
        GTEST_SKIP() << "Dravel is not built in " << VX_BIN_DIR;
    test_support::ensureApplication();
    QTemporaryDir root;
    const QString program = root.filePath("bin");
    ASSERT_TRUE(QDir().mkpath(program));
    ASSERT_TRUE(QFile::link(kBin + "/Dravel", program + "/Dravel"));
    const QString frames = root.filePath("run/img");
    ASSERT_TRUE(QDir().mkpath(frames));
    plate::PlateOptions options;
    options.worms = 8;
    options.speed = 3.0;
    options.seed = 7;
    for (int n = 0; n <= 10; ++n) {
        const auto frame = plate::drawPlate(options, n);
        const std::string jpeg = devicesim::encodeJpeg(frame.pixels, frame.width, frame.height, 85);
        QFile f(frames + "/c127_0_0_1f" + QString::number(n) + ".jpg");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(jpeg.data(), static_cast<qint64>(jpeg.size()));
    }

    platform::fakes::FakeServices fakes;
    platform::Services services = fakes.services(program);
    services.launcher = std::make_shared<platform::ProcessLauncher>();
    services.clock = std::make_shared<platform::SystemClock>();
    ui::Windows::setServices(services);
    test_support::registerAllWindows();
    {
        ui::FrmProcessMulti& w = ui::Windows::get<ui::FrmProcessMulti>();
        w.show();
        auto& c = w.controls();
        c.txt_file->setText(frames);
        c.cmd_process->click();
        ASSERT_EQ(c.cmd_process->text(), "STOP")
            << fakes.dialogs->messages().join("|").toStdString();
        QElapsedTimer timer;
        timer.start();
        while (c.cmd_process->text() == "STOP" && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(c.cmd_process->text(), "Process");
        EXPECT_TRUE(fakes.dialogs->log.empty())
            << fakes.dialogs->messages().join("|").toStdString();
        EXPECT_EQ(c.txt_current->text(), "11");
        EXPECT_GT(c.txt_activity->text().toInt(), 0);
        EXPECT_TRUE(c.lbl_block->text().startsWith("Block of frames 0 to 9: activity "))
            << c.lbl_block->text().toStdString();
        EXPECT_EQ(w.run().failedBlocks(), 0);
        // The timer keeps ticking idle.
        EXPECT_FALSE(w.run().running());
    }
    ui::Windows::destroyAll();
}

} // namespace
