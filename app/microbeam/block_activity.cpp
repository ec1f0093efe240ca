#include "app/microbeam/block_activity.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace microbeam {

namespace {

// Constants of the measure.
constexpr double kLevelPercent = 4.0;   // of the local level
constexpr double kEventThreshold = 4.0; // on the pair mean change and on each change
constexpr double kOutlierFactor = 3.0;  // on the median change
constexpr int kMedianPosition = 4;      // 9 / 2: the fifth largest change
constexpr double kBrightFactor = 0.5;   // on the reference level
constexpr double kUnheldPixelMean = 1.0;

// Nearest integer, halves to even (the square root of an integer sum is never exactly half).
std::int32_t roundToEven(double value) {
    return static_cast<std::int32_t>(std::nearbyint(value));
}

std::size_t heldPixels(const FramePixels& frame) {
    return std::min<std::size_t>(frame.size(), kLastPixel);
}

} // namespace

PixelTable::PixelTable() : m_values(static_cast<std::size_t>(kTableRows) * kTableColumns, 0) {}

void PixelTable::clear() {
    std::fill(m_values.begin(), m_values.end(), std::int16_t{0});
}

std::int16_t CountChannelEvents(const PixelTable& a, std::int16_t p16, std::int16_t lag16) {
    const int p = p16;
    const int lag = lag16;
    const int q = p - lag;
    if (p < 1 || q < 1 || p + lag >= kPixelGuard)
        return 0;
    // Every neighbour must lie in the table (only a lag below 1 could break this).
    if (q + 1 > kTableRows - 1 || p > kTableRows - 1)
        return 0;
    const std::array<int, 4> neighbours{p - 1, q, q - 1, q + 1};

    // A step counts only when the pixel itself changes by more than the threshold; a pixel
    // that never does counts nothing (most pixels of a plate), so its level is not needed.
    std::array<std::int16_t, 10> dp{};
    bool anyStrong = false;
    for (int k = 1; k <= 9; ++k) {
        dp[k] = static_cast<std::int16_t>(a.at(p, k) - a.at(p, k - 1));
        anyStrong = anyStrong || dp[k] > kEventThreshold || dp[k] < -kEventThreshold;
    }
    if (!anyStrong)
        return 0;

    double levelSum = 0.0;
    for (int k = 1; k <= 9; ++k) {
        double pairSum = 0.0;
        for (int n : neighbours) {
            const std::int16_t sum = static_cast<std::int16_t>(a.at(p, k) + a.at(n, k));
            pairSum += static_cast<double>(std::abs(sum)) / 2.0;
        }
        levelSum += pairSum / 4.0;
    }
    const double level = levelSum / 9.0;
    const double levelThreshold = (kLevelPercent / 100.0) * level;

    std::int16_t count = 0;
    for (int k = 1; k <= 9; ++k) {
        const std::int16_t d = dp[k];
        if (!(d > kEventThreshold || d < -kEventThreshold))
            continue;
        for (int n : neighbours) {
            const std::int16_t dn = static_cast<std::int16_t>(a.at(n, k) - a.at(n, k - 1));
            const double m = static_cast<double>(std::abs(static_cast<std::int16_t>(d + dn))) / 2.0;
            const bool together = (d > kEventThreshold && dn > kEventThreshold) ||
                                  (d < -kEventThreshold && dn < -kEventThreshold);
            if (m > levelThreshold && m > kEventThreshold && together) {
                ++count;
                break;
            }
        }
    }
    return count;
}

std::array<int, kRingSlots> orderByChange(const std::array<double, kRingSlots>& change) {
    std::array<int, kRingSlots> order{};
    std::array<bool, kRingSlots> taken{};
    for (int i = 0; i < kRingSlots; ++i) {
        double maximum = 0.0;
        int candidate = -1;
        for (int k = 0; k < kRingSlots; ++k) {
            if (!taken[k] && change[k] >= maximum) {
                candidate = k;
                maximum = change[k];
            }
        }
        // Changes are never negative, so every round finds a slot; keep the order whole anyway.
        for (int k = 0; candidate < 0 && k < kRingSlots; ++k)
            if (!taken[k])
                candidate = k;
        order[i] = candidate;
        taken[candidate] = true;
    }
    return order;
}

BlockResult BlockActivity(FrameRing& ring, ActivityMask& mask, std::int16_t width) {
    BlockResult result;
    const auto& frames = ring.frames;

    // 1. Frame statistics; a slot holding a pixel that the slot before does not hold fails.
    std::array<double, kRingSlots> level{};
    std::array<double, kRingSlots> change{};
    for (int k = 0; k < kRingSlots; ++k) {
        const FramePixels& frame = frames[k];
        const std::size_t held = heldPixels(frame);
        if (k >= 1 && held > frames[k - 1].size()) {
            result.failed = true;
            result.reason = "frame " + std::to_string(k) + " of the block holds " +
                            std::to_string(held) + " pixels, the frame before it only " +
                            std::to_string(frames[k - 1].size());
            return result;
        }
        std::int64_t levelSum = 0;
        std::int64_t changeSum = 0;
        for (std::size_t i = 0; i < held; ++i) {
            levelSum += frame[i];
            if (k >= 1)
                changeSum +=
                    std::abs(static_cast<int>(frame[i]) - static_cast<int>(frames[k - 1][i]));
        }
        level[k] = held > 0 ? static_cast<double>(levelSum) / static_cast<double>(held) : 0.0;
        if (k >= 1)
            change[k] = held > 0 ? static_cast<double>(changeSum) / static_cast<double>(held) : 0.0;
    }
    change[0] = change[1];

    // 2. Reference level: the mean of the positive frame levels.
    double referenceSum = 0.0;
    int referenceCount = 0;
    for (double l : level) {
        if (l > 0.0) {
            referenceSum += l;
            ++referenceCount;
        }
    }
    if (referenceCount == 0) {
        result.failed = true;
        result.reason = "no frame of the block has a mean gray above 0";
        return result;
    }
    const double reference = referenceSum / referenceCount;

    // 3. Order by decreasing change; ties go to the higher slot.
    const std::array<int, kRingSlots> order = orderByChange(change);
    const double median = change[order[kMedianPosition]];

    // 4. Outliers.
    std::array<bool, kRingSlots> good{};
    for (int k = 0; k < kRingSlots; ++k)
        good[k] = !(change[k] > kOutlierFactor * median);

    // 5. Replacement by a good neighbour, written into the ring.
    for (int k = 0; k < kRingSlots; ++k) {
        if (good[k])
            continue;
        int first = k - 1;
        int second = k + 1;
        if (k == 0) {
            first = 1;
            second = 2;
        } else if (k == kRingSlots - 1) {
            first = 8;
            second = 7;
        }
        if (good[first])
            ring.frames[k] = ring.frames[first];
        else if (good[second])
            ring.frames[k] = ring.frames[second];
    }

    // 6. Pixel counts.
    PixelTable table;
    std::int32_t total = 0;
    for (int p = 1; p <= kLastPixel; ++p) {
        int sum = 0;
        int count = 0;
        for (int k = 0; k < kRingSlots; ++k) {
            const FramePixels& frame = ring.frames[k];
            if (frame.size() >= static_cast<std::size_t>(p)) {
                const std::uint8_t g = frame[static_cast<std::size_t>(p) - 1];
                table.set(p, k, g);
                sum += g;
                ++count;
            }
        }
        const double mean = count > 0 ? static_cast<double>(sum) / count : kUnheldPixelMean;
        std::int16_t c = 0;
        if (mean > kBrightFactor * reference)
            c = CountChannelEvents(table, static_cast<std::int16_t>(p), width);
        mask[p] = c;
        total += c;
    }

    // 7. The rounded square root of the total.
    result.total = total;
    result.activity = roundToEven(std::sqrt(static_cast<double>(total)));
    return result;
}

} // namespace microbeam
