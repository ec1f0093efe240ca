#pragma once
// Shared pieces of the Microbeam window tests: a program folder of its own for each test, frame
// folders of JPEG frames, and a converter that answers at once by writing the reduced PGM the
// frame loop reads.

#include "app/microbeam/microbeam_claim.h"
#include "app/microbeam/ui/frm_processmulti.h"
#include "app/widgets/window_registry.h"
#include "platform/fakes/fake_services.h"
#include "tests/support/all_windows.h"
#include "tests/support/qt_application.h"
#include "tests/support/test_files.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace microbeam_test {

using test_support::readFile;
using test_support::writeFile;

// A JPEG frame of one gray level.
inline QByteArray grayJpeg(int width = 1600, int height = 1200, int gray = 128) {
    return test_support::grayJpeg(width, height, gray, 95);
}

inline void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

class MicrobeamWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::ensureApplication();
        ASSERT_TRUE(m_program.isValid());
        program = QDir(m_program.path()).absolutePath();
        ui::Windows::setServices(fakes.services(program));
        test_support::registerAllWindows();
        // The converter writes the reduced frame at once, and has ended when it is looked at.
        fakes.launcher->onStart = [this](const platform::fakes::FakeLauncher::Start& start) {
            fakes.launcher->running[start.pid] = false;
            if (!start.program.endsWith(QStringLiteral("/Dravel")))
                return;
            const QStringList& a = start.arguments;
            const qsizetype out = a.indexOf(QStringLiteral("-outfile"));
            if (out < 0 || out + 2 >= a.size())
                return;
            const QString pgm = a[out + 1];
            const QString jpg = a[out + 2];
            converted << QFileInfo(jpg).fileName();
            const bool micro = a.contains(QStringLiteral("1/4"));
            const int width = micro ? 160 : 200;
            const int height = micro ? 120 : 150;
            QByteArray bytes =
                "P5\n" + QByteArray::number(width) + " " + QByteArray::number(height) + "\n255\n";
            if (!emptyConversions)
                bytes += QByteArray(width * height, static_cast<char>(convertedGray));
            writeFile(pgm, bytes);
        };
    }
    void TearDown() override {
        ui::Windows::destroyAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // No run or check may outlive its window.
        EXPECT_EQ(microbeam::MicrobeamClaim::current(), microbeam::MicrobeamClaim::Holder::None);
    }

    ui::FrmProcessMulti& window() {
        ui::FrmProcessMulti& w = ui::Windows::get<ui::FrmProcessMulti>();
        return w;
    }

    // A folder of frames "c10_0_0_7f<N>.jpg" for the numbers given, of one gray and size.
    QString frameFolder(const QString& relative, const std::vector<int>& numbers,
                        QSize size = QSize(1600, 1200), int gray = 128) {
        const QString folder = QDir(program).filePath(relative);
        QDir().mkpath(folder);
        const QByteArray frame = grayJpeg(size.width(), size.height(), gray);
        for (int n : numbers)
            writeFile(frameName(folder, n), frame);
        return folder;
    }
    static QString frameName(const QString& folder, int n) {
        return folder + QStringLiteral("/c10_0_0_7f") + QString::number(n) + QStringLiteral(".jpg");
    }

    QTemporaryDir m_program;
    QString program;
    platform::fakes::FakeServices fakes;
    QStringList converted; // the JPEG names the converter was given
    bool emptyConversions = false;
    int convertedGray = 128;
};

} // namespace microbeam_test
