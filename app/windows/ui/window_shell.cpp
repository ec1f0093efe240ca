#include "app/windows/ui/window_shell.h"

#include "app/widgets/caption_fit.h"
#include "app/widgets/twips.h"
#include "app/widgets/window_names.h"
#include "app/widgets/window_registry.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPointer>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>

namespace ui {

void ShellWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!m_menuBar || !m_client)
        return;
    placeMenuAndClient(this, m_menuBar, m_client);
    LayoutControls();
}

void ShellWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The desktop's frame is known only some time after the window is mapped.
    QPointer<ShellWindow> self(this);
    QTimer::singleShot(300, this, [self] {
        if (!self || !self->isVisible() || self->isMaximized() || self->isFullScreen())
            return;
        const QScreen* screen = self->screen();
        if (!screen)
            return;
        const auto box = [](const QRect& r) {
            return windows::WindowBox{r.x(), r.y(), r.width(), r.height()};
        };
        // Without a desktop frame (no window manager), or on the offscreen platform, whose
        // screen stands for no real one, the window keeps the size it was given.
        if (self->frameGeometry() == self->geometry() ||
            QGuiApplication::platformName() == QLatin1String("offscreen"))
            return;
        const windows::WindowBox inner = box(self->geometry());
        const windows::WindowBox fitted = windows::fitFrameOnScreen(
            inner, box(self->frameGeometry()), box(screen->availableGeometry()));
        if (fitted.width == inner.width && fitted.height == inner.height && fitted.x == inner.x &&
            fitted.y == inner.y)
            return;
        self->setGeometry(fitted.x, fitted.y, fitted.width, fitted.height);
    });
}

void ShellWindow::startShell(const char* windowName, const QString& caption) {
    setObjectName(QString::fromLatin1(windowName));
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose, false); // closing unloads; closeEvent deletes it later
    m_client = new QWidget(this);
    m_client->setObjectName(QString::fromLatin1(windowName) + QStringLiteral("_client"));
}

void ShellWindow::showAboutWindow() {
    if (QWidget* about = Windows::window(QString::fromLatin1(kAboutWindowName))) {
        about->show();
        about->raise();
    }
}

void ShellWindow::returnToStartWindow() {
    QPointer<ShellWindow> self(this);
    QPointer<QWidget> start(Windows::window(QString::fromLatin1(kStartWindowName)));
    if (start)
        start->setVisible(true);
    if (start) {
        start->show();
        start->raise();
    }
    if (self)
        emit unloaded();
}

void ShellWindow::layOut(std::vector<windows::Placement> (*table)(double, double),
                         const std::array<QRadioButton*, 2>& modeButtons) {
    const QRect outer = frameGeometry();
    applyLayout(this, m_client, table(pixelsToTwips(outer.width()), pixelsToTwips(outer.height())),
                modeButtons);
}

void ShellWindow::closeEvent(QCloseEvent* event) {
    QPointer<ShellWindow> self(this);
    FormUnload();
    event->accept();
    if (!self)
        return;
    QWidget::closeEvent(event);
    // Unloaded: the next use creates the window anew from its design values.
    deleteLater();
}

void placeMenuAndClient(QWidget* window, QMenuBar* menuBar, QWidget* client) {
    const int menuHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, window->width(), menuHeight);
    client->setGeometry(0, menuHeight, window->width(), std::max(0, window->height() - menuHeight));
}

void applyLayout(QWidget* window, QWidget* client,
                 const std::vector<windows::Placement>& placements,
                 const std::array<QRadioButton*, 2>& modeButtons) {
    for (const windows::Placement& place : placements) {
        QWidget* w = nullptr;
        if (place.name == "Opt_acq(0)")
            w = modeButtons[0];
        else if (place.name == "Opt_acq(1)")
            w = modeButtons[1];
        else
            w = client->findChild<QWidget*>(QString::fromStdString(place.name));
        if (!w)
            continue;
        QRect g = w->geometry();
        // Edges are rounded to pixels, not sizes: controls that meet in twips meet on the
        // screen, never one pixel over each other.
        const double left = place.left ? *place.left : pixelsToTwips(g.x());
        const double top = place.top ? *place.top : pixelsToTwips(g.y());
        if (place.left)
            g.moveLeft(twipsToPixels(left));
        if (place.top)
            g.moveTop(twipsToPixels(top));
        if (place.width)
            g.setWidth(std::max(0, twipsToPixels(left + *place.width) - g.x()));
        if (place.height)
            g.setHeight(std::max(0, twipsToPixels(top + *place.height) - g.y()));
        w->setGeometry(g);
        if (place.hide)
            w->hide();
    }
    // The parameter boxes fill the parameters frame at its new size.
    if (auto* parameters = client->findChild<QWidget*>(QStringLiteral("frame_setupmas")))
        placeParameterBoxes(parameters);
    fitCaptions(window);
}

} // namespace ui
