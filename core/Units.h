#pragma once

// Angles and units, defined once for every layer (header only, no dependencies but the
// standard library).

#include <cmath>

inline constexpr double PI = 3.141592653589793;
inline constexpr double TWO_PI = 6.283185307179586;
inline constexpr double DEG_TO_RAD = 0.017453292519943295;
inline constexpr double RAD_TO_DEG = 57.29577951308232;
// The same in single precision, for GL and physics maths.
inline constexpr float PI_F = static_cast<float>(PI);
inline constexpr float DEG_TO_RAD_F = static_cast<float>(DEG_TO_RAD);
inline constexpr float RAD_TO_DEG_F = static_cast<float>(RAD_TO_DEG);

inline constexpr double KM_H_PER_M_S = 3.6;
inline constexpr double KNOTS_PER_M_S = 3600.0 / 1852.0;
inline constexpr double FEET_PER_METRE = 1.0 / 0.3048;

// b − a in degrees the shorter way round, in (−180, 180]: the turn from heading a to heading b,
// the step from longitude a to longitude b.
inline double degrees_between(double a, double b)
{
    double d = std::fmod(b - a, 360.0);
    if (d > 180.0)
        d -= 360.0;
    else if (d <= -180.0)
        d += 360.0;
    return d;
}
