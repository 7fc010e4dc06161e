// The tiles around a start near the antimeridian: columns wrap around, none past the grid.

#include "terrain/QuadTree.h"

#include <gtest/gtest.h>

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
