#include "tiles/WebMercator.h"

#include <algorithm>
#include <cmath>

#include "core/Units.h"

namespace {

// Truncates toward zero and keeps the low 32 bits, as the tile formulas store their results.
// Values outside the 64-bit range (or NaN) would make the conversion undefined; they become 0.
uint32_t truncate_to_u32(double value)
{
    if (!(value > -9.0e18 && value < 9.0e18)) {
        return 0;
    }
    return static_cast<uint32_t>(static_cast<int64_t>(value));
}

double tile_fx(double lon, double n) { return (lon + 180.0) / 360.0 * n; }

// As tile_fx, for a longitude taken round the globe first: a column on the grid.
double wrapped_tile_fx(double lon, double n) { return tile_fx(wrap_longitude(lon), n); }

double tile_fy(double lat, double n) { return (1.0 - std::asinh(std::tan(lat * DEG_TO_RAD)) / PI) * 0.5 * n; }

double row_latitude(double row, double n) { return std::atan(mercator_sinh(PI - row * TWO_PI / n)) * RAD_TO_DEG; }

} // namespace

double mercator_sinh(double t) { return (std::exp(t) - std::exp(-t)) * 0.5; }

double mercator_x(double lon) { return (lon + 180.0) / 360.0 * EARTH_CIRCUMFERENCE; }

double mercator_y(double lat) { return (1.0 - std::asinh(std::tan(lat * DEG_TO_RAD)) / PI) * 0.5 * EARTH_CIRCUMFERENCE; }

double mercator_lon(double mx) { return mx / EARTH_CIRCUMFERENCE * 360.0 - 180.0; }

double mercator_lat(double my) { return std::atan(mercator_sinh(PI - my * TWO_PI / EARTH_CIRCUMFERENCE)) * RAD_TO_DEG; }

double wrap_longitude(double lon)
{
    if (!std::isfinite(lon) || (lon >= -180.0 && lon < 180.0)) {
        return lon;
    }
    const double wrapped = lon - 360.0 * std::floor((lon + 180.0) / 360.0);
    // Rounding can land a value just below -180 on 180 itself.
    return wrapped >= 180.0 ? wrapped - 360.0 : wrapped;
}

TileId tile_at(const LatLon& position, uint32_t zoom)
{
    const double n = static_cast<double>(tiles_per_side(zoom));
    // The fraction can still round up to n for a longitude a hair below 180.
    const double fx = std::floor(wrapped_tile_fx(position.lon, n));
    const double column = n > 0.0 ? std::min(fx, n - 1.0) : fx;
    return {zoom, truncate_to_u32(column), truncate_to_u32(std::floor(tile_fy(position.lat, n)))};
}

TileId tile_corner_at(const LatLon& position, uint32_t zoom)
{
    const double n = static_cast<double>(tiles_per_side(zoom));
    return {zoom, truncate_to_u32(std::round(tile_fx(position.lon, n))), truncate_to_u32(std::round(tile_fy(position.lat, n)))};
}

std::array<TileId, 4> corner_block(const TileId& corner)
{
    const uint32_t z = corner.zoom;
    const uint32_t n = tiles_per_side(z);
    if (n == 0) {
        return {TileId{z, corner.x - 1u, corner.y - 1u}, TileId{z, corner.x, corner.y - 1u},
                TileId{z, corner.x, corner.y}, TileId{z, corner.x - 1u, corner.y}};
    }
    // Columns go round the globe: west of column 0 lies column n - 1, and the corner at
    // 180 degrees east is the one at -180. Rows end at the poles: clamped, never wrapped.
    const uint32_t east = corner.x % n;
    const uint32_t west = (east + n - 1u) % n;
    const uint32_t south = std::min(corner.y, n - 1u);
    const uint32_t north = corner.y > 0 ? std::min(corner.y - 1u, n - 1u) : 0u;
    return {TileId{z, west, north}, TileId{z, east, north}, TileId{z, east, south}, TileId{z, west, south}};
}

TileBounds tile_bounds(const TileId& tile)
{
    const double n = static_cast<double>(tiles_per_side(tile.zoom));
    const double x = static_cast<double>(tile.x);
    const double y = static_cast<double>(tile.y);
    TileBounds bounds;
    bounds.lon_west = x / n * 360.0 - 180.0;
    bounds.lon_east = (x + 1.0) / n * 360.0 - 180.0;
    bounds.lat_north = row_latitude(y, n);
    bounds.lat_south = row_latitude(y + 1.0, n);
    return bounds;
}

double tile_size(uint32_t zoom) { return EARTH_CIRCUMFERENCE / static_cast<double>(tiles_per_side(zoom)); }

TileUV position_in_tile(const LatLon& position, const TileId& tile)
{
    // Rows of pixels are evenly spaced in Mercator y, not in latitude: v comes from the
    // fractional tile row, as tile_at's does (linear in latitude, a zoom-7 tile's middle
    // would be read a pixel and a kilometre off).
    const double n = static_cast<double>(tiles_per_side(tile.zoom));
    return {wrapped_tile_fx(position.lon, n) - static_cast<double>(tile.x), tile_fy(position.lat, n) - static_cast<double>(tile.y)};
}

WorldXZ latlon_to_world(const LatLon& position, double origin_mx, double origin_my, double s)
{
    return {(mercator_x(position.lon) - origin_mx) * s, (mercator_y(position.lat) - origin_my) * s};
}

LatLon world_to_latlon(double world_x, double world_z, double origin_mx, double origin_my, double s)
{
    const double mx = world_x / s + origin_mx;
    const double my = world_z / s + origin_my;
    return {mercator_lat(my), mercator_lon(mx)};
}

double great_circle_distance(const LatLon& a, const LatLon& b)
{
    const double sin_lat = std::sin((b.lat - a.lat) * DEG_TO_RAD * 0.5);
    const double sin_lon = std::sin((b.lon - a.lon) * DEG_TO_RAD * 0.5);
    const double h = sin_lat * sin_lat + std::cos(a.lat * DEG_TO_RAD) * std::cos(b.lat * DEG_TO_RAD) * sin_lon * sin_lon;
    return 2.0 * EARTH_RADIUS * std::asin(std::min(1.0, std::sqrt(h)));
}
