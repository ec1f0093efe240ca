#pragma once
// One application object for a whole window-test program, made by whichever test needs it
// first; windows are drawn offscreen unless a platform was chosen.

#include <QApplication>

namespace test_support {

inline void ensureApplication() {
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vermalux_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

} // namespace test_support
