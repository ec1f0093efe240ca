#include "app/device/ui/frm_about.h"

namespace ui {

FrmAbout::FrmAbout(const platform::Services& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    setObjectName("Frm_About");
}

} // namespace ui
