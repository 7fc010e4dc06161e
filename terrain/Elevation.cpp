#include "terrain/Elevation.h"

#include "tiles/WebMercator.h"

#include <algorithm>
#include <cmath>

float decode_elevation(uint8_t r, uint8_t g, uint8_t b, ElevationEncoding encoding)
{
    switch (encoding) {
    case ElevationEncoding::RG_ENCODED:
        return static_cast<float>(r) * 32.0f + static_cast<float>(g) * 0.125f;
    case ElevationEncoding::SINGLE_BYTE:
        return static_cast<float>(r) / 255.0f * 3795.0f;
    case ElevationEncoding::TERRARIUM:
        // Every step of 1/256 m is exact in a float up to the format's 32767 m.
        return static_cast<float>(r) * 256.0f + static_cast<float>(g) + static_cast<float>(b) / 256.0f - 32768.0f;
    case ElevationEncoding::TERRAIN_RGB: {
        // 24 bits of tenths of a metre: summed as an integer, so the sum loses nothing.
        const int32_t tenths = (int32_t{r} << 16) | (int32_t{g} << 8) | int32_t{b};
        return static_cast<float>(static_cast<double>(tenths) * 0.1 - 10000.0);
    }
    }
    return 0.0f;
}

float max_encoded_elevation(ElevationEncoding encoding)
{
    return decode_elevation(255, 255, 255, encoding);
}

float min_encoded_elevation(ElevationEncoding encoding)
{
    return decode_elevation(0, 0, 0, encoding);
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
    return decode_elevation(pixel[0], channels >= 2 ? pixel[1] : 0, channels >= 3 ? pixel[2] : 0, encoding);
}

float mercator_height(float metres, double latitude)
{
    return static_cast<float>(static_cast<double>(metres) / std::abs(std::cos(latitude * DEG_TO_RAD)));
}

ElevationSamples ElevationSamples::decode(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels,
                                          ElevationEncoding encoding)
{
    ElevationSamples samples;
    if (pixels == nullptr || width <= 0 || height <= 0 || channels <= 0)
        return samples;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    samples.width = width;
    samples.height = height;
    samples.metres.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* pixel = pixels + i * static_cast<size_t>(channels);
        samples.metres[i] =
            decode_elevation(pixel[0], channels >= 2 ? pixel[1] : 0, channels >= 3 ? pixel[2] : 0, encoding);
    }
    samples.update_range();
    return samples;
}

void ElevationSamples::update_range()
{
    if (metres.empty()) {
        lowest = highest = 0.0f;
        return;
    }
    const auto [low, high] = std::minmax_element(metres.begin(), metres.end());
    lowest = *low;
    highest = *high;
}

float ElevationSamples::sample(float u, float v) const
{
    if (empty() || !(u >= 0.0f && u <= 1.0f) || !(v >= 0.0f && v <= 1.0f))
        return 0.0f;
    const auto column = static_cast<size_t>(static_cast<float>(width - 1) * u);
    const auto row = static_cast<size_t>(static_cast<float>(height - 1) * v);
    return metres[row * static_cast<size_t>(width) + column];
}

float ElevationSamples::interpolate(double u, double v) const
{
    if (empty())
        return 0.0f;
    // NaN becomes the tile's north-west corner rather than an out-of-range index.
    u = std::isnan(u) ? 0.0 : std::clamp(u, 0.0, 1.0);
    v = std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
    const double x = u * width - 0.5;
    const double y = v * height - 0.5;
    const double x0 = std::floor(x);
    const double y0 = std::floor(y);
    const double fx = x - x0;
    const double fy = y - y0;
    const auto at = [this](double column, double row) {
        const auto c = static_cast<size_t>(std::clamp(column, 0.0, static_cast<double>(width - 1)));
        const auto r = static_cast<size_t>(std::clamp(row, 0.0, static_cast<double>(height - 1)));
        return static_cast<double>(metres[r * static_cast<size_t>(width) + c]);
    };
    const double top = at(x0, y0) * (1.0 - fx) + at(x0 + 1.0, y0) * fx;
    const double bottom = at(x0, y0 + 1.0) * (1.0 - fx) + at(x0 + 1.0, y0 + 1.0) * fx;
    return static_cast<float>(top * (1.0 - fy) + bottom * fy);
}

std::vector<uint8_t> ElevationSamples::normal_pairs(double texel_metres) const
{
    std::vector<uint8_t> pairs;
    if (empty() || !(texel_metres > 0.0))
        return pairs;
    pairs.resize(metres.size() * 2);
    const auto w = static_cast<size_t>(width);
    const auto h = static_cast<size_t>(height);
    const auto encode = [](float component) {
        return static_cast<uint8_t>(std::lround((std::clamp(component, -1.0f, 1.0f) + 1.0f) * 127.5f));
    };
    for (size_t row = 0; row < h; ++row) {
        // One-sided at the tile's edges: the neighbour tile is not at hand here.
        const size_t north = row > 0 ? row - 1 : row;
        const size_t south = row + 1 < h ? row + 1 : row;
        const auto dz = static_cast<float>(static_cast<double>(south - north) * texel_metres);
        for (size_t column = 0; column < w; ++column) {
            const size_t west = column > 0 ? column - 1 : column;
            const size_t east = column + 1 < w ? column + 1 : column;
            const auto dx = static_cast<float>(static_cast<double>(east - west) * texel_metres);
            const float slope_x = dx > 0.0f ? (metres[row * w + east] - metres[row * w + west]) / dx : 0.0f;
            const float slope_z = dz > 0.0f ? (metres[south * w + column] - metres[north * w + column]) / dz : 0.0f;
            const float inverse_length = 1.0f / std::sqrt(slope_x * slope_x + 1.0f + slope_z * slope_z);
            pairs[2 * (row * w + column)] = encode(-slope_x * inverse_length);
            pairs[2 * (row * w + column) + 1] = encode(-slope_z * inverse_length);
        }
    }
    return pairs;
}
