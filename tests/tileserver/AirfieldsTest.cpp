// The offline world's airfields: the shipped runways.csv is what the generator writes, and the
// served tiles show the runways it lists, flat in the elevation and painted in the imagery.

#include "tools/Airfields.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "gfx/Image.h"
#include "terrain/Elevation.h"
#include "terrain/RunwayFile.h"
#include "terrain/RunwayGround.h"
#include "terrain/RunwayThreshold.h"
#include "tests/support/Support.h"
#include "tiles/WebMercator.h"
#include "tools/TileStore.h"

TEST(Airfields, TheShippedRunwaysAreTheGeneratorsAndStartAtTheDefaultPosition)
{
    const std::string shipped = support::read_file(std::filesystem::path(WH_SOURCE_DIR) / "assets/data/runways.csv");
    EXPECT_EQ(shipped, tileserver::airfields_csv()) << "regenerate with: wh_tileserver --write-runways assets/data/runways.csv";
    const RunwayFileContents contents = parse_runways(shipped);
    EXPECT_EQ(std::tuple(contents.runways.size(), contents.skipped, contents.unreadable), std::tuple(5u, 0u, 0u));
    const RunwayIndex index(contents.runways);
    const ThresholdPlacement start = std::get<ThresholdPlacement>(place_at_threshold(index, "WHIN", "28"));
    EXPECT_LT(great_circle_distance(start.position, LatLon{47.2576, 11.3513}), 0.5) << to_string(start.position);
}

// Read as the program reads a served tile (its image decoder, then terrain/Elevation.h), the
// ground along the main runway and across it lies on the line between the file's elevations of
// its ends, in 256 and 512 pixels; the imagery shows grey asphalt and white threshold stripes.
TEST(Airfields, TheServedTilesShowTheRunwaysFlatAndPainted)
{
    const RunwayIndex& index = tileserver::airfield_runways();
    const RunwayIndex::Found main = *index.find("WHIN", "10");
    const Runway& runway = index.runway(main.runway);
    const RunwayShape& shape = index.shape(main.runway);
    const double low = *runway.ends[LOW_END].elevation_m;
    const double high = *runway.ends[HIGH_END].elevation_m;
    const auto line = [&](double along) {
        return low + (high - low) * (along - shape.end_along(LOW_END)) / (shape.end_along(HIGH_END) - shape.end_along(LOW_END));
    };
    tileserver::TileStore store;
    const auto image = [&](tileserver::Layer layer, const TileId& tile, int size) {
        const auto body = store.body(layer, {tile.zoom, tile.x, tile.y}, size);
        return gfx::Image(reinterpret_cast<const unsigned char*>(body->data()), body->size());
    };
    for (int size : {256, 512}) {
        const TileId tile = tile_at(shape.position({300.0, 0.0}), 15);
        const gfx::Image picture = image(tileserver::Layer::ElevationTerrarium, tile, size);
        const ElevationSamples heights =
            ElevationSamples::decode(picture.data, picture.width, picture.height, picture.channels, ElevationEncoding::TERRARIUM);
        int checked = 0;
        for (double along = -1200.0; along <= 1200.0; along += 50.0)
            for (double across : {-15.0, 0.0, 15.0}) {
                const TileUV uv = position_in_tile(shape.position({along, across}), tile);
                if (uv.u < 0.0 || uv.u > 1.0 || uv.v < 0.0 || uv.v > 1.0)
                    continue;
                EXPECT_NEAR(heights.interpolate(uv.u, uv.v), line(along), 0.02) << size << " px, along " << along << ", across " << across;
                ++checked;
            }
        EXPECT_GE(checked, 30) << "points of the runway on the tile";
    }

    // Imagery pixel i of a served tile lies at i / (n − 1) of it.
    const auto pixel = [&](const gfx::Image& picture, const TileId& tile, const RunwayPoint& point) {
        const TileUV uv = position_in_tile(shape.position(point), tile);
        const int column = int(std::lround(uv.u * (picture.width - 1)));
        const int row = int(std::lround(uv.v * (picture.height - 1)));
        return picture.data + (size_t(row) * picture.width + column) * picture.channels;
    };
    const double threshold = shape.end_along(LOW_END) + runway.ends[LOW_END].displaced_threshold_m;
    const TileId tile = tile_at(shape.position({threshold + 20.0, 0.0}), 17);
    const gfx::Image picture = image(tileserver::Layer::ImageryPng, tile, 512);
    const unsigned char* asphalt = pixel(picture, tile, {threshold + 100.0, 10.0});
    EXPECT_LT(std::max({asphalt[0], asphalt[1], asphalt[2]}) - std::min({asphalt[0], asphalt[1], asphalt[2]}), 10);
    EXPECT_LT(asphalt[1], 110);
    int white = 0, count = 0;
    for (double along = threshold + 10.0; along < threshold + 30.0; along += 1.0)
        for (double across = 3.0; across < 17.0; across += 0.3, ++count)
            white += pixel(picture, tile, {along, across})[1] > 200 ? 1 : 0;
    EXPECT_GT(double(white) / count, 0.3) << "threshold stripes";
    EXPECT_LT(double(white) / count, 0.7) << "threshold stripes with gaps";
}
