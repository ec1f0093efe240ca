#include "app/device/light_level.h"

#include "formats/numbers.h"

#include <algorithm>

namespace device {

bool lightStepDown(double& level, double step) {
    if (!(level > 0))
        return false;
    level = std::max(0.0, level - step);
    return true;
}

bool lightStepUp(double& level, double step) {
    if (!(level < kMaxLightLevel))
        return false;
    level = std::min(kMaxLightLevel, level + step);
    return true;
}

std::string lightLabelText(double level) {
    return "Light[" + formats::formatNumber(level) + "]";
}

std::int64_t focusSecondsLeft(std::int64_t elapsedMs) {
    return kFocusSeconds - formats::roundHalfEven(static_cast<double>(elapsedMs) / 1000.0);
}

std::string focusButtonText(std::int64_t secondsLeft) {
    return "STOP FOCUS [" + std::to_string(secondsLeft) + "s]";
}

} // namespace device
