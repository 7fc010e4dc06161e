#pragma once

// Fetching the terrain ahead of the motion, so that it is sharp when the camera gets there.
// Once a frame, after the terrain has asked for what the view wants now, the tiles the view
// will want in the next HORIZON_S seconds and does not want now (terrain/TilePrediction) are
// asked for ahead of need through the tile services' own workers: behind every request of the
// view, never uploaded, dropped by the services as any request is when nothing asks again.
//
// Where the camera will be:
// - in a replay, with a camera that follows the aircraft: at the replay's coming poses, the
//   camera keeping its place relative to the aircraft, its view turning at the rate measured
//   (a camera that trails the aircraft turns with it, one that circles it on its own does not);
// - otherwise from the camera's own motion over the last half second: its velocity and its
//   turn rate, extrapolated. A jump (a new start position, a seek) starts the estimate anew.
//
// What keeps the fetches from being wasted: a horizon short beside the services' keep_frames
// (a prefetched tile is kept while it is predicted, then as long as any unused tile), and at
// most MAX_TILES tiles asked ahead in a frame, nearest in time first; tiles already resident
// are passed over without being refreshed.
//
// Render thread only.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include <glm/vec3.hpp>

#include "gfx/Transform.h"
#include "physics/ReplayTimeline.h"
#include "terrain/TerrainRenderer.h"
#include "terrain/TilePrediction.h"

class StreamingAhead {
public:
    static constexpr double HORIZON_S = 2.0;
    static constexpr double STEP_S = 0.5;
    static constexpr size_t MAX_TILES = 24;
    // The camera's motion is measured over this much time.
    static constexpr double MOTION_WINDOW_S = 0.5;
    // Faster than this (Mercator metres per second) the camera jumped (a new start position, a
    // seek) or rushes as no aircraft flies: no motion to extrapolate.
    static constexpr double JUMP_SPEED = 2000.0;
    // Turns faster than this (degrees per second) are not kept up for the horizon: a flick of
    // the mouse is no turn of the flight.
    static constexpr double MAX_TURN_RATE = 30.0;

    // One frame: camera is the one looked through; replay, when given, is where the camera's
    // target (the aircraft at replay.pose()) goes next. Asks the terrain's services.
    void update(const gfx::Transform& camera, const ReplayTimeline* replay, TerrainRenderer& terrain);

    bool enabled = true;
    // Tiles asked ahead that were not requested yet, since the start.
    uint64_t new_requests = 0;

private:
    struct Sample {
        double time_s = 0.0;
        glm::vec3 position{0.0f};
        double heading_deg = 0.0;
    };

    struct Motion {
        glm::vec3 velocity{0.0f}; // world units per second
        double turn_rate = 0.0;   // degrees per second, to the right
    };

    // The camera's motion over the last MOTION_WINDOW_S, once that long has been watched.
    std::optional<Motion> measure(const ViewPose& now, const WorldFrame& frame);
    static std::vector<ViewPose> from_replay(const ViewPose& now, double turn_rate, const ReplayTimeline& replay,
                                             const WorldFrame& frame);

    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::deque<Sample> m_samples; // the camera over the last MOTION_WINDOW_S, oldest first
};
