// The real dialogs: each is answered by a timer that acts like the operator, so no test ever
// waits on a person.

#include "tests/device/ui/start_window_support.h"

#include "app/widgets/qt_dialogs.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using start_window_test::ensureApplication;

// Calls `act` on the modal dialog as soon as it is up.
void answerNextDialog(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
}

class QtDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }
    ui::QtDialogs dialogs;
};

TEST_F(QtDialogsTest, MessageHasOnlyOk) {
    QString text;
    int buttons = -1;
    answerNextDialog([&](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (!box)
            return dialog->close(), void();
        text = box->text();
        buttons = int(box->standardButtons());
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.message("Sure?\r\nline two");
    EXPECT_EQ(text, "Sure?\r\nline two");
    EXPECT_EQ(buttons, int(QMessageBox::Ok));
}

TEST_F(QtDialogsTest, QuestionIsYesOrNo) {
    answerNextDialog([](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (!box)
            return dialog->close(), void();
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(dialogs.question("Sure to Quit?"));
    answerNextDialog([](QWidget* dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(dialog))
            box->button(QMessageBox::No)->click();
        else
            dialog->close();
    });
    EXPECT_FALSE(dialogs.question("Sure to Quit?"));
}

TEST_F(QtDialogsTest, InputGivesTypedTextOrEmptyOnCancel) {
    answerNextDialog([](QWidget* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        if (!input)
            return dialog->close(), void();
        EXPECT_EQ(input->textValue(), "default");
        input->setTextValue("plate 7");
        input->accept();
    });
    EXPECT_EQ(dialogs.input("Name?", QString(), "default"), "plate 7");
    answerNextDialog([](QWidget* dialog) {
        if (auto* input = qobject_cast<QDialog*>(dialog))
            input->reject();
    });
    const QString cancelled = dialogs.input("Name?", QString(), "default");
    EXPECT_TRUE(cancelled.isEmpty());
}

} // namespace
