#pragma once
// The real clock: wall time, a monotonic millisecond count and pauses that let window events run.

#include "platform/services.h"

namespace platform {

class SystemClock : public Clock {
public:
    QDateTime now() const override;
    // Milliseconds of the steady clock; only differences mean anything.
    std::int64_t monotonicMs() const override;
    // On the application's thread the pause runs a local event loop until the time is up, so
    // windows keep painting; elsewhere (or without an application) it sleeps.
    void pause(int ms) override;
};

} // namespace platform
