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

} // namespace ui
