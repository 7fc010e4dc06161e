#include "terrain/Elevation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using E = ElevationEncoding;

TEST(Elevation, DecodesTheFourEncodings)
{
    struct Case {
        uint8_t r, g, b;
        E encoding;
        float metres;
    };
    const Case cases[] = {
        {10, 16, 99, E::RG_ENCODED, 322.0f},       // blue ignored
        {255, 255, 0, E::RG_ENCODED, 8191.875f},
        {51, 200, 0, E::SINGLE_BYTE, 759.0f},      // green ignored
        {255, 0, 0, E::SINGLE_BYTE, 3795.0f},
        {128, 0, 0, E::TERRARIUM, 0.0f},
        {128, 1, 1, E::TERRARIUM, 1.00390625f},    // 1/256 m survives
        {0, 0, 0, E::TERRARIUM, -32768.0f},
        {255, 255, 255, E::TERRARIUM, 32767.99609375f},
        {127, 254, 128, E::TERRARIUM, -1.5f},      // Dead Sea side of zero
        {1, 134, 160, E::TERRAIN_RGB, 0.0f},       // 100000 tenths
        {1, 134, 161, E::TERRAIN_RGB, 0.1f},
        {0, 0, 0, E::TERRAIN_RGB, -10000.0f},
        {255, 255, 255, E::TERRAIN_RGB, 1667721.5f},
        {1, 112, 197, E::TERRAIN_RGB, -559.5f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(decode_elevation(c.r, c.g, c.b, c.encoding), c.metres, 1e-3f)
            << int(c.r) << "," << int(c.g) << "," << int(c.b) << " encoding " << int(c.encoding);
    EXPECT_EQ(max_encoded_elevation(E::RG_ENCODED), 8191.875f);
    EXPECT_EQ(min_encoded_elevation(E::TERRARIUM), -32768.0f);
}

TEST(Elevation, HeightCorrectionDividesByTheCosineOfLatitude)
{
    EXPECT_NEAR(mercator_height(322.0f, 60.0), 644.0f, 1e-3f);
    EXPECT_NEAR(mercator_height(322.0f, -60.0), 644.0f, 1e-3f);
}

// A 256 × 256 RGB tile in RG encoding whose R is the column and G the row of each pixel:
// 32 × column + row / 8 metres.
std::vector<uint8_t> ramp_tile()
{
    std::vector<uint8_t> pixels(256 * 256 * 3);
    for (int row = 0; row < 256; ++row)
        for (int column = 0; column < 256; ++column) {
            uint8_t* p = &pixels[(static_cast<size_t>(row) * 256 + column) * 3];
            p[0] = static_cast<uint8_t>(column);
            p[1] = static_cast<uint8_t>(row);
        }
    return pixels;
}

TEST(Elevation, SamplesPickTheNearestPixelAndAgreeWithTheDecodedTile)
{
    const std::vector<uint8_t> tile = ramp_tile();
    const ElevationSamples samples = ElevationSamples::decode(tile.data(), 256, 256, 3, E::RG_ENCODED);
    struct Case {
        float u, v;
        int column, row;
    };
    const Case cases[] = {{0.999f, 0.0f, 254, 0}, {1.0f, 1.0f, 255, 255}, {0.004f, 0.5f, 1, 127}};
    for (const Case& c : cases) {
        const float expected = 32.0f * static_cast<float>(c.column) + static_cast<float>(c.row) / 8.0f;
        EXPECT_NEAR(sample_elevation(tile.data(), 256, 256, 3, c.u, c.v, E::RG_ENCODED), expected, 1e-3f) << c.u;
        EXPECT_EQ(samples.sample(c.u, c.v), expected) << c.u;
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float u : {-0.001f, 1.001f, nan}) {
        EXPECT_EQ(sample_elevation(tile.data(), 256, 256, 3, u, 0.5f, E::RG_ENCODED), 0.0f) << u;
        EXPECT_EQ(samples.sample(u, 0.5f), 0.0f) << u;
    }
    EXPECT_EQ(sample_elevation(nullptr, 256, 256, 3, 0.5f, 0.5f, E::RG_ENCODED), 0.0f);
    EXPECT_TRUE(ElevationSamples::decode(nullptr, 256, 256, 3, E::RG_ENCODED).empty());
}

TEST(Elevation, InterpolationReadsWhatTheLinearFilterReads)
{
    const std::vector<uint8_t> tile = ramp_tile();
    const ElevationSamples samples = ElevationSamples::decode(tile.data(), 256, 256, 3, E::RG_ENCODED);
    // Pixel centres sit at (i + 0.5) / 256; halfway between columns 10 and 11 of row 20.
    EXPECT_NEAR(samples.interpolate(11.0 / 256.0, 20.5 / 256.0), 32.0f * 10.5f + 20.0f / 8.0f, 1e-3f);
    // Edges clamp: the corner pixel's own height, also beyond the tile.
    EXPECT_NEAR(samples.interpolate(0.0, 0.0), 0.0f, 1e-3f);
    EXPECT_NEAR(samples.interpolate(1.5, 1.0), 32.0f * 255.0f + 255.0f / 8.0f, 1e-3f);
}

} // namespace

namespace {

// Shading takes its slopes from the normals: a ramp rising east leans them west, by its angle,
// and level ground's point up; the edges, without a neighbour, still see the slope.
TEST(Elevation, NormalsLeanAwayFromTheRise)
{
    ElevationSamples ramp;
    ramp.width = ramp.height = 4;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            ramp.metres.push_back(static_cast<float>(column) * 10.0f); // 10 m up per 10 m pixel: 45 degrees
    const std::vector<uint8_t> pairs = ramp.normal_pairs(10.0);
    ASSERT_EQ(pairs.size(), 32u);
    for (size_t pixel : {0u, 5u, 15u}) {
        EXPECT_NEAR(pairs[2 * pixel] / 127.5 - 1.0, -std::sqrt(0.5), 0.01) << pixel; // east component
        EXPECT_NEAR(pairs[2 * pixel + 1] / 127.5 - 1.0, 0.0, 0.01) << pixel;         // south component
    }
    ramp.metres.assign(16, 5.0f);
    EXPECT_NEAR(ramp.normal_pairs(10.0)[0] / 127.5 - 1.0, 0.0, 0.01);
}

} // namespace
