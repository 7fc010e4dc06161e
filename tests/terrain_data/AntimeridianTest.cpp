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
