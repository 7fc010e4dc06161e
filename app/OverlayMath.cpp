#include "app/OverlayMath.h"

#include <cmath>

#include "core/Units.h"

namespace {


} // namespace

int32_t compass_heading(const glm::vec3& z_axis)
{
    // The view direction is -z_axis.
    const double east = -static_cast<double>(z_axis.x);
    const double north = static_cast<double>(z_axis.z);
    if (!std::isfinite(east) || !std::isfinite(north) || (east == 0.0 && north == 0.0))
        return 0;
    const double degrees = std::atan2(east, north) * RAD_TO_DEG; // [-180, 180]
    const long rounded = std::lround(degrees);
    return static_cast<int32_t>(((rounded % 360) + 360) % 360);
}
