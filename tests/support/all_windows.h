#pragma once
// Makes every window of the program known to the registry, as main does, so that one window
// can open another by name in a test.

#include "app/device/ui/frm_about.h"
#include "app/device/ui/frm_init.h"
#include "app/microbeam/ui/frm_processmulti.h"
#include "app/widgets/window_registry.h"
#include "app/windows/ui/frm_frontend.h"
#include "app/windows/ui/frm_training.h"

namespace test_support {

inline void registerAllWindows() {
    ui::Windows::registerWindow<ui::FrmInit>();
    ui::Windows::registerWindow<ui::FrmAbout>();
    ui::Windows::registerWindow<ui::FrmFrontend>();
    ui::Windows::registerWindow<ui::FrmTraining>();
    ui::Windows::registerWindow<ui::FrmProcessMulti>();
}

} // namespace test_support
