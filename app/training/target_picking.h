#pragma once
// The pick list of a training: up to ten targets clicked on the preview, each accepted only when
// its box lies inside the plate circle of the analysis rectangle. Frame pixels of the
// 1600 x 1200 coordinate space throughout.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace training {

inline constexpr int kMaxPicks = 10;

// TargetCount and PickedTargets of a window: count -1 while no pick list is open, else 0 to 10;
// entries 0 .. count - 1 of x and y are the picks in pick order.
struct PickList {
    std::int16_t count = -1;
    std::array<std::int16_t, kMaxPicks + 1> x{};
    std::array<std::int16_t, kMaxPicks + 1> y{};

    bool open() const { return count >= 0; }
};

// The circle a pick's box must lie in: the centre of the rectangle and the mean of its half
// width and half height, each to the nearest integer (halves to even), and half the box size.
struct PickCircle {
    int cx = 0;
    int cy = 0;
    int radius = 0;
    double halfBox = 0.0;
};

// The circle from the texts of txt_x1, txt_x2, txt_y1, txt_y2 and txt_npix (whole values).
PickCircle pickCircle(std::string_view x1, std::string_view x2, std::string_view y1,
                      std::string_view y2, std::string_view boxSize);

// True when the circle of half the box size around (x, y) lies inside the pick circle; a pick
// exactly on the limit is inside.
bool insidePickCircle(const PickCircle& circle, int x, int y);

enum class PickOutcome {
    Accepted,
    WrongPage,    // not on the set-up or preview page (page state below 1, or 2)
    NoPickList,   // count is -1
    OutsidePlate, // the box would reach beyond the plate circle
    ListFull,     // ten picks already
};

// PickTrainingTarget: a click at the last pointer position (x, y). An accepted pick is stored at
// index count and count goes up by one; every other outcome leaves the list as it was.
PickOutcome pickTrainingTarget(PickList& list, int pageState, const PickCircle& circle, int x,
                               int y);

// The number printed beside pick `number` (1 for the first): a blank in the place of the sign and
// the digits (" 1"); its text's top-left corner lies at (x - b - 5, y - b - 5) for box size b.
std::string pickNumberText(int number);

} // namespace training
