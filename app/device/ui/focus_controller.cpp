#include "app/device/ui/focus_controller.h"

#include "app/device/device_client.h"
#include "app/device/light_level.h"
#include "app/device/logger_lock.h"
#include "app/device/ui/light_controller.h"
#include "app/widgets/background_work.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>

namespace ui {

FocusController::FocusController(const FocusControls& controls, LightController& light,
                                 std::shared_ptr<device::DeviceClient> client,
                                 platform::Services services, const Lifetime& window,
                                 FocusHooks hooks, QObject* parent)
    : QObject(parent), m_c(controls), m_light(light), m_client(std::move(client)),
      m_services(std::move(services)), m_life(Lifetime::childOf(window)),
      m_hooks(std::move(hooks)) {
    connect(m_c.cmd_focus, &QPushButton::clicked, this, &FocusController::FocusButtonClick);
    connect(m_c.Timer_focus, &QTimer::timeout, this, &FocusController::FocusModeTick);
}

void FocusController::endFocusMode() {
    // A start of the mode or a tick that waits on the device ends there: its late answer
    // starts no timer and says nothing.
    m_life.renew();
    m_c.Timer_focus->stop();
    m_running = false;
    m_c.frm_contrast->hide();
    m_c.cmd_focus->setText(QStringLiteral("FOCUS"));
    m_c.cmd_focus->repaint();
}

void FocusController::FocusButtonClick() {
    if (m_running) {
        endFocusMode();
        return;
    }
    HandlerGuard guard(m_life);
    // The focus mode sends the lamp level: never unasked into a run being recorded.
    if (!device::mayDisturbLogger(m_services) || !guard.alive())
        return;
    m_secondsLeft = 20;
    m_running = true;
    m_light.setLightChanged(false);
    m_c.frm_contrast->show();
    m_c.frm_contrast->raise();
    m_light.showLightLabel();
    m_c.cmd_focus->setText(QStringLiteral("20"));
    const std::int16_t status =
        m_client->withRunner(requestsBesideWindow(m_life))
            .QueryStatus(m_hooks.deviceAddress(), QStringLiteral("0"));
    if (!guard.alive())
        return;
    if (status != -1) {
        m_startMs = m_services.clock->monotonicMs();
        m_c.Timer_focus->setInterval(250);
        m_c.Timer_focus->start();
    } else {
        m_hooks.showStatus(device::kIpErrorStatus);
        m_services.dialogs->message(device::kIpErrorMessage);
    }
}

void FocusController::FocusModeTick() {
    HandlerGuard guard(m_life, "FocusModeTick");
    if (!guard.entered())
        return;
    m_c.Timer_focus->stop();
    if (!m_running)
        return;
    // Elapsed time from the monotonic clock, whole seconds: the mode lasts 30 s whatever the
    // wall clock does meanwhile.
    const std::int64_t left = device::focusSecondsLeft(m_services.clock->monotonicMs() - m_startMs);
    if (left < 1) {
        m_running = false;
        m_c.frm_contrast->hide();
        m_secondsLeft = 20;
        m_c.cmd_focus->setText(QStringLiteral("FOCUS"));
        return;
    }
    m_secondsLeft = static_cast<int>(left);
    if (m_light.LightChanged()) {
        m_client->withRunner(requestsBesideWindow(m_life))
            .SetLamp(m_hooks.deviceAddress(), m_light.lampValue());
        if (!guard.alive())
            return;
        m_light.setLightChanged(false);
        m_services.clock->pause(100);
        if (!guard.alive())
            return;
    }
    m_hooks.capturePreview();
    if (!guard.alive())
        return;
    if (!m_running)
        return; // the operator ended the mode while the preview was fetched
    m_c.cmd_focus->setText(QString::fromStdString(device::focusButtonText(left)));
    m_c.cmd_focus->repaint();
    m_c.frm_contrast->show();
    m_c.Timer_focus->start();
    QCoreApplication::processEvents();
}

} // namespace ui
