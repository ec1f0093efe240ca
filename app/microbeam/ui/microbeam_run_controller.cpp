#include "app/microbeam/ui/microbeam_run_controller.h"

#include "app/widgets/picture_box.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace ui {

MicrobeamRunController::MicrobeamRunController(Window window, const MicrobeamRunControls& controls,
                                               platform::Services services, const Lifetime& owner,
                                               MicrobeamRunHooks hooks, QObject* parent)
    : QObject(parent), m_window(window), m_c(controls), m_services(std::move(services)),
      m_life(Lifetime::childOf(owner)), m_hooks(std::move(hooks)) {
    connect(m_c.Timer2, &QTimer::timeout, this, &MicrobeamRunController::MicrobeamRunStep);
    if (m_window == Window::Microbeam)
        connect(m_c.runButton, &QPushButton::clicked, this,
                &MicrobeamRunController::cmdProcessClick);
}

MicrobeamRunController::~MicrobeamRunController() {
    m_life.end();
}

bool MicrobeamRunController::running() const {
    return m_hooks.processing ? m_hooks.processing() : m_running;
}

void MicrobeamRunController::setRunning(bool on) {
    if (m_hooks.setProcessing)
        m_hooks.setProcessing(on);
    else
        m_running = on;
}

void MicrobeamRunController::resetForLoad() {
    setRunning(false);
}

void MicrobeamRunController::stopForClose() {
    setRunning(false);
    m_life.renew();
}

void MicrobeamRunController::cmdProcessClick() {}

void MicrobeamRunController::StartMicrobeamRun() {}

void MicrobeamRunController::MicrobeamRunStep() {}

} // namespace ui
