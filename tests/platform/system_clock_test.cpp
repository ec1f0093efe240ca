#include "platform/system_clock.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

using platform::SystemClock;

namespace {

TEST(SystemClock, PauseLastsItsTimeWithoutAnApplication) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    SystemClock clock;
    const auto a = clock.monotonicMs();
    clock.pause(120);
    const auto b = clock.monotonicMs();
    EXPECT_GE(b - a, 120);
    EXPECT_LT(b - a, 10000); // a busy machine may wake it late, not this late
}

TEST(SystemClock, PauseLetsEventsRunInsideAnApplication) {
    int argc = 1;
    char name[] = "clock_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    SystemClock clock;
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    const auto a = clock.monotonicMs();
    clock.pause(150);
    const auto b = clock.monotonicMs();
    EXPECT_TRUE(fired);
    EXPECT_GE(b - a, 149);
    EXPECT_LT(b - a, 10000);
    EXPECT_TRUE(clock.now().isValid());
}

} // namespace

#include "platform/curl_downloader.h"
#include "platform/process_launcher.h"
#include "platform/production_services.h"

namespace {

TEST(ProductionServices, FillsEveryServiceWithTheRealOne) {
    const platform::Services s = platform::makeProductionServices(nullptr, "/opt/prog");
    EXPECT_NE(dynamic_cast<platform::CurlDownloader*>(s.downloader.get()), nullptr);
    EXPECT_NE(dynamic_cast<platform::ProcessLauncher*>(s.launcher.get()), nullptr);
    EXPECT_NE(dynamic_cast<platform::SystemClock*>(s.clock.get()), nullptr);
    EXPECT_EQ(s.programFolder, "/opt/prog");
}

} // namespace
