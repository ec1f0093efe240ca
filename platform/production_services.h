#pragma once
// The real services of a program: libcurl downloads, the process launcher and the system clock,
// with the dialogs that the window layer supplies.

#include "platform/services.h"

namespace platform {

Services makeProductionServices(std::shared_ptr<Dialogs> dialogs, const QString& programFolder);

} // namespace platform
