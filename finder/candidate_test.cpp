#include "finder/candidate_test.h"

#include "finder/arguments.h"

#include <algorithm>
#include <cmath>

namespace finder {

namespace {

bool outside(float value, float low, float high) {
    return value < low || value > high;
}

} // namespace

std::uint16_t shapeCode(const SirrexState& s, long long firstCol, long long lastCol,
                        long long firstRow, long long lastRow) {
    std::ostream* out = s.verbose ? s.console : nullptr;
    const long long dc = lastCol - firstCol;
    const long long dr = lastRow - firstRow;
    long long cell = 0;
    if (dr > dc) {
        cell = dr / 4;
        firstCol -= (dr - dc) / 2;
        lastCol += (dr - dc) / 2;
    } else {
        cell = dc / 4;
        firstRow -= (dc - dr) / 2;
        lastRow += (dc - dr) / 2;
    }
    if (out)
        *out << "shape : xy[" << firstCol << "-" << lastCol << "]"
             << "[" << firstRow << "-" << lastRow
             << "] sc=" << formatFloat(static_cast<float>(cell)) << "\n";
    if (cell <= 0)
        return 0; // too small to cut into cells

    float sum[4][4] = {};
    int pixels[4][4] = {};
    int lowest = 255;
    int highest = 0;
    for (long long row = firstRow; row <= lastRow; ++row) {
        const auto cr = static_cast<int>(std::min<long long>((row - firstRow) / cell, 3));
        for (long long col = firstCol; col <= lastCol; ++col) {
            const auto cc = static_cast<int>(std::min<long long>((col - firstCol) / cell, 3));
            const int p = s.pixel(col, row);
            sum[cr][cc] += static_cast<float>(p);
            ++pixels[cr][cc];
            lowest = std::min(lowest, p);
            highest = std::max(highest, p);
            if (out)
                *out << p << " ";
        }
        if (out)
            *out << "\n";
    }

    float darkness[4][4] = {};
    float total = 0.0f;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (pixels[r][c] == 0)
                continue;
            const float mean = sum[r][c] / static_cast<float>(pixels[r][c]);
            const float lightness = highest > lowest
                                        ? (mean - static_cast<float>(lowest)) /
                                              static_cast<float>(highest - lowest) * 100.0f
                                        : 0.0f;
            darkness[r][c] = 100.0f - lightness;
            total += darkness[r][c];
        }
    }
    const float average = total / 16.0f;
    std::uint16_t code = 0;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const bool darker = darkness[r][c] > average;
            if (darker)
                code = static_cast<std::uint16_t>(code | (1u << (15 - 4 * r - c)));
            if (out)
                *out << (darker ? "1" : "0") << " ";
        }
        if (out)
            *out << "\n";
    }
    return code;
}

int Check_worm(const SirrexState& s, int n, long long cx, long long cy, int& mean, int& count,
               int& xsize, int& ysize, std::uint16_t& shape) {
    std::ostream* out = s.verbose ? s.console : nullptr;
    const bool invariant = s.arg_cp != 0;
    const int bs = s.arg_bs;
    const int h = bs / 2;
    const long long x0 = cx - h;
    const long long y0 = cy - h;
    const float area = static_cast<float>(bs * bs);

    // Mean and spread of the bs x bs window.
    int window[MAX_BLOCK_SIZE + 1][MAX_BLOCK_SIZE + 1];
    const bool inside = x0 >= 0 && y0 >= 0 && x0 + bs < IMG_MAXX && y0 + bs < IMG_MAXY;
    for (int r = 0; r <= bs; ++r) {
        if (inside) {
            const std::uint8_t* row = s.buffer.data() + get_idx(x0, y0 + r);
            for (int c = 0; c <= bs; ++c)
                window[r][c] = row[c];
        } else {
            for (int c = 0; c <= bs; ++c)
                window[r][c] = s.pixel(x0 + c, y0 + r);
        }
    }
    int total = 0;
    for (int r = 0; r < bs; ++r)
        for (int c = 0; c < bs; ++c)
            total += window[r][c];
    const float A = static_cast<float>(total) / area;
    mean = static_cast<int>(A);
    float spread = 0.0f;
    for (int r = 0; r < bs; ++r)
        for (int c = 0; c < bs; ++c)
            spread += std::fabs(A - static_cast<float>(window[r][c]));
    const float D = spread / area;
    const float G = D > 0.01f * A ? A - 3.0f * D : 0.97f * A;

    // Threshold percentage; a black window (A = 0) has none and passes.
    if (A > 0.0f) {
        const float P = (1.0f - G / A) * 100.0f;
        if (outside(P, (1.0f - s.arg_tt / 100.0f) * s.arg_tl,
                    (1.0f + s.arg_tt / 100.0f) * s.arg_th)) {
            if (out)
                *out << n << " [" << cx << "-" << cy << "] umbral=" << formatFloat(P) << "\n";
            if (!invariant)
                return WORM_THRESHOLD_OUT;
        }
    }

    // Dark pixels of the one-larger window.
    int M = 0;
    int firstCol = bs + 1, lastCol = -1, firstRow = bs + 1, lastRow = -1;
    for (int r = 0; r <= bs; ++r) {
        for (int c = 0; c <= bs; ++c) {
            if (static_cast<float>(window[r][c]) < G) {
                ++M;
                firstCol = std::min(firstCol, c);
                lastCol = std::max(lastCol, c);
                firstRow = std::min(firstRow, r);
                lastRow = std::max(lastRow, r);
            }
        }
    }
    if (outside(static_cast<float>(M), (1.0f - s.arg_pt / 100.0f) * s.arg_pl,
                (1.0f + s.arg_pt / 100.0f) * s.arg_ph)) {
        if (out)
            *out << n << " [" << cx << "-" << cy << "] pix=" << formatFloat(static_cast<float>(M))
                 << "\n";
        if (!invariant)
            return WORM_PIXELS_OUT;
    }
    count = M;
    if (M <= 4)
        return WORM_PIXELS_OUT;

    const int dc = lastCol - firstCol;
    const int dr = lastRow - firstRow;
    const float length = std::sqrt(static_cast<float>(dc * dc + dr * dr));
    if (outside(length, (1.0f - s.arg_lt / 100.0f) * s.arg_ll,
                (1.0f + s.arg_lt / 100.0f) * s.arg_lh)) {
        if (out)
            *out << n << " [" << cx << "-" << cy << "] len=" << formatFloat(length) << "\n";
        if (!invariant)
            return WORM_LENGTH_OUT;
    }
    xsize = dc;
    ysize = dr;

    shape = shapeCode(s, firstCol + x0, lastCol + x0, firstRow + y0, lastRow + y0);
    if (out) {
        *out << "shape = " << shape << "\n";
        *out << "Worm #" << n << " [" << cx << "-" << cy << "] OK\n";
    }
    return WORM_ACCEPTED;
}

} // namespace finder
