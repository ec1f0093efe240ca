#include "app/microbeam/gray_from_color.h"

#include "formats/numbers.h"

namespace microbeam {

std::int16_t GrayFromColor(std::int32_t color) {
    const auto bits = static_cast<std::uint32_t>(color);
    const double hi = static_cast<double>((bits >> 16) & 0xFFu);
    const double mid = static_cast<double>((bits >> 8) & 0xFFu);
    const double lo = static_cast<double>(bits & 0xFFu);
    const double gray = hi * 0.299 + mid * 0.587 + lo * 0.114;
    return static_cast<std::int16_t>(formats::roundHalfEven(gray));
}

} // namespace microbeam
