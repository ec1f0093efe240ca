#pragma once
// Proportional layout of the acquisition and reanalysis windows: the window is divided into a grid
// of six columns and twenty rows inside fixed margins; top-level controls are placed in grid units,
// controls inside a frame as fractions of that frame's size. All values are twips.

#include <optional>
#include <string>
#include <vector>

namespace windows {

// The grid of one layout pass, from the window's outer width and height in twips.
struct LayoutGrid {
    int x0 = 0; // left margin
    int y0 = 0; // top margin
    int cw = 0; // column unit
    int rh = 0; // row unit
};

// Nearest integer of a real, an exact half going to the even neighbour.
int nearestInt(double value);

// False when the size cannot give a grid (not finite or beyond the 32-bit range).
bool layoutGridFor(double widthTwips, double heightTwips, LayoutGrid& grid);

// One control's placement. Properties without a value are left as they are. Positions inside a
// frame are relative to that frame.
struct Placement {
    std::string name;      // the control's name ("Opt_acq(0)" for an array element)
    std::string container; // empty: on the window grid
    std::optional<float> left;
    std::optional<float> top;
    std::optional<float> width;
    std::optional<float> height;
    bool hide = false; // the pass makes the control invisible
};

// Every placement of one pass of the acquisition window, in order. Empty when the size cannot
// give a grid. Container sizes are those given to the containers earlier in the same pass.
std::vector<Placement> frontendLayout(double widthTwips, double heightTwips);

// Every placement of one pass of the reanalysis window, in order (empty as above).
std::vector<Placement> trainingLayout(double widthTwips, double heightTwips);

// A window's size and place in pixels, as the screen shows it.
struct WindowBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Where a window of client area `inner` with its frame `outer` (title bar and borders of the
// desktop) goes so that the whole frame lies on the screen's free area `screen`: unchanged when
// it fits; else the client area shrinks by what lies off screen (never below one pixel) and the
// frame moves inside the free area. The proportional layout then places every control anew.
WindowBox fitFrameOnScreen(const WindowBox& inner, const WindowBox& outer, const WindowBox& screen);

// The placement of a control by name in a pass; nullptr when the pass does not place it.
const Placement* findPlacement(const std::vector<Placement>& placements, const std::string& name);

} // namespace windows
