#include "tiles/WebMercator.h"

#include <unordered_set>

#include <gtest/gtest.h>

namespace {

const LatLon INNSBRUCK{47.2576, 11.3513};

TEST(WebMercator, TilesHoldingKnownPlacesAndTheirCorners)
{
    struct Case { LatLon position; uint32_t zoom; TileId tile; };
    const Case cases[] = {
        {{47.27, 11.40}, 12, {12, 2177, 1436}}, {INNSBRUCK, 7, {7, 68, 44}}, {{-85.0, 179.999}, 0, {0, 0, 0}},
        {{0.0, 0.0}, 1, {1, 1, 1}}, {{10.0, -10.0}, 1, {1, 0, 0}}, {{0.0, -180.0}, 5, {5, 0, 16}},
        {{0.0, 90.0}, 2, {2, 3, 2}}, {{0.0, 89.9999}, 2, {2, 2, 2}}, // borders belong east and south
    };
    for (const Case& c : cases)
        EXPECT_EQ(to_string(tile_at(c.position, c.zoom)), to_string(c.tile)) << to_string(c.position);
    EXPECT_EQ(tile_corner_at(INNSBRUCK, 7), (TileId{7, 68, 45}));
    EXPECT_EQ(tile_corner_at({-30.0, 100.0}, 3), (TileId{3, 6, 5}));
    EXPECT_EQ(corner_block({7, 68, 45}), (std::array<TileId, 4>{TileId{7, 67, 44}, {7, 68, 44}, {7, 68, 45}, {7, 67, 45}}));
    EXPECT_EQ(std::tuple(flip_row(3, 1), flip_row(12, 0), flip_row(0, 0)), std::tuple(6u, 4095u, 0u));
    const std::unordered_set<TileId> tiles{{3, 5, 1}, {3, 1, 5}, {3, 5, 1}, {4, 5, 1}};
    EXPECT_EQ(tiles.size(), 3u);
    EXPECT_NE(std::hash<TileId>{}({3, 5, 1}), std::hash<TileId>{}({3, 1, 5}));
}

TEST(WebMercator, TileBoundsAndPositionsInsideThem)
{
    const TileBounds world = tile_bounds({0, 0, 0});
    EXPECT_EQ(std::pair(world.lon_west, world.lon_east), std::pair(-180.0, 180.0));
    EXPECT_NEAR(world.lat_north, 85.0511287798, 1e-9);
    EXPECT_NEAR(world.lat_south, -85.0511287798, 1e-9);
    const TileId tile{12, 2177, 1436};
    const TileBounds b = tile_bounds(tile);
    EXPECT_EQ(std::pair(tile_bounds({12, 2178, 1436}).lon_west, tile_bounds({12, 2177, 1437}).lat_north),
              std::pair(b.lon_east, b.lat_south)) << "neighbours share their edges";
    EXPECT_NEAR(mercator_x(b.lon_west), 2177 * tile_size(12), 1e-6);
    EXPECT_NEAR(mercator_y(b.lat_north), 1436 * tile_size(12), 1e-5);
    EXPECT_DOUBLE_EQ(tile_size(0), EARTH_CIRCUMFERENCE);
    const TileUV nw = position_in_tile({b.lat_north, b.lon_west}, tile), se = position_in_tile({b.lat_south, b.lon_east}, tile);
    EXPECT_LT(std::abs(nw.u) + std::abs(nw.v) + std::abs(se.u - 1) + std::abs(se.v - 1), 1e-11);
}

TEST(WebMercator, TheWorldFrameRoundTrips)
{
    const double s = 0.05, x0 = mercator_x(INNSBRUCK.lon), y0 = mercator_y(INNSBRUCK.lat);
    EXPECT_EQ(std::pair(latlon_to_world(INNSBRUCK, x0, y0, s).x, latlon_to_world(INNSBRUCK, x0, y0, s).z), std::pair(0.0, 0.0));
    const WorldXZ north_east = latlon_to_world({INNSBRUCK.lat + 0.01, INNSBRUCK.lon + 0.01}, x0, y0, s);
    EXPECT_TRUE(north_east.x > 0.0 && north_east.z < 0.0) << "x east, z south";
    EXPECT_NEAR(mercator_x(world_to_latlon(1.0, 0.0, x0, y0, s).lon) - x0, 20.0, 1e-6) << "a unit is 20 m";
    for (const LatLon& p : {LatLon{0, 0}, LatLon{-33.86, 151.21}, LatLon{85.0, -179.9}, LatLon{-85.0, 179.9}}) {
        const WorldXZ w = latlon_to_world(p, x0, y0, s);
        const LatLon back = world_to_latlon(w.x, w.z, x0, y0, s);
        EXPECT_LT(std::abs(back.lat - p.lat) + std::abs(back.lon - p.lon), 1e-8) << to_string(p);
    }
}

} // namespace
