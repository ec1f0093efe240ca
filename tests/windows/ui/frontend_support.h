#pragma once
// Shared pieces of the acquisition-window tests: the application object, a program folder of
// its own for each test, preview pictures, and fakes that act while a handler waits.

#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_frontend.h"
#include "platform/fakes/fake_services.h"
#include "tests/support/qt_application.h"
#include "tests/support/test_files.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <utility>

namespace frontend_test {

using test_support::readFile;
using test_support::writeFile;

// A JPEG frame of one gray level.
inline QByteArray grayJpeg(int width = 1600, int height = 1200, int gray = 128) {
    return test_support::grayJpeg(width, height, gray, 90);
}

using test_support::ensureApplication;

// Downloads answered by an inner downloader, with a hook that runs before each request (a test
// may close the window there, or note what a label shows); both on the window thread.
class HookDownloader : public platform::Downloader {
public:
    explicit HookDownloader(std::shared_ptr<platform::Downloader> inner)
        : m_inner(std::move(inner)) {}
    bool downloadFile(const QString& url, const QString& file) override {
        return test_support::onWindowThread([&] {
            if (onRequest)
                onRequest(url);
            return m_inner->downloadFile(url, file);
        });
    }
    std::function<void(const QString& url)> onRequest;

private:
    std::shared_ptr<platform::Downloader> m_inner;
};

// Dialogs whose questions and messages can act (close the window) before they answer.
class HookDialogs : public platform::fakes::FakeDialogs {
public:
    void message(const QString& text, const QString& title = QString()) override {
        FakeDialogs::message(text, title);
        if (onDialog)
            onDialog(text);
    }
    bool question(const QString& text, const QString& title = QString()) override {
        const bool answer = FakeDialogs::question(text, title);
        if (onDialog)
            onDialog(text);
        return answer;
    }
    std::function<void(const QString& text)> onDialog;
};

} // namespace frontend_test
