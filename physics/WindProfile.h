#pragma once

// The mean wind's strength by height above the ground: the logarithmic profile of a neutral
// surface layer over open country,
//
//     speed(h) = speed(10 m) * ln(h / z0) / ln(10 m / z0),   z0 = 0.03 m (grass, few obstacles),
//
// weaker below the 10 m of the weather reports (0.67 of it at 1.5 m) and stronger above (1.4
// times at 100 m). Below half a metre it keeps its half-metre value (0.48 of the 10 m wind),
// so it never reaches zero or turns negative near z0; above 1000 m, the top of a typical
// daytime boundary layer, it keeps its 1000 m value (1.79 times), the free wind above. A
// height that is not a number (no ground known below) counts as 10 m. The direction is the
// same at every height.
//
// World axes as the physics frame's: x east, y up, z south; speeds in true metres per second.

#include <glm/vec3.hpp>

#include "physics/WindSettings.h"

namespace wind {

inline constexpr double ROUGHNESS_LENGTH_M = 0.03;
inline constexpr double REFERENCE_HEIGHT_M = 10.0;
inline constexpr double PROFILE_FLOOR_M = 0.5;
inline constexpr double PROFILE_TOP_M = 1000.0;

// speed(h) / speed(10 m).
double profile_factor(double height_m);

// The unit vector the air moves along for a wind from from_deg (clockwise from north).
glm::dvec3 downwind_direction(double from_deg);

// The mean wind of the settings at height_m above the ground, with speed_10m_m_s in place of
// the settings' speed (the gusts vary it), world axes, m/s.
glm::dvec3 mean_wind(double from_deg, double speed_10m_m_s, double height_m);

} // namespace wind
