#include "app/training/target_picking.h"

#include "app/training/plate_overlay.h"
#include "formats/numbers.h"

#include <cmath>

namespace training {

namespace {
int nearest(double value) {
    return static_cast<int>(formats::roundHalfEven(value));
}
} // namespace

PickCircle pickCircle(std::string_view x1Text, std::string_view x2Text, std::string_view y1Text,
                      std::string_view y2Text, std::string_view boxSize) {
    const int x1 = wholeValue(x1Text);
    const int x2 = wholeValue(x2Text);
    const int y1 = wholeValue(y1Text);
    const int y2 = wholeValue(y2Text);
    PickCircle circle;
    circle.cx = nearest((x2 - x1) / 2.0 + x1);
    circle.cy = nearest((y2 - y1) / 2.0 + y1);
    circle.radius = nearest(((x2 - x1) + (y2 - y1)) / 4.0);
    circle.halfBox = wholeValue(boxSize) / 2.0;
    return circle;
}

bool insidePickCircle(const PickCircle& circle, int x, int y) {
    const double dy = static_cast<double>(circle.cy) - y;
    const double dx = static_cast<double>(circle.cx) - x;
    const double d = std::sqrt(dy * dy + dx * dx);
    return !(circle.halfBox + d > circle.radius);
}

PickOutcome pickTrainingTarget(PickList& list, int pageState, const PickCircle& circle, int x,
                               int y) {
    if (pageState == 2 || pageState < 1)
        return PickOutcome::WrongPage;
    if (list.count < 0)
        return PickOutcome::NoPickList;
    if (!insidePickCircle(circle, x, y))
        return PickOutcome::OutsidePlate;
    if (list.count >= kMaxPicks)
        return PickOutcome::ListFull;
    list.x[static_cast<std::size_t>(list.count)] = static_cast<std::int16_t>(x);
    list.y[static_cast<std::size_t>(list.count)] = static_cast<std::int16_t>(y);
    ++list.count;
    return PickOutcome::Accepted;
}

std::string pickNumberText(int number) {
    return formats::formatNumberSigned(number);
}

} // namespace training
