#pragma once

// Which tiles a moving camera will want in the next seconds and does not want now, so they
// can be fetched before it gets there. A pose's wanted tiles are exactly those the renderer
// would ask for there: the level-of-detail selection (LodSelection) and quadtree (QuadTree)
// of that camera position and direction, each leaf wanting its own imagery and elevation
// tile, or, for a leaf finer than a server serves, the ancestor at that server's max zoom.
// Culling is left out: a camera that turns sees what it did not see before.
//
// The coming poses come from the camera's motion (extrapolate_poses: its velocity and turn
// rate) or from where a replay will be (view_pose for each coming row).
//
// Order of the answer: nearest in time first (the tiles of the first pose that wants them);
// within one pose elevation before imagery, since a leaf drawn with an ancestor's heights
// meets its neighbours at other heights and opens cracks, where a stand-in's imagery only
// blurs; then coarse before fine (a coarse tile stands in for many); then nearest to that
// pose's camera. Pure: values in, values out.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include <glm/vec3.hpp>

#include "terrain/LodSelection.h"
#include "terrain/TileKey.h"
#include "terrain/WorldFrame.h"
#include "tiles/LatLon.h"

// A camera in the world frame, ahead_s seconds from now (0: now).
struct ViewPose {
    double ahead_s = 0.0;
    glm::vec3 position{0.0f};
    glm::vec3 z_axis{0.0f, 0.0f, 1.0f}; // the camera's +Z: it looks along −z_axis
};

struct PrefetchSettings {
    LodSettings lod;                // as the renderer selects (its min zoom, horizon, …)
    double split_factor = 1.0;      // the renderer's
    uint32_t imagery_max_zoom = 17; // the servers' max zoom
    uint32_t elevation_max_zoom = 15;
    size_t max_tiles = 8;           // at most this many tiles per answer (per frame)
};

struct PrefetchTile {
    TileKey key;
    double ahead_s = 0.0; // when it is first wanted
};

// The tiles wanted at the coming poses that are not wanted at now, in the order above, at
// most settings.max_tiles. Tiles for which skip returns true (resident, already requested)
// are left out before counting.
std::vector<PrefetchTile> tiles_to_prefetch(const WorldFrame& frame, const PrefetchSettings& settings, const ViewPose& now,
                                            std::span<const ViewPose> coming,
                                            const std::function<bool(const TileKey&)>& skip = {});

// The tiles a camera at the pose wants (imagery and elevation of every leaf), unordered.
std::vector<TileKey> wanted_tiles(const WorldFrame& frame, const PrefetchSettings& settings, const ViewPose& pose);

// Where a camera moving with velocity (world units per second) and turning at turn_rate_deg_s
// (heading change per second, positive to the right, seen from above) will be every step_s
// seconds up to horizon_s: the velocity and the view turn together about the vertical, the
// climb stays as it is.
std::vector<ViewPose> extrapolate_poses(const ViewPose& now, glm::vec3 velocity, double turn_rate_deg_s, double horizon_s,
                                        double step_s);

// The camera at a geographic position, altitude_m true metres above sea level, looking along
// heading_deg (0 north, 90 east) pitch_deg above the horizon (negative: down).
ViewPose view_pose(const WorldFrame& frame, LatLon position, double altitude_m, double heading_deg, double pitch_deg,
                   double ahead_s);
