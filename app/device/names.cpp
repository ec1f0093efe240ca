#include "names.h"

#include "formats/numbers.h"

namespace device {

namespace {

// What the cleaners make of one character code: the character to keep, or 0 to drop it.
char cleanCharacter(unsigned code, bool keepPathSigns) {
    if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z') ||
        (code >= 'a' && code <= 'z'))
        return static_cast<char>(code);
    switch (code) {
    case '(':
    case ')':
    case '[':
    case ']':
    case '_':
    case '+':
    case '-':
        return static_cast<char>(code);
    case ' ':
        return '_';
    case '/':
        return keepPathSigns ? '/' : '-';
    case ':':
    case '\\':
        return keepPathSigns ? static_cast<char>(code) : 0;
    default:
        return 0;
    }
}

std::string clean(std::string_view text, bool keepPathSigns) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const char kept = cleanCharacter(static_cast<unsigned char>(c), keepPathSigns);
        if (kept)
            out.push_back(kept);
    }
    return out;
}

QString clean(const QString& text, bool keepPathSigns) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char kept = cleanCharacter(c.unicode(), keepPathSigns);
        if (kept)
            out.append(QLatin1Char(kept));
    }
    return out;
}

} // namespace

QString SanitizeName(const QString& text) {
    return clean(text, false);
}
std::string SanitizeName(std::string_view text) {
    return clean(text, false);
}
QString SanitizePath(const QString& text) {
    return clean(text, true);
}
std::string SanitizePath(std::string_view text) {
    return clean(text, true);
}

std::int16_t GrayFromColor(std::int32_t color) {
    const auto bits = static_cast<std::uint32_t>(color);
    const double hi = static_cast<double>((bits >> 16) & 0xFFu);
    const double mid = static_cast<double>((bits >> 8) & 0xFFu);
    const double lo = static_cast<double>(bits & 0xFFu);
    const double gray = hi * 0.299 + mid * 0.587 + lo * 0.114;
    return static_cast<std::int16_t>(formats::roundHalfEven(gray));
}

} // namespace device
