#pragma once

// Properties of a captured frame (RGB rows from the top, as the capture mode writes them):
// means over rectangles and the checks every picture of the terrain must pass.

#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "gfx/Image.h"

namespace support {

using Pixel = const unsigned char*;

// The mean of f over the pixels of rows [y0, y1) and columns [x0, x1).
inline double mean(const gfx::Image& image, int x0, int y0, int x1, int y1, const std::function<double(Pixel)>& f)
{
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            sum += f(image.data + (size_t(y) * image.width + x) * 3);
    return sum / double(int64_t(x1 - x0) * (y1 - y0));
}
inline double luminance(Pixel p) { return 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]; }
inline double blue(Pixel p) { return p[2] - p[0]; }
// The debug geometry's magenta, lit or in shade.
inline double magenta(Pixel p) { return p[1] < 60 && p[0] > 120 && p[2] > 120 && std::abs(p[0] - p[2]) < 40; }
// Where nothing was drawn: the clear colour, black, or magenta.
inline double hole(Pixel p)
{
    return (std::abs(p[0] - 51) <= 2 && std::abs(p[1] - 76) <= 2 && std::abs(p[2] - 76) <= 2) || luminance(p) < 8 ||
           (p[0] > 200 && p[2] > 200 && p[1] < 60);
}

// The default 1280 x 720 window: the scene right of the Options window, the rows above the
// status bar.
constexpr int SCENE_LEFT = 320, OVERLAY_BOTTOM = 210, STATUS_BAR_TOP = 695;

// Blue sky in the top rows of the scene, and below row 480 ground that is lit, not sky-coloured
// and without a hole (hazy dark forest comes close to the clear colour here and there: 2 %
// are let pass).
inline ::testing::AssertionResult sky_over_ground(const gfx::Image& picture)
{
    if (picture.width != 1280 || picture.height != 720)
        return ::testing::AssertionFailure() << "a picture of " << picture.width << " x " << picture.height;
    const double sky_blue = mean(picture, SCENE_LEFT, 0, 1280, 40, blue);
    const double ground = mean(picture, 0, 480, 1280, STATUS_BAR_TOP, luminance);
    const double ground_blue = mean(picture, 0, 480, 1280, STATUS_BAR_TOP, blue);
    const double holes = mean(picture, 0, 480, 1280, STATUS_BAR_TOP, hole);
    if (sky_blue > 20 && ground > 30 && ground_blue < sky_blue && holes < 0.02)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "sky blue " << sky_blue << ", ground luminance " << ground << ", ground blue "
                                         << ground_blue << ", holes " << holes;
}

} // namespace support
