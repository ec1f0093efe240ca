#include "tools/plate/plate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// The default analysis rectangle xs 335, xe 1170, ys 215, ye 1035 and its inscribed ellipse.
double ellipseRadius(double x, double y) {
    const double dx = (x - 752.5) / 417.5;
    const double dy = (y - 625.0) / 410.0;
    return std::sqrt(dx * dx + dy * dy);
}

int pixel(const plate::PlateFrame& f, int x, int y) {
    return f.pixels[static_cast<std::size_t>(y) * f.width + x];
}

TEST(Plate, SameSeedAndTimeGiveTheSameFrame) {
    plate::PlateOptions o;
    o.worms = 12;
    o.seed = 42;
    const auto a = plate::drawPlate(o, 17.25);
    const auto b = plate::drawPlate(o, 17.25);
    ASSERT_EQ(a.width, 1600);
    ASSERT_EQ(a.height, 1200);
    ASSERT_EQ(a.pixels.size(), 1600u * 1200u);
    EXPECT_EQ(a.pixels, b.pixels);
    ASSERT_EQ(a.worms.size(), 12u);
    for (std::size_t i = 0; i < a.worms.size(); ++i) {
        EXPECT_EQ(a.worms[i].id, static_cast<int>(i));
        EXPECT_EQ(a.worms[i].x, b.worms[i].x);
        EXPECT_EQ(a.worms[i].y, b.worms[i].y);
    }

    const auto later = plate::drawPlate(o, 18.25);
    EXPECT_NE(a.pixels, later.pixels);
    o.seed = 43;
    const auto other = plate::drawPlate(o, 17.25);
    EXPECT_NE(a.worms[0].x, other.worms[0].x);
}

TEST(Plate, WormsStayInsideTheAnalysisEllipseForHours) {
    plate::PlateOptions o;
    o.worms = 30;
    o.seed = 5;
    o.speed = 3.0;
    double worst = 0.0;
    for (double t = 0.0; t < 4 * 3600.0; t += 97.0) {
        for (const auto& w : plate::drawPlate(o, t).worms)
            worst = std::max(worst, ellipseRadius(w.x, w.y));
    }
    // A worm is at most 15 px from its centre: keep centres well inside.
    EXPECT_LT(worst, 0.94);
    EXPECT_GT(worst, 0.5); // and they do roam
}

TEST(Plate, WormsCrawlAFewPixelsPerSecondScaledBySpeed) {
    plate::PlateOptions o;
    o.worms = 20;
    o.seed = 9;
    const auto a = plate::drawPlate(o, 100.0);
    const auto b = plate::drawPlate(o, 110.0);
    double sum = 0.0;
    for (std::size_t i = 0; i < a.worms.size(); ++i)
        sum += std::hypot(b.worms[i].x - a.worms[i].x, b.worms[i].y - a.worms[i].y);
    const double meanSpeed = sum / a.worms.size() / 10.0;
    EXPECT_GT(meanSpeed, 1.0);
    EXPECT_LT(meanSpeed, 12.0);

    // Twice the speed covers in 5 s what the plain speed covers in 10 s.
    plate::PlateOptions fast = o;
    fast.speed = 2.0;
    const auto f = plate::drawPlate(fast, 55.0);
    for (std::size_t i = 0; i < b.worms.size(); ++i) {
        EXPECT_NEAR(f.worms[i].x, b.worms[i].x, 1e-6);
        EXPECT_NEAR(f.worms[i].y, b.worms[i].y, 1e-6);
    }
    // Speed 0: nobody moves.
    plate::PlateOptions still = o;
    still.speed = 0.0;
    EXPECT_EQ(plate::drawPlate(still, 3.0).worms[4].x, plate::drawPlate(still, 900.0).worms[4].x);
}

TEST(Plate, EveryWormIsClearlyDarkerThanTheAgarAroundIt) {
    plate::PlateOptions o;
    o.worms = 20;
    o.seed = 3;
    const auto f = plate::drawPlate(o, 250.0);
    for (const auto& w : f.worms) {
        const int cx = static_cast<int>(std::lround(w.x));
        const int cy = static_cast<int>(std::lround(w.y));
        int darkest = 255;
        for (int y = cy - 3; y <= cy + 3; ++y)
            for (int x = cx - 3; x <= cx + 3; ++x)
                darkest = std::min(darkest, pixel(f, x, y));
        // Agar level from a ring 25 px away, where no part of this worm reaches.
        std::vector<int> ring;
        for (int k = 0; k < 32; ++k) {
            const double a = k * 2 * 3.14159265 / 32;
            ring.push_back(pixel(f, cx + static_cast<int>(25 * std::cos(a)),
                                 cy + static_cast<int>(25 * std::sin(a))));
        }
        std::nth_element(ring.begin(), ring.begin() + 16, ring.end());
        const int agar = ring[16];
        EXPECT_GT(agar, 110) << "worm " << w.id;
        // A clear but faint shadow, as the finder's default training expects of a worm.
        EXPECT_LT(darkest, agar - 20) << "worm " << w.id << " at " << w.x << "," << w.y;
        EXPECT_GT(darkest, agar * 0.45) << "worm " << w.id << " at " << w.x << "," << w.y;
    }
}

TEST(Plate, SmallFramesScaleThePlateAndTheTruth) {
    plate::PlateOptions full;
    full.worms = 6;
    plate::PlateOptions small = full;
    small.width = 640;
    small.height = 480;
    const auto a = plate::drawPlate(full, 30.0);
    const auto b = plate::drawPlate(small, 30.0);
    ASSERT_EQ(b.pixels.size(), 640u * 480u);
    for (std::size_t i = 0; i < a.worms.size(); ++i) {
        EXPECT_NEAR(b.worms[i].x, a.worms[i].x * 0.4, 0.01);
        EXPECT_NEAR(b.worms[i].y, a.worms[i].y * 0.4, 0.01);
    }
}

TEST(Plate, BrightnessLightsTheAgarAndThePgmHeaderIsPlain) {
    plate::PlateOptions o;
    o.worms = 0;
    const auto dim = plate::drawPlate(o, 1.0);
    o.brightness = 30;
    const auto lit = plate::drawPlate(o, 1.0);
    EXPECT_GE(pixel(lit, 752, 625) - pixel(dim, 752, 625), 22);

    const std::string pgm = plate::toPgm(dim);
    ASSERT_EQ(pgm.size(), 17u + 1600u * 1200u);
    EXPECT_EQ(pgm.substr(0, 17), "P5\n1600 1200\n255\n");
    EXPECT_EQ(static_cast<unsigned char>(pgm[17 + 625 * 1600 + 752]), pixel(dim, 752, 625));
}

} // namespace
