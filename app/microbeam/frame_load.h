#pragma once
// The names that the Microbeam window's LOAD works out from the folder typed in its folder box:
// the first frame name of the folder, the folder that holds the limits, and the frame prefix
// (everything of a frame's path before its number).

#include <optional>
#include <string>
#include <string_view>

namespace microbeam {

// True for a name whose last six characters are "f", any one character and ".jpg".
bool matchesFramePattern(std::string_view name);

// The first name of the folder, in name order, that matches "*f?.jpg"; nothing when none does
// (or the folder cannot be listed).
std::optional<std::string> firstFrameName(const std::string& folder);

// The folder whose training file holds the limits: the frames' folder without its last four
// characters when they are exactly "/img" (the acquisition folder above its frames), else the
// folder itself.
std::string limitsFolder(const std::string& folder);

// The folder, "/", and the frame name without its last five characters ("...f" for names of
// frames 0 to 9).
std::string framePrefix(const std::string& folder, std::string_view frameName);

// The path of frame `number` under a prefix: prefix + number + ".jpg".
std::string framePath(const std::string& prefix, long number);

} // namespace microbeam
