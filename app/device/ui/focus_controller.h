#pragma once
// The focus mode of a set-up page: "FOCUS" starts a live preview that is fetched again every
// 250 ms for 30 seconds of monotonic time, with the light frame shown so that the lamp can be
// changed meanwhile; the button shows the seconds left and stops the mode early.

#include "app/widgets/handler_guard.h"
#include "platform/services.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QGroupBox;
class QPushButton;
class QTimer;

namespace device {
class DeviceClient;
}

namespace ui {

class LightController;

struct FocusControls {
    QPushButton* cmd_focus = nullptr;
    QTimer* Timer_focus = nullptr;
    QGroupBox* frm_contrast = nullptr; // the light frame
};

// What the focus mode asks of its window.
struct FocusHooks {
    std::function<QString()> deviceAddress;
    // Fetches and draws a new preview; false when that failed (the window said why).
    std::function<bool()> capturePreview;
    // Puts a text into the window's status label.
    std::function<void(const QString&)> showStatus;
};

class FocusController : public QObject {
    Q_OBJECT
public:
    FocusController(const FocusControls& controls, LightController& light,
                    std::shared_ptr<device::DeviceClient> client, platform::Services services,
                    const Lifetime& window, FocusHooks hooks, QObject* parent);

    bool focusRunning() const { return m_running; }
    // Clears the running flag (loading the window does this); a tick that follows only stops
    // the timer.
    void clearFocusRunning() { m_running = false; }
    // Ends the mode as its button does: timer off, light frame hidden, caption "FOCUS" (leaving
    // the set-up page does this).
    void endFocusMode();
    int focusSecondsLeft() const { return m_secondsLeft; }

    void FocusButtonClick();
    void FocusModeTick();

private:
    FocusControls m_c;
    LightController& m_light;
    std::shared_ptr<device::DeviceClient> m_client;
    platform::Services m_services;
    Lifetime m_life;
    FocusHooks m_hooks;
    bool m_running = false;
    int m_secondsLeft = 20;
    std::int64_t m_startMs = 0;
};

} // namespace ui
