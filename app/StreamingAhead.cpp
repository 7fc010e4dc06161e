#include "app/StreamingAhead.h"

#include <algorithm>
#include <cmath>

#include <glm/gtc/quaternion.hpp>

#include "core/Units.h"

namespace {

// Compass heading of where the camera looks (its −Z), degrees clockwise from north (−z).
double compass_heading(glm::vec3 z_axis)
{
    return std::atan2(-double(z_axis.x), double(z_axis.z)) * RAD_TO_DEG;
}

// A turn to the right (clockwise seen from above) by degrees, about the vertical.
glm::quat turn_right(double degrees)
{
    return glm::angleAxis(float(-degrees * DEG_TO_RAD), glm::vec3(0.0f, 1.0f, 0.0f));
}

} // namespace

void StreamingAhead::update(const gfx::Transform& camera, const ReplayTimeline* replay, TerrainRenderer& terrain)
{
    const WorldFrame frame = terrain.world_frame();
    const ViewPose now{0.0, camera.get_world_position(), camera.get_z_axis()};
    // Measured in a replay too: leaving it, or changing cameras, the estimate is ready.
    const std::optional<Motion> motion = measure(now, frame);
    if (!enabled || !terrain.render_terrain || !motion)
        return;
    std::vector<ViewPose> coming;
    if (replay != nullptr)
        coming = from_replay(now, motion->turn_rate, *replay, frame);
    // Standing still and looking the same way, nothing new will be wanted.
    else if (double(glm::length(motion->velocity)) / frame.scaling_factor >= 1.0 || std::abs(motion->turn_rate) >= 1.0)
        coming = extrapolate_poses(now, motion->velocity, motion->turn_rate, HORIZON_S, STEP_S);
    if (coming.empty())
        return;
    PrefetchSettings settings = terrain.prefetch_settings();
    settings.max_tiles = MAX_TILES;
    const TextureCache& cache = terrain.texture_cache;
    const std::vector<PrefetchTile> tiles =
        tiles_to_prefetch(frame, settings, now, coming, [&cache](const TileKey& key) { return cache.has_tile(key); });
    // The list's order is the order of need: it becomes the services' order among prefetches.
    for (size_t i = 0; i < tiles.size(); ++i)
        new_requests += terrain.texture_cache.prefetch(tiles[i].key, double(i)) ? 1 : 0;
}

std::optional<StreamingAhead::Motion> StreamingAhead::measure(const ViewPose& now, const WorldFrame& frame)
{
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const Sample sample{t, now.position, compass_heading(now.z_axis)};
    if (!m_samples.empty()) {
        const Sample& last = m_samples.back();
        const double moved = double(glm::length(sample.position - last.position)) / frame.scaling_factor;
        if (moved > JUMP_SPEED * std::max(t - last.time_s, 1e-3))
            m_samples.clear();
    }
    m_samples.push_back(sample);
    // Keep one sample at or beyond the window, so that it is spanned whole.
    while (m_samples.size() > 2 && t - m_samples[1].time_s >= MOTION_WINDOW_S)
        m_samples.pop_front();
    const Sample& first = m_samples.front();
    const double span = t - first.time_s;
    if (span < 0.5 * MOTION_WINDOW_S)
        return std::nullopt;
    double turned = 0.0;
    for (size_t i = 1; i < m_samples.size(); ++i)
        turned += degrees_between(m_samples[i - 1].heading_deg, m_samples[i].heading_deg);
    return Motion{(sample.position - first.position) / float(span), std::clamp(turned / span, -MAX_TURN_RATE, MAX_TURN_RATE)};
}

std::vector<ViewPose> StreamingAhead::from_replay(const ViewPose& now, double turn_rate, const ReplayTimeline& replay,
                                                  const WorldFrame& frame)
{
    const FlightData at = replay.pose();
    const ViewPose target = view_pose(frame, at.position, at.altitude_m, at.heading_deg, at.pitch_deg, 0.0);
    const glm::vec3 offset = now.position - target.position;
    std::vector<ViewPose> poses;
    for (const ComingPose& coming : replay.coming(HORIZON_S, STEP_S)) {
        const FlightData& to = coming.data;
        const glm::quat turn = turn_right(turn_rate * coming.ahead_s);
        ViewPose pose = view_pose(frame, to.position, to.altitude_m, to.heading_deg, to.pitch_deg, coming.ahead_s);
        pose.position += turn * offset;
        pose.z_axis = turn * now.z_axis;
        poses.push_back(pose);
    }
    return poses;
}
