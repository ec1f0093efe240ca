#include "finder/grid_scan.h"

#include "finder/arguments.h"
#include "finder/blob_location.h"
#include "finder/candidate_test.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace finder {

namespace {

// A float truncated toward zero into a whole number, saturated at the 64-bit range.
long long truncateToWhole(float value) {
    constexpr float kLimit = 9.0e18f;
    if (!(value == value))
        return 0;
    if (value >= kLimit)
        return static_cast<long long>(kLimit);
    if (value <= -kLimit)
        return -static_cast<long long>(kLimit);
    return static_cast<long long>(value);
}

void put16(std::uint8_t* at, long long value) {
    at[0] = static_cast<std::uint8_t>((static_cast<unsigned long long>(value) >> 8) & 0xFF);
    at[1] = static_cast<std::uint8_t>(static_cast<unsigned long long>(value) & 0xFF);
}

struct LineScan {
    int maxMean = 0;   // largest line mean
    int darkest = 255; // darkest pixel met
    int darkRow = 0;   // its box row and column
    int darkCol = 0;
    int lastRowMean = 0; // mean of the last sampled row
    int lastColMean = 0; // mean of the last sampled column
};

// Row pass then column pass over every q-th line of the box at (x, y).
LineScan scanBoxLines(const SirrexState& s, long long x, long long y, int bs) {
    const int q = bs / 4;
    LineScan l;
    const bool inside = x >= 0 && y >= 0 && x + bs <= IMG_MAXX && y + bs <= IMG_MAXY;
    const std::uint8_t* base = inside ? s.buffer.data() + get_idx(x, y) : nullptr;
    for (int r = 0; r < bs; r += q) {
        int sum = 0;
        for (int c = 0; c < bs; ++c) {
            const int p = inside ? base[r * IMG_MAXX + c] : s.pixel(x + c, y + r);
            sum += p;
            if (p < l.darkest) {
                l.darkest = p;
                l.darkRow = r;
                l.darkCol = c;
            }
        }
        l.lastRowMean = sum / bs;
        l.maxMean = std::max(l.maxMean, l.lastRowMean);
    }
    for (int c = 0; c < bs; c += q) {
        int sum = 0;
        for (int r = 0; r < bs; ++r) {
            const int p = inside ? base[r * IMG_MAXX + c] : s.pixel(x + c, y + r);
            sum += p;
            if (p < l.darkest) {
                l.darkest = p;
                l.darkRow = r;
                l.darkCol = c;
            }
        }
        l.lastColMean = sum / bs;
        l.maxMean = std::max(l.maxMean, l.lastColMean);
    }
    return l;
}

// Locates, checks and tests the candidate of a box that passed the gate.
void examineCandidate(SirrexState& s, long long x, long long y, const LineScan& l) {
    const int d = l.maxMean - l.darkest;
    const float v = static_cast<float>(l.darkest) + 0.25f * static_cast<float>(d);
    long long top = 0, bottom = 0, left = 0, right = 0;
    if (s.arg_cp == 0) {
        find_corners(s, x, y, v, l.darkRow, l.darkCol, top, bottom, left, right);
    } else if (find_corners_bymountain(s, x, y, v, s.arg_cp, top, bottom, left, right) != 0) {
        return;
    }
    const long long cx = (left + right) / 2;
    const long long cy = (top + bottom) / 2;

    // Too close to an organism already accepted in this frame.
    for (int k = 0; k < s.worms_found; ++k) {
        if (s.array_worms_xcenter[static_cast<std::size_t>(k)] <= 0)
            continue;
        const long long dx = s.array_worms_xcenter[static_cast<std::size_t>(k)] - cx;
        const long long dy = s.array_worms_ycenter[static_cast<std::size_t>(k)] - cy;
        const float distance =
            static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
        if (distance < s.arg_ll)
            return;
    }

    // The test replaces the located sizes with those of its own dark pixels.
    int mean = 0, count = 0;
    int xsize = static_cast<int>(right - left);
    int ysize = static_cast<int>(bottom - top);
    std::uint16_t shape = 0;
    if (Check_worm(s, s.worms_found, cx, cy, mean, count, xsize, ysize, shape) <= 2)
        return;

    const auto n = static_cast<std::size_t>(s.worms_found);
    s.array_worms_xcenter[n] = cx;
    s.array_worms_ycenter[n] = cy;
    ++s.worms_found;
    std::uint8_t* rec = s.output_buffer.data() + s.output_buffer_position;
    rec[0] = static_cast<std::uint8_t>(s.worms_found);
    put16(rec + 1, cx);
    put16(rec + 3, cy);
    put16(rec + 5, count);
    put16(rec + 7, xsize);
    put16(rec + 9, ysize);
    put16(rec + 11, shape);
    rec[13] = static_cast<std::uint8_t>(mean);
    s.output_buffer_position += WORM_BUFFER_SIZE;
}

// First value of start + k * step (k >= 0) that is at least `bound`.
long long firstAtLeast(long long start, long long step, long long bound) {
    if (start >= bound)
        return start;
    return start + ((bound - start + step - 1) / step) * step;
}

} // namespace

int Check_box_Avrg(const SirrexState& s, long long x, long long y) {
    const long long left = std::max(x - 50, 0LL);
    const long long top = std::max(y - 50, 0LL);
    float sum = 0.0f;
    for (int r = 0; r < 100; r += 2)
        for (int c = 0; c < 100; c += 2)
            sum += static_cast<float>(s.pixel(left + c, top + r));
    return static_cast<int>(sum / 2500.0f);
}

void calculate_5image_background_memorize(SirrexState& s, long long x, long long y, int value) {
    const int k = s.txt_imgframe_header_counter;
    if (k >= formats::kMaxBoxEntries)
        return;
    put16(s.buffer_boxes_header.data() + 2 + 4 * k, x);
    put16(s.buffer_boxes_header.data() + 4 + 4 * k, y);
    s.buffer_boxes[static_cast<std::size_t>(2 + k)] = static_cast<std::uint8_t>(value);
    ++s.txt_imgframe_header_counter;
}

void calculate_5image_background(SirrexState& s) {
    const long long xs = s.arg_xs, xe = s.arg_xe, ys = s.arg_ys, ye = s.arg_ye;
    const long long points[5][2] = {
        {(xs + xe) / 2, ys - 50},
        {(xs + xe) / 2, ye + 60},
        {xs - 50, (ys + ye) / 2},
        {(xs + xe) / 20 + xs, (ys + ye) / 4},
        {(xs + xe) / 2 + xs - 50, ((ys + ye) / 4) * 3},
    };
    for (const auto& p : points)
        calculate_5image_background_memorize(s, p[0], p[1], Check_box_Avrg(s, p[0], p[1]));
}

void scanGrid(SirrexState& s) {
    std::ostream* out = s.verbose ? s.console : nullptr;
    const long long xs = s.arg_xs, xe = s.arg_xe, ys = s.arg_ys, ye = s.arg_ye;
    const long long bs = s.arg_bs;
    const long long lenX = xe - xs;
    const long long leny = ye - ys;
    const long long CenterX = lenX / 2;
    const long long CenterY = ys + leny / 2;
    if (out)
        *out << "lenX=" << lenX << "\nleny=" << leny << "\nCenterX=" << CenterX
             << "\nCenterY=" << CenterY << "\n";
    const long long step = s.arg_cp != 0 ? bs / 2 : bs;
    const long long semi = leny / 2 - 4;
    const float gate = s.arg_al * s.arg_at / 100.0f;

    // A rectangle of absurd size whose ellipse is too narrow for a single box: nothing to scan
    // (saves walking up to 2^31 empty rows).
    if (leny > 0 && (ye - bs - ys) / step > 1'000'000) {
        const double catMax = static_cast<double>(leny / 2 + bs + 1);
        const double sq = static_cast<double>(semi) * static_cast<double>(semi);
        const double widest = std::sqrt(std::max(sq, catMax * catMax - sq)) *
                              (static_cast<double>(lenX) / static_cast<double>(leny));
        if (2.0 * (widest + 1.0) <= static_cast<double>(2 * (bs / 2) + bs))
            return;
    }

    const auto tableFull = [&] { return s.txt_imgframe_header_counter >= formats::kMaxBoxEntries; };
    const auto wormsFull = [&] { return s.worms_found >= MAX_NUMBER_OF_WORMS; };

    for (long long y = ys; y < ye - bs; y += step) {
        // Once the table is full, rows that miss the image have nothing left to give.
        if (tableFull()) {
            if (wormsFull() || y >= IMG_MAXY)
                break;
            if (y + bs <= 0) {
                y = firstAtLeast(y, step, 1 - bs) - step;
                continue;
            }
        }
        const long long catetod_y =
            y < CenterY ? std::llabs(y - CenterY) : std::llabs(y + bs - CenterY);
        const double squares = static_cast<double>(semi) * static_cast<double>(semi) -
                               static_cast<double>(catetod_y) * static_cast<double>(catetod_y);
        const float catetod_x = std::sqrt(static_cast<float>(std::fabs(squares)));
        const float ratio = static_cast<float>(lenX) / static_cast<float>(leny);
        const long long CatetoX = truncateToWhole(catetod_x * ratio);
        const long long Xinit = xs + CenterX - CatetoX + bs / 2;
        const long long Xfinish = xs + CenterX + CatetoX - bs / 2;
        if (out)
            *out << "catetod_y=" << catetod_y << "\ncatetod_x=" << formatFloat(catetod_x)
                 << "\nCatetoX=" << CatetoX << "\nXinit=" << Xinit << "\nXfinish=" << Xfinish
                 << "\n";

        for (long long x = Xinit; x < Xfinish - bs; x += step) {
            if (tableFull()) {
                if (wormsFull() || x >= IMG_MAXX)
                    break;
                if (x + bs <= 0) {
                    x = firstAtLeast(x, step, 1 - bs) - step;
                    continue;
                }
            }
            const LineScan l = scanBoxLines(s, x, y, static_cast<int>(bs));
            calculate_5image_background_memorize(s, x + bs / 2, y + bs / 2,
                                                 (l.lastRowMean + l.lastColMean) / 2);
            if (wormsFull())
                continue;
            if (!(static_cast<float>(l.maxMean - l.darkest) > gate))
                continue;
            examineCandidate(s, x, y, l);
        }
    }
}

void analyseFrame(SirrexState& s) {
    s.txt_imgframe_header_counter = 0;
    s.output_buffer_position = 0;
    s.worms_found = 0;
    calculate_5image_background(s);
    scanGrid(s);
}

} // namespace finder
