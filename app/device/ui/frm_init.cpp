#include "app/device/ui/frm_init.h"

namespace ui {

FrmInit::FrmInit(const platform::Services& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    setObjectName("Frm_Init");
}

} // namespace ui
