#pragma once
// Outlier frames: frames whose background brightness (the five background boxes of each frame
// line of xy_image.bin) lies out of line with the other frames of their hundred.

#include <cstdint>
#include <string>
#include <vector>

namespace results {

inline constexpr int kOutlierLastFrame = 300;       // frames 0 .. 300 are checked
inline constexpr int kOutlierBackgroundBoxes = 5;   // boxes 0 .. 4 of every line
inline constexpr double kOutlierShare = 0.06;       // tolerance: 6 % of the box mean ...
inline constexpr double kOutlierMinTolerance = 3.0; // ... but never below 3 grey levels
inline constexpr int kOutlierMaxBoxes = 32767;      // box counts of 32768 or more are refused

struct OutlierCheck {
    // True when the file was read and every frame checked; false when it could not be checked
    // (file missing or unreadable, fewer than five boxes or 32768 or more, frame numbers beyond
    // 0 .. 300), in which case `reason` says why and no frame is listed.
    bool checked = false;
    std::string reason;
    std::vector<std::int32_t> frames; // the outlier frames, ascending
    std::string text;                 // the same joined by ";" ("17;145;146"), empty when none
};

// Checks the descriptor file of an acquisition folder (folder + "/xy_image.bin"). A last frame
// line cut short by the end of the file is still being written and is left out.
OutlierCheck checkOutlierFrames(const std::string& folder);

// The frame list as text, empty when no frame is an outlier and when the frames could not be
// checked; callers that must tell the two apart use checkOutlierFrames.
std::string FindOutlierFrames(const std::string& folder);

} // namespace results
