#include "app/OverlayMath.h"

#include <cmath>

namespace {

constexpr double PI = 3.141592653589793;
constexpr double DEGREES_PER_RADIAN = 57.29577951308232;

} // namespace

Placement place_at(double lat, double lon, float heading, float altitude, double origin_x, double origin_y,
                   double scaling_factor)
{
    const double mercator_x = (lon + 180.0) / 360.0 * MERCATOR_CIRCUMFERENCE;
    const double mercator_y = (1.0 - std::asinh(std::tan(lat * PI / 180.0)) / PI) * 0.5 * MERCATOR_CIRCUMFERENCE;
    Placement placement;
    placement.position = glm::vec3(static_cast<float>((mercator_x - origin_x) * scaling_factor),
                                   static_cast<float>(static_cast<double>(altitude) * scaling_factor),
                                   static_cast<float>((mercator_y - origin_y) * scaling_factor));
    placement.euler = glm::vec3(0.0f, -heading * 0.017453292f, 0.0f);
    return placement;
}

GeoPosition geo_position(const glm::vec3& world, double origin_x, double origin_y, double scaling_factor)
{
    const double x = world.x;
    const double y = world.y;
    const double z = world.z;
    GeoPosition geo;
    geo.lat = std::atan(std::sinh(PI - (z / scaling_factor + origin_y) * 2.0 * PI / MERCATOR_CIRCUMFERENCE)) * 180.0 / PI;
    geo.lon = (x / scaling_factor + origin_x) / MERCATOR_CIRCUMFERENCE * 360.0 - 180.0;
    geo.alt = y / scaling_factor;
    return geo;
}

int32_t compass_heading(const glm::vec3& z_axis)
{
    // The view direction is -z_axis; north is -z and east +x in the world frame.
    const double east = -static_cast<double>(z_axis.x);
    const double north = static_cast<double>(z_axis.z);
    // Looking straight up or down (or a broken axis) has no heading.
    if (!std::isfinite(east) || !std::isfinite(north) || (east == 0.0 && north == 0.0))
        return 0;
    const double degrees = std::atan2(east, north) * DEGREES_PER_RADIAN; // [-180, 180]
    const long rounded = std::lround(degrees);
    return static_cast<int32_t>(((rounded % 360) + 360) % 360);
}
