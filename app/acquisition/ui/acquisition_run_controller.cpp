#include "app/acquisition/ui/acquisition_run_controller.h"

namespace ui {

AcquisitionRunController::AcquisitionRunController(FrmFrontend* window,
                                                   platform::Services services)
    : QObject(nullptr), m_window(window), m_services(std::move(services)) {}

AcquisitionRunController::~AcquisitionRunController() = default;

void AcquisitionRunController::stopAcquisitionRun() {
    m_running = false;
}

} // namespace ui
