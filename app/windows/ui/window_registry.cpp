#include "app/windows/ui/window_registry.h"

#include "app/device/ui/frm_about.h"
#include "app/device/ui/frm_init.h"
#include "app/windows/ui/frm_frontend.h"

#include <QPointer>

namespace ui {

namespace {
platform::Services& servicesStore() {
    static platform::Services services;
    return services;
}
QPointer<FrmInit>& initWindow() {
    static QPointer<FrmInit> window;
    return window;
}
QPointer<FrmAbout>& aboutWindow() {
    static QPointer<FrmAbout> window;
    return window;
}
QPointer<FrmFrontend>& frontendWindow() {
    static QPointer<FrmFrontend> window;
    return window;
}
} // namespace

void Windows::setServices(const platform::Services& services) {
    servicesStore() = services;
}

const platform::Services& Windows::services() {
    return servicesStore();
}

FrmInit& Windows::frmInit() {
    if (!initWindow())
        initWindow() = new FrmInit(servicesStore());
    return *initWindow();
}

FrmAbout& Windows::frmAbout() {
    if (!aboutWindow())
        aboutWindow() = new FrmAbout(servicesStore());
    return *aboutWindow();
}

FrmFrontend& Windows::frmFrontend() {
    if (!frontendWindow())
        frontendWindow() = new FrmFrontend(servicesStore());
    return *frontendWindow();
}

bool Windows::hasFrmInit() {
    return !initWindow().isNull();
}
bool Windows::hasFrmAbout() {
    return !aboutWindow().isNull();
}
bool Windows::hasFrmFrontend() {
    return !frontendWindow().isNull();
}

void Windows::destroyAll() {
    delete frontendWindow().data();
    delete aboutWindow().data();
    delete initWindow().data();
}

} // namespace ui
