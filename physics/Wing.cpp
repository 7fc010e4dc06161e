#include "physics/Wing.h"

#include <cmath>

glm::quat Wing::roll_orientation(int degrees)
{
    const float half_angle = static_cast<float>(degrees) * 0.017453292f * 0.5f;
    return glm::quat(std::cos(half_angle), std::sin(half_angle), 0.0f, 0.0f);
}
