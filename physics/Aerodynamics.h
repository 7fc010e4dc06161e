#pragma once

// The aerodynamic model's pure parts: the air of the International Standard Atmosphere and the
// coefficients of a lifting surface at any angle of attack. Units are true (SI) units.

#include "physics/Wing.h"

namespace aero {

inline constexpr float SEA_LEVEL_DENSITY = 1.225f; // kg/m^3

// Density of the standard atmosphere at an altitude above sea level, metres: the troposphere's
// temperature lapse up to 11 km, the isothermal stratosphere above. Altitudes below -1000 m or
// above 80 km read as those limits.
float air_density(float altitude_m);

struct Coefficients {
    float lift = 0.0f;
    float drag = 0.0f;
    float stalled = 0.0f; // 0 attached flow ... 1 fully separated
};

// Lift and drag coefficients of the wing at an effective angle of attack (radians, -pi..pi).
// Up to the stall angle the lift rises with the wing's slope and the drag is the zero-lift
// part plus the induced part C_L^2 / (pi e AR). Within a few degrees past the stall the flow
// separates and both blend into those of a flat plate (lift 0.9 sin 2a, drag 1.8 sin^2 a): the
// lift collapses to about half and the drag grows.
Coefficients wing_coefficients(const Wing& wing, float alpha);

// How many degrees past the stall angle the flow takes to separate completely.
inline constexpr float STALL_BLEND_DEGREES = 6.0f;

} // namespace aero
