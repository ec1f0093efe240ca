#include "app/training/plate_overlay.h"

#include "formats/numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace training {

namespace {
int nearest(double value) {
    const std::int64_t n = formats::roundHalfEven(value);
    return static_cast<int>(std::clamp<std::int64_t>(n, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}
} // namespace

std::int16_t wholeValue(std::string_view text) {
    const std::int64_t n = formats::roundHalfEven(formats::leadingNumber(text));
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(
        n, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

std::vector<OutlineRow> plateOutlineRows(int x1, int x2, int y1, int y2) {
    std::vector<OutlineRow> rows;
    const int w = x2 - x1;
    const int h = y2 - y1;
    if (h <= 0)
        return rows;
    const int cx = x1 + nearest(w / 2.0);
    const double half = h / 2.0;
    rows.reserve(static_cast<std::size_t>(h) + 1);
    for (int i = 0; i <= h; ++i) {
        const double dy = std::fabs(half - i);
        const int s = nearest(std::sqrt(std::fabs(half * half - dy * dy)));
        const int hw = nearest((static_cast<double>(w) / h) * s);
        rows.push_back({y1 + i, cx - hw, cx + hw});
    }
    return rows;
}

TargetSquare targetSquare(int x, int y, int boxSize) {
    const double half = boxSize / 2.0;
    return {x - half, y - half, x + half, y + half};
}

int sliderValueFor(const PlateRect& rect) {
    const double mean = ((rect.x2 - rect.x1) + (rect.y2 - rect.y1)) / 2.0;
    if (!std::isfinite(mean))
        return kSliderMinimum;
    return std::clamp(nearest(mean), kSliderMinimum, kSliderMaximum);
}

PlateRect resizeAroundCentre(const PlateRect& rect, int sliderValue) {
    const int cx = nearest((rect.x2 - rect.x1) / 2.0 + rect.x1);
    const int cy = nearest((rect.y2 - rect.y1) / 2.0 + rect.y1);
    const int w = nearest(sliderValue * 1.01);
    const int h = nearest(sliderValue * 0.99);
    return {cx - w / 2.0, cx + w / 2.0, cy - h / 2.0, cy + h / 2.0};
}

bool nudgeRect(PlateRect& rect, Nudge direction) {
    switch (direction) {
    case Nudge::Left:
        if (!(rect.x1 > 0))
            return false;
        rect.x1 -= 5;
        rect.x2 -= 5;
        return true;
    case Nudge::Right:
        if (!(rect.x2 < 1600))
            return false;
        rect.x1 += 5;
        rect.x2 += 5;
        return true;
    case Nudge::Up:
        if (!(rect.y1 > 0))
            return false;
        rect.y1 -= 5;
        rect.y2 -= 5;
        return true;
    case Nudge::Down:
        if (!(rect.y2 < 1200))
            return false;
        rect.y1 += 5;
        rect.y2 += 5;
        return true;
    }
    return false;
}

bool plateSizeAccepted(double size) {
    return size >= 10 && size <= 60;
}

} // namespace training
