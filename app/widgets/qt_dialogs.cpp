#include "app/widgets/qt_dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace ui {

namespace {

QString titleOr(const QString& title) {
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

// The window the dialog belongs to: the active one, so the box comes up in front of it.
QWidget* owner() {
    return QApplication::activeWindow();
}

// Closing a dialog never ends the program, even when no other window is on the screen at that
// moment (a warning shown while the start window loads).
void keepProgramOnClose(QWidget* dialog) {
    dialog->setAttribute(Qt::WA_QuitOnClose, false);
}

} // namespace

void QtDialogs::message(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, titleOr(title), text, QMessageBox::Ok, owner());
    keepProgramOnClose(&box);
    box.exec();
}

bool QtDialogs::question(const QString& text, const QString& title) {
    return question(text, platform::QuestionButtons::YesNo, title);
}

bool QtDialogs::question(const QString& text, platform::QuestionButtons buttons,
                         const QString& title) {
    QMessageBox::StandardButtons offered = QMessageBox::Yes | QMessageBox::No;
    QMessageBox::StandardButton yes = QMessageBox::Yes;
    switch (buttons) {
    case platform::QuestionButtons::YesNo:
        break;
    case platform::QuestionButtons::YesNoCancel:
        offered = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case platform::QuestionButtons::OkCancel:
        offered = QMessageBox::Ok | QMessageBox::Cancel;
        yes = QMessageBox::Ok;
        break;
    case platform::QuestionButtons::YesNoDefaultNo:
        break;
    }
    QMessageBox box(QMessageBox::Question, titleOr(title), text, offered, owner());
    box.setDefaultButton(buttons == platform::QuestionButtons::YesNoDefaultNo ? QMessageBox::No
                                                                               : yes);
    keepProgramOnClose(&box);
    return box.exec() == yes;
}

QString QtDialogs::input(const QString& prompt, const QString& title, const QString& defaultText) {
    QInputDialog dialog(owner());
    dialog.setWindowTitle(titleOr(title));
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(defaultText);
    keepProgramOnClose(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

} // namespace ui
