#include "terrain/QuadTree.h"

#include "tiles/WebMercator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

const LatLon START{47.2576, 11.3513};
const double SCALE = static_cast<double>(0.05f);

WorldFrame start_frame() { return WorldFrame::centred_on(START, SCALE); }

std::vector<const Node*> all_nodes(const QuadTree& tree)
{
    std::vector<const Node*> nodes;
    QuadTree::traverse(tree.root.get(), [&nodes](const Node* node) { nodes.push_back(node); });
    return nodes;
}

// The tile's square on the Mercator plane, in world units of the frame.
void expect_bounds_match_tile(const Node& node, const WorldFrame& frame)
{
    const double size = tile_size(node.tile.zoom);
    const double west = (node.tile.x * size - frame.origin_x) * frame.scaling_factor;
    const double north = (node.tile.y * size - frame.origin_y) * frame.scaling_factor;
    const double east = ((node.tile.x + 1.0) * size - frame.origin_x) * frame.scaling_factor;
    const double south = ((node.tile.y + 1.0) * size - frame.origin_y) * frame.scaling_factor;
    // The block's corner goes through a latitude and back; that round trip costs a few ulps
    // of the plane's full width.
    const double tolerance = 1e-7;
    EXPECT_NEAR(node.bounds_min.x, west, tolerance) << to_string(node.tile);
    EXPECT_NEAR(node.bounds_min.z, north, tolerance) << to_string(node.tile);
    EXPECT_NEAR(node.bounds_max.x, east, tolerance) << to_string(node.tile);
    EXPECT_NEAR(node.bounds_max.z, south, tolerance) << to_string(node.tile);
}

TEST(QuadTree, RootChildrenAreTheBlockAroundTheNearestGridVertex)
{
    const WorldFrame frame = start_frame();
    const QuadTree tree(START, 7, 17, 1.0, frame);
    const TileId vertex = tile_corner_at(START, 7);

    ASSERT_NE(tree.root, nullptr);
    EXPECT_FALSE(tree.root->is_leaf);
    EXPECT_EQ(tree.root->depth, 0u);
    EXPECT_EQ(tree.root->parent, nullptr);
    EXPECT_EQ(tree.root->tile, (TileId{0, 0, 0}));
    const TileId expected[4] = {{7, vertex.x - 1, vertex.y - 1}, {7, vertex.x, vertex.y - 1}, {7, vertex.x, vertex.y},
                                {7, vertex.x - 1, vertex.y}};
    for (int i = 0; i < 4; ++i) {
        const Node* child = tree.root->children[i].get();
        ASSERT_NE(child, nullptr) << i;
        EXPECT_EQ(child->tile, expected[i]) << "child " << i << ": " << to_string(child->tile);
        EXPECT_EQ(child->depth, 1u);
        EXPECT_EQ(child->parent, tree.root.get());
        expect_bounds_match_tile(*child, frame);
    }
    // The root is two zoom-7 tiles wide, centred on the vertex.
    const double width = 2.0 * tile_size(7) * SCALE;
    EXPECT_NEAR(tree.root->bounds_max.x - tree.root->bounds_min.x, width, 1e-6);
    EXPECT_NEAR(tree.root->bounds_max.z - tree.root->bounds_min.z, width, 1e-6);
}

struct FlatCase {
    const char* name;
    uint32_t min_zoom;
    uint32_t max_zoom;
    double split_factor;
};

// Zoom limits or a split factor that allow no split give the four root children only.
TEST(QuadTree, LimitsThatAllowNoSplitLeaveTheFourRootChildren)
{
    const FlatCase cases[] = {
        {"max = min + 1", 7, 8, 1.0},
        {"max = min", 7, 7, 1.0},
        {"max = min + 1, eager split", 7, 8, 5.0},
        {"split factor 0", 7, 17, 0.0},
        {"min above max, eager split", 17, 7, 5.0},
        {"min above max by one", 8, 7, 1.0},
        {"split factor NaN", 7, 17, std::numeric_limits<double>::quiet_NaN()},
    };
    for (const FlatCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QuadTree tree(START, c.min_zoom, c.max_zoom, c.split_factor, start_frame());
        const std::vector<const Node*> leaves = tree.sorted_leaves();
        ASSERT_EQ(leaves.size(), 4u);
        for (const Node* leaf : leaves) {
            EXPECT_EQ(leaf->depth, 1u);
            EXPECT_EQ(leaf->tile.zoom, c.min_zoom);
            EXPECT_TRUE(leaf->is_leaf);
        }
    }
}

TEST(QuadTree, DepthLimitIsBoundedForAnyZoomLimits)
{
    struct Case {
        uint32_t min_zoom, max_zoom, expected;
    };
    const Case cases[] = {
        {7, 17, 10},
        {7, 8, 1},
        {7, 7, 0},
        {17, 7, 0},                     // would wrap to 4294967286
        {8, 7, 0},                      // would wrap to 4294967295
        {0, 40, 31},                    // leaves stop at zoom 30
        {7, std::numeric_limits<uint32_t>::max(), 24},
        {29, 40, 2},
        {30, 40, 1},
        {35, 40, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quadtree_max_depth(c.min_zoom, c.max_zoom), c.expected)
            << "min " << c.min_zoom << ", max " << c.max_zoom;
}

TEST(QuadTree, MinAboveMaxWithSplittingFactorsStaysFlat)
{
    // With the unsigned difference the node holding the centre would split forever from
    // 1/sqrt(2) on; the tree must come back finite.
    for (double split : {0.70710678, 1.0, 2.0, 5.0}) {
        const QuadTree tree(START, 12, 9, split, start_frame());
        EXPECT_EQ(tree.max_depth, 0u) << split;
        EXPECT_EQ(tree.sorted_leaves().size(), 4u) << split;
    }
}

TEST(QuadTree, LeavesAreSortedCoarseToFineAndCoverTheRootExactlyOnce)
{
    const WorldFrame frame = start_frame();
    for (double split : {0.5, 1.0, 2.0, 3.5}) {
        SCOPED_TRACE(split);
        const QuadTree tree(START, 7, 17, split, frame);
        const std::vector<const Node*> nodes = all_nodes(tree);
        const std::vector<const Node*> leaves = tree.sorted_leaves();

        size_t split_nodes = 0;
        for (const Node* node : nodes)
            if (!node->is_leaf && node != tree.root.get())
                ++split_nodes;
        // Every split turns one leaf into four.
        EXPECT_EQ(leaves.size(), 4u + 3u * split_nodes);

        double area = 0.0;
        for (size_t i = 0; i < leaves.size(); ++i) {
            const Node* leaf = leaves[i];
            EXPECT_TRUE(leaf->is_leaf);
            if (i > 0) {
                EXPECT_LE(leaves[i - 1]->depth, leaf->depth) << "at " << i;
            }
            EXPECT_EQ(leaf->tile.zoom, 7u + leaf->depth - 1u);
            EXPECT_LE(leaf->tile.zoom, 16u);
            area += (leaf->bounds_max.x - leaf->bounds_min.x) * (leaf->bounds_max.z - leaf->bounds_min.z);
        }
        const double root_area = (tree.root->bounds_max.x - tree.root->bounds_min.x) *
                                 (tree.root->bounds_max.z - tree.root->bounds_min.z);
        EXPECT_NEAR(area, root_area, root_area * 1e-12);
    }
}

TEST(QuadTree, SplitsDownToTheDepthLimitAtTheCentre)
{
    const WorldFrame frame = start_frame();
    const QuadTree tree(START, 7, 17, 1.0, frame);
    const WorldXZ centre = latlon_to_world(START, frame.origin_x, frame.origin_y, frame.scaling_factor);

    const std::vector<const Node*> leaves = tree.sorted_leaves();
    ASSERT_FALSE(leaves.empty());
    EXPECT_EQ(leaves.back()->tile.zoom, 16u) << "finest tiles are at max_zoom - 1";
    EXPECT_EQ(leaves.back()->depth, 10u);

    // The leaf under the centre is one of the finest, and it is the tile that holds START.
    const Node* under = nullptr;
    for (const Node* leaf : leaves)
        if (leaf->bounds_min.x <= centre.x && centre.x < leaf->bounds_max.x && leaf->bounds_min.z <= centre.z &&
            centre.z < leaf->bounds_max.z)
            under = leaf;
    ASSERT_NE(under, nullptr);
    EXPECT_EQ(under->tile, tile_at(START, 16)) << to_string(under->tile);

    // Far from the centre the tiles stay coarse: every leaf's size grows with its distance.
    for (const Node* leaf : leaves) {
        const double w = leaf->bounds_max.x - leaf->bounds_min.x;
        const double cx = leaf->bounds_min.x + w * 0.5;
        const double cz = leaf->bounds_min.z + (leaf->bounds_max.z - leaf->bounds_min.z) * 0.5;
        const double d = std::hypot(centre.x - cx, centre.z - cz);
        if (leaf->depth < tree.max_depth) {
            EXPECT_LE(w, d) << to_string(leaf->tile) << " should have been split";
        }
    }
}

TEST(QuadTree, EveryNodeCoversItsOwnTileInADeepTree)
{
    const WorldFrame frame = start_frame();
    const QuadTree tree(START, 7, 17, 2.0, frame);
    size_t checked = 0;
    for (const Node* node : all_nodes(tree)) {
        if (node == tree.root.get())
            continue;
        expect_bounds_match_tile(*node, frame);
        if (node->parent != tree.root.get()) {
            EXPECT_EQ(node->tile.zoom, node->parent->tile.zoom + 1);
            EXPECT_EQ(node->tile.x / 2, node->parent->tile.x);
            EXPECT_EQ(node->tile.y / 2, node->parent->tile.y);
        }
        ++checked;
    }
    EXPECT_GT(checked, 100u);
}

TEST(QuadTree, TraverseVisitsParentsBeforeChildrenInQuadrantOrder)
{
    const QuadTree tree(START, 7, 9, 2.0, start_frame());
    const std::vector<const Node*> nodes = all_nodes(tree);
    ASSERT_FALSE(nodes.empty());
    EXPECT_EQ(nodes.front(), tree.root.get());
    // Children of one split node come in the order north-west, north-east, south-east,
    // south-west.
    for (const Node* node : nodes) {
        if (node->is_leaf)
            continue;
        const auto& c = node->children;
        EXPECT_EQ(c[1]->bounds_min.x, c[0]->bounds_max.x);
        EXPECT_EQ(c[1]->bounds_min.z, c[0]->bounds_min.z);
        EXPECT_EQ(c[2]->bounds_min.z, c[1]->bounds_max.z);
        EXPECT_EQ(c[3]->bounds_max.x, c[2]->bounds_min.x);
        EXPECT_EQ(c[3]->bounds_min.z, c[2]->bounds_min.z);
    }

    int calls = 0;
    QuadTree::traverse(nullptr, [&calls](const Node*) { ++calls; });
    EXPECT_EQ(calls, 0);
}

TEST(QuadTree, CentreHalfwayBetweenGridVerticesTakesTheOneFartherFromZero)
{
    // 1.40625 degrees east is column 64.5 at zoom 7: exactly between vertices 64 and 65.
    const LatLon halfway{0.0, 1.40625};
    ASSERT_EQ((halfway.lon + 180.0) / 360.0 * 128.0, 64.5);
    const WorldFrame frame = WorldFrame::centred_on(halfway, SCALE);
    const QuadTree tree(halfway, 7, 8, 1.0, frame);
    EXPECT_EQ(tree.root->children[0]->tile, (TileId{7, 64, 63}));
    EXPECT_EQ(tree.root->children[2]->tile, (TileId{7, 65, 64}));
}

} // namespace
