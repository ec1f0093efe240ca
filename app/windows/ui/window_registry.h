#pragma once
// The program-wide windows. Each exists once and is created on first use; a window that was
// closed (unloaded) is created anew, from its design values, the next time it is used.

#include "platform/services.h"

namespace ui {

class FrmInit;
class FrmAbout;
class FrmFrontend;

class Windows {
public:
    // The services every window gets; set once by main (or by a test) before any window.
    static void setServices(const platform::Services& services);
    static const platform::Services& services();

    static FrmInit& frmInit();
    static FrmAbout& frmAbout();
    static FrmFrontend& frmFrontend();

    // Whether the window exists now (without creating it).
    static bool hasFrmInit();
    static bool hasFrmAbout();
    static bool hasFrmFrontend();

    // Destroys every window at once (end of the program, or between tests).
    static void destroyAll();
};

} // namespace ui
