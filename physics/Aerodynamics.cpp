#include "physics/Aerodynamics.h"

#include <algorithm>
#include <cmath>

#include "core/Units.h"

namespace aero {

namespace {


float smoothstep(float edge0, float edge1, float x)
{
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

} // namespace

float air_density(float altitude_m)
{
    constexpr float T0 = 288.15f;        // K at sea level
    constexpr float LAPSE = 0.0065f;     // K per metre
    constexpr float TROPOPAUSE = 11000.0f;
    constexpr float EXPONENT = 4.2558797f; // g / (R L) - 1
    constexpr float SCALE_HEIGHT = 6341.62f; // R T / g in the stratosphere (216.65 K), metres

    const float h = std::clamp(altitude_m, -1000.0f, 80000.0f);
    if (h <= TROPOPAUSE)
        return SEA_LEVEL_DENSITY * std::pow((T0 - LAPSE * h) / T0, EXPONENT);
    const float at_tropopause = SEA_LEVEL_DENSITY * std::pow((T0 - LAPSE * TROPOPAUSE) / T0, EXPONENT);
    return at_tropopause * std::exp(-(h - TROPOPAUSE) / SCALE_HEIGHT);
}

Coefficients wing_coefficients(const Wing& wing, float alpha)
{
    const float slope = wing.effective_lift_slope();
    const float aspect_ratio = std::max(wing.effective_aspect_ratio(), 0.1f);
    const float stall = std::max(wing.stall_angle, 0.01f);
    const float magnitude = std::fabs(alpha);

    Coefficients c;
    c.stalled = smoothstep(stall, stall + STALL_BLEND_DEGREES * DEG_TO_RAD_F, magnitude);

    const float attached_lift = slope * std::clamp(alpha, -stall, stall);
    const float induced = attached_lift * attached_lift / (PI_F * std::max(wing.efficiency, 0.05f) * aspect_ratio);
    const float sine = std::sin(alpha);
    const float plate_lift = 0.9f * std::sin(2.0f * alpha);
    const float plate_drag = 1.8f * sine * sine;

    c.lift = (1.0f - c.stalled) * attached_lift + c.stalled * plate_lift;
    c.drag = wing.zero_lift_drag + (1.0f - c.stalled) * induced + c.stalled * plate_drag;
    return c;
}

} // namespace aero
