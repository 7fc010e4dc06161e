#include "physics/WindProfile.h"

#include <algorithm>
#include <cmath>

#include "core/Units.h"

namespace wind {

double profile_factor(double height_m)
{
    if (std::isnan(height_m))
        return 1.0;
    const double h = std::clamp(height_m, PROFILE_FLOOR_M, PROFILE_TOP_M);
    return std::log(h / ROUGHNESS_LENGTH_M) / std::log(REFERENCE_HEIGHT_M / ROUGHNESS_LENGTH_M);
}

glm::dvec3 downwind_direction(double from_deg)
{
    const double from = from_deg * DEG_TO_RAD;
    // The air goes towards from + 180°: east -sin(from), north -cos(from), and +z is south.
    return {-std::sin(from), 0.0, std::cos(from)};
}

glm::dvec3 mean_wind(double from_deg, double speed_10m_m_s, double height_m)
{
    return downwind_direction(from_deg) * (std::max(speed_10m_m_s, 0.0) * profile_factor(height_m));
}

} // namespace wind
