#pragma once
// The real dialogs of the windowed programs: a message box with an OK button, a question with
// Yes and No (or Yes, No and Cancel, or OK and Cancel, or Yes and No with No as the default),
// and an input box. Each is modal to the
// active window and waits for the operator.

#include "platform/services.h"

namespace ui {

class QtDialogs : public platform::Dialogs {
public:
    // A message box with an OK button only. Without a title the program's name is the title.
    void message(const QString& text, const QString& title = QString()) override;
    // A question with Yes and No; true for Yes.
    bool question(const QString& text, const QString& title = QString()) override;
    // A question with Yes, No and Cancel, or OK and Cancel, or Yes and No with No as the
    // default; true for Yes or OK.
    bool question(const QString& text, platform::QuestionButtons buttons,
                  const QString& title = QString()) override;
    // An input box; the empty text when the operator cancels.
    QString input(const QString& prompt, const QString& title = QString(),
                  const QString& defaultText = QString()) override;
};

} // namespace ui
