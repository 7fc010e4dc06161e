#include "tiles/WebMercator.h"

#include <cmath>
#include <set>
#include <unordered_set>

#include <gtest/gtest.h>

namespace {

// Reference FNV-1a over a byte array, written independently of the header's loop.
uint64_t reference_fnv1a(const unsigned char* bytes, size_t size)
{
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) {
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    }
    return hash;
}

uint64_t reference_h(uint32_t v)
{
    const unsigned char bytes[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    return reference_fnv1a(bytes, 4);
}

} // namespace

TEST(TileId, TextForm)
{
    EXPECT_EQ(to_string(TileId{0, 0, 0}), "z=0, x=0, y=0");
    EXPECT_EQ(to_string(TileId{12, 2177, 1436}), "z=12, x=2177, y=1436");
    EXPECT_EQ(to_string(TileId{31, 4294967295u, 7}), "z=31, x=4294967295, y=7");
}

TEST(TileId, EqualityAndOrdering)
{
    EXPECT_EQ((TileId{3, 5, 1}), (TileId{3, 5, 1}));
    EXPECT_NE((TileId{3, 5, 1}), (TileId{3, 1, 5}));
    // Lexicographic on zoom, then x, then y.
    const std::set<TileId> tiles{{2, 0, 3}, {1, 1, 0}, {2, 0, 1}, {1, 0, 1}, {2, 1, 0}};
    const std::vector<TileId> expected{{1, 0, 1}, {1, 1, 0}, {2, 0, 1}, {2, 0, 3}, {2, 1, 0}};
    EXPECT_EQ(std::vector<TileId>(tiles.begin(), tiles.end()), expected);
    EXPECT_LT((TileId{1, 9, 9}), (TileId{2, 0, 0}));
}

TEST(TileId, HashIsTheFnv1aCombination)
{
    // FNV-1a of the empty input is the offset basis; of the 4 zero bytes a known value.
    EXPECT_EQ(reference_fnv1a(nullptr, 0), 0xcbf29ce484222325ull);
    const std::vector<TileId> tiles{{0, 0, 0}, {12, 2177, 1436}, {3, 5, 1}, {31, 0xffffffffu, 0x12345678u}};
    for (const TileId& t : tiles) {
        const uint64_t expected = reference_h(t.zoom) ^ ((reference_h(t.x) ^ (reference_h(t.y) << 1)) << 1);
        EXPECT_EQ(fnv1a_64_u32(t.x), reference_h(t.x)) << to_string(t);
        EXPECT_EQ(std::hash<TileId>{}(t), expected) << to_string(t);
    }
    // x and y swapped hash differently, so the unordered map spreads a tile's neighbours.
    EXPECT_NE(std::hash<TileId>{}(TileId{3, 5, 1}), std::hash<TileId>{}(TileId{3, 1, 5}));
    std::unordered_set<TileId> set{{3, 5, 1}, {3, 1, 5}, {3, 5, 1}};
    EXPECT_EQ(set.size(), 2u);
}

TEST(WebMercator, ZoomZeroHasOneTile)
{
    const std::vector<LatLon> positions{{0, 0}, {85, -180}, {-85, 179.999}, {47.27, 11.4}};
    for (const LatLon& p : positions) {
        EXPECT_EQ(tile_at(p, 0), (TileId{0, 0, 0})) << to_string(p);
    }
    const TileBounds b = tile_bounds(TileId{0, 0, 0});
    EXPECT_DOUBLE_EQ(b.lon_west, -180.0);
    EXPECT_DOUBLE_EQ(b.lon_east, 180.0);
    EXPECT_NEAR(b.lat_north, 85.0511287798, 1e-9);
    EXPECT_NEAR(b.lat_south, -85.0511287798, 1e-9);
    EXPECT_DOUBLE_EQ(tile_size(0), EARTH_CIRCUMFERENCE);
}

TEST(WebMercator, TileAtKnownPlaces)
{
    struct Case {
        LatLon position;
        uint32_t zoom;
        TileId expected;
    };
    const std::vector<Case> cases{
        {{47.27, 11.40}, 12, {12, 2177, 1436}},
        {{47.2576, 11.3513}, 7, {7, 68, 44}},
        {{0.0, -180.0}, 5, {5, 0, 16}},   // lon -180 is column 0; the equator is the border of row 16
        {{0.0, 0.0}, 1, {1, 1, 1}},       // on both borders: the tile east and south of them
        {{-10.0, 10.0}, 1, {1, 1, 1}},
        {{-60.0, 120.0}, 1, {1, 1, 1}},
        {{-80.0, 150.0}, 1, {1, 1, 1}},
        {{10.0, -10.0}, 1, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tile_at(c.position, c.zoom), c.expected)
            << to_string(c.position) << " zoom " << c.zoom << ": got " << to_string(tile_at(c.position, c.zoom));
    }
}

TEST(WebMercator, BordersBelongToTheTileEastAndSouth)
{
    // Exact tile edges from tile_bounds map back to the tile east / south of the border.
    for (uint32_t zoom : {1u, 4u, 10u}) {
        const uint32_t n = tiles_per_side(zoom);
        for (uint32_t x : {1u, n / 2, n - 1}) {
            const TileBounds b = tile_bounds(TileId{zoom, x, 0});
            EXPECT_EQ(tile_at(LatLon{0.0, b.lon_west}, zoom).x, x) << "zoom " << zoom << " lon " << b.lon_west;
        }
    }
    // Longitudes that are exact binary fractions of the grid: 90 at zoom 2 starts column 3.
    EXPECT_EQ(tile_at(LatLon{0.0, 90.0}, 2).x, 3u);
    EXPECT_EQ(tile_at(LatLon{0.0, 89.9999}, 2).x, 2u);
    EXPECT_EQ(tile_at(LatLon{0.0, -180.0}, 8).x, 0u);
}

TEST(WebMercator, CornerAtDiffersPastTheTileMiddle)
{
    struct Case {
        LatLon position;
        TileId at;
        TileId corner;
    };
    const std::vector<Case> cases{
        {{-10.0, 10.0}, {1, 1, 1}, {1, 1, 1}},
        {{-60.0, 120.0}, {1, 1, 1}, {1, 2, 1}},
        {{-80.0, 150.0}, {1, 1, 1}, {1, 2, 2}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tile_at(c.position, 1), c.at) << to_string(c.position) << ": got " << to_string(tile_at(c.position, 1));
        EXPECT_EQ(tile_corner_at(c.position, 1), c.corner)
            << to_string(c.position) << ": got " << to_string(tile_corner_at(c.position, 1));
    }
    const auto block = corner_block(TileId{1, 2, 1});
    // The corner at 180 degrees east: the tiles east of it are column 0 again.
    const std::array<TileId, 4> expected{TileId{1, 1, 0}, TileId{1, 0, 0}, TileId{1, 0, 1}, TileId{1, 1, 1}};
    EXPECT_EQ(block, expected);
}

TEST(WebMercator, RowFlip)
{
    EXPECT_EQ(flip_row(3, 1), 6u);
    EXPECT_EQ(flip_row(0, 0), 0u);
    EXPECT_EQ(flip_row(12, 0), 4095u);
    EXPECT_EQ(flip_row(12, 4095), 0u);
    EXPECT_EQ(flip_row(31, 0), 0x7fffffffu);
    // Flipping twice gives the row back.
    for (uint32_t y = 0; y < 16; ++y) {
        EXPECT_EQ(flip_row(4, flip_row(4, y)), y);
    }
}

TEST(WebMercator, BoundsAndPositionInTile)
{
    const TileId tile{12, 2177, 1436};
    const TileBounds b = tile_bounds(tile);
    EXPECT_LT(b.lon_west, 11.40);
    EXPECT_GT(b.lon_east, 11.40);
    EXPECT_GT(b.lat_north, 47.27);
    EXPECT_LT(b.lat_south, 47.27);
    EXPECT_DOUBLE_EQ(b.lon_east - b.lon_west, 360.0 / 4096.0);
    // Corners of the tile map to (0, 0) and (1, 1).
    const TileUV nw = position_in_tile(LatLon{b.lat_north, b.lon_west}, tile);
    const TileUV se = position_in_tile(LatLon{b.lat_south, b.lon_east}, tile);
    EXPECT_NEAR(nw.u, 0.0, 1e-12);
    EXPECT_NEAR(nw.v, 0.0, 1e-12);
    EXPECT_NEAR(se.u, 1.0, 1e-12);
    EXPECT_NEAR(se.v, 1.0, 1e-12);
    // Neighbouring tiles share their edges exactly.
    EXPECT_EQ(tile_bounds(TileId{12, 2178, 1436}).lon_west, b.lon_east);
    EXPECT_EQ(tile_bounds(TileId{12, 2177, 1437}).lat_north, b.lat_south);
    // The Mercator extent of a tile matches its corners.
    EXPECT_NEAR(mercator_x(b.lon_west), 2177 * tile_size(12), 1e-6);
    EXPECT_NEAR(mercator_y(b.lat_north), 1436 * tile_size(12), 1e-5);
}

TEST(WebMercator, WorldRoundTrips)
{
    const double s = static_cast<double>(0.05f);
    EXPECT_EQ(s, 0.05000000074505806);
    const LatLon origin{47.2576, 11.3513};
    const double omx = mercator_x(origin.lon);
    const double omy = mercator_y(origin.lat);
    const WorldXZ at_origin = latlon_to_world(origin, omx, omy, s);
    EXPECT_EQ(at_origin.x, 0.0);
    EXPECT_EQ(at_origin.z, 0.0);
    const LatLon back = world_to_latlon(0.0, 0.0, omx, omy, s);
    EXPECT_NEAR(back.lat, origin.lat, 1e-9);
    EXPECT_NEAR(back.lon, origin.lon, 1e-9);

    // North is -Z, east is +X.
    const WorldXZ north_east = latlon_to_world(LatLon{origin.lat + 0.01, origin.lon + 0.01}, omx, omy, s);
    EXPECT_GT(north_east.x, 0.0);
    EXPECT_LT(north_east.z, 0.0);

    const std::vector<LatLon> positions{{0, 0}, {-33.86, 151.21}, {85.0, -179.9}, {-85.0, 179.9}, {64.1, -21.9}};
    for (const LatLon& p : positions) {
        const WorldXZ w = latlon_to_world(p, omx, omy, s);
        const LatLon q = world_to_latlon(w.x, w.z, omx, omy, s);
        EXPECT_NEAR(q.lat, p.lat, 1e-8) << to_string(p);
        EXPECT_NEAR(q.lon, p.lon, 1e-8) << to_string(p);
    }
    // One world unit is 20 Mercator metres.
    const LatLon moved = world_to_latlon(1.0, 0.0, omx, omy, s);
    EXPECT_NEAR(mercator_x(moved.lon) - omx, 1.0 / s, 1e-6);
}

TEST(WebMercator, SinhFormAndPlaneEdges)
{
    for (double t : {-3.0, -0.5, 0.0, 0.25, 2.0, PI}) {
        EXPECT_NEAR(mercator_sinh(t), std::sinh(t), 1e-12 * std::max(1.0, std::abs(std::sinh(t)))) << t;
    }
    EXPECT_DOUBLE_EQ(mercator_x(-180.0), 0.0);
    EXPECT_DOUBLE_EQ(mercator_x(180.0), EARTH_CIRCUMFERENCE);
    EXPECT_NEAR(mercator_y(0.0), EARTH_CIRCUMFERENCE / 2, 1e-6);
    EXPECT_NEAR(mercator_lat(0.0), 85.0511287798, 1e-9);
    EXPECT_NEAR(DEG_TO_RAD * RAD_TO_DEG, 1.0, 1e-15);
    EXPECT_DOUBLE_EQ(TWO_PI, 2 * PI);
}
