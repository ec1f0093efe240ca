#pragma once
// Window geometry is given in twips; the screen has 15 twips to the pixel.

#include <cmath>

namespace ui {

constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(double twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

inline double pixelsToTwips(int pixels) {
    return static_cast<double>(pixels) * kTwipsPerPixel;
}

} // namespace ui
