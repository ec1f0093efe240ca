#pragma once
// Makes the controls of a window from its design: each control gets its name as objectName and
// its design geometry in pixels; layouts move it later.

#include <QRect>
#include <QSize>
#include <QString>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QObject;
class QTimer;
class QAction;
class QPushButton;
class QWidget;

namespace ui {

class ClickableLabel;
class PictureBox;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry);
ClickableLabel* makeClickable(QWidget* parent, const char* name, const QString& text,
                              QRect geometry);
QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& text, QRect geometry);
QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QRect geometry);
QGroupBox* makeGroup(QWidget* parent, const char* name, const QString& title, QRect geometry);
QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& text, QRect geometry);
// A drawn outline (a shape of the design): a box frame that lets clicks through.
QFrame* makeShape(QWidget* parent, const char* name, QRect geometry);
PictureBox* makePicture(QWidget* parent, const char* name, QSize backing, QRect geometry);

// Menus: a menu of the bar or a submenu (its action carries the name too), and an item.
QMenu* makeMenu(QMenuBar* bar, const char* name, const QString& caption);
QMenu* makeMenu(QMenu* menu, const char* name, const QString& caption);
QAction* makeMenuItem(QMenu* menu, const char* name, const QString& caption,
                      bool checkable = false);

// A status line's new text, painted at once (a wait that follows holds the event loop).
void showStatusNow(QLabel* line, const QString& text);
// The status frame over a window's picture, "frame_messages", boxed and opaque, with its line
// "lbl_messages" at `line` inside it; hidden.
QFrame* makeMessageFrame(QWidget* parent, QRect geometry, QRect line, QLabel** label);

// A timer of a window with its design interval, running or not.
QTimer* makeTimer(QObject* owner, const char* name, int intervalMs, bool enabled);

} // namespace ui
