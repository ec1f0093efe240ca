// Vermalux: builds the services, opens the start window and runs until the program ends.

#include "app/device/ui/frm_about.h"
#include "app/device/ui/frm_init.h"
#include "app/microbeam/ui/frm_processmulti.h"
#include "app/widgets/qt_dialogs.h"
#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_frontend.h"
#include "app/windows/ui/frm_training.h"
#include "platform/process_launcher.h"
#include "platform/production_services.h"

#include <QApplication>

#include <csignal>
#include <memory>

int main(int argc, char* argv[]) {
    std::signal(SIGXFSZ, SIG_IGN); // a write past a file-size limit fails instead of ending us
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vermalux");
    // A desktop that closes (SIGHUP) or a SIGTERM ends the program as a normal close does: the
    // windows below are destroyed, and with them their batches and the programs they started.
    platform::quitOnTerminationSignals();
    const QString programFolder = QCoreApplication::applicationDirPath();
    ui::Windows::setServices(
        platform::makeProductionServices(std::make_shared<ui::QtDialogs>(), programFolder));
    ui::Windows::registerWindow<ui::FrmInit>();
    ui::Windows::registerWindow<ui::FrmAbout>();
    ui::Windows::registerWindow<ui::FrmFrontend>();
    ui::Windows::registerWindow<ui::FrmTraining>();
    ui::Windows::registerWindow<ui::FrmProcessMulti>();
    ui::Windows::get<ui::FrmInit>().show();
    const int status = app.exec();
    ui::Windows::destroyAll();
    return status;
}
