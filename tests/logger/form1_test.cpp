#include "logger/ui/form1.h"

#include "formats/run_data_file.h"
#include "platform/fakes/fake_services.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "form1_test";
    static char* argv[] = {name, nullptr};
    static QApplication instance(argc, argv);
    return instance;
}

void runEventsFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class Form1Test : public ::testing::Test {
protected:
    Form1Test() {
        app();
        QDir(root.path()).mkpath("prog");
        QDir(root.path()).mkpath("acquisition/img");
        const formats::RunData d{std::string("10.1.2.3"), acq().toStdString(), std::string(),
                                 std::string("1"), 0};
        write(root.path() + "/prog/rundata.dat", formats::runDataText(d));
        write(acq() + "/rundata.dat", formats::runDataText(d));
        write(acq() + "/training.dat", "xs 1\r\n");
        downloader.fallback = QByteArray("\xFF\xD8rest\xFF\xD9", 8);
    }
    static void write(const QString& path, const std::string& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), qsizetype(text.size()));
    }
    QString acq() const { return root.path() + "/acquisition"; }
    QTemporaryDir root;
    platform::fakes::FakeClock clock;
    platform::fakes::FakeDownloader downloader;
};

TEST_F(Form1Test, ShowsTheRunAndItsControls) {
    logger::Logger core(clock, downloader, root.path() + "/prog");
    ASSERT_TRUE(core.LoggerStart(acq()).ok);
    logger::Form1 form(core, clock);
    EXPECT_EQ(form.windowTitle(), "Quellmark Tovik - DATA LOGGER -");
    auto text = [&](const char* name) {
        auto* label = form.findChild<QLabel*>(name);
        return label ? label->text() : QString("<missing>");
    };
    EXPECT_EQ(text("lbl_head"), "Automated Data Logger");
    EXPECT_EQ(text("lbl_folder"), acq());
    EXPECT_EQ(text("lbl_ip"), "IP 10.1.2.3");
    EXPECT_EQ(text("Label3"), "Frame:");
    EXPECT_EQ(text("lbl_nframe"), "0");
    EXPECT_EQ(text("Label2"), "** Ending this application will Stop data acquisition ***");
    auto* finish = form.findChild<QPushButton*>("cmd_finich");
    ASSERT_NE(finish, nullptr);
    EXPECT_EQ(finish->text(), "STOP and EXIT");
    auto* timer = form.findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_TRUE(timer->isActive());
    EXPECT_NE(form.findChild<QWidget*>("Shape1"), nullptr);
}

TEST_F(Form1Test, TimerCapturesNewSecondsAndEndsAfterTheRun) {
    logger::Logger core(clock, downloader, root.path() + "/prog");
    ASSERT_TRUE(core.LoggerStart(acq()).ok);
    logger::Form1 form(core, clock);
    clock.advance(3000);
    runEventsFor(250);
    EXPECT_EQ(form.findChild<QLabel*>("lbl_nframe")->text(), "3");
    EXPECT_TRUE(QFile::exists(acq() + "/img/c10_1_2_3f3.jpg"));
    EXPECT_EQ(downloader.requests.size(), 2);
    runEventsFor(250); // same second: nothing more
    EXPECT_EQ(downloader.requests.size(), 2);
    clock.advance(60000);
    runEventsFor(250);
    EXPECT_TRUE(form.finished());
    EXPECT_TRUE(QFile::exists(acq() + "/img/c10_1_2_3f63.jpg"));
    EXPECT_FALSE(form.findChild<QTimer*>("Timer1")->isActive());
    EXPECT_EQ(clock.pauses.back(), 1000);
}

TEST_F(Form1Test, StopAndExitRaisesTheStopFlag) {
    logger::Logger core(clock, downloader, root.path() + "/prog");
    ASSERT_TRUE(core.LoggerStart(acq()).ok);
    std::atomic<bool> stop{false};
    logger::Form1 form(core, clock, &stop);
    form.findChild<QPushButton*>("cmd_finich")->click();
    EXPECT_TRUE(stop.load());
    EXPECT_TRUE(form.stopped());
    EXPECT_FALSE(form.findChild<QTimer*>("Timer1")->isActive());
    clock.advance(5000);
    runEventsFor(250);
    EXPECT_EQ(downloader.requests.size(), 1);
}

} // namespace
