#pragma once

// Spherical Web Mercator arithmetic: geographic positions, tiles, metres on the Mercator plane
// and the application's world frame. Pure functions in double precision, no state: callable
// from any thread.
//
// Mercator plane: metres with the origin at the north-west corner (longitude -180, latitude
// +85.0511), mx growing east and my growing south, both 0 ... EARTH_CIRCUMFERENCE.
// World frame: X = (mx - origin_mx) * s east, Z = (my - origin_my) * s south, Y up.
// The latitude formulas hold for |lat| below about 85.0511 degrees; nothing is clamped.

#include <array>
#include <cstdint>

#include "core/Units.h"
#include "tiles/LatLon.h"
#include "tiles/TileId.h"

inline constexpr double EARTH_CIRCUMFERENCE = 40075016.68557849; // width and height of the plane, metres
inline constexpr double EARTH_RADIUS = 6378137.0;                 // of the sphere the map is drawn from

// Geographic edges of a tile, degrees.
struct TileBounds {
    double lon_west = 0.0;
    double lon_east = 0.0;
    double lat_north = 0.0;
    double lat_south = 0.0;
};

// A point of the world frame's horizontal plane (world units).
struct WorldXZ {
    double x = 0.0; // east
    double z = 0.0; // south
};

// A position inside a tile: (0, 0) north-west corner, (1, 1) south-east; u follows the image
// column and v the image row.
struct TileUV {
    double u = 0.0;
    double v = 0.0;
};

// 2^zoom as the unsigned 32-bit value 1 << zoom (0 from zoom 32 on, as the 32-bit shift wraps).
constexpr uint32_t tiles_per_side(uint32_t zoom) { return zoom < 32 ? (1u << zoom) : 0u; }

// Row numbering for servers that count rows from the south: n - 1 - y, unsigned 32-bit.
constexpr uint32_t flip_row(uint32_t zoom, uint32_t y) { return tiles_per_side(zoom) - 1u - y; }

// sinh as (e^t - e^-t) * 0.5, the form every latitude formula here uses.
double mercator_sinh(double t);

// Mercator plane coordinates of a position, metres.
double mercator_x(double lon);
double mercator_y(double lat);
// Inverse of mercator_x / mercator_y.
double mercator_lon(double mx);
double mercator_lat(double my);

// The longitude taken into [-180, 180): east of the antimeridian is west of it. Non-finite
// values stay as they are.
double wrap_longitude(double lon);

// Metres along the sphere the map is drawn from between two positions (haversine), the short
// way round the antimeridian.
double great_circle_distance(const LatLon& a, const LatLon& b);

// The tile that contains the position: floor of the fractional tile coordinates. A position
// exactly on a border belongs to the tile east or south of it. The longitude is wrapped
// first, so every column lies on the grid (a position past 180 degrees east is in column 0
// onward); rows are not clamped.
TileId tile_at(const LatLon& position, uint32_t zoom);

// The grid corner nearest the position (round half away from zero), given as the tile whose
// north-west corner it is.
TileId tile_corner_at(const LatLon& position, uint32_t zoom);

// The four tiles meeting at the corner of tile_corner_at, in the order (x-1, y-1), (x, y-1),
// (x, y), (x-1, y); the position lies near the centre of this 2 x 2 block. Columns wrap
// around modulo 2^zoom (the antimeridian); rows are clamped to the grid (the poles).
std::array<TileId, 4> corner_block(const TileId& corner);

TileBounds tile_bounds(const TileId& tile);

// Edge length of a tile of this zoom on the Mercator plane, metres (C / n).
double tile_size(uint32_t zoom);

// Where the position lies inside the tile: u linear in longitude, v linear in Mercator y (as
// the tile's pixel rows are). The longitude is wrapped as tile_at wraps it.
TileUV position_in_tile(const LatLon& position, const TileId& tile);

// World X and Z of a position for an origin given in Mercator metres and a scale s.
WorldXZ latlon_to_world(const LatLon& position, double origin_mx, double origin_my, double s);

// The position at world (X, Z) for the same origin and scale.
LatLon world_to_latlon(double world_x, double world_z, double origin_mx, double origin_my, double s);
