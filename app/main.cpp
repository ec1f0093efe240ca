// Vermalux: builds the services, opens the start window and runs until the program ends.

#include "app/device/ui/frm_init.h"
#include "app/windows/ui/qt_dialogs.h"
#include "app/windows/ui/window_registry.h"
#include "platform/production_services.h"

#include <QApplication>

#include <csignal>
#include <memory>

int main(int argc, char* argv[]) {
    std::signal(SIGXFSZ, SIG_IGN); // a write past a file-size limit fails instead of ending us
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vermalux");
    const QString programFolder = QCoreApplication::applicationDirPath();
    ui::Windows::setServices(
        platform::makeProductionServices(std::make_shared<ui::QtDialogs>(), programFolder));
    ui::Windows::frmInit().show();
    const int status = app.exec();
    ui::Windows::destroyAll();
    return status;
}
