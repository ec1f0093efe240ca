#include "tools/plate/plate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <tuple>

namespace plate {

namespace {

// Plate geometry in the 1600 x 1200 frame: the centre of the default analysis rectangle
// (xs 335, xe 1170, ys 215, ye 1035), the rim just around its inscribed ellipse, and the
// radius within which the worm centres wander.
constexpr double kCentreX = 752.5;
constexpr double kCentreY = 625.0;
constexpr double kRimRadius = 432.0;
constexpr double kRimWidth = 7.0;
constexpr double kWanderRadius = 370.0;
constexpr double kAgarLevel = 158.0;

// The worms look like what the finder's default training expects of a worm: 17 to 22 px long
// and 2.4 to 3.4 px wide, a faint shadow rather than a black line. A worm takes away about
// kInk pixels' worth of the agar light in all (its body darkness is kInk over its area, give or
// take kInkSpread), so the spread of grey in a 35 px window around it, which the finder's
// threshold range tests, is about the same for every worm whatever its size.
constexpr double kMinLength = 17.0;
constexpr double kMaxLength = 22.0;
constexpr double kMinWidth = 2.4;
constexpr double kMaxWidth = 3.4;
constexpr double kInk = 15.0;
constexpr double kInkSpread = 0.1;

// Camera noise: small and bounded, so that plain agar never looks like the edge of a worm.
constexpr double kNoiseSigma = 1.5;
constexpr double kNoiseLimit = 4.0;

// Where the worms roam: their home points spread evenly over the inner kHomeRadius share of the
// wander radius. Two worms closer than kSpacing are pushed apart, to at least twice
// kSpacingCore unless their paths very nearly meet (a worm with another in the finder's window
// around it is missed).
constexpr double kHomeRadius = 0.65;
constexpr double kSpacing = 40.0;
constexpr double kSpacingCore = 16.0;
constexpr int kSpacingRounds = 2;

std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double uniform(std::uint64_t& state, double lo, double hi) {
    const double unit = static_cast<double>(splitmix(state) >> 11) * 0x1.0p-53;
    return lo + (hi - lo) * unit;
}

// One worm's fixed traits; its path is a sum of slow sinusoids, so its place at any time is
// known without stepping through the earlier ones.
struct WormTraits {
    double cx = 0.0, cy = 0.0;
    std::array<double, 3> ax{}, wx{}, px{};
    std::array<double, 3> ay{}, wy{}, py{};
    double length = 25.0;
    double width = 3.5;
    double bend = 2.0; // amplitude of the body wave in pixels
    double wave = 1.0; // body wave phase speed, radians per second of crawling
    double wavePhase = 0.0;
    double ink = 1.0; // factor on the body's darkness (worms differ a little)
};

WormTraits makeTraits(std::uint32_t seed, int id) {
    std::uint64_t state = (static_cast<std::uint64_t>(seed) << 32) ^ (0xA5A5ULL + id * 7919ULL);
    splitmix(state);
    WormTraits t;
    // Home points spread evenly over the inner disc, so that the worms seldom crowd.
    const double r = std::sqrt(uniform(state, 0.0, 1.0)) * kHomeRadius * kWanderRadius;
    const double angle = uniform(state, 0.0, 2.0 * std::numbers::pi);
    t.cx = r * std::cos(angle);
    t.cy = r * std::sin(angle);
    // Keep |x| and |y| offsets each within reach / sqrt(2) so the worm stays on the plate.
    const double reach = (kWanderRadius - r) / std::numbers::sqrt2;
    auto fill = [&](std::array<double, 3>& a, std::array<double, 3>& w, std::array<double, 3>& p) {
        std::array<double, 3> weight{};
        double sum = 0.0;
        for (double& v : weight) {
            v = uniform(state, 0.3, 1.0);
            sum += v;
        }
        for (int k = 0; k < 3; ++k) {
            a[k] = reach * weight[k] / sum;
            w[k] = uniform(state, 0.012, 0.035) * (k + 1) * 0.8;
            p[k] = uniform(state, 0.0, 2.0 * std::numbers::pi);
        }
    };
    fill(t.ax, t.wx, t.px);
    fill(t.ay, t.wy, t.py);
    t.length = uniform(state, kMinLength, kMaxLength);
    t.width = uniform(state, kMinWidth, kMaxWidth);
    t.bend = uniform(state, 1.2, 2.6);
    t.wave = uniform(state, 0.8, 1.6);
    t.wavePhase = uniform(state, 0.0, 2.0 * std::numbers::pi);
    t.ink = uniform(state, 1.0 - kInkSpread, 1.0 + kInkSpread);
    return t;
}

struct Point {
    double x = 0.0, y = 0.0;
};

// Body centre and crawling direction at crawl time `tau` (seconds times the speed factor), in
// 1600 x 1200 plate units relative to the plate centre.
void wormPose(const WormTraits& t, double tau, Point& centre, Point& direction) {
    centre = {t.cx, t.cy};
    direction = {0.0, 0.0};
    for (int k = 0; k < 3; ++k) {
        centre.x += t.ax[k] * std::sin(t.wx[k] * tau + t.px[k]);
        centre.y += t.ay[k] * std::sin(t.wy[k] * tau + t.py[k]);
        direction.x += t.ax[k] * t.wx[k] * std::cos(t.wx[k] * tau + t.px[k]);
        direction.y += t.ay[k] * t.wy[k] * std::cos(t.wy[k] * tau + t.py[k]);
    }
    const double norm = std::hypot(direction.x, direction.y);
    if (norm < 1e-9) {
        direction = {1.0, 0.0};
    } else {
        direction.x /= norm;
        direction.y /= norm;
    }
}

// The lit agar without worms and noise, kept per frame size and brightness.
struct Background {
    std::vector<std::uint8_t> pixels;
};

std::shared_ptr<const Background> background(int width, int height, int brightness) {
    static std::mutex mutex;
    static std::map<std::tuple<int, int, int>, std::shared_ptr<const Background>> cache;
    std::lock_guard lock(mutex);
    auto key = std::make_tuple(width, height, brightness);
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    if (cache.size() > 16)
        cache.clear();

    auto bg = std::make_shared<Background>();
    bg->pixels.resize(static_cast<std::size_t>(width) * height);
    const double kx = width / 1600.0;
    const double ky = height / 1200.0;
    const double k = std::min(kx, ky);
    const double cx = kCentreX * kx;
    const double cy = kCentreY * ky;
    const double rim = kRimRadius * k;
    const double rimWidth = std::max(2.0, kRimWidth * k);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bg->pixels.data() + static_cast<std::size_t>(y) * width;
        const double dy = y + 0.5 - cy;
        for (int x = 0; x < width; ++x) {
            const double dx = x + 0.5 - cx;
            const double r = std::sqrt(dx * dx + dy * dy);
            // Uneven light: brighter towards the upper left, falling off towards the rim.
            double light = kAgarLevel + brightness + 14.0 * (0.5 - x / static_cast<double>(width)) +
                           9.0 * (0.5 - y / static_cast<double>(height));
            double value;
            if (r < rim) {
                const double q = r / rim;
                value = light - 22.0 * q * q;
            } else if (r < rim + rimWidth) {
                value = 0.5 * light; // the dark wall of the plate
            } else {
                value = 0.72 * light - 0.02 * (r - rim); // the bench outside the plate
            }
            row[x] = static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0));
        }
    }
    cache[key] = bg;
    return bg;
}

// Camera noise: a table of roughly normal offsets (sigma kNoiseSigma, within kNoiseLimit).
const std::array<std::int8_t, 256>& noiseTable() {
    static const std::array<std::int8_t, 256> table = [] {
        std::array<std::int8_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            // Inverse of the normal distribution by a logistic approximation.
            const double p = (i + 0.5) / 256.0;
            const double z = std::log(p / (1.0 - p)) / 1.702;
            t[i] = static_cast<std::int8_t>(
                std::lround(std::clamp(kNoiseSigma * z, -kNoiseLimit, kNoiseLimit)));
        }
        return t;
    }();
    return table;
}

// Worms keep out of each other's way: centres closer than kSpacing are pushed apart, a few
// rounds over all pairs, and held inside the wander radius. The push is a continuous function
// of the positions, so the paths stay continuous in time.
void keepApart(std::vector<Point>& centres) {
    const std::size_t n = centres.size();
    for (int round = 0; round < kSpacingRounds; ++round) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                const double dx = centres[j].x - centres[i].x;
                const double dy = centres[j].y - centres[i].y;
                const double d = std::hypot(dx, dy);
                if (d >= kSpacing || d < 1e-9)
                    continue;
                // The parted distance grows steadily with the unparted one: twice it up to
                // kSpacingCore, then slowly on to kSpacing. So no worm ever jumps, and a worm
                // passes close by another only when their paths nearly meet.
                const double parted =
                    d < kSpacingCore ? 2.0 * d
                                     : 2.0 * kSpacingCore + (d - kSpacingCore) *
                                                                (kSpacing - 2.0 * kSpacingCore) /
                                                                (kSpacing - kSpacingCore);
                const double push = 0.5 * (parted - d);
                const double ux = dx / d;
                const double uy = dy / d;
                centres[i].x -= ux * push;
                centres[i].y -= uy * push;
                centres[j].x += ux * push;
                centres[j].y += uy * push;
            }
        }
        for (Point& c : centres) {
            const double r = std::hypot(c.x, c.y);
            if (r > kWanderRadius) {
                c.x *= kWanderRadius / r;
                c.y *= kWanderRadius / r;
            }
        }
    }
}

void drawWorm(PlateFrame& frame, const WormTraits& t, Point centre, Point dir, double tau, double k,
              double ox, double oy, WormTruth& truth, std::vector<float>& alpha) {
    const Point normal{-dir.y, dir.x};
    const double length = t.length * k;
    const double halfWidth = 0.5 * t.width * k;
    const double bend = t.bend * k;
    const double phase = t.wavePhase + t.wave * tau;

    // Centreline samples every half pixel; the body wave spans one wavelength over the body so
    // that the centre of the samples is the centre of the worm.
    const int samples = static_cast<int>(t.length * 2.0); // the same at every frame size
    std::vector<Point> line(samples + 1);
    std::vector<double> radius(samples + 1);
    double area = 0.0; // of the body in 1600 x 1200 units
    double sx = 0.0, sy = 0.0;
    double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
    for (int i = 0; i <= samples; ++i) {
        const double u = static_cast<double>(i) / samples; // 0 at the head, 1 at the tail
        const double s = (0.5 - u) * length;
        const double b = bend * std::sin(2.0 * std::numbers::pi * u + phase);
        Point p{ox + centre.x * k + dir.x * s + normal.x * b,
                oy + centre.y * k + dir.y * s + normal.y * b};
        line[i] = p;
        // The body tapers towards both ends.
        const double taper = std::sqrt(std::max(0.0, 1.0 - std::pow(2.0 * u - 1.0, 4.0)));
        radius[i] = std::max(0.45, halfWidth * (0.35 + 0.65 * taper));
        area += 2.0 * radius[i] / k * t.length / samples;
        sx += p.x;
        sy += p.y;
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
    }
    truth.x = sx / (samples + 1);
    truth.y = sy / (samples + 1);

    const int x0 = std::max(0, static_cast<int>(std::floor(minX - halfWidth - 2)));
    const int y0 = std::max(0, static_cast<int>(std::floor(minY - halfWidth - 2)));
    const int x1 = std::min(frame.width - 1, static_cast<int>(std::ceil(maxX + halfWidth + 2)));
    const int y1 = std::min(frame.height - 1, static_cast<int>(std::ceil(maxY + halfWidth + 2)));
    if (x1 < x0 || y1 < y0)
        return;
    const int bw = x1 - x0 + 1;
    const int bh = y1 - y0 + 1;
    alpha.assign(static_cast<std::size_t>(bw) * bh, 0.0f);
    for (int i = 0; i <= samples; ++i) {
        const Point& p = line[i];
        const double r = radius[i];
        const int ax0 = std::max(x0, static_cast<int>(std::floor(p.x - r - 1)));
        const int ax1 = std::min(x1, static_cast<int>(std::ceil(p.x + r + 1)));
        const int ay0 = std::max(y0, static_cast<int>(std::floor(p.y - r - 1)));
        const int ay1 = std::min(y1, static_cast<int>(std::ceil(p.y + r + 1)));
        for (int y = ay0; y <= ay1; ++y) {
            const double dy = y + 0.5 - p.y;
            float* arow = alpha.data() + static_cast<std::size_t>(y - y0) * bw - x0;
            for (int x = ax0; x <= ax1; ++x) {
                const double dx = x + 0.5 - p.x;
                const double d = std::sqrt(dx * dx + dy * dy);
                const float a = static_cast<float>(std::clamp(r + 0.5 - d, 0.0, 1.0));
                arow[x] = std::max(arow[x], a);
            }
        }
    }
    const float dark = static_cast<float>(std::clamp(kInk * t.ink / area, 0.15, 0.6));
    for (int y = y0; y <= y1; ++y) {
        std::uint8_t* row = frame.pixels.data() + static_cast<std::size_t>(y) * frame.width;
        const float* arow = alpha.data() + static_cast<std::size_t>(y - y0) * bw - x0;
        for (int x = x0; x <= x1; ++x) {
            if (arow[x] > 0.0f)
                row[x] = static_cast<std::uint8_t>(row[x] * (1.0f - dark * arow[x]) + 0.5f);
        }
    }
}

} // namespace

PlateFrame drawPlate(const PlateOptions& options, double timeSeconds) {
    PlateFrame frame;
    frame.width = std::max(1, options.width);
    frame.height = std::max(1, options.height);
    const auto bg = background(frame.width, frame.height, options.brightness);
    frame.pixels = bg->pixels;

    const double kx = frame.width / 1600.0;
    const double ky = frame.height / 1200.0;
    const double k = std::min(kx, ky);
    const double ox = kCentreX * kx;
    const double oy = kCentreY * ky;
    const double tau = timeSeconds * options.speed;

    const int worms = std::max(0, options.worms);
    frame.worms.resize(worms);
    std::vector<WormTraits> traits(worms);
    std::vector<Point> centres(worms), directions(worms);
    for (int id = 0; id < worms; ++id) {
        traits[id] = makeTraits(options.seed, id);
        wormPose(traits[id], tau, centres[id], directions[id]);
    }
    keepApart(centres);
    std::vector<float> alpha;
    for (int id = 0; id < worms; ++id) {
        frame.worms[id].id = id;
        drawWorm(frame, traits[id], centres[id], directions[id], tau, k, ox, oy, frame.worms[id],
                 alpha);
    }

    // Camera noise, different in every frame but the same for the same seed and time.
    std::uint64_t bits;
    std::memcpy(&bits, &timeSeconds, sizeof bits);
    std::uint64_t state = bits ^ (static_cast<std::uint64_t>(options.seed) * 0x2545F4914F6CDD1DULL);
    splitmix(state);
    std::uint64_t x = splitmix(state) | 1;
    const auto& table = noiseTable();
    std::uint8_t* p = frame.pixels.data();
    const std::size_t n = frame.pixels.size();
    std::size_t i = 0;
    while (i < n) {
        // xorshift64: eight noise samples per step.
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::uint64_t r = x;
        for (int b = 0; b < 8 && i < n; ++b, ++i) {
            const int v = p[i] + table[r & 0xFF];
            p[i] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
            r >>= 8;
        }
    }
    return frame;
}

std::string toPgm(const PlateFrame& frame) {
    std::string out =
        "P5\n" + std::to_string(frame.width) + " " + std::to_string(frame.height) + "\n255\n";
    out.append(reinterpret_cast<const char*>(frame.pixels.data()), frame.pixels.size());
    return out;
}

} // namespace plate
