#include "app/microbeam/arena_limits.h"

#include "formats/numbers.h"
#include "formats/text_lines.h"
#include "formats/training_file.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

namespace microbeam {

namespace {

constexpr std::array<std::string_view, kArenaLimitCount> kLimitKeys = {"xs", "xe", "ys", "ye"};

bool holdsTrainingFile(const std::string& folder) {
    std::error_code error;
    return std::filesystem::exists(formats::trainingPath(folder), error);
}

bool fitsInt16(std::int64_t value) {
    return value >= std::numeric_limits<std::int16_t>::min() &&
           value <= std::numeric_limits<std::int16_t>::max();
}

} // namespace

const std::array<std::string, kArenaLimitCount>& defaultArenaLimits() {
    static const std::array<std::string, kArenaLimitCount> limits = {"335", "1170", "215", "1035"};
    return limits;
}

std::optional<std::size_t> ApplyLimitKey(std::string& key, std::string_view value,
                                         ArenaLimitTexts& limits) {
    std::string text(value);
    std::replace(text.begin(), text.end(), ',', '.');
    std::erase(key, ' ');
    for (std::size_t i = 0; i < kLimitKeys.size(); ++i) {
        if (key == kLimitKeys[i]) {
            limits[i] = text;
            return i;
        }
    }
    return std::nullopt;
}

ArenaLimitsLoad LoadArenaLimits(const std::string& folder, const std::string& programFolder) {
    ArenaLimitsLoad load;
    load.folder = holdsTrainingFile(folder) ? folder : programFolder;
    if (!holdsTrainingFile(load.folder)) {
        load.defaults = true;
        for (std::size_t i = 0; i < kArenaLimitCount; ++i)
            load.limits[i] = defaultArenaLimits()[i];
        return load;
    }
    const formats::TextLines file = formats::readTextLines(formats::trainingPath(load.folder));
    if (!file.ok()) {
        load.failed = true;
        return load;
    }
    for (const std::string& line : file.lines) {
        auto pair = formats::splitTrainingLine(line);
        if (!pair)
            continue;
        ApplyLimitKey(pair->first, pair->second, load.limits);
    }
    return load;
}

std::optional<std::int16_t> limitValue(std::string_view text) {
    return formats::toInt16(formats::leadingNumber(text));
}

ArenaOutline arenaOutline(std::int16_t x1, std::int16_t x2, std::int16_t y1, std::int16_t y2) {
    ArenaOutline outline;
    const std::int64_t w = std::int64_t{x2} - x1;
    const std::int64_t h = std::int64_t{y2} - y1;
    if (!fitsInt16(w) || !fitsInt16(h)) {
        outline.overflow = true;
        return outline;
    }
    const std::int64_t a = formats::roundHalfEven(static_cast<double>(w) / 2.0);
    for (std::int64_t i = 0; h > 0 && i <= h; ++i) {
        const double b = static_cast<double>(h) / 2.0;
        const double d = std::fabs(static_cast<double>(i) - b);
        const std::int64_t r = formats::roundHalfEven(std::sqrt(std::fabs(b * b - d * d)));
        const std::int64_t s =
            formats::roundHalfEven(static_cast<double>(w) / static_cast<double>(h) * r);
        const std::int64_t y = std::int64_t{y1} + i;
        const std::int64_t left = std::int64_t{x1} + a - s;
        const std::int64_t right = std::int64_t{x1} + a + s;
        for (std::int64_t v : {a, s, y, left, left + 1, right, right - 1}) {
            if (!fitsInt16(v)) {
                outline.overflow = true;
                return outline;
            }
        }
        outline.strokes.push_back(
            {static_cast<int>(left), static_cast<int>(left + 1), static_cast<int>(y)});
        outline.strokes.push_back(
            {static_cast<int>(right), static_cast<int>(right - 1), static_cast<int>(y)});
    }
    return outline;
}

} // namespace microbeam
