#include "numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace formats {

namespace {
bool isSkipped(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

double leadingNumber(std::string_view text) {
    std::string compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (!isSkipped(c))
            compact.push_back(c);
    }
    std::size_t i = 0;
    const std::size_t n = compact.size();
    std::string number;
    if (i < n && (compact[i] == '+' || compact[i] == '-')) {
        if (compact[i] == '-')
            number.push_back('-');
        ++i;
    }
    std::size_t digits = 0;
    while (i < n && isDigit(compact[i])) {
        number.push_back(compact[i++]);
        ++digits;
    }
    if (i < n && compact[i] == '.') {
        std::size_t j = i + 1;
        std::string fraction;
        while (j < n && isDigit(compact[j]))
            fraction.push_back(compact[j++]);
        if (!fraction.empty() || digits > 0) {
            number.push_back('.');
            number += fraction;
            digits += fraction.size();
            i = j;
        }
    }
    if (digits == 0)
        return 0.0;
    if (i < n && (compact[i] == 'e' || compact[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < n && (compact[j] == '+' || compact[j] == '-'))
            exponent.push_back(compact[j++]);
        std::size_t expDigits = 0;
        while (j < n && isDigit(compact[j])) {
            exponent.push_back(compact[j++]);
            ++expDigits;
        }
        if (expDigits > 0)
            number += exponent;
    }
    double value = 0.0;
    const char* first = number.data();
    const char* last = number.data() + number.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) {
        // Overflow gives the largest finite value of the sign; underflow gives 0.
        const bool negative = !number.empty() && number[0] == '-';
        const std::size_t e = number.find('e');
        const bool bigExponent = e != std::string::npos && number.find('-', e) == std::string::npos;
        if (bigExponent)
            return negative ? -std::numeric_limits<double>::max()
                            : std::numeric_limits<double>::max();
        return 0.0;
    }
    if (ec != std::errc())
        return 0.0;
    (void)ptr;
    return value;
}

bool beyondDoubleRange(std::string_view number) {
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::general);
    (void)ptr;
    if (ec != std::errc::result_out_of_range)
        return false;
    // Too large or too small: the value lies between 10^(place - 1) and 10^place, where place
    // counts the digits from the first that is not 0 up to the point, shifted by the exponent.
    std::size_t i = 0;
    const std::size_t n = number.size();
    long long place = 0;
    bool leading = true; // no digit other than 0 yet
    while (i < n && isDigit(number[i])) {
        if (number[i] != '0')
            leading = false;
        if (!leading)
            ++place;
        ++i;
    }
    if (i < n && number[i] == '.') {
        ++i;
        for (; i < n && isDigit(number[i]) && leading; ++i) {
            if (number[i] != '0')
                leading = false;
            else
                --place;
        }
        while (i < n && isDigit(number[i]))
            ++i;
    }
    if (leading)
        return false; // zero
    if (i < n && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < n && (number[i] == '+' || number[i] == '-'))
            negative = number[i++] == '-';
        constexpr long long kFar = 1000000000; // far beyond either end; no overflow below it
        long long exponent = 0;
        for (; i < n && isDigit(number[i]); ++i)
            exponent = std::min(kFar, exponent * 10 + (number[i] - '0'));
        place += negative ? -exponent : exponent;
    }
    return place > 0;
}

std::int64_t roundHalfEven(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= 9.2e18)
        return std::numeric_limits<std::int64_t>::max();
    if (value <= -9.2e18)
        return std::numeric_limits<std::int64_t>::min();
    const double floorValue = std::floor(value);
    const double diff = value - floorValue;
    auto result = static_cast<std::int64_t>(floorValue);
    if (diff > 0.5 || (diff == 0.5 && (result % 2 != 0)))
        ++result;
    return result;
}

std::optional<std::int16_t> toInt16(double value) {
    if (std::isnan(value) || value >= 32767.5 || value < -32768.5)
        return std::nullopt;
    const std::int64_t r = roundHalfEven(value);
    if (r < std::numeric_limits<std::int16_t>::min() ||
        r > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}

std::optional<std::int32_t> toInt32(double value) {
    if (std::isnan(value) || value >= 2147483647.5 || value < -2147483648.5)
        return std::nullopt;
    const std::int64_t r = roundHalfEven(value);
    if (r < std::numeric_limits<std::int32_t>::min() ||
        r > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

std::string formatNumber(double value) {
    if (std::isnan(value))
        return "0";
    if (value == 0.0)
        return "0";
    char buffer[64];
    auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    if (ec != std::errc())
        return "0";
    std::string text(buffer, ptr);
    // Plain decimal notation for the magnitudes a file or a box holds.
    if (text.find('e') != std::string::npos && std::fabs(value) >= 1e-9 &&
        std::fabs(value) < 1e15) {
        auto [p2, ec2] =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 15);
        if (ec2 == std::errc()) {
            text.assign(buffer, p2);
            if (text.find('.') != std::string::npos) {
                while (!text.empty() && text.back() == '0')
                    text.pop_back();
                if (!text.empty() && text.back() == '.')
                    text.pop_back();
            }
        }
    }
    return text;
}

std::string formatFixed(double value, int decimals) {
    decimals = decimals < 0 ? 0 : (decimals > 15 ? 15 : decimals);
    if (std::isnan(value) || std::isinf(value))
        value = 0.0;
    char buffer[400];
    const double scale = std::pow(10.0, decimals);
    const double scaled = value * scale;
    if (std::fabs(scaled) < 9.0e15) {
        // Round the scaled value half away from zero, then place the point.
        const auto whole = static_cast<std::int64_t>(std::round(scaled));
        const bool negative = whole < 0;
        std::string digits = std::to_string(negative ? -whole : whole);
        if (decimals > 0) {
            if (digits.size() <= static_cast<std::size_t>(decimals))
                digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
            digits.insert(digits.size() - static_cast<std::size_t>(decimals), 1, '.');
        }
        return negative ? "-" + digits : digits;
    }
    auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return "0";
    return std::string(buffer, ptr);
}

std::string formatNumberSigned(double value) {
    std::string text = formatNumber(value);
    if (text.empty() || text[0] != '-')
        text.insert(text.begin(), ' ');
    return text;
}

} // namespace formats
