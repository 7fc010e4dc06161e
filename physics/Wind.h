#pragma once

// The air the aircraft flies through: the mean wind of the settings by height (WindProfile.h),
// its gusts (WindGusts.h) and Dryden turbulence (DrydenTurbulence.h), stepped with the
// physics. Pure: values in, values out, true metres and seconds.
//
// Each physics step: step() with the step, the aircraft's height above the ground and its
// airspeed (the turbulence's filters need both), then velocity_at() for the wind in world
// axes and turbulence_body() for the turbulence in the body's, or air_velocity() for both in
// world axes.

#include <cstdint>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

#include "physics/DrydenTurbulence.h"
#include "physics/WindGusts.h"
#include "physics/WindSettings.h"

class Wind {
public:
    static constexpr uint64_t DEFAULT_SEED = 0x57696e64686f6c6cull;

    explicit Wind(const WindSettings& settings = {}, uint64_t seed = DEFAULT_SEED);

    const WindSettings& settings() const { return m_settings; }
    // New settings take effect at the next step; the random processes run on.
    void set_settings(const WindSettings& settings) { m_settings = settings; }

    // Advances gusts and turbulence by dt seconds for an aircraft height_m above the ground
    // moving through the air at airspeed_m_s.
    void step(double dt, double height_m, double airspeed_m_s);

    // The 10 m wind's speed now, gusts included (never below 0), m/s.
    double speed_10m() const;
    // The mean wind with the gusts at height_m above the ground: x east, y up, z south, m/s.
    glm::dvec3 velocity_at(double height_m) const;
    // The turbulence of the last step along the body's axes as the physics has them: x to the
    // nose, y up, z to the right, m/s.
    glm::dvec3 turbulence_body() const;

    // The 20 ft wind that sets the turbulence's intensity near the ground: the mean wind (no
    // gusts) at 20 ft.
    double wind_20ft() const;

    // The air's velocity at an aircraft height_m above the ground whose body turns to world axes
    // by rotation: velocity_at(height_m) + rotation * turbulence_body(), world axes, true m/s.
    // (The physics frame's Mercator metres are this times Aircraft::true_scale().)
    glm::dvec3 air_velocity(double height_m, const glm::dquat& rotation) const;

private:
    WindSettings m_settings;
    WindGusts m_gusts;
    DrydenTurbulence m_turbulence;
};
