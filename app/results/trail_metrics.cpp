#include "app/results/trail_metrics.h"

#include "app/results/worm_trails_file.h"
#include "formats/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

namespace results {

namespace {

double distance(double x1, double y1, double x2, double y2) {
    const double dx = x1 - x2;
    const double dy = y1 - y2;
    return std::sqrt(dx * dx + dy * dy);
}

// One axis of a displacement in mm; an unusable factor (zero, or not finite) contributes
// nothing. A negative factor (a rectangle typed with its corners swapped) measures like its size.
double axisMm(double deltaPx, double pxPerMm) {
    if (pxPerMm == 0.0 || !std::isfinite(pxPerMm))
        return 0.0;
    return deltaPx / pxPerMm;
}

// 0.5 x mid + 0.5 x value rounded to an integer, halves to even: the sum halved exactly in
// integers (the real-number form is exact for 32-bit values, so both give the same).
std::int32_t roundedMid(std::int32_t mid, std::int32_t value) {
    const std::int64_t sum = static_cast<std::int64_t>(mid) + value;
    std::int64_t half = sum >= 0 ? sum / 2 : -((-sum + 1) / 2); // floor(sum / 2)
    if ((sum & 1) != 0 && (half & 1) != 0)
        ++half; // an exact half goes to the even neighbour
    return static_cast<std::int32_t>(half);
}

} // namespace

void TrailState::resetForNewBlock() {
    midX = 0;
    midY = 0;
    travelMm = 0.0;
    frameCount = 0;
    speedMm = 0.0;
    rotationBits = 0;
}

namespace {

// Bit sums of pairs, nibbles, bytes (no reliance on a population-count instruction); inlined
// into the motion rule.
inline int bitsOf16(std::int32_t value) {
    std::uint32_t bits = static_cast<std::uint32_t>(value) & 0xFFFFu;
    bits = bits - ((bits >> 1) & 0x5555u);
    bits = (bits & 0x3333u) + ((bits >> 2) & 0x3333u);
    bits = (bits + (bits >> 4)) & 0x0F0Fu;
    return static_cast<int>((bits + (bits >> 8)) & 0x1Fu);
}

} // namespace

int CountBits16(std::int32_t value) {
    return bitsOf16(value);
}

namespace {

// The motion rule of one variant; the trails analysis calls it for every row, so it is inlined
// there rather than reached through applyMotionRule.
// `speed` false leaves speedMm to the caller (the trails analysis takes travelMm / frameCount
// when it lists a trail, which is the same value).
template <MotionVariant variant, bool speed = true>
inline double motionStep(TrailState& s, const MotionInput& in, double pxPerMmX, double pxPerMmY,
                         bool* moving) {
    constexpr bool live = variant == MotionVariant::Live;
    double moved = 0.0;
    double anchorSquared = -1.0; // squared distance to the anchor, once step 1 took it
    if (moving != nullptr)
        *moving = false;

    // 1. Movement.
    if (s.midX > 0 && (live || in.frame > 0)) {
        if (live && s.anchorX == 0) {
            s.anchorX = in.x;
            s.anchorY = in.y;
        }
        // The step from the anchor is compared squared: the squared distance of two integer
        // points is a whole number, so it is at most 8.75^2 exactly when the distance is at
        // most 8.75. Its root is taken only if step 3 needs it.
        const double dx = static_cast<double>(in.x) - s.anchorX;
        const double dy = static_cast<double>(in.y) - s.anchorY;
        anchorSquared = dx * dx + dy * dy;
        const bool still = (s.trend <= kStillTrend && s.offset <= kStillOffset) ||
                           anchorSquared <= kStillStepPx * kStillStepPx;
        if (!still) {
            if (moving != nullptr)
                *moving = true;
            const double mx = 0.5 * s.midX + 0.5 * in.x;
            const double my = 0.5 * s.midY + 0.5 * in.y;
            const double ax = axisMm(mx - s.midX, pxPerMmX);
            const double ay = axisMm(my - s.midY, pxPerMmY);
            moved = std::sqrt(ax * ax + ay * ay);
        }
        s.travelMm += moved;
        s.frameCount += 1;
        if constexpr (speed)
            s.speedMm = s.travelMm / s.frameCount;
        if (!live && s.refShape > 0)
            s.rotationBits += bitsOf16(s.refShape ^ in.shape);
    }

    // 2. Midpoint.
    if (s.midX == 0) {
        s.midX = in.x;
        s.midY = in.y;
        s.refShape = in.shape;
    } else {
        const double d = distance(in.x, in.y, s.midX, s.midY);
        s.offset = kOffsetSmoothing * s.offset + (1.0 - kOffsetSmoothing) * d;
        s.midX = roundedMid(s.midX, in.x);
        s.midY = roundedMid(s.midY, in.y);
    }

    // 3. Anchor and net displacement.
    if (s.frameCount == 1 && !live) {
        s.anchorX = in.x;
        s.anchorY = in.y;
    } else if (s.frameCount > 1) {
        s.prevNet = s.net;
        // The anchor has not moved since step 1 (it is set only when frameCount is 1).
        const double e = anchorSquared >= 0.0 ? std::sqrt(anchorSquared)
                                              : distance(in.x, in.y, s.anchorX, s.anchorY);
        s.net = kNetSmoothing * s.net + (1.0 - kNetSmoothing) * e;
        s.trend = (s.net - s.prevNet) * (1.0 - kTrendSmoothing) + s.trend * kTrendSmoothing;
    }

    // 4. Restart after a long loss.
    if (!live && in.lostCount > kRestartLostCount) {
        s.midX = 0;
        s.midY = 0;
        s.refShape = 0;
    }
    return moved;
}

} // namespace

double applyMotionRule(TrailState& s, const MotionInput& in, double pxPerMmX, double pxPerMmY,
                       MotionVariant variant, bool* moving) {
    if (variant == MotionVariant::Live)
        return motionStep<MotionVariant::Live>(s, in, pxPerMmX, pxPerMmY, moving);
    return motionStep<MotionVariant::Trails>(s, in, pxPerMmX, pxPerMmY, moving);
}

std::string formatFixed(double value, int decimals) {
    if (!std::isfinite(value))
        value = 0.0;
    decimals = std::clamp(decimals, 0, 15);
    // to_chars, not printf: a windowed program runs under the user's locale, which may use a
    // decimal comma; every number this program writes uses ".". It rounds the exact stored
    // value, an exact half to the even neighbour.
    char buffer[400];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text = ec == std::errc() ? std::string(buffer, end) : std::string("0");
    // No "-0.00" for values that round to zero.
    if (!text.empty() && text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

std::string formatRounded(double value, int decimals) {
    // The fixed text without its trailing zeros, so the listing and the report round a value
    // alike.
    std::string text = formatFixed(value, decimals);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
    }
    return text;
}

bool parseTrailRow(std::string_view line, TrailRow& row, std::string& error) {
    std::string_view fields[9];
    std::size_t start = 0;
    for (int i = 0; i < 9; ++i) {
        if (start > line.size())
            break;
        const std::size_t end = line.find(';', start);
        if (end == std::string_view::npos) {
            fields[i] = line.substr(start);
            start = line.size() + 1;
        } else {
            fields[i] = line.substr(start, end - start);
            start = end + 1;
        }
    }
    static const char* const names[9] = {"FRAME", "ID",     "X",      "Y",    "LOST_COUNT",
                                         "#PIX",  "X_SIZE", "Y_SIZE", "SHAPE"};
    std::int32_t values[9] = {};
    for (int i : {0, 1, 2, 3, 4, 8}) {
        const std::optional<std::int32_t> v = trailFieldValue(fields[i]);
        if (!v) {
            error = std::string(names[i]) + " value out of range";
            return false;
        }
        values[i] = *v;
    }
    if (values[1] < 0 || values[1] > kMaxTrailId) {
        error = "trail id " + std::to_string(values[1]) + " outside 0 to " +
                std::to_string(kMaxTrailId);
        return false;
    }
    row.frame = values[0];
    row.id = values[1];
    row.x = values[2];
    row.y = values[3];
    row.lostCount = values[4];
    row.shape = values[8];
    return true;
}

namespace {

class Analysis {
public:
    explicit Analysis(const TrailAnalysisParams& params)
        : m_params(params), m_trails(kMaxTrailId + 1), m_blocks(1) {
        if (m_params.blockMinutes < 1)
            m_params.blockMinutes = 1;
        m_blockFrames = static_cast<std::int64_t>(m_params.blockMinutes) * 60;
        m_text = "Particle trails:\r\n";
    }

    bool row(const TrailRow& r, std::string& error) {
        if (m_seenRow && r.frame < m_lastFrame) {
            error = "frames out of order (" + std::to_string(r.frame) + " after " +
                    std::to_string(m_lastFrame) + ")";
            return false;
        }
        // 1. Block end.
        if (r.frame > m_blockFrames * (m_block + 1)) {
            closeBlock();
            ++m_block;
            m_blocks.emplace_back();
            // Ids above the largest seen were never touched.
            for (std::int32_t id = 0; id <= m_maxId; ++id)
                m_trails[static_cast<std::size_t>(id)].resetForNewBlock();
            m_freshSum = 0;
            m_blockFirstFrame = r.frame;
        }
        // 2. Fresh detections per frame.
        if (r.frame > m_prevFrame) {
            m_freshSum += m_freshCount;
            m_freshCount = 0;
            const std::int64_t span = r.frame - m_blockFrames * m_block;
            if (span > 0) {
                const double mean = static_cast<double>(m_freshSum) / static_cast<double>(span);
                m_blocks[m_block].particles =
                    static_cast<std::int32_t>(formats::roundHalfEven(mean + 0.25));
            }
            m_prevFrame = r.frame;
        }
        // 3. The row's own values.
        m_maxId = std::max(m_maxId, r.id);
        if (r.lostCount == 0)
            ++m_freshCount;
        // 4. Motion.
        MotionInput in;
        in.frame = r.frame;
        in.x = r.x;
        in.y = r.y;
        in.lostCount = r.lostCount;
        in.shape = r.shape;
        motionStep<MotionVariant::Trails, false>(m_trails[static_cast<std::size_t>(r.id)], in,
                                                 m_params.pxPerMmX, m_params.pxPerMmY, nullptr);
        m_lastFrame = r.frame;
        m_seenRow = true;
        return true;
    }

    void finish() {
        if (m_seenRow && static_cast<std::int64_t>(m_lastFrame) - m_blockFirstFrame > 10)
            closeBlock();
    }

    TrailAnalysisResult result() {
        TrailAnalysisResult out;
        out.ok = true;
        out.blocks = std::move(m_blocks);
        out.particleTrails = std::move(m_text);
        out.maxId = m_maxId;
        return out;
    }

private:
    void closeBlock() {
        const std::string& sep = m_params.separator;
        m_text += "#block" + std::to_string(m_block) + "\r\n";
        m_text += "#id" + sep + "distance" + sep + "#frames" + sep + "speed" + sep + "rotation\r\n";

        std::vector<std::int32_t> listed;
        for (std::int32_t id = 0; id <= m_maxId; ++id) {
            const std::int32_t n = m_trails[static_cast<std::size_t>(id)].frameCount;
            if (n < kMinListedFrames)
                continue;
            if (m_params.trailNumbering == -1 && n > m_blockFrames)
                continue;
            listed.push_back(id);
        }
        if (m_params.trailNumbering == -1) {
            std::stable_sort(listed.begin(), listed.end(), [this](std::int32_t a, std::int32_t b) {
                return m_trails[static_cast<std::size_t>(a)].frameCount >
                       m_trails[static_cast<std::size_t>(b)].frameCount;
            });
        }

        double sumTravel = 0.0, sumSpeed = 0.0, sumRotation = 0.0;
        std::int64_t allRows = 0, stillRows = 0;
        std::int32_t index = 0;
        for (std::int32_t id : listed) {
            const TrailState& t = m_trails[static_cast<std::size_t>(id)];
            const double speed = t.travelMm / t.frameCount; // speedMm, see row()
            const double rotation = static_cast<double>(t.rotationBits) / t.frameCount;
            const std::int32_t number = m_params.trailNumbering == -1 ? index++ : id;
            m_text += std::to_string(number) + sep + formatRounded(t.travelMm, 2) + sep +
                      std::to_string(t.frameCount) + sep + formatRounded(speed, 3) + sep +
                      formatRounded(rotation, 2) + "\r\n";
            sumTravel += t.travelMm;
            sumSpeed += speed;
            sumRotation += rotation;
            allRows += t.frameCount;
            if (t.travelMm <= kStillTravelMm)
                stillRows += t.frameCount;
        }
        BlockStats& stats = m_blocks[m_block];
        const auto n = static_cast<double>(listed.size());
        if (stats.particles > 0 && !listed.empty()) {
            stats.distancePerParticle = sumTravel / stats.particles;
            stats.avgSpeed = sumSpeed / n;
            stats.rotationIndex = sumRotation / n;
            stats.stillFraction = static_cast<double>(stillRows) / static_cast<double>(allRows);
        }
    }

    TrailAnalysisParams m_params;
    std::int64_t m_blockFrames = 300;
    std::vector<TrailState> m_trails;
    std::vector<BlockStats> m_blocks;
    std::string m_text;
    std::int64_t m_block = 0;
    std::int64_t m_blockFirstFrame = 0;
    std::int64_t m_prevFrame = 1;
    std::int64_t m_freshCount = 0;
    std::int64_t m_freshSum = 0;
    std::int32_t m_maxId = 0;
    std::int32_t m_lastFrame = 0;
    bool m_seenRow = false;
};

} // namespace

namespace {

// A row as the trackers write it: "-"? and one to nine digits in FRAME, ID, X, Y, LOST_COUNT and
// SHAPE, anything but ";" and LF in the three fields between, CR LF or LF after SHAPE, and an id
// within 0 .. 32000. Such a row is read here in one pass over its bytes; it gives the same values
// as parseTrailRow. Anything else is left to the general reading (false, `pos` unchanged).
bool readPlainRow(std::string_view text, std::size_t& pos, TrailRow& row) {
    const char* p = text.data() + pos;
    const char* const end = text.data() + text.size();
    const auto number = [&](std::int32_t& out) {
        const bool negative = p < end && *p == '-';
        if (negative)
            ++p;
        std::int32_t value = 0;
        int digits = 0;
        while (p < end && static_cast<unsigned>(*p - '0') <= 9u) {
            if (++digits > 9)
                return false;
            value = value * 10 + (*p - '0');
            ++p;
        }
        out = negative ? -value : value;
        return digits > 0;
    };
    const auto separator = [&] {
        if (p < end && *p == ';') {
            ++p;
            return true;
        }
        return false;
    };
    std::int32_t* const leading[5] = {&row.frame, &row.id, &row.x, &row.y, &row.lostCount};
    for (std::int32_t* field : leading)
        if (!number(*field) || !separator())
            return false;
    for (int skipped = 0; skipped < 3; ++skipped) {
        while (p < end && *p != ';') {
            if (*p == '\n')
                return false;
            ++p;
        }
        if (!separator())
            return false;
    }
    if (!number(row.shape))
        return false;
    if (p < end && *p == '\r')
        ++p;
    if (p >= end || *p != '\n')
        return false;
    if (row.id < 0 || row.id > kMaxTrailId)
        return false;
    pos = static_cast<std::size_t>(p + 1 - text.data());
    return true;
}

// Feeds the lines of a trails text, whole or piece by piece, to the analysis: the header line
// and blank lines are passed over, every other line is a row.
class RowFeeder {
public:
    explicit RowFeeder(Analysis& analysis) : m_analysis(analysis) {}

    // One piece of whole lines (the last piece of a text may end without a line end). False
    // with a message naming the line when a row cannot be used.
    bool feed(std::string_view text, std::string& error) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            TrailRow row;
            std::string message;
            if (m_lineNumber >= 1 && readPlainRow(text, pos, row)) {
                ++m_lineNumber;
                if (!m_analysis.row(row, message))
                    return fail(message, error);
                continue;
            }
            TrailsTextLines one(text.substr(pos));
            std::string_view line;
            if (!one.next(line))
                break; // a last row still being written
            pos += one.position();
            ++m_lineNumber;
            if (m_lineNumber == 1)
                continue; // the header line
            if (line.find_first_not_of(" \t") == std::string_view::npos)
                continue; // a blank line holds no row
            if (!parseTrailRow(line, row, message) || !m_analysis.row(row, message))
                return fail(message, error);
        }
        return true;
    }

private:
    bool fail(const std::string& message, std::string& error) const {
        error = "worm_trails.csv line " + std::to_string(m_lineNumber) + ": " + message;
        return false;
    }

    Analysis& m_analysis;
    std::int64_t m_lineNumber = 0;
};

TrailAnalysisResult failedAnalysis(std::string error) {
    TrailAnalysisResult failed;
    failed.error = std::move(error);
    return failed;
}

} // namespace

TrailAnalysisResult analyzeTrailsText(std::string_view text, const TrailAnalysisParams& params) {
    Analysis analysis(params);
    RowFeeder feeder(analysis);
    std::string error;
    if (!feeder.feed(text, error))
        return failedAnalysis(error);
    analysis.finish();
    return analysis.result();
}

TrailAnalysisResult analyzeTrailsFile(LinePieceReader& file, const TrailAnalysisParams& params) {
    Analysis analysis(params);
    RowFeeder feeder(analysis);
    std::string error;
    std::string_view piece;
    while (file.next(piece, error)) {
        if (!feeder.feed(piece, error))
            return failedAnalysis(error);
    }
    if (!error.empty())
        return failedAnalysis(error);
    analysis.finish();
    return analysis.result();
}

} // namespace results
