#pragma once

// Where the head-up display's symbols fall on the screen: pure arithmetic from the flight
// data's attitude and the view, so the drawing (app/Hud) only strokes what this places.
//
// The display is conformal: a symbol that marks a direction in the world (the horizon, a pitch
// rung, the flight path) is drawn where that direction appears through the cockpit camera,
// which looks along the nose. Screen coordinates are pixels from the top left, y down.

#include <optional>
#include <vector>

#include <glm/glm.hpp>

#include "physics/FlightSimulation.h"

namespace hud {

struct View {
    float width = 1280.0f;  // pixels
    float height = 720.0f;
    float vertical_fov = 0.7853982f; // radians, the cockpit camera's

    glm::vec2 centre() const { return {0.5f * width, 0.5f * height}; }
    // Pixels per unit of tangent: the distance from the centre of a direction one radian's
    // tangent off the nose.
    float focal() const;
};

// The body's axes in the world frame (x east, y up, z south) for a heading (0 north, 90 east),
// pitch (nose up) and roll (right wing down), degrees.
struct Axes {
    glm::dvec3 forward, right, up;
};
Axes attitude_axes(double heading_deg, double pitch_deg, double roll_deg);

// The direction at a heading and an elevation above the horizon, degrees.
glm::dvec3 direction(double heading_deg, double elevation_deg);

// Where a world direction appears; nothing when it lies behind the viewer (or within a hair
// of the screen's plane).
std::optional<glm::vec2> project(const View& view, const Axes& axes, const glm::dvec3& direction);

// One rung of the pitch ladder: the horizon at 0 degrees, others every few degrees. Its two
// halves run from the inner ends (either side of the gap in the middle) to the outer ends.
struct Rung {
    int degrees = 0;
    glm::vec2 left_outer, left_inner, right_inner, right_outer;
};

// The rungs every step degrees within range degrees of the pitch, from -90 to 90, that appear
// on the screen whole. Each spans half_width degrees either side of the nose's heading, with a
// gap of gap degrees either side of the middle; the horizon is twice as wide.
std::vector<Rung> pitch_ladder(const FlightData& data, const View& view, int step = 5, double range = 30.0,
                               double half_width = 6.0, double gap = 2.0);

// Where the aircraft is going: its velocity's direction (track and climb angle from the
// flight data). Nothing below min_speed (m/s) or when it lies behind.
std::optional<glm::vec2> flight_path_marker(const FlightData& data, const View& view, double min_speed = 1.0);

// A mark on the heading scale: the heading in whole degrees (0 to 355) and its offset in
// pixels from the scale's middle (the current heading).
struct HeadingTick {
    int degrees = 0;
    float offset = 0.0f;
};
// The marks every step degrees within half_span degrees either side of the heading,
// pixels_per_degree apart, in order from left to right.
std::vector<HeadingTick> heading_ticks(double heading_deg, int step, double half_span, float pixels_per_degree);

} // namespace hud
