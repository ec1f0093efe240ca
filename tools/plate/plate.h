#pragma once
// Synthetic plates: a 1600 x 1200 gray frame of agar with uneven light, the plate rim, camera
// noise and dark crawling worms, together with the true centre of every worm. The worms are
// drawn as the finder's default training expects them (17-22 px long, 2-4 px wide, a faint
// shadow of the agar around them, seldom closer than 40 px to each other), so that the finder
// with the default options finds them, also after the camera's JPEG round trip.
// The plate is centred on the default analysis rectangle (xs 335, xe 1170, ys 215, ye 1035); its
// rim is a circle of radius 432 px just around the ellipse inscribed in that rectangle, and the
// worm centres stay within 370 px of the centre. Other frame sizes scale all of it.

#include <cstdint>
#include <string>
#include <vector>

namespace plate {

struct PlateOptions {
    int worms = 20;         // how many worms crawl on the plate
    std::uint32_t seed = 1; // the same seed and time give the same frame
    double speed = 1.0;     // factor on the crawling speed (a few pixels per second at 1)
    int brightness = 0;     // added to the agar gray level (the device lamp brightens it)
    int width = 1600;       // frame size; the plate scales with it
    int height = 1200;
};

struct WormTruth {
    int id = 0;     // 0 .. worms-1, stable over time
    double x = 0.0; // true centre in frame pixels
    double y = 0.0;
};

struct PlateFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // row by row, width x height bytes
    std::vector<WormTruth> worms;
};

// Draws the plate at `timeSeconds` after the start.
PlateFrame drawPlate(const PlateOptions& options, double timeSeconds);

// The frame as a binary PGM: "P5\n<w> <h>\n255\n" and the pixels.
std::string toPgm(const PlateFrame& frame);

} // namespace plate
