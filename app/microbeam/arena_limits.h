#pragma once
// The analysis limits of the Microbeam window and the outline it draws from them. The four
// limits (xs, xe, ys, ye: left, right, top, bottom in frame pixels) come from the training file
// of the frames' folder, else of the program folder, else from built-in defaults; the outline is
// the ellipse inscribed in them, drawn as two short strokes per row.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace microbeam {

// The limit boxes in the order xs, xe, ys, ye.
inline constexpr std::size_t kArenaLimitCount = 4;
// The limits when no training file is found: 335, 1170, 215, 1035.
const std::array<std::string, kArenaLimitCount>& defaultArenaLimits();

// The texts a read puts into the limit boxes; a box without a value keeps its text.
using ArenaLimitTexts = std::array<std::optional<std::string>, kArenaLimitCount>;

// Puts one training value into the limit box of its key: commas in the value become points,
// the key loses every blank; "xs", "xe", "ys", "ye" (exact case) set a box, every other key
// does nothing. The key is returned without its blanks. The index of the box set, if any.
std::optional<std::size_t> ApplyLimitKey(std::string& key, std::string_view value,
                                         ArenaLimitTexts& limits);

struct ArenaLimitsLoad {
    // The folder whose training file was read: the given folder, or the program folder when the
    // given one holds none.
    std::string folder;
    ArenaLimitTexts limits;
    // Neither folder holds a training file: the limits are the defaults.
    bool defaults = false;
    // The training file could not be read ("Error reading training.dat file" is shown); the
    // limits set until then stay.
    bool failed = false;
};

// LoadArenaLimits: the limits of `folder`/training.dat, else of `programFolder`/training.dat,
// else the defaults.
ArenaLimitsLoad LoadArenaLimits(const std::string& folder, const std::string& programFolder);

// A limit box read as a whole number: the leading number of its text, to the nearest 16-bit
// integer (halves to even); nothing when it does not fit 16 bits.
std::optional<std::int16_t> limitValue(std::string_view text);

// One stroke of the outline: a line from (x1, y) to (x2, y) in frame pixels.
struct OutlineStroke {
    int x1 = 0;
    int x2 = 0;
    int y = 0;
    bool operator==(const OutlineStroke&) const = default;
};

struct ArenaOutline {
    // Per row from the top: the left stroke, then the right stroke.
    std::vector<OutlineStroke> strokes;
    // A value left the 16-bit range: the outline ends before that row (or is empty when the
    // width or height itself does not fit).
    bool overflow = false;
};

// The pen width the outline is drawn with.
inline constexpr int kOutlinePenWidth = 13;

// DrawArenaOutline's strokes for the limits x1, x2, y1, y2. With h = y2 - y1 and w = x2 - x1,
// for every row i from 0 to h (none when h is not above 0): r = nearest integer to
// sqrt(|(h/2)^2 - (i - h/2)^2|), s = nearest integer to (w / h) * r, a = nearest integer to
// w / 2 (halves to even throughout); strokes (x1 + a - s, y1 + i) to (x1 + a - s + 1, y1 + i)
// and (x1 + a + s, y1 + i) to (x1 + a + s - 1, y1 + i).
ArenaOutline arenaOutline(std::int16_t x1, std::int16_t x2, std::int16_t y1, std::int16_t y2);

} // namespace microbeam
