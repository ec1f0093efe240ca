#pragma once
// The small rules of the acquisition window's shell: the light level and its label, the focus
// countdown, and the checks of typed values.

#include <cstdint>
#include <string>

namespace windows {

// ---- Light level: 0 to 16 in steps of 0.5 -----------------------------------------------------
inline constexpr double kDefaultLightLevel = 5.0;
inline constexpr double kLightStep = 0.5;
inline constexpr double kMaxLightLevel = 16.0;

// One step down ("-") or up ("+"); the level at a limit stays (false: nothing changed).
bool lightStepDown(double& level);
bool lightStepUp(double& level);

// "Light[" + the level in its shortest decimal form + "]" ("Light[5]", "Light[4.5]").
std::string lightLabelText(double level);

// ---- Focus mode -------------------------------------------------------------------------------
inline constexpr int kFocusSeconds = 30;

// Seconds left of the focus mode after `elapsedMs` of monotonic time (whole seconds, halves to
// even); the mode ends when this is below 1.
std::int64_t focusSecondsLeft(std::int64_t elapsedMs);

// The focus button while the mode runs: "STOP FOCUS [" + seconds + "s]".
std::string focusButtonText(std::int64_t secondsLeft);

// ---- Typed values -----------------------------------------------------------------------------
inline constexpr int kMaxProjectNameCharacters = 32;

// The plate size in mm is accepted from 10 to 60, both included.
bool plateSizeAccepted(double size);

} // namespace windows
