// The terrain's data structures without GL: the texture cache's LRU store, the quadtree, the
// level-of-detail choice and the fallback search for a missing tile.

#include "terrain/LRUCache.h"
#include "terrain/LodSelection.h"
#include "terrain/QuadTree.h"
#include "terrain/TileFallback.h"

#include <cmath>
#include <limits>
#include <map>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "tiles/WebMercator.h"

namespace {

const LatLon START{47.2576, 11.3513};
const WorldFrame FRAME = WorldFrame::centred_on(START, 0.05);

// A move-only value that counts its deletion, as a GL texture deletes its name once.
struct Token {
    int id;
    int* deletions;
    ~Token() { ++*deletions; }
};
using Counted = std::unique_ptr<Token>;

TEST(LRUCache, EvictsTheLeastRecentlyUsedButKeepsItUntilReleased)
{
    int deletions = 0;
    const auto counted = [&](int id) { return Counted(new Token{id, &deletions}); };
    const auto keys = [](const LRUCache<int, Counted>& cache) {
        std::vector<int> result;
        cache.for_each_key([&](int key) { result.push_back(key); });
        return result;
    };
    {
        LRUCache<int, Counted> cache(3);
        for (int i = 1; i <= 3; ++i)
            cache.put(i, counted(i));
        ASSERT_NE(cache.get(1), nullptr); // the most recent now
        Counted* doomed = cache.peek(2);  // peeking refreshes nothing
        cache.put(4, counted(4));
        EXPECT_EQ(keys(cache), (std::vector<int>{4, 1, 3}));
        EXPECT_EQ(std::tuple((*doomed)->id, deletions, cache.evicted_count()), std::tuple(2, 0, size_t(1))) << "parked";
        cache.release_evicted();
        EXPECT_EQ(deletions, 1);
        const auto replaced = cache.put(3, counted(30)); // a present key keeps one entry
        EXPECT_EQ(std::tuple(keys(cache), (*replaced.stored)->id, (*replaced.replaced)->id, deletions),
                  std::tuple(std::vector<int>{3, 4, 1}, 30, 3, 1)) << "the old value is handed back";
        for (int i = 5; i <= 20; ++i)
            cache.put(i, counted(i));
        EXPECT_EQ(keys(cache), (std::vector<int>{20, 19, 18}));
    }
    EXPECT_EQ(deletions, 21) << "every value deleted exactly once";
}

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
        }
        EXPECT_NEAR(area / std::pow(tree.root->bounds_max.x - tree.root->bounds_min.x, 2), 1.0, 1e-12) << split;
    }
    struct Case { uint32_t min_zoom, max_zoom; double split; };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Case c : {Case{7, 7, 1.0}, Case{7, 17, 0.0}, Case{12, 9, 0.70710678}, Case{7, 17, nan}}) {
        const QuadTree tree(START, c.min_zoom, c.max_zoom, c.split, FRAME);
        const std::vector<const Node*> leaves = tree.sorted_leaves();
        ASSERT_EQ(leaves.size(), 4u) << c.min_zoom << ".." << c.max_zoom << " split " << c.split;
        EXPECT_EQ(leaves[3]->tile.zoom, c.min_zoom);
    }
    struct Depth { uint32_t min_zoom, max_zoom, depth; };
    for (const Depth d : {Depth{7, 17, 10}, Depth{17, 7, 0}, Depth{8, 7, 0}, Depth{0, 40, 31}, Depth{29, 40, 2}, Depth{35, 40, 1},
                          Depth{7, std::numeric_limits<uint32_t>::max(), 24}})
        EXPECT_EQ(quadtree_max_depth(d.min_zoom, d.max_zoom), d.depth) << d.min_zoom << ".." << d.max_zoom;
}

// Great-circle distance in metres on the sphere the centre is pushed along (haversine).
double distance(LatLon a, LatLon b)
{
    const double p1 = a.lat * DEG_TO_RAD, p2 = b.lat * DEG_TO_RAD, dl = (b.lon - a.lon) * DEG_TO_RAD;
    const double h = std::pow(std::sin((p2 - p1) / 2), 2) + std::cos(p1) * std::cos(p2) * std::pow(std::sin(dl / 2), 2);
    return 2.0 * EARTH_RADIUS * std::asin(std::sqrt(h));
}

// The centre is pushed ahead of the camera along its heading: 500 m at the ground, max_horizon
// from 10000 m up, linear in between, less as the camera looks down.
TEST(LodSelection, TheCentreIsPushedAheadAndTheZoomFollowsTheAltitudeUnlessSetByHand)
{
    struct Case { double altitude; float down, metres; };
    for (const Case c : {Case{0.0, 0.0f, 500.0f}, Case{-300.0, 0.0f, 500.0f}, Case{5000.0, 0.0f, 10250.0f}, Case{10000.0, 0.0f, 20000.0f},
                         Case{25000.0, 0.0f, 20000.0f}, Case{5000.0, 1.0f, 0.0f}, Case{5000.0, 0.5f, 5125.0f}})
        EXPECT_DOUBLE_EQ(lod_push_distance(c.altitude, c.down, 20000.0), c.metres) << c.altitude << " " << c.down;
    struct Heading { glm::vec3 z_axis; float degrees; int north, east; }; // the view is -z_axis
    for (const Heading h : {Heading{{0, 0, 1}, 180.0f, 1, 0}, Heading{{1, 0, 0}, 270.0f, 0, -1}}) {
        EXPECT_NEAR(view_heading(h.z_axis), h.degrees, 1e-3f);
        const LatLon centre = smart_lod_center(START, 5000.0, h.z_axis, 20000.0);
        EXPECT_NEAR(distance(START, centre), 10250.0, 0.01) << h.degrees;
        EXPECT_EQ((centre.lat > START.lat + 1e-3) - (centre.lat < START.lat - 1e-3), h.north) << h.degrees;
        EXPECT_EQ((centre.lon > START.lon + 1e-3) - (centre.lon < START.lon - 1e-3), h.east) << h.degrees;
    }
    const LatLon below = smart_lod_center(START, 5000.0, {0.0f, 1.0f, 0.0f}, 20000.0);
    EXPECT_LT(std::abs(below.lat - START.lat) + std::abs(below.lon - START.lon), 1e-12) << "looking straight down";
    EXPECT_NEAR(great_circle_destination({0.0, 30.0}, 0.0, EARTH_RADIUS * PI / 2).lat, 90.0, 1e-9) << "to the pole";
    struct Zoom { double weight, altitude; uint32_t min_zoom, zoom; };
    for (const Zoom c : {Zoom{0.1, 1000.0, 7, 17}, Zoom{0.1, 10000.0, 7, 15}, Zoom{0.1, 100000.0, 7, 11}, Zoom{0.1, -250.0, 7, 8},
                         Zoom{0.1, std::numeric_limits<double>::quiet_NaN(), 7, 8}, Zoom{1.0, 1e9, 7, 17}, Zoom{0.1, 1000.0, 18, 19}})
        EXPECT_EQ(automatic_max_zoom(c.weight, c.altitude, c.min_zoom), c.zoom) << c.weight << " " << c.altitude;

    const WorldFrame frame = WorldFrame::centred_on(START, 0.05);
    LodSettings settings; // 1000 m up, looking north and a little down
    const LodSelection s = select_lod(frame, settings, {0.0f, 50.0f, 0.0f}, {0.0f, 0.2f, 0.9797959f});
    EXPECT_NEAR(s.altitude, 1000.0, 1e-9);
    EXPECT_EQ(s.max_zoom, 17u);
    EXPECT_GT(s.center_coord.lat, START.lat);
    EXPECT_NEAR(distance(START, s.center_coord), 0.8 * (0.1 * 20000.0 + 0.9 * 500.0), 0.5);
    EXPECT_EQ(s.center_tile, tile_corner_at(s.center_coord, 7));
    settings = {true, false, 20000.0, 0.1, 12, 9}; // manual zoom, no smart centre
    const LodSelection manual = select_lod(frame, settings, {10.0f, -5.0f, -20.0f}, {0.0f, 0.2f, 0.9797959f});
    EXPECT_EQ(std::tuple(manual.center_coord.lat, manual.center_coord.lon, manual.max_zoom),
              std::tuple(manual.camera.lat, manual.camera.lon, 9u));
    EXPECT_EQ(manual.center_tile, tile_corner_at(manual.camera, 12));
}

TEST(TileFallback, TheNearestResidentAncestorOrTheBaseZoomsStandsInForItsSubRectangle)
{
    struct Case { TileId tile, ancestor; UVRect rect; };
    for (const Case& c : {Case{{10, 545, 356}, {9, 272, 178}, {0.5, 0, 1, 0.5}}, Case{{10, 544, 357}, {9, 272, 178}, {0, 0.5, 0.5, 1}},
                          Case{{12, 2177, 1436}, {7, 68, 44}, {1.0 / 32, 28.0 / 32, 2.0 / 32, 29.0 / 32}},
                          Case{{7, 68, 44}, {7, 68, 44}, {0, 0, 1, 1}},
                          Case{{31, 0x7fffffffu, 0}, {0, 0, 0}, {1.0 - 1.0 / 2147483648.0, 0.0, 1.0, 1.0 / 2147483648.0}}})
        EXPECT_EQ(sub_rectangle(c.tile, c.ancestor), c.rect) << to_string(c.tile);
    // The nearest resident ancestor stands in quietly; with none, the base zoom's is loaded and
    // named (and still reported when it cannot be loaded); tiles at or above the base zoom have none.
    struct Search { TileId tile; uint32_t base_zoom; std::map<TileId, int> resident, loadable; int found; TileId id; UVRect uv;
                  size_t finds, loads; std::string printed; };
    const std::string base = "Fallback to largest tile: z=7, x=68, y=44 instead of z=12, x=2177, y=1436\n";
    const Search cases[] = {
        {{12, 2177, 1436}, 7, {{{8, 136, 89}, 8}, {{10, 544, 359}, 10}}, {}, 10, {10, 544, 359}, {0.25, 0, 0.5, 0.25}, 2, 0, ""},
        {{12, 2177, 1436}, 7, {}, {{{7, 68, 44}, 7}}, 7, {7, 68, 44}, {1.0 / 32, 28.0 / 32, 2.0 / 32, 29.0 / 32}, 5, 1, base},
        {{12, 2177, 1436}, 7, {}, {}, -1, {7, 68, 44}, {1.0 / 32, 28.0 / 32, 2.0 / 32, 29.0 / 32}, 5, 1, base},
        {{7, 68, 44}, 7, {{{6, 34, 22}, 6}}, {}, -1, {99, 98, 97}, {0.1, 0.2, 0.3, 0.4}, 0, 0, ""}, // found -1: none
    };
    for (Search c : cases) {
        std::vector<TileId> finds, loads;
        const auto lookup = [](std::map<TileId, int>& map, std::vector<TileId>& calls, TileId t) {
            calls.push_back(t);
            return map.count(t) ? &map[t] : nullptr;
        };
        UVRect uv{0.1, 0.2, 0.3, 0.4};
        TileId id{99, 98, 97};
        console::Capture capture;
        const int* found = search_fallback(
            c.tile, c.base_zoom, [&](TileId t) { return lookup(c.resident, finds, t); },
            [&](TileId t) { return lookup(c.loadable, loads, t); }, uv, id);
        EXPECT_EQ(std::tuple(found ? *found : -1, id, uv, finds.size(), loads.size()), std::tuple(c.found, c.id, c.uv, c.finds, c.loads))
            << to_string(c.tile);
        EXPECT_EQ(capture.out(), c.printed);
    }
}

} // namespace
