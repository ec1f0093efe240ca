#include "app/windows/ui/frm_frontend.h"

namespace ui {

FrmFrontend::FrmFrontend(const platform::Services& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    setObjectName("frm_frontend");
}

} // namespace ui
