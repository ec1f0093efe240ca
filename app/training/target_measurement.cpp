#include "app/training/target_measurement.h"

#include "app/training/plate_overlay.h"
#include "formats/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace training {

namespace {

// Measuring boxes above this side are refused (box sizes 0 to 1600).
constexpr int kMaxMeasureSide = 1601;

std::int64_t nearest(double value) {
    return formats::roundHalfEven(value);
}

int nearestInt(double value) {
    return static_cast<int>(std::clamp<std::int64_t>(nearest(value), -2147483647 - 1, 2147483647));
}

} // namespace

int GrayPicture::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 255;
    const std::size_t index =
        static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
    if (index >= gray.size())
        return 255;
    return gray[index];
}

DetectAction detectAction(int targetCount) {
    if (targetCount >= 5)
        return DetectAction::Measure;
    if (targetCount == -1)
        return DetectAction::Test;
    return DetectAction::AskForMore;
}

int measureBoxSide(std::string_view boxSizeText) {
    return nearestInt(formats::leadingNumber(boxSizeText) + 1.0);
}

PickMeasure measurePick(const GrayPicture& picture, int x, int y, int side) {
    PickMeasure pick;
    pick.x = x;
    pick.y = y;
    const int B = side;
    const double half = B / 2.0;
    const int x0 = nearestInt(x - half);
    const int x1 = nearestInt(x + half);
    const int y0 = nearestInt(y - half);
    const int y1 = nearestInt(y + half);
    const std::size_t n = static_cast<std::size_t>(B) + 1;

    // Column maxima and the grey range.
    std::vector<int> colMax(n, 0), rowMax(n, 0);
    int brightest = 0, darkest = 9999;
    for (int px = x0, c = 0; px <= x1; ++px, ++c) {
        if (c > B)
            continue;
        int top = 0;
        for (int py = y0; py <= y1; ++py) {
            const int g = picture.at(px, py);
            top = std::max(top, g);
            brightest = std::max(brightest, g);
            darkest = std::min(darkest, g);
        }
        colMax[static_cast<std::size_t>(c)] = top;
    }
    pick.greyRange = brightest - darkest;

    // Row maxima.
    for (int py = y0, r = 0; py <= y1; ++py, ++r) {
        if (r > B)
            continue;
        int top = 0;
        for (int px = x0; px <= x1; ++px)
            top = std::max(top, picture.at(px, py));
        rowMax[static_cast<std::size_t>(r)] = top;
    }

    double mc = 0.0, mr = 0.0;
    for (int i = 0; i < B; ++i) {
        mc += colMax[static_cast<std::size_t>(i)];
        mr += rowMax[static_cast<std::size_t>(i)];
    }
    mc = mc / B;
    mr = mr / B;

    // Flattening: every row and column scaled to the same brightest value. A row or column that
    // is black throughout has no scale; its grey values are 0 and stay 0.
    std::vector<std::int32_t> v(n * n, 0);
    auto at = [&](int c, int r) -> std::int32_t& {
        return v[static_cast<std::size_t>(c) * n + static_cast<std::size_t>(r)];
    };
    const int fx1 = nearestInt(x - half + B);
    const int fy1 = nearestInt(y - half + B);
    for (int py = y0, r = 0; py <= fy1; ++py, ++r) {
        if (r > B)
            continue;
        for (int px = x0, c = 0; px <= fx1; ++px, ++c) {
            if (c > B)
                continue;
            const int rm = rowMax[static_cast<std::size_t>(r)];
            const int cm = colMax[static_cast<std::size_t>(c)];
            if (rm == 0 || cm == 0) {
                pick.hasBlackLine = true;
                at(c, r) = 0;
                continue;
            }
            const double g = picture.at(px, py);
            at(c, r) = static_cast<std::int32_t>(nearest(g * (mr / rm) * (mc / cm)));
        }
    }

    double sum = 0.0;
    for (int c = 0; c < B; ++c)
        for (int r = 0; r < B; ++r)
            sum += at(c, r);
    const double m = sum / B / B;
    double dev = 0.0;
    for (int c = 0; c < B; ++c)
        for (int r = 0; r < B; ++r)
            dev += std::fabs(m - at(c, r));
    const double s = dev / B / B;
    pick.mean = m;
    pick.deviation = s;
    pick.threshold = 0.03 * m < 3.0 * s ? nearestInt(m - 3.0 * s) : nearestInt(0.97 * m);

    int count = 0;
    int cMin = 99999, cMax = 0, rMin = 99999, rMax = 0;
    for (int c = 0; c < B; ++c)
        for (int r = 0; r < B; ++r)
            if (at(c, r) < pick.threshold) {
                ++count;
                cMin = std::min(cMin, c);
                cMax = std::max(cMax, c);
                rMin = std::min(rMin, r);
                rMax = std::max(rMax, r);
            }
    pick.darkCount = count;
    if (count > 0) {
        const double dr = rMax - rMin;
        const double dc = cMax - cMin;
        pick.length = std::sqrt(dr * dr + dc * dc);
    }
    return pick;
}

LimitTexts limitTexts(const TargetLimits& limits, TrainingWindow window) {
    LimitTexts t;
    t.pixMin = formats::formatNumberSigned(limits.pixMin);
    t.pixMax = formats::formatNumberSigned(limits.pixMax);
    t.contrastMin = formats::formatFixed(limits.contrastMin * 100.0, 1);
    t.contrastMax = formats::formatFixed(limits.contrastMax * 100.0, 1);
    t.lenMin = formats::formatNumberSigned(limits.lenMin);
    t.rangeMin = formats::formatNumberSigned(limits.rangeMin);
    t.lenMax = formats::formatNumberSigned(limits.lenMax);
    if (window == TrainingWindow::Reanalysis)
        t.maxTravel = formats::formatNumberSigned(static_cast<double>(
            std::clamp<std::int64_t>(2LL * limits.lenMax, -2147483647 - 1, 2147483647)));
    else
        t.maxTravel = formats::formatNumberSigned(1.25 * limits.lenMax);
    return t;
}

void applyLimitTexts(const LimitTexts& texts, formats::TrainingFile& training) {
    training.applyKey("pl", texts.pixMin);
    training.applyKey("ph", texts.pixMax);
    training.applyKey("tl", texts.contrastMin);
    training.applyKey("th", texts.contrastMax);
    training.applyKey("ll", texts.lenMin);
    training.applyKey("al", texts.rangeMin);
    training.applyKey("lh", texts.lenMax);
    training.applyKey("mt", texts.maxTravel);
}

MeasurementResult measureTargets(const GrayPicture& picture, std::span<const std::int16_t> xs,
                                 std::span<const std::int16_t> ys, std::string_view boxSizeText,
                                 TrainingWindow window) {
    MeasurementResult result;
    const std::size_t count = std::min(xs.size(), ys.size());
    const int B = measureBoxSide(boxSizeText);
    if (B < 1 || B > kMaxMeasureSide) {
        result.message = kBadBoxSizeMessage;
        return result;
    }

    TargetLimits& lim = result.limits;
    bool anyDark = false;
    std::vector<std::size_t> skipped;
    for (std::size_t i = 0; i < count; ++i) {
        const PickMeasure pick = measurePick(picture, xs[i], ys[i], B);
        result.picks.push_back(pick);
        if (pick.hasBlackLine) {
            // Its flattened values mean nothing: the pick enters no limit.
            skipped.push_back(i);
            continue;
        }
        if (pick.darkCount > 0) {
            anyDark = true;
            lim.pixMin = std::min(lim.pixMin, pick.darkCount);
            lim.pixMax = std::max(lim.pixMax, pick.darkCount);
            const double q = 1.0 - pick.threshold / pick.mean;
            lim.contrastMin = std::min(lim.contrastMin, q);
            lim.contrastMax = std::max(lim.contrastMax, q);
            if (pick.length < lim.lenMin)
                lim.lenMin = nearestInt(pick.length);
            if (pick.length > lim.lenMax)
                lim.lenMax = nearestInt(pick.length);
        }
        if (pick.greyRange < lim.rangeMin)
            lim.rangeMin = static_cast<std::int16_t>(pick.greyRange);
    }
    if (!skipped.empty()) {
        std::string numbers;
        for (std::size_t i : skipped)
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(i + 1);
        result.skippedNote =
            skipped.size() == 1
                ? "Target " + numbers +
                      " was not measured: its box holds a completely black row or column"
                : "Targets " + numbers +
                      " were not measured: their boxes hold a completely black row or column";
    }
    if (!anyDark) {
        result.message = result.skippedNote.empty()
                             ? std::string(kNothingMeasuredMessage)
                             : result.skippedNote + "\n" + kNothingMeasuredMessage;
        return result;
    }

    result.ok = true;
    result.texts = limitTexts(lim, window);
    const int b = wholeValue(boxSizeText);
    result.descriptorText = descriptorFileText(picture, xs.first(count), ys.first(count), b);

    // Dark pixels of each display box, by the raw grey values, and the red boxes with numbers.
    for (std::size_t i = 0; i < count; ++i) {
        const int x = xs[i];
        const int y = ys[i];
        if (result.picks[i].hasBlackLine)
            continue;
        const int t = result.picks[i].threshold;
        const int bx0 = nearestInt(x - b / 2.0), bx1 = nearestInt(x + b / 2.0);
        const int by0 = nearestInt(y - b / 2.0), by1 = nearestInt(y + b / 2.0);
        for (int px = bx0; px <= bx1; ++px)
            for (int py = by0; py <= by1; ++py) {
                if (px < 0 || py < 0 || px >= picture.width || py >= picture.height)
                    continue;
                if (picture.at(px, py) < t)
                    result.darkPoints.push_back({px, py});
            }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const TargetSquare sq = targetSquare(xs[i], ys[i], b);
        PickMark mark;
        mark.left = sq.left;
        mark.top = sq.top;
        mark.right = sq.right;
        mark.bottom = sq.bottom;
        mark.textX = static_cast<double>(xs[i]) - b;
        mark.textY = static_cast<double>(ys[i]) - b;
        mark.text = formats::formatNumberSigned(static_cast<double>(i) + 1.0);
        result.marks.push_back(mark);
    }
    return result;
}

MeasurementResult measureTargets(const GrayPicture& picture, const PickList& picks,
                                 std::string_view boxSizeText, TrainingWindow window) {
    const std::size_t count = static_cast<std::size_t>(std::clamp<int>(picks.count, 0, kMaxPicks));
    return measureTargets(picture, std::span(picks.x).first(count), std::span(picks.y).first(count),
                          boxSizeText, window);
}

std::string descriptorFileText(const GrayPicture& picture, std::span<const std::int16_t> xs,
                               std::span<const std::int16_t> ys, int displayBox) {
    std::string text;
    const std::size_t count = std::min(xs.size(), ys.size());
    const double half = displayBox / 2.0;
    for (std::size_t i = 0; i < count; ++i) {
        text += "Block[" + std::to_string(i) + "]\r\n";
        const int x0 = nearestInt(xs[i] - half), x1 = nearestInt(xs[i] + half);
        const int y0 = nearestInt(ys[i] - half), y1 = nearestInt(ys[i] + half);
        for (int x = x0; x <= x1; ++x) {
            for (int y = y0; y <= y1; ++y) {
                const int g = picture.at(x, y);
                text += ' ';
                text += std::to_string(g);
            }
            text += "\r\n";
        }
        text += "\r\n\r\n";
    }
    return text;
}

const char* descriptorFileName(TrainingWindow window) {
    return window == TrainingWindow::Acquisition ? formats::kDescriptorTextFileName
                                                 : formats::kDescriptorFileName;
}

std::string lastTrainingCaption(int year, int month, int day) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "[ %04d-%02d-%02d ]", year, month, day);
    return buffer;
}

} // namespace training
