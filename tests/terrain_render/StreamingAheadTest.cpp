// How sharp the terrain on screen is (the area of leaves on screen and its sharp share), and
// which tiles a moving camera will want next.

#include "terrain/SharpShare.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "terrain/TilePrediction.h"
#include "tiles/WebMercator.h"

namespace {

glm::mat4 view_projection(glm::vec3 eye, glm::vec3 target, glm::vec3 up, float fov_degrees, float aspect)
{
    return glm::perspective(glm::radians(fov_degrees), aspect, 0.1f, 1e7f) * glm::lookAt(eye, target, up);
}

std::array<glm::vec3, 4> square(float x0, float z0, float x1, float z1, float y = 0.0f)
{
    return {glm::vec3(x0, y, z0), glm::vec3(x1, y, z0), glm::vec3(x1, y, z1), glm::vec3(x0, y, z1)};
}

TEST(SharpShare, AreasOnScreenClippedToTheViewAndTheShareOfTheSharpOnes)
{
    const glm::vec2 viewport(400.0f, 200.0f);
    // Straight down from 10 units with a 90° field of view and a square viewport: the ground
    // seen is the square ±10.
    const glm::mat4 down = view_projection({0, 10, 0}, {0, 0, 0}, {0, 0, -1}, 90.0f, 1.0f);
    // Level, 2 units up: the ground fills the lower half of the picture up to the horizon.
    const glm::mat4 level = view_projection({0, 2, 0}, {0, 2, -1}, {0, 1, 0}, 60.0f, 2.0f);
    struct Case { const char* what; const glm::mat4& camera; std::array<glm::vec3, 4> corners; double pixels, tolerance; };
    const Case cases[] = {
        {"the whole view", down, square(-10, -10, 10, 10), 80000.0, 1e-3},
        {"larger than the view", down, square(-50, -50, 50, 50), 80000.0, 1e-3},
        {"half of it", down, square(0, -30, 30, 30), 40000.0, 1e-3},
        {"a quarter of the width, in the middle", down, square(-2.5, -2.5, 2.5, 2.5), 5000.0, 1e-3},
        {"above the eye", down, square(-10, -10, 10, 10, 20.0f), 0.0, 0.0},
        {"beside the view", down, square(11, -10, 30, 10), 0.0, 0.0},
        {"the ground to the horizon", level, square(-1e5f, -1e5f, 1e5f, 1e5f), 40000.0, 40.0},
        {"the ground behind", level, square(-1e5f, 0.05f, 1e5f, 1e5f), 0.0, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(screen_area(c.camera, viewport, c.corners), c.pixels, c.tolerance) << c.what;
    // Seen level, a square 10 to 20 units ahead is a trapezoid on screen: a ground point d ahead
    // lies 2/d over tan(30°) of the half-height below the horizon, and ±5 across spans 10/d over
    // the half-width's tan(30°)·aspect.
    const double t = std::tan(glm::radians(30.0));
    const auto row = [t](double d) { return 2.0 / d / t * 100.0; };
    const auto width = [t](double d) { return 10.0 / d / (t * 2.0) * 200.0; };
    EXPECT_NEAR(screen_area(level, viewport, square(-5, -20, 5, -10)), (row(10) - row(20)) * (width(10) + width(20)) / 2.0, 0.01);

    struct Leaf { double area; bool imagery, elevation; };
    struct Frame { std::vector<Leaf> leaves; double share; };
    for (const Frame& f : {Frame{{{100, true, true}, {50, true, false}, {50, false, true}}, 0.5},
                           Frame{{{300, true, true}, {100, false, false}}, 0.75}, Frame{{{0, false, false}}, 1.0},
                           Frame{{}, 1.0}, Frame{{{10, true, true}}, 1.0}}) {
        SharpShare sums;
        for (const Leaf& leaf : f.leaves)
            sums.add(leaf.area, leaf.imagery, leaf.elevation);
        EXPECT_DOUBLE_EQ(sums.share(), f.share) << f.leaves.size() << " leaves";
    }
}

// A camera 1000 m up over the default start, looking east 10° down, flying east at 90 m/s:
// straight on, or turning right at 18° a second (south after 5 s).
TEST(TilePrediction, TilesOfAStraightAndATurningPathNotWantedNowNearestInTimeFirst)
{
    const LatLon start{47.2576, 11.3513};
    const WorldFrame frame = WorldFrame::centred_on(start, 0.05);
    const double to_world = 0.05 / std::cos(start.lat * 3.141592653589793 / 180.0); // per true metre
    const ViewPose now = view_pose(frame, start, 1000.0, 90.0, -10.0, 0.0);
    EXPECT_LT(glm::length(now.position - glm::vec3(0.0f, float(1000.0 * to_world), 0.0f)), 1e-3f);
    EXPECT_LT(glm::length(now.z_axis - glm::vec3(-std::cos(glm::radians(10.0f)), std::sin(glm::radians(10.0f)), 0.0f)), 1e-6f);
    const glm::vec3 velocity(float(90.0 * to_world), 0.0f, 0.0f);
    const std::vector<ViewPose> straight = extrapolate_poses(now, velocity, 0.0, 5.0, 0.5);
    const std::vector<ViewPose> turning = extrapolate_poses(now, velocity, 18.0, 5.0, 0.5);
    ASSERT_EQ(std::pair(straight.size(), turning.size()), std::pair(size_t(10), size_t(10)));
    EXPECT_LT(glm::length(straight.back().position - now.position - 5.0f * velocity), 1e-3f);
    // A quarter circle of radius v / ω: as far east as south, looking south.
    const float radius = float(90.0 * to_world / glm::radians(18.0));
    EXPECT_LT(glm::length(turning.back().position - now.position - glm::vec3(radius, 0.0f, radius)), 1e-3f * radius);
    EXPECT_LT(glm::length(turning.back().z_axis - view_pose(frame, start, 1000.0, 180.0, -10.0, 0.0).z_axis), 1e-5f);
    EXPECT_EQ(std::pair(turning[3].ahead_s, turning[3].position.y), std::pair(2.0, now.position.y));

    PrefetchSettings settings;
    settings.max_tiles = 1000;
    const auto keys = [&](const ViewPose& pose) {
        const std::vector<TileKey> wanted = wanted_tiles(frame, settings, pose);
        return std::unordered_set<TileKey>(wanted.begin(), wanted.end());
    };
    const std::unordered_set<TileKey> wanted_now = keys(now);
    double south[2] = {}; // sums of the fine tiles' centres' z
    int fine[2] = {};
    for (const std::vector<ViewPose>* path : {&straight, &turning}) {
        const bool turn = path == &turning;
        const std::vector<PrefetchTile> tiles = tiles_to_prefetch(frame, settings, now, *path);
        ASSERT_GT(tiles.size(), 8u) << "turn " << turn;
        std::unordered_set<TileKey> listed;
        for (size_t i = 0; i < tiles.size(); ++i) {
            const PrefetchTile& t = tiles[i];
            EXPECT_TRUE(listed.insert(t.key).second && !wanted_now.contains(t.key)) << to_string(t.key.tile);
            // Listed at the first pose that wants it.
            for (const ViewPose& pose : *path) {
                if (pose.ahead_s <= t.ahead_s) {
                    EXPECT_EQ(keys(pose).contains(t.key), pose.ahead_s == t.ahead_s) << to_string(t.key.tile) << " at " << pose.ahead_s;
                }
            }
            EXPECT_LE(t.key.tile.zoom, t.key.kind == TileKind::ELEVATION ? 15u : 17u);
            if (i > 0) {
                const PrefetchTile& p = tiles[i - 1];
                EXPECT_LE(std::tuple(p.ahead_s, p.key.kind != TileKind::ELEVATION, p.key.tile.zoom),
                          std::tuple(t.ahead_s, t.key.kind != TileKind::ELEVATION, t.key.tile.zoom))
                    << "sooner, then elevation, then coarser first: " << i;
            }
            const TileBounds b = tile_bounds(t.key.tile);
            const WorldXZ centre = latlon_to_world({(b.lat_north + b.lat_south) / 2, (b.lon_west + b.lon_east) / 2}, frame.origin_x,
                                                   frame.origin_y, frame.scaling_factor);
            // The finest tiles are those around the level-of-detail centre, ahead of the camera.
            if (t.key.tile.zoom >= 15) {
                EXPECT_TRUE(turn || (centre.x > now.position.x && std::abs(centre.z) < 1000.0 * to_world))
                    << "ahead, along the straight track: " << to_string(t.key.tile);
                south[turn] += centre.z;
                ++fine[turn];
            }
        }
        // Bounded: the first tiles of the whole list; and what the caller has is left out.
        const auto listed_keys = [](const std::vector<PrefetchTile>& list, const std::function<bool(const TileKey&)>& keep) {
            std::vector<TileKey> kept;
            for (const PrefetchTile& t : list)
                if (keep(t.key))
                    kept.push_back(t.key);
            return kept;
        };
        const auto any = [](const TileKey&) { return true; };
        const auto have = [&](const TileKey& key) { return key.kind == TileKind::ELEVATION || key == tiles.back().key; };
        PrefetchSettings bounded = settings;
        bounded.max_tiles = 5;
        const std::vector<TileKey> all = listed_keys(tiles, any);
        EXPECT_TRUE(listed_keys(tiles_to_prefetch(frame, bounded, now, *path), any) == std::vector<TileKey>(all.begin(), all.begin() + 5));
        EXPECT_TRUE(listed_keys(tiles_to_prefetch(frame, settings, now, *path, have), any) ==
                    listed_keys(tiles, [&](const TileKey& key) { return !have(key); }));
    }
    ASSERT_TRUE(fine[0] > 0 && fine[1] > 0);
    EXPECT_GT(south[1] / fine[1], south[0] / fine[0] + 1000.0 * to_world) << "the turn's fine tiles lie south of the straight path's";
    // Standing still the view wants nothing new; turning on the spot it does: the level-of-detail
    // centre ahead of the camera swings round with the view.
    EXPECT_TRUE(tiles_to_prefetch(frame, settings, now, extrapolate_poses(now, glm::vec3(0.0f), 0.0, 5.0, 0.5)).empty());
    EXPECT_FALSE(tiles_to_prefetch(frame, settings, now, extrapolate_poses(now, glm::vec3(0.0f), 18.0, 5.0, 0.5)).empty());
}

} // namespace
