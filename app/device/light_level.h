#pragma once
// The lamp level of a window and the focus mode's countdown.

#include <cstdint>
#include <string>

namespace device {

// ---- Light level: 0 to 16 in steps of 0.5 -----------------------------------------------------
inline constexpr double kDefaultLightLevel = 5.0;
inline constexpr double kLightStep = 0.5;
inline constexpr double kMaxLightLevel = 16.0;

// One step down ("-") or up ("+"); the level at a limit stays (false: nothing changed).
bool lightStepDown(double& level, double step = kLightStep);
bool lightStepUp(double& level, double step = kLightStep);

// "Light[" + the level in its shortest decimal form + "]" ("Light[5]", "Light[4.5]").
std::string lightLabelText(double level);

// ---- Focus mode -------------------------------------------------------------------------------
inline constexpr int kFocusSeconds = 30;

// Seconds left of the focus mode after `elapsedMs` of monotonic time (whole seconds, halves to
// even); the mode ends when this is below 1.
std::int64_t focusSecondsLeft(std::int64_t elapsedMs);

// The focus button while the mode runs: "STOP FOCUS [" + seconds + "s]".
std::string focusButtonText(std::int64_t secondsLeft);

} // namespace device
