#include "terrain/QuadTree.h"
#include "terrain/TileFallback.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

const LatLon START{47.2576, 11.3513};
const WorldFrame FRAME = WorldFrame::centred_on(START, 0.05);

// Whether the node's square is its tile's square on the Mercator plane (world units of FRAME).
bool covers_its_tile(const Node& n)
{
    const double size = tile_size(n.tile.zoom) * FRAME.scaling_factor, x = n.tile.x * size - FRAME.origin_x * FRAME.scaling_factor,
                 z = n.tile.y * size - FRAME.origin_y * FRAME.scaling_factor;
    return std::abs(n.bounds_min.x - x) + std::abs(n.bounds_min.z - z) + std::abs(n.bounds_max.x - x - size) +
               std::abs(n.bounds_max.z - z - size) < 1e-6;
}

// The root holds the 2 x 2 block of min_zoom tiles around the grid vertex nearest the centre;
// a node splits into its four child tiles while it is wide compared with its distance from the
// centre, down to the depth limit; the leaves come coarse to fine and cover the root once.
TEST(QuadTree, NodesSplitAroundTheCentreDownToTheDepthLimit)
{
    const WorldXZ centre = latlon_to_world(START, FRAME.origin_x, FRAME.origin_y, FRAME.scaling_factor);
    for (double split : {0.5, 1.0, 2.0}) {
        const QuadTree tree(START, 7, 17, split, FRAME);
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(tree.root->children[i]->tile, corner_block(tile_corner_at(START, 7))[i]);
        std::vector<const Node*> nodes;
        QuadTree::traverse(tree.root.get(), [&](const Node* node) { nodes.push_back(node); });
        for (const Node* node : nodes) {
            if (node == tree.root.get())
                continue;
            const double w = node->bounds_max.x - node->bounds_min.x;
            const double d = std::hypot(centre.x - node->bounds_min.x - w / 2, centre.z - node->bounds_min.z - w / 2);
            ASSERT_TRUE(covers_its_tile(*node)) << to_string(node->tile);
            EXPECT_EQ(node->tile.zoom, 6 + node->depth);
            EXPECT_EQ(node->is_leaf, node->depth == 10 || !(w * split > d)) << to_string(node->tile) << " split " << split;
            EXPECT_TRUE(node->parent == tree.root.get() || parent_tile(node->tile) == node->parent->tile);
        }
        const std::vector<const Node*> leaves = tree.sorted_leaves();
        double area = 0.0;
        for (size_t i = 0; i < leaves.size(); ++i) {
            EXPECT_TRUE(leaves[i]->is_leaf && (i == 0 || leaves[i - 1]->depth <= leaves[i]->depth)) << i;
            area += std::pow(leaves[i]->bounds_max.x - leaves[i]->bounds_min.x, 2);
            const bool holds_centre = leaves[i]->bounds_min.x <= centre.x && centre.x < leaves[i]->bounds_max.x &&
                                      leaves[i]->bounds_min.z <= centre.z && centre.z < leaves[i]->bounds_max.z;
            EXPECT_TRUE(!holds_centre || leaves[i]->tile == tile_at(START, split < 1.0 ? leaves[i]->tile.zoom : 16u))
                << "the finest leaves hold the centre, split " << split;
        }
        EXPECT_NEAR(area / std::pow(tree.root->bounds_max.x - tree.root->bounds_min.x, 2), 1.0, 1e-12) << split;
    }
    // 1.40625 degrees east lies halfway between grid vertices 64 and 65 at zoom 7.
    const QuadTree halfway({0.0, 1.40625}, 7, 8, 1.0, WorldFrame::centred_on({0.0, 1.40625}, 0.05));
    EXPECT_EQ(halfway.root->children[2]->tile, (TileId{7, 65, 64}));
}

TEST(QuadTree, LimitsThatAllowNoSplitLeaveTheRootsFourChildren)
{
    struct Case { uint32_t min_zoom, max_zoom; double split; };
    for (const Case c : {Case{7, 8, 5.0}, Case{7, 7, 1.0}, Case{7, 17, 0.0}, Case{17, 7, 5.0}, Case{12, 9, 0.70710678},
                         Case{7, 17, std::numeric_limits<double>::quiet_NaN()}}) {
        const std::vector<const Node*> leaves = QuadTree(START, c.min_zoom, c.max_zoom, c.split, FRAME).sorted_leaves();
        ASSERT_EQ(leaves.size(), 4u) << c.min_zoom << ".." << c.max_zoom << " split " << c.split;
        EXPECT_EQ(leaves[3]->tile.zoom, c.min_zoom);
    }
    struct Depth { uint32_t min_zoom, max_zoom, depth; };
    for (const Depth d : {Depth{7, 17, 10}, Depth{17, 7, 0}, Depth{8, 7, 0}, Depth{0, 40, 31}, Depth{29, 40, 2}, Depth{35, 40, 1},
                          Depth{7, std::numeric_limits<uint32_t>::max(), 24}})
        EXPECT_EQ(quadtree_max_depth(d.min_zoom, d.max_zoom), d.depth) << d.min_zoom << ".." << d.max_zoom;
}

} // namespace
