#pragma once

// The arithmetic behind the overlay's readouts and its "Select Position" jump: pure functions
// on values in the terrain's world frame (x east, y up, z south, Web Mercator metres relative
// to an origin times a scaling factor), so tests need no window.

#include <cstdint>

#include <glm/vec3.hpp>

// Width and height of the Web Mercator plane in metres.
inline constexpr double MERCATOR_CIRCUMFERENCE = 40075016.68557849;

// Where the free camera goes for a named place: its world position (the altitude taken as
// plain metres, without the Mercator height correction) and its Euler rotation in radians,
// turned from facing north by the place's heading (degrees clockwise from north).
struct Placement {
    glm::vec3 position{0.0f};
    glm::vec3 euler{0.0f};
};
Placement place_at(double lat, double lon, float heading, float altitude, double origin_x, double origin_y,
                   double scaling_factor);

// Latitude and longitude (degrees) and altitude (metres) of a world position.
struct GeoPosition {
    double lat = 0.0;
    double lon = 0.0;
    double alt = 0.0;
};
GeoPosition geo_position(const glm::vec3& world, double origin_x, double origin_y, double scaling_factor);

// Compass heading of a camera whose local +Z axis in the world is z_axis (it looks along
// -z_axis): degrees clockwise from north, rounded, always 0 to 359. Facing north is 0 and
// east 90, as in the table of named places; a degenerate axis reads 0.
int32_t compass_heading(const glm::vec3& z_axis);
