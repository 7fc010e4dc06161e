#include "terrain/LodSelection.h"

#include "core/Units.h"
#include "tiles/WebMercator.h"

#include <algorithm>
#include <cmath>

float view_heading(glm::vec3 z_axis)
{
    float heading = std::atan2(-z_axis.x, -z_axis.z) * RAD_TO_DEG_F;
    if (heading < 0.0f)
        heading += 360.0f;
    return heading;
}

double lod_push_distance(double altitude, float downward_look, double max_horizon)
{
    const double a = std::min(std::max(altitude, 0.0), 10000.0) / 10000.0;
    return (1.0 - static_cast<double>(downward_look)) * (a * max_horizon + (1.0 - a) * 500.0);
}

LatLon great_circle_destination(LatLon start, double bearing_degrees, double distance)
{
    const double theta = bearing_degrees * DEG_TO_RAD;
    const double delta = distance / EARTH_RADIUS;
    const double phi1 = start.lat * DEG_TO_RAD;
    const double lambda1 = start.lon * DEG_TO_RAD;
    const double phi2 = std::asin(std::sin(delta) * std::cos(phi1) * std::cos(theta) + std::cos(delta) * std::sin(phi1));
    const double lambda2 =
        lambda1 + std::atan2(std::sin(theta) * std::sin(delta) * std::cos(phi1), std::cos(delta) - std::sin(phi1) * std::sin(phi2));
    return {phi2 * RAD_TO_DEG, lambda2 * RAD_TO_DEG};
}

LatLon smart_lod_center(LatLon camera, double altitude, glm::vec3 camera_z_axis, double max_horizon)
{
    const float heading = view_heading(camera_z_axis);
    const float downward = std::max(0.0f, camera_z_axis.y);
    const double distance = lod_push_distance(altitude, downward, max_horizon);
    return great_circle_destination(camera, 180.0 - static_cast<double>(heading), distance);
}

uint32_t automatic_max_zoom(double lod_selection, double altitude, uint32_t min_zoom)
{
    const double product = lod_selection * altitude;
    uint32_t k = 0; // no positive product (ground level, below it, or NaN): the coarsest choice
    if (product > 0.0) {
        const double level = std::log2(EARTH_CIRCUMFERENCE / product);
        // A negative level (higher than the whole plane is wide) counts as the finest zoom,
        // as its unsigned conversion would; compare in double so no conversion overflows.
        if (level < 0.0 || level >= static_cast<double>(LOD_AUTOMATIC_ZOOM_LIMIT))
            k = LOD_AUTOMATIC_ZOOM_LIMIT;
        else
            k = static_cast<uint32_t>(level);
    }
    const uint32_t coarsest = min_zoom + 1;
    return std::max(coarsest, k);
}

LodSelection select_lod(const WorldFrame& frame, const LodSettings& settings, glm::vec3 camera_position, glm::vec3 camera_z_axis)
{
    LodSelection result;
    result.camera = frame.world_to_latlon(camera_position.x, camera_position.z);
    result.altitude = frame.altitude_of(camera_position.y);
    result.center_coord = settings.smart_lod_center
                              ? smart_lod_center(result.camera, result.altitude, camera_z_axis, settings.max_horizon)
                              : result.camera;
    result.max_zoom = settings.manual_zoom ? settings.max_zoom
                                           : automatic_max_zoom(settings.lod_selection, result.altitude, settings.min_zoom);
    result.center_tile = tile_corner_at(result.center_coord, settings.min_zoom);
    return result;
}
