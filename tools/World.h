#pragma once

// The procedural world the local tile server shows: a deterministic height field with
// mountains, valleys, lakes and a river, and the land cover painted on it, defined at every
// point of the Web Mercator plane. Everything is a function of the continuous position, never
// of a tile, so neighbouring tiles meet seamlessly and every zoom shows the same landscape.
//
// Positions are "ground metres" relative to the default start position (lat 47.2576,
// lon 11.3513): Mercator metres scaled by the cosine of the start's latitude, x east, y south.
// Near the start these are true metres on the ground; far away the shapes stretch as Web
// Mercator does.

#include <cstdint>

namespace tileserver {

struct GroundPoint {
    double x = 0.0; // east of the start, metres
    double y = 0.0; // south of the start, metres
};

// n evenly spaced points (x0 + i·dx, y), dx > 0, in ground metres: a row of pixels.
struct GroundRow {
    double x0 = 0.0;
    double dx = 1.0;
    double y = 0.0;
    int n = 1;
};

struct WorldSample {
    float height = 0.0f; // metres above sea level; water pixels give the water surface
    float water = 0.0f;  // how much of the pixel is open water, 0 to 1
    float rugged = 0.0f; // 0 on valley floors, 1 in the high mountains
};

class World {
public:
    static constexpr double START_LAT = 47.2576;
    static constexpr double START_LON = 11.3513;
    static constexpr double EARTH_CIRCUMFERENCE = 40075016.68557849;
    // Heights stay below what the single-byte elevation encoding can carry (3795 m).
    static constexpr float MAX_HEIGHT = 3780.0f;

    // Ground position of a point given as a fraction of the Mercator plane (0..1 east and south).
    static GroundPoint from_mercator_unit(double u, double v);
    static GroundPoint from_latlon(double lat, double lon);
    // Metres on the ground per metre of Mercator plane (the cosine of the start's latitude).
    static double ground_scale();

    // The world at a point, with detail down to about pixel_size metres (the finest octaves
    // are left out where a pixel could not show them), its airfields' runways laid flat on it.
    static WorldSample sample(GroundPoint p, double pixel_size);
    // The same for every point of a row (the same values, computed faster): out[0 .. n).
    static void sample_row(const GroundRow& row, double pixel_size, WorldSample* out);
    // The same before the runways were laid on it: the land the airfields' elevations come from.
    static void sample_terrain_row(const GroundRow& row, double pixel_size, WorldSample* out);

    // RGB colours of the ground from the air along a row, 3 bytes per point, the airfields'
    // runways painted on it. slope_x and slope_y are the height gradient (metres per metre,
    // east and south) at each point.
    static void colour_row(const GroundRow& row, double pixel_size, const WorldSample* samples, const float* slope_x,
                           const float* slope_y, uint8_t* rgb);
};

} // namespace tileserver
