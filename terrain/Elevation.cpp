#include "terrain/Elevation.h"

#include "tiles/WebMercator.h"

#include <cmath>

float decode_elevation(uint8_t r, uint8_t g, ElevationEncoding encoding)
{
    const float rf = static_cast<float>(r) / 255.0f;
    const float gf = static_cast<float>(g) / 255.0f;
    switch (encoding) {
    case ElevationEncoding::RG_ENCODED:
        return rf * 255.0f * 32.0f + gf * 255.0f * 0.125f;
    case ElevationEncoding::SINGLE_BYTE:
        return rf * 3795.0f;
    }
    return 0.0f;
}

float sample_elevation(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels, float u, float v,
                       ElevationEncoding encoding)
{
    // The negated comparisons also turn NaN coordinates away.
    if (pixels == nullptr || width <= 0 || height <= 0 || channels <= 0 || !(u >= 0.0f && u <= 1.0f) ||
        !(v >= 0.0f && v <= 1.0f))
        return 0.0f;
    const auto column = static_cast<int64_t>(static_cast<float>(width - 1) * u);
    const auto row = static_cast<int64_t>(static_cast<float>(height - 1) * v);
    const uint8_t* pixel = pixels + (row * width + column) * channels;
    return decode_elevation(pixel[0], channels >= 2 ? pixel[1] : 0, encoding);
}

float mercator_height(float metres, double latitude)
{
    return static_cast<float>(static_cast<double>(metres) / std::abs(std::cos(latitude * DEG_TO_RAD)));
}

ElevationSamples ElevationSamples::from_pixels(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels)
{
    ElevationSamples samples;
    if (pixels == nullptr || width <= 0 || height <= 0 || channels <= 0)
        return samples;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    samples.width = width;
    samples.height = height;
    samples.rg.resize(count * 2);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* pixel = pixels + i * static_cast<size_t>(channels);
        samples.rg[2 * i] = pixel[0];
        samples.rg[2 * i + 1] = channels >= 2 ? pixel[1] : 0;
    }
    return samples;
}
