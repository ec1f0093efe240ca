// The number helpers over arbitrary text: the leading-number rule, rounding, and numbers
// written as text and read back.

#include "formats/numbers.h"
#include "fuzz/support/scratch_file.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace {

// Reads back a number written with up to 15 significant digits (below 1e-4 with 15 decimals).
void checkReadsBack(double value, const std::string& text) {
    const double back = formats::leadingNumber(text);
    FUZZ_CHECK(std::isfinite(back));
    const double slack = std::fabs(value) < 1e-4 ? 5.1e-16 : 0.0;
    FUZZ_CHECK(std::fabs(back - value) <= std::fabs(value) * 1e-14 + slack);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double value = formats::leadingNumber(text);
    FUZZ_CHECK(!std::isnan(value));
    FUZZ_CHECK(std::isfinite(value));

    // Rounding: the nearest integer, and the narrow forms agree with it.
    const std::int64_t rounded = formats::roundHalfEven(value);
    if (std::fabs(value) < 1e15)
        FUZZ_CHECK(std::fabs(static_cast<double>(rounded) - value) <= 0.5);
    if (const auto i32 = formats::toInt32(value))
        FUZZ_CHECK(*i32 == rounded);
    else
        FUZZ_CHECK(rounded > std::numeric_limits<std::int32_t>::max() ||
                   rounded < std::numeric_limits<std::int32_t>::min());
    if (const auto i16 = formats::toInt16(value))
        FUZZ_CHECK(*i16 == rounded);
    else
        FUZZ_CHECK(rounded > std::numeric_limits<std::int16_t>::max() ||
                   rounded < std::numeric_limits<std::int16_t>::min());

    // Written and read back.
    const std::string plain = formats::formatNumber(value);
    FUZZ_CHECK(!plain.empty());
    FUZZ_CHECK(plain.find(',') == std::string::npos);
    checkReadsBack(value, plain);
    if (std::fabs(value) >= 1e-9 && std::fabs(value) < 1e15)
        FUZZ_CHECK(plain.find('e') == std::string::npos);
    const std::string sign = formats::formatNumberSigned(value);
    FUZZ_CHECK(sign == (plain[0] == '-' ? plain : " " + plain));

    // Fixed decimals: the count asked for, no sign on a value that rounds to zero.
    const int decimals = size > 0 ? data[0] % 16 : 0;
    const std::string fixed = formats::formatFixed(value, decimals);
    FUZZ_CHECK(!fixed.empty());
    FUZZ_CHECK(fixed.find('e') == std::string::npos);
    const std::size_t point = fixed.find('.');
    if (decimals == 0)
        FUZZ_CHECK(point == std::string::npos);
    else
        FUZZ_CHECK(point != std::string::npos &&
                   fixed.size() - point - 1 == static_cast<std::size_t>(decimals));
    const double fixedBack = formats::leadingNumber(fixed);
    FUZZ_CHECK(std::fabs(fixedBack - value) <=
               0.5000001 * std::pow(10.0, -decimals) + std::fabs(value) * 1e-15);
    if (fixedBack == 0.0)
        FUZZ_CHECK(fixed[0] != '-');
    return 0;
}
