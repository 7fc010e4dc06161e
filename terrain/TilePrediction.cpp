#include "terrain/TilePrediction.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include <glm/gtc/quaternion.hpp>

#include "terrain/Elevation.h"
#include "terrain/QuadTree.h"
#include "terrain/TileFallback.h"
#include "tiles/WebMercator.h"

namespace {

// The tile a leaf wants from a server that serves zooms up to max_zoom.
TileId served_tile(TileId leaf, uint32_t max_zoom)
{
    while (leaf.zoom > max_zoom)
        leaf = parent_tile(leaf);
    return leaf;
}

struct Candidate {
    PrefetchTile tile;
    double distance = 0.0; // from the wanting pose's camera to the tile's centre, world units
};

} // namespace

std::vector<TileKey> wanted_tiles(const WorldFrame& frame, const PrefetchSettings& settings, const ViewPose& pose)
{
    const LodSelection selection = select_lod(frame, settings.lod, pose.position, pose.z_axis);
    const QuadTree tree(selection.center_coord, settings.lod.min_zoom, selection.max_zoom, settings.split_factor, frame);
    std::vector<TileKey> keys;
    std::unordered_set<TileKey> seen;
    for (const Node* leaf : tree.sorted_leaves()) {
        for (const TileKey key : {TileKey{served_tile(leaf->tile, settings.elevation_max_zoom), TileKind::ELEVATION},
                                  TileKey{served_tile(leaf->tile, settings.imagery_max_zoom), TileKind::TEXTURE}})
            if (seen.insert(key).second)
                keys.push_back(key);
    }
    return keys;
}

std::vector<PrefetchTile> tiles_to_prefetch(const WorldFrame& frame, const PrefetchSettings& settings, const ViewPose& now,
                                            std::span<const ViewPose> coming,
                                            const std::function<bool(const TileKey&)>& skip)
{
    const std::vector<TileKey> present = wanted_tiles(frame, settings, now);
    std::unordered_set<TileKey> known(present.begin(), present.end());
    std::vector<Candidate> candidates;
    for (const ViewPose& pose : coming) {
        for (const TileKey& key : wanted_tiles(frame, settings, pose)) {
            if (!known.insert(key).second || (skip && skip(key)))
                continue;
            const TileBounds bounds = tile_bounds(key.tile);
            const WorldXZ centre = latlon_to_world({0.5 * (bounds.lat_north + bounds.lat_south),
                                                    0.5 * (bounds.lon_west + bounds.lon_east)},
                                                   frame.origin_x, frame.origin_y, frame.scaling_factor);
            const double dx = centre.x - pose.position.x;
            const double dz = centre.z - pose.position.z;
            candidates.push_back({{key, pose.ahead_s}, std::sqrt(dx * dx + dz * dz)});
        }
    }
    const auto rank = [](const Candidate& c) {
        return std::tuple(c.tile.ahead_s, c.tile.key.kind != TileKind::ELEVATION, c.tile.key.tile.zoom, c.distance);
    };
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&rank](const Candidate& a, const Candidate& b) { return rank(a) < rank(b); });
    std::vector<PrefetchTile> tiles;
    for (size_t i = 0; i < candidates.size() && tiles.size() < settings.max_tiles; ++i)
        tiles.push_back(candidates[i].tile);
    return tiles;
}

std::vector<ViewPose> extrapolate_poses(const ViewPose& now, glm::vec3 velocity, double turn_rate_deg_s, double horizon_s,
                                        double step_s)
{
    std::vector<ViewPose> poses;
    if (!(step_s > 0.0) || !(horizon_s > 0.0))
        return poses;
    // A right turn turns clockwise seen from above: about +y by a negative angle.
    const double rate = -turn_rate_deg_s * DEG_TO_RAD;
    constexpr int SUBSTEPS = 16;
    const double h = step_s / SUBSTEPS;
    ViewPose pose = now;
    double t = 0.0;
    for (int k = 1; k * step_s <= horizon_s + 1e-9; ++k) {
        for (int i = 0; i < SUBSTEPS; ++i) {
            // The velocity half-way through the substep (midpoint rule).
            const glm::dquat turn = glm::angleAxis(rate * (t + 0.5 * h), glm::dvec3(0.0, 1.0, 0.0));
            pose.position += glm::vec3(turn * glm::dvec3(velocity) * h);
            t += h;
        }
        const glm::dquat turned = glm::angleAxis(rate * t, glm::dvec3(0.0, 1.0, 0.0));
        pose.z_axis = glm::vec3(turned * glm::dvec3(now.z_axis));
        pose.ahead_s = now.ahead_s + k * step_s;
        poses.push_back(pose);
    }
    return poses;
}

ViewPose view_pose(const WorldFrame& frame, LatLon position, double altitude_m, double heading_deg, double pitch_deg,
                   double ahead_s)
{
    const WorldXZ xz = latlon_to_world(position, frame.origin_x, frame.origin_y, frame.scaling_factor);
    const double y = double(mercator_height(static_cast<float>(altitude_m), position.lat)) * frame.scaling_factor;
    const double heading = heading_deg * DEG_TO_RAD;
    const double pitch = pitch_deg * DEG_TO_RAD;
    // Looking along (sin h cos p, sin p, −cos h cos p): x east, y up, z south.
    const glm::dvec3 look(std::sin(heading) * std::cos(pitch), std::sin(pitch), -std::cos(heading) * std::cos(pitch));
    return {ahead_s, glm::vec3(float(xz.x), float(y), float(xz.z)), glm::vec3(-look)};
}
