#pragma once

// Flight data between two logged rows, as the aircraft would have been at a time between
// them: position along the shorter way round the globe (across the antimeridian when that is
// shorter), heights, speeds and controls linearly, and the attitude turned the shortest way
// from one row's to the next (spherical interpolation of the rotations, so a heading passing
// north, a roll through inverted flight or a loop over the vertical turn as flown instead of
// sweeping the long way round one angle). Pure functions.

#include <glm/gtc/quaternion.hpp>

#include "physics/FlightSimulation.h"
#include "tiles/LatLon.h"

// The three angles of the flight log: heading 0 north, 90 east; pitch nose up; roll right
// wing down; degrees.
struct Attitude {
    double heading_deg = 0.0;
    double pitch_deg = 0.0;
    double roll_deg = 0.0;
};

// The rotation of the aircraft's body (nose +X, up +Y, right wing +Z) in the physics frame
// (x east, y up, z south) that the flight simulation reads back as this attitude: how a replay
// puts the aircraft in the logged pose.
glm::quat body_rotation(const Attitude& attitude);

// The position a fraction f (0 → a, 1 → b) of the way, longitude within [−180, 180).
LatLon interpolate_position(LatLon a, LatLon b, double f);

// The attitude a fraction f of the way along the shortest rotation from a to b. Heading in
// [0, 360), pitch within ±90, roll within ±180.
Attitude interpolate_attitude(const Attitude& a, const Attitude& b, double f);

// The flight at time t between rows a and b (a.time_s < b.time_s; t is clamped to them), with
// time_s = t. A height or speed known in one row only is taken from the nearer row when that
// one knows it, else unknown (NaN). The stall warning is the nearer row's.
FlightData interpolate_flight(const FlightData& a, const FlightData& b, double t);
