#pragma once

// Heights from elevation tile pixels. The two encodings of the elevation servers:
// RG_ENCODED stores 32 × R + G / 8 metres (0 to 8191.875), SINGLE_BYTE stores R / 255 of
// 3795 metres.

#include "app/Config.h"
#include "tiles/TileId.h"

#include <cstdint>
#include <vector>

// Metres above sea level of one pixel's first two channels.
float decode_elevation(uint8_t r, uint8_t g, ElevationEncoding encoding);

// Nearest-pixel sample of pixels (rows top to bottom, `channels` bytes per pixel): column
// (width − 1) × u and row (height − 1) × v, truncated. Metres; 0 for an image without data
// or with a non-positive size or channel count, and for u or v outside [0, 1]. A single
// channel image reads G as 0.
float sample_elevation(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels, float u, float v,
                       ElevationEncoding encoding);

// Metres at latitude (degrees) expressed in Mercator metres: metres / |cos(latitude)|.
float mercator_height(float metres, double latitude);

// The first two channels of an elevation tile, kept on the CPU beside its texture so
// heights are answered without reading the texture back.
struct ElevationSamples {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rg; // width × height pairs (R, G), rows top to bottom

    // Copies R and G of each pixel; empty for an image without data.
    static ElevationSamples from_pixels(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels);

    bool empty() const { return rg.empty(); }
    float sample(float u, float v, ElevationEncoding encoding) const
    {
        return sample_elevation(rg.empty() ? nullptr : rg.data(), width, height, 2, u, v, encoding);
    }
};
