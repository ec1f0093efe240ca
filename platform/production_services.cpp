#include "platform/production_services.h"

#include "platform/curl_downloader.h"
#include "platform/process_launcher.h"
#include "platform/system_clock.h"

namespace platform {

Services makeProductionServices(std::shared_ptr<Dialogs> dialogs, const QString& programFolder) {
    Services services;
    services.dialogs = std::move(dialogs);
    services.launcher = std::make_shared<ProcessLauncher>();
    services.clock = std::make_shared<SystemClock>();
    services.downloader = std::make_shared<CurlDownloader>();
    services.programFolder = programFolder;
    return services;
}

} // namespace platform
