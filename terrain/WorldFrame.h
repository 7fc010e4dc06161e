#pragma once

// The terrain's world frame: x east, y up, z south, in Web Mercator metres relative to the
// start position, multiplied by the scaling factor.

#include "tiles/LatLon.h"

struct WorldFrame {
    double scaling_factor = 0.05; // world units per Mercator metre
    double origin_x = 0.0;        // Mercator metres of the origin, growing eastward
    double origin_y = 0.0;        // Mercator metres of the origin, growing southward

    // The frame centred on origin (degrees).
    static WorldFrame centred_on(LatLon origin, double scaling_factor);

    // World (x, z) → latitude and longitude in degrees.
    LatLon world_to_latlon(double x, double z) const;

    // Altitude in metres of a world height (no latitude correction: the camera's y is
    // divided by the scale only).
    double altitude_of(double world_y) const { return world_y / scaling_factor; }
};
