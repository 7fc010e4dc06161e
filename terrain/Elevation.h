#pragma once

// Heights from elevation tile pixels, in the four encodings elevation servers use:
//   SINGLE_BYTE  R / 255 of 3795 metres
//   RG_ENCODED   32 × R + G / 8 metres (0 to 8191.875)
//   TERRARIUM    R × 256 + G + B / 256 − 32768 metres
//   TERRAIN_RGB  −10000 + (R × 65536 + G × 256 + B) × 0.1 metres
// Tiles are decoded once, when they arrive, into metres as floats: the GPU and the CPU then
// read the same heights, and the finest steps (1/256 m, 0.1 m) survive on the way to the GPU.

#include "tiles/ElevationEncoding.h"
#include "tiles/TileId.h"

#include <cstdint>
#include <vector>

// Metres above sea level of one pixel (a missing channel reads as 0).
float decode_elevation(uint8_t r, uint8_t g, uint8_t b, ElevationEncoding encoding);

// The highest and lowest heights an encoding can express, metres: bounds for culling.
float max_encoded_elevation(ElevationEncoding encoding);
float min_encoded_elevation(ElevationEncoding encoding);

// Nearest-pixel sample of pixels (rows top to bottom, `channels` bytes per pixel): column
// (width − 1) × u and row (height − 1) × v, truncated. Metres; 0 for an image without data
// or with a non-positive size or channel count, and for u or v outside [0, 1].
float sample_elevation(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels, float u, float v,
                       ElevationEncoding encoding);

// Metres at latitude (degrees) expressed in Mercator metres: metres / |cos(latitude)|.
float mercator_height(float metres, double latitude);

// One elevation tile decoded to metres, kept on the CPU beside its texture so heights are
// answered without reading the texture back.
struct ElevationSamples {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<float> metres; // width × height, rows top (north) to bottom
    float lowest = 0.0f;       // of metres; 0 when empty
    float highest = 0.0f;

    // Decodes every pixel; empty for an image without data.
    static ElevationSamples decode(const uint8_t* pixels, int32_t width, int32_t height, int32_t channels,
                                   ElevationEncoding encoding);

    bool empty() const { return metres.empty(); }
    // Sets lowest and highest from metres.
    void update_range();
    // Nearest pixel, as sample_elevation; 0 outside [0, 1] or when empty.
    float sample(float u, float v) const;
    // Unit surface normals as pairs of bytes, x (east) then z (south), each mapped from
    // [-1, 1] to [0, 255] (the up component follows from them), from central differences of
    // the heights; texel_metres is the true ground size of one pixel. Empty when empty.
    std::vector<uint8_t> normal_pairs(double texel_metres) const;
    // Bilinear between pixel centres with the edges clamped: what the GPU's linear filter
    // reads at (u, v), so the terrain's vertices stand exactly at these heights. u and v are
    // clamped to [0, 1]; 0 when empty.
    float interpolate(double u, double v) const;
};
