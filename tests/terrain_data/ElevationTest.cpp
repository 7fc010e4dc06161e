#include "terrain/Elevation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// A 256 × 256 RGB tile whose R is the column and G the row of each pixel.
std::vector<uint8_t> ramp_tile(int32_t size = 256)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 3);
    for (int32_t row = 0; row < size; ++row)
        for (int32_t column = 0; column < size; ++column) {
            uint8_t* p = &pixels[(static_cast<size_t>(row) * size + column) * 3];
            p[0] = static_cast<uint8_t>(column);
            p[1] = static_cast<uint8_t>(row);
            p[2] = 77;
        }
    return pixels;
}

TEST(Elevation, DecodesBothEncodings)
{
    struct Case {
        uint8_t r, g;
        ElevationEncoding encoding;
        float metres;
    };
    const Case cases[] = {
        {10, 16, ElevationEncoding::RG_ENCODED, 322.0f},
        {0, 0, ElevationEncoding::RG_ENCODED, 0.0f},
        {255, 255, ElevationEncoding::RG_ENCODED, 8191.875f},
        {0, 8, ElevationEncoding::RG_ENCODED, 1.0f},
        {255, 0, ElevationEncoding::SINGLE_BYTE, 3795.0f},
        {255, 200, ElevationEncoding::SINGLE_BYTE, 3795.0f}, // G is ignored
        {0, 0, ElevationEncoding::SINGLE_BYTE, 0.0f},
        {51, 0, ElevationEncoding::SINGLE_BYTE, 759.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(decode_elevation(c.r, c.g, c.encoding), c.metres, 1e-3f)
            << "R " << int(c.r) << ", G " << int(c.g) << ", encoding " << int(c.encoding);
    EXPECT_EQ(decode_elevation(10, 16, static_cast<ElevationEncoding>(5)), 0.0f);
}

TEST(Elevation, HeightCorrectionDividesByTheCosineOfLatitude)
{
    EXPECT_NEAR(mercator_height(322.0f, 60.0), 644.0f, 1e-3f);
    EXPECT_NEAR(mercator_height(322.0f, -60.0), 644.0f, 1e-3f);
    EXPECT_FLOAT_EQ(mercator_height(322.0f, 0.0), 322.0f);
    EXPECT_NEAR(mercator_height(1000.0f, 47.2576), 1000.0 / std::cos(47.2576 * 3.141592653589793 / 180.0), 1e-3);
}

TEST(Elevation, NearestPixelTruncates)
{
    const std::vector<uint8_t> tile = ramp_tile();
    struct Case {
        float u, v;
        int column, row;
    };
    const Case cases[] = {
        {0.0f, 0.0f, 0, 0},       {0.999f, 0.0f, 254, 0}, {1.0f, 0.0f, 255, 0},   {0.0f, 0.999f, 0, 254},
        {1.0f, 1.0f, 255, 255},   {0.5f, 0.5f, 127, 127}, {0.0039f, 0.0f, 0, 0}, {0.004f, 0.0f, 1, 0},
    };
    for (const Case& c : cases) {
        // RG: 32 × column + row / 8 metres.
        const float expected = 32.0f * static_cast<float>(c.column) + static_cast<float>(c.row) / 8.0f;
        EXPECT_NEAR(sample_elevation(tile.data(), 256, 256, 3, c.u, c.v, ElevationEncoding::RG_ENCODED), expected, 1e-3f)
            << "u " << c.u << ", v " << c.v;
    }
}

TEST(Elevation, UnusableSamplesReadZero)
{
    const std::vector<uint8_t> tile = ramp_tile();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        const uint8_t* pixels;
        int32_t width, height, channels;
        float u, v;
    };
    const Case cases[] = {
        {"u below 0", tile.data(), 256, 256, 3, -0.001f, 0.5f},
        {"u above 1", tile.data(), 256, 256, 3, 1.001f, 0.5f},
        {"v below 0", tile.data(), 256, 256, 3, 0.5f, -0.5f},
        {"v above 1", tile.data(), 256, 256, 3, 0.5f, 2.0f},
        {"u NaN", tile.data(), 256, 256, 3, nan, 0.5f},
        {"no data", nullptr, 256, 256, 3, 0.5f, 0.5f},
        {"zero width", tile.data(), 0, 256, 3, 0.5f, 0.5f},
        {"negative height", tile.data(), 256, -1, 3, 0.5f, 0.5f},
        {"no channels", tile.data(), 256, 256, 0, 0.5f, 0.5f},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sample_elevation(c.pixels, c.width, c.height, c.channels, c.u, c.v, ElevationEncoding::RG_ENCODED), 0.0f)
            << c.name;
    // In range but at a pixel of height 0 it is still 0 — and a real height elsewhere is not.
    EXPECT_GT(sample_elevation(tile.data(), 256, 256, 3, 0.5f, 0.5f, ElevationEncoding::RG_ENCODED), 0.0f);
}

TEST(Elevation, SingleChannelImagesReadGreenAsZero)
{
    const std::vector<uint8_t> gray = {100, 200, 50, 255};
    EXPECT_NEAR(sample_elevation(gray.data(), 2, 2, 1, 1.0f, 0.0f, ElevationEncoding::RG_ENCODED), 6400.0f, 1e-3f);
    EXPECT_NEAR(sample_elevation(gray.data(), 2, 2, 1, 1.0f, 1.0f, ElevationEncoding::SINGLE_BYTE), 3795.0f, 1e-3f);
}

TEST(Elevation, KeptSamplesAnswerLikeTheImage)
{
    const std::vector<uint8_t> tile = ramp_tile();
    const ElevationSamples samples = ElevationSamples::from_pixels(tile.data(), 256, 256, 3);
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.rg.size(), 256u * 256u * 2u);
    for (float u : {0.0f, 0.25f, 0.999f, 1.0f})
        for (float v : {0.0f, 0.6f, 1.0f})
            for (ElevationEncoding e : {ElevationEncoding::RG_ENCODED, ElevationEncoding::SINGLE_BYTE})
                EXPECT_EQ(samples.sample(u, v, e), sample_elevation(tile.data(), 256, 256, 3, u, v, e))
                    << "u " << u << ", v " << v;
    EXPECT_EQ(samples.sample(1.5f, 0.5f, ElevationEncoding::RG_ENCODED), 0.0f);

    const ElevationSamples none = ElevationSamples::from_pixels(nullptr, 256, 256, 3);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none.sample(0.5f, 0.5f, ElevationEncoding::RG_ENCODED), 0.0f);
}

} // namespace
