// The tile server's elevation routes show one world: every encoding, in 256 and in 512 pixels,
// gives the same heights at the same places within its precision, read as the program reads a
// served tile (its image decoder, then terrain/Elevation.h).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "gfx/Image.h"
#include "terrain/Elevation.h"
#include "tools/RequestPath.h"
#include "tools/TileStore.h"

namespace {

using E = ElevationEncoding;

// The body served for /{layer}/12/2176/1435{ending}, decoded: a tile north-west of the default
// start with the valley floor (about 700 m) and peaks above 3000 m.
gfx::Image fetch(tileserver::TileStore& store, const std::string& layer, const std::string& ending, int size)
{
    const std::string path = "/" + layer + "/12/2176/1435" + ending;
    const auto request = tileserver::parse_tile_path(path);
    EXPECT_TRUE(request) << path;
    if (!request)
        return {};
    const auto body = store.body(request->layer, request->tile, request->size);
    gfx::Image image(reinterpret_cast<const unsigned char*>(body->data()), body->size());
    EXPECT_TRUE(image.valid() && image.width == size && image.height == size) << path << ": " << image.width << " px";
    return image;
}

ElevationSamples heights(tileserver::TileStore& store, const std::string& route, const std::string& ending, int size,
                         E encoding)
{
    const gfx::Image image = fetch(store, "elevation/" + route, ending, size);
    return ElevationSamples::decode(image.data, image.width, image.height, image.channels, encoding);
}

} // namespace

TEST(ElevationRoutes, EveryEncodingAndSizeShowsTheSameHeightsAtTheSamePlaces)
{
    struct Route { const char* name; E encoding; double half_step_metres; };
    const Route routes[] = {
        {"terrain-rgb", E::TERRAIN_RGB, 0.05},
        {"rg", E::RG_ENCODED, 1.0 / 16.0},
        {"byte", E::SINGLE_BYTE, 3795.0 / 255.0 / 2.0},
    };
    tileserver::TileStore store;
    ElevationSamples terrarium[2]; // 256 and 512 pixels
    for (int large = 0; large < 2; ++large) {
        const int size = large ? 512 : 256;
        const std::string ending = large ? "@2x.png" : ".png";
        // Terrarium has the finest steps (1/256 m): the others are measured against it.
        const ElevationSamples& reference = terrarium[large] = heights(store, "terrarium", ending, size, E::TERRARIUM);
        ASSERT_FALSE(reference.empty());
        const auto [low, high] = std::minmax_element(reference.metres.begin(), reference.metres.end());
        ASSERT_GT(*high - *low, 1000.0f) << "the tile should hold mountains";
        for (const Route& route : routes) {
            const ElevationSamples decoded = heights(store, route.name, ending, size, route.encoding);
            ASSERT_EQ(decoded.metres.size(), reference.metres.size()) << route.name << ending;
            double worst = 0.0;
            for (size_t i = 0; i < decoded.metres.size(); ++i)
                worst = std::max(worst, std::fabs(double(decoded.metres[i]) - reference.metres[i]));
            EXPECT_LE(worst, route.half_step_metres + 0.5 / 256.0 + 1e-3) << route.name << ending;
        }
    }
    fetch(store, "imagery", "@2x.png", 512);
    fetch(store, "imagery", "@2x.jpg", 512);

    // A 512-pixel tile covers the same square as the 256-pixel one: the ground drawn from either
    // (read bilinearly, as the GPU reads it) stands at the same heights. The 512-pixel tile
    // carries finer detail, which moves sharp crests by tens of metres, so the mean difference
    // is the sharp measure: half a 256-pixel step out of place already makes it about 6 m.
    double worst = 0.0;
    double sum = 0.0;
    constexpr int STEPS = 32;
    for (int j = 0; j <= STEPS; ++j)
        for (int i = 0; i <= STEPS; ++i) {
            const double u = double(i) / STEPS, v = double(j) / STEPS;
            const double difference = std::fabs(double(terrarium[1].interpolate(u, v)) - terrarium[0].interpolate(u, v));
            worst = std::max(worst, difference);
            sum += difference;
        }
    EXPECT_LE(sum / ((STEPS + 1) * (STEPS + 1)), 3.0);
    EXPECT_LE(worst, 60.0);
}
