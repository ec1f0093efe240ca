#pragma once
// The run side of the acquisition window: the start button, the live pipeline tick, the cycle
// scheduler and the live tracking views. It works on the window's controls found by name.

#include "platform/services.h"

#include <QObject>

namespace ui {

class FrmFrontend;

class AcquisitionRunController : public QObject {
    Q_OBJECT
public:
    AcquisitionRunController(FrmFrontend* window, platform::Services services);
    ~AcquisitionRunController() override;

    // True while a live run is on.
    bool acquisitionRunning() const { return m_running; }
    // Ends a live run (the back label asks first).
    void stopAcquisitionRun();

private:
    FrmFrontend* m_window;
    platform::Services m_services;
    bool m_running = false;
};

} // namespace ui
