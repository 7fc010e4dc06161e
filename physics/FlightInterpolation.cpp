#include "physics/FlightInterpolation.h"

#include <algorithm>
#include <cmath>

#include <glm/gtc/quaternion.hpp>

#include "core/Units.h"

namespace {

// World axes: x east, y up, z south. The attitude turns the body from nose north, right wing
// east, up up: heading about up (clockwise seen from above), then pitch about the right wing,
// then roll about the nose.
glm::dquat to_rotation(const Attitude& a)
{
    const glm::dquat heading = glm::angleAxis(-a.heading_deg * DEG_TO_RAD, glm::dvec3(0.0, 1.0, 0.0));
    const glm::dquat pitch = glm::angleAxis(a.pitch_deg * DEG_TO_RAD, glm::dvec3(1.0, 0.0, 0.0));
    const glm::dquat roll = glm::angleAxis(-a.roll_deg * DEG_TO_RAD, glm::dvec3(0.0, 0.0, 1.0));
    return heading * pitch * roll;
}

// The angles back from the rotated body axes, as the flight simulation reads them.
Attitude to_attitude(const glm::dquat& q)
{
    const glm::dvec3 nose = q * glm::dvec3(0.0, 0.0, -1.0);
    const glm::dvec3 up = q * glm::dvec3(0.0, 1.0, 0.0);
    const glm::dvec3 right = q * glm::dvec3(1.0, 0.0, 0.0);
    Attitude a;
    const double heading = std::atan2(nose.x, -nose.z) * RAD_TO_DEG;
    a.heading_deg = heading < 0.0 ? heading + 360.0 : heading;
    a.pitch_deg = std::asin(std::clamp(nose.y, -1.0, 1.0)) * RAD_TO_DEG;
    a.roll_deg = std::atan2(-right.y, up.y) * RAD_TO_DEG;
    return a;
}

// Linear, except that an unknown value (NaN) on one side gives way to the nearer row's.
double blend(double a, double b, double f)
{
    if (std::isnan(a) || std::isnan(b))
        return f < 0.5 ? a : b;
    return a + (b - a) * f;
}

} // namespace

glm::quat body_rotation(const Attitude& attitude)
{
    // The body's nose, up and right wing are the reference frame's nose (north), up and right
    // (east) turned a quarter turn about up.
    return glm::quat(to_rotation(attitude) * glm::angleAxis(0.5 * PI, glm::dvec3(0.0, 1.0, 0.0)));
}

LatLon interpolate_position(LatLon a, LatLon b, double f)
{
    double lon = a.lon + degrees_between(a.lon, b.lon) * f;
    lon = std::fmod(lon + 180.0, 360.0);
    if (lon < 0.0)
        lon += 360.0;
    return {a.lat + (b.lat - a.lat) * f, lon - 180.0};
}

Attitude interpolate_attitude(const Attitude& a, const Attitude& b, double f)
{
    // glm's slerp takes the shorter arc (it flips b's sign when the dot product is negative).
    return to_attitude(glm::slerp(to_rotation(a), to_rotation(b), f));
}

FlightData interpolate_flight(const FlightData& a, const FlightData& b, double t)
{
    const double span = b.time_s - a.time_s;
    const double f = span > 0.0 ? std::clamp((t - a.time_s) / span, 0.0, 1.0) : 0.0;
    const auto linear = [f](double x, double y) { return x + (y - x) * f; };
    const auto control = [f](float x, float y) { return static_cast<float>(x + (y - x) * f); };

    FlightData d;
    d.time_s = a.time_s + span * f;
    d.position = interpolate_position(a.position, b.position, f);
    d.altitude_m = linear(a.altitude_m, b.altitude_m);
    d.height_above_ground_m = blend(a.height_above_ground_m, b.height_above_ground_m, f);
    d.airspeed_m_s = blend(a.airspeed_m_s, b.airspeed_m_s, f);
    d.vertical_speed_m_s = blend(a.vertical_speed_m_s, b.vertical_speed_m_s, f);
    const Attitude attitude = interpolate_attitude({a.heading_deg, a.pitch_deg, a.roll_deg},
                                                   {b.heading_deg, b.pitch_deg, b.roll_deg}, f);
    d.heading_deg = attitude.heading_deg;
    d.pitch_deg = attitude.pitch_deg;
    d.roll_deg = attitude.roll_deg;
    d.controls.elevator = control(a.controls.elevator, b.controls.elevator);
    d.controls.aileron = control(a.controls.aileron, b.controls.aileron);
    d.controls.rudder = control(a.controls.rudder, b.controls.rudder);
    d.controls.throttle = control(a.controls.throttle, b.controls.throttle);
    d.controls.brake = control(a.controls.brake, b.controls.brake);
    d.stall_warning = f < 0.5 ? a.stall_warning : b.stall_warning;
    return d;
}
