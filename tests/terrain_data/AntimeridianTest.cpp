// A start near the antimeridian: the tiles around it and the ground under it wrap around the
// grid, none lies past it.

#include "terrain/QuadTree.h"

#include <gtest/gtest.h>

#include "terrain/GroundHeights.h"
#include "tiles/WebMercator.h"

TEST(Antimeridian, EveryTileOfAStartNearItLiesOnTheGrid)
{
    for (const double lon : {179.99, -179.99, 180.0}) {
        const LatLon start{47.0, lon};
        const QuadTree tree(start, 7, 15, 1.0, WorldFrame::centred_on(start, 0.05));
        size_t leaves = 0;
        QuadTree::traverse(tree.root.get(), [&](const Node* node) {
            if (node->depth == 0 || !node->is_leaf)
                return;
            ++leaves;
            EXPECT_LT(node->tile.x, tiles_per_side(node->tile.zoom)) << lon << ": " << to_string(node->tile);
            EXPECT_LT(node->tile.y, tiles_per_side(node->tile.zoom)) << lon << ": " << to_string(node->tile);
        });
        EXPECT_GT(leaves, 4u) << "the tree refined around the start";
    }
}

// 10 m west of the antimeridian, ground 20 m east of the origin lies in the grid's first
// column and 20 m west in its last: each reads its own tile's height.
TEST(Antimeridian, TheGroundEastOfItComesFromTheFirstColumn)
{
    const auto flat = [](float metres) { return ElevationSamples{2, 2, std::vector<float>(4, metres), metres, metres}; };
    const ElevationSamples west = flat(100.0f), east = flat(200.0f);
    const GroundSampler sampler{EARTH_CIRCUMFERENCE - 10.0, mercator_y(0.0), 3, [&](TileId tile) -> const ElevationSamples* {
                                    return tile.zoom != 3 ? nullptr : tile.x == 0 ? &east : tile.x == 7 ? &west : nullptr;
                                }};
    for (const auto& [x, metres] : {std::pair{20.0, 200.0f}, std::pair{-20.0, 100.0f}}) {
        const std::optional<float> h = sampler.height(x, 0.0);
        ASSERT_TRUE(h.has_value()) << x;
        EXPECT_FLOAT_EQ(*h, metres) << x << " m east";
    }
}

// A position past 180 degrees east (a flight that crossed) lies in the grid's first columns,
// at the same place inside its tile as the same position 360 degrees west; it is reported there.
TEST(Antimeridian, PositionsPastItWrapOntoTheGridAndIntoTheReports)
{
    struct Case { double lon; double same_as; };
    for (const Case& c : {Case{180.0, -180.0}, Case{180.009, -179.991}, Case{359.5, -0.5}, Case{-180.5, 179.5}, Case{540.25, 180.25 - 360.0}}) {
        for (const uint32_t zoom : {0u, 7u, 15u, 30u}) {
            const TileId tile = tile_at({47.0, c.lon}, zoom), same = tile_at({47.0, c.same_as}, zoom);
            EXPECT_EQ(to_string(tile), to_string(same)) << c.lon;
            EXPECT_LT(tile.x, tiles_per_side(zoom)) << c.lon;
            const TileUV uv = position_in_tile({47.0, c.lon}, tile);
            EXPECT_TRUE(uv.u >= 0.0 && uv.u < 1.0) << c.lon << " at zoom " << zoom << ": u " << uv.u;
        }
        EXPECT_NEAR(wrap_longitude(c.lon), c.same_as, 1e-9);
        EXPECT_EQ(to_string(LatLon{1.0, c.lon}), to_string(LatLon{1.0, c.same_as}));
    }
    EXPECT_EQ(tile_at({47.0, 180.009}, 15).x, 0u) << "not column 32768, which no server has";
    EXPECT_EQ(to_string(LatLon{0.0, 180.009}), "lat=0.000000, lon=-179.991000");
}
