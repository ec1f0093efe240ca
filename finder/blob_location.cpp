#include "finder/blob_location.h"

#include <algorithm>

namespace finder {

namespace {

// One sweep: rows from r0 in direction dr (at most h further rows, upward never above box
// row 0), in each row the columns from c0 in direction dc (h columns; leftward never reaching
// box column 0). Goes on to the next row only when the row held a dark pixel.
void sweep(const SirrexState& s, long long x, long long y, float v, int r0, int c0, int h, int dr,
           int dc, long long& rowBound, long long& colBound) {
    const int lastRow = dr > 0 ? r0 + h : std::max(r0 - h, 0);
    const int lastCol = dc > 0 ? c0 + h - 1 : std::max(c0 - h + 1, 1);
    for (int r = r0; dr > 0 ? r <= lastRow : r >= lastRow; r += dr) {
        bool dark = false;
        for (int c = c0; dc > 0 ? c <= lastCol : c >= lastCol; c += dc) {
            if (static_cast<float>(s.pixel(x + c, y + r)) < v) {
                dark = true;
                colBound = dc > 0 ? std::max(colBound, x + c) : std::min(colBound, x + c);
                rowBound = dr > 0 ? std::max(rowBound, y + r) : std::min(rowBound, y + r);
            }
        }
        if (!dark)
            break;
    }
}

} // namespace

void find_corners(const SirrexState& s, long long x, long long y, float v, int r0, int c0,
                  long long& top, long long& bottom, long long& left, long long& right) {
    const int h = s.arg_bs / 2;
    top = bottom = y + r0;
    left = right = x + c0;
    sweep(s, x, y, v, r0, c0, h, +1, +1, bottom, right); // down and right
    sweep(s, x, y, v, r0, c0, h, +1, -1, bottom, left);  // down and left
    sweep(s, x, y, v, r0, c0, h, -1, +1, top, right);    // up and right
    sweep(s, x, y, v, r0, c0, h, -1, -1, top, left);     // up and left
}

int find_corners_bymountain(const SirrexState& s, long long x, long long y, float /*v*/, int /*cp*/,
                            long long& top, long long& bottom, long long& left, long long& right) {
    const int bs = s.arg_bs;
    const float walk = ((s.arg_ll + s.arg_lh) / 2.0f) / 2.0f + 1.0f;
    // A walk shorter than one step has no pixels to judge the depth by; one longer than the box
    // leaves no point to try.
    if (!(walk >= 1.0f) || walk >= static_cast<float>(bs))
        return -1;
    const int r = static_cast<int>(walk);
    static constexpr int kDx[4] = {-1, 1, 0, 0}; // left, right, up, down
    static constexpr int kDy[4] = {0, 0, -1, 1};

    for (int j = r; j < bs - r; ++j) {
        for (int i = r; i < bs - r; ++i) {
            const long long px = x + i;
            const long long py = y + j;
            float sum = 0.0f;
            float count = 0.0f;
            bool allowance = true;
            bool passed = true;
            for (int d = 0; d < 4 && passed; ++d) {
                int good = 0;
                bool broken = false;
                for (int k = 0; k < r; ++k) {
                    const int near = s.pixel(px + kDx[d] * k, py + kDy[d] * k);
                    const int far = s.pixel(px + kDx[d] * (k + 1), py + kDy[d] * (k + 1));
                    sum += static_cast<float>(near);
                    count += 1.0f;
                    if (!broken && far >= near)
                        ++good;
                    else
                        broken = true;
                }
                bool pass = good == r;
                if (allowance && good > r / 2) {
                    pass = true;
                    allowance = false;
                }
                passed = pass;
            }
            if (!passed)
                continue;
            const int centre = s.pixel(px, py);
            float depth = 0.0f;
            for (int d = 0; d < 4; ++d)
                depth += static_cast<float>(s.pixel(px + kDx[d] * r, py + kDy[d] * r) - centre);
            depth /= 4.0f;
            if (!(depth >= 0.06f * (sum / count)))
                continue;
            left = x + i - r;
            right = x + i + r;
            top = y + j - r;
            bottom = y + j + r;
            return 0;
        }
    }
    return -1;
}

} // namespace finder
