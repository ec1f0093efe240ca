#pragma once
// The analysis rectangle on the preview: the plate outline (the ellipse inscribed in the
// rectangle, one left and one right boundary point per row), the boxes around picked targets,
// the plate-size slider that resizes the rectangle around its centre, and the nudges that move
// it by 5 pixels. Frame pixels of the 1600 x 1200 coordinate space throughout.

#include <cstdint>
#include <string_view>
#include <vector>

namespace training {

// The slider's range.
inline constexpr int kSliderMinimum = 280;  // Int(2800 / 2 x 0.2)
inline constexpr int kSliderMaximum = 1120; // Int(2800 / 2 x 0.8)

// The whole value of a box's text: its leading number taken to the nearest integer (halves to
// even), held to the signed 16-bit range.
std::int16_t wholeValue(std::string_view text);

// The rectangle as the four real numbers of its boxes.
struct PlateRect {
    double x1 = 0.0; // left
    double x2 = 0.0; // right
    double y1 = 0.0; // top
    double y2 = 0.0; // bottom
};

// The two boundary points of the plate outline on one row.
struct OutlineRow {
    int y = 0;
    int left = 0;
    int right = 0;
};

// The outline rows of the ellipse inscribed in the rectangle of whole values; none when the
// height is 0 or negative.
std::vector<OutlineRow> plateOutlineRows(int x1, int x2, int y1, int y2);

// The outline of the square of side `boxSize` around a picked target.
struct TargetSquare {
    double left = 0.0;
    double top = 0.0;
    double right = 0.0;
    double bottom = 0.0;
};
TargetSquare targetSquare(int x, int y, int boxSize);

// The slider value for a rectangle: the mean of its width and height, to the nearest integer
// (halves to even), held to the slider's range.
int sliderValueFor(const PlateRect& rect);

// The rectangle resized around its centre for a slider value: width value x 1.01, height
// value x 0.99, each to the nearest integer; the edges lie half of that from the centre.
PlateRect resizeAroundCentre(const PlateRect& rect, int sliderValue);

// The nudge buttons. Each tests one edge before the move; the rectangle moves by 5 pixels
// along its axis when the test holds.
enum class Nudge {
    Left,  // `cmd_offset_left` "<": when x1 > 0, x1 and x2 minus 5
    Right, // `cmd_offset_right` ">": when x2 < 1600, x1 and x2 plus 5
    Up,    // `cmd_offset_down` "up": when y1 > 0, y1 and y2 minus 5
    Down,  // `cmd_offset_up` "down": when y2 < 1200, y1 and y2 plus 5
};
// True when the rectangle moved.
bool nudgeRect(PlateRect& rect, Nudge direction);

// The plate size in mm is accepted from 10 to 60, both included.
bool plateSizeAccepted(double size);

} // namespace training
