#include "physics/Wing.h"

#include <cmath>

#include "core/Units.h"

glm::quat Wing::roll_orientation(int degrees)
{
    const float half_angle = static_cast<float>(degrees) * DEG_TO_RAD_F * 0.5f;
    return glm::quat(std::cos(half_angle), std::sin(half_angle), 0.0f, 0.0f);
}

float Wing::effective_aspect_ratio() const
{
    if (aspect_ratio > 0.0f)
        return aspect_ratio;
    return chord_length > 0.0f ? wingspan / chord_length : 0.0f;
}

float Wing::effective_lift_slope() const
{
    if (lift_slope > 0.0f)
        return lift_slope;
    // A finite wing's slope: the thin aerofoil's 2 pi, less what the tip vortices take away.
    const float ar = effective_aspect_ratio();
    return 2.0f * PI_F * ar / (ar + 2.0f);
}
