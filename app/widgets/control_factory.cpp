#include "app/widgets/control_factory.h"

#include "app/widgets/clickable_label.h"
#include "app/widgets/picture_box.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

namespace ui {

namespace {
template <class W> W* named(W* w, const char* name, QRect geometry) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    return w;
}
} // namespace

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    return named(new QLabel(text, parent), name, geometry);
}

ClickableLabel* makeClickable(QWidget* parent, const char* name, const QString& text,
                              QRect geometry) {
    return named(new ClickableLabel(text, parent), name, geometry);
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    return named(new QLineEdit(text, parent), name, geometry);
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    return named(new QPushButton(text, parent), name, geometry);
}

QGroupBox* makeGroup(QWidget* parent, const char* name, const QString& title, QRect geometry) {
    return named(new QGroupBox(title, parent), name, geometry);
}

QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    return named(new QCheckBox(text, parent), name, geometry);
}

QFrame* makeShape(QWidget* parent, const char* name, QRect geometry) {
    auto* w = named(new QFrame(parent), name, geometry);
    w->setFrameShape(QFrame::Box);
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
    return w;
}

void showStatusNow(QLabel* line, const QString& text) {
    line->setText(text);
    line->repaint();
}

QFrame* makeMessageFrame(QWidget* parent, QRect geometry, QRect line, QLabel** label) {
    auto* frame = new QFrame(parent);
    frame->setObjectName("frame_messages");
    frame->setFrameShape(QFrame::Box);
    frame->setAutoFillBackground(true);
    frame->setGeometry(geometry);
    *label = makeLabel(frame, "lbl_messages", QString(), line);
    frame->hide();
    return frame;
}

PictureBox* makePicture(QWidget* parent, const char* name, QSize backing, QRect geometry) {
    return named(new PictureBox(parent, backing), name, geometry);
}

QMenu* makeMenu(QMenuBar* bar, const char* name, const QString& caption) {
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

QMenu* makeMenu(QMenu* menu, const char* name, const QString& caption) {
    QMenu* sub = menu->addMenu(caption);
    sub->setObjectName(QString::fromLatin1(name));
    sub->menuAction()->setObjectName(QString::fromLatin1(name));
    return sub;
}

QAction* makeMenuItem(QMenu* menu, const char* name, const QString& caption, bool checkable) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(checkable);
    return action;
}

QTimer* makeTimer(QObject* owner, const char* name, int intervalMs, bool enabled) {
    auto* timer = new QTimer(owner);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(intervalMs);
    if (enabled)
        timer->start();
    return timer;
}

} // namespace ui
