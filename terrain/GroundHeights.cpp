#include "terrain/GroundHeights.h"

#include <algorithm>
#include <cmath>

#include "tiles/WebMercator.h"

namespace {

// The tile of zoom z holding (mx, my), and the point's fractional tile coordinates.
TileId tile_holding(uint32_t z, double mx, double my, double& fx, double& fy)
{
    const double n = static_cast<double>(tiles_per_side(z));
    fx = mx / EARTH_CIRCUMFERENCE * n;
    fy = std::clamp(my / EARTH_CIRCUMFERENCE * n, 0.0, n - 1e-9);
    const double column = std::floor(fx);
    // Columns wrap around the antimeridian.
    const double wrapped = column - n * std::floor(column / n);
    return TileId{z, static_cast<uint32_t>(std::min(wrapped, n - 1.0)), static_cast<uint32_t>(std::floor(fy))};
}

// The finest resident tile at (mx, my) and the heights there, in metres. The tile's texture
// spans its square of the Mercator plane linearly, so the point's place in it is plain
// arithmetic.
std::optional<float> metres_at(const GroundSampler& sampler, double mx, double my, uint32_t* zoom)
{
    for (uint32_t z = sampler.max_zoom + 1; z-- > 0;) {
        double fx = 0.0;
        double fy = 0.0;
        const TileId tile = tile_holding(z, mx, my, fx, fy);
        const double column = std::floor(fx);
        const double row = std::floor(fy);
        if (const ElevationSamples* samples = sampler.lookup(tile)) {
            if (zoom != nullptr)
                *zoom = z;
            return samples->interpolate(fx - column, fy - row);
        }
    }
    return std::nullopt;
}

} // namespace

double GroundSampler::latitude(double z) const
{
    return mercator_lat(origin_my + z);
}

std::optional<float> GroundSampler::height(double x, double z, uint32_t* zoom) const
{
    const std::optional<float> metres = metres_at(*this, origin_mx + x, origin_my + z, zoom);
    if (!metres)
        return std::nullopt;
    return mercator_height(*metres, latitude(z));
}

FinestHeights finest_heights(const GroundSampler& sampler, double x, double z)
{
    const double mx = sampler.origin_mx + x;
    const double my = sampler.origin_my + z;
    FinestHeights result;
    for (uint32_t zoom = sampler.max_zoom + 1; zoom-- > 0;) {
        double fx = 0.0;
        double fy = 0.0;
        const TileId tile = tile_holding(zoom, mx, my, fx, fy);
        if (sampler.lookup(tile) != nullptr) {
            result.ready = true;
            result.zoom = zoom;
            return result;
        }
        if (!sampler.failed || !sampler.failed(tile)) {
            result.wanted = tile;
            return result;
        }
    }
    return result; // every zoom failed for good: nothing will ever come
}

GroundGrid sample_ground(const GroundSampler& sampler, double cx, double cz, double spacing, int size, float fill)
{
    GroundGrid grid;
    grid.spacing = spacing;
    grid.size = size;
    const double half = static_cast<double>(size / 2);
    grid.x0 = (std::round(cx / spacing) - half) * spacing;
    grid.z0 = (std::round(cz / spacing) - half) * spacing;
    grid.heights.resize(static_cast<size_t>(size) * static_cast<size_t>(size));
    for (int j = 0; j < size; ++j) {
        const double z = grid.z0 + j * spacing;
        // One latitude per row: the Mercator scale of the heights.
        const double scale = 1.0 / std::abs(std::cos(sampler.latitude(z) * DEG_TO_RAD));
        for (int i = 0; i < size; ++i) {
            const double x = grid.x0 + i * spacing;
            const std::optional<float> metres = metres_at(sampler, sampler.origin_mx + x, sampler.origin_my + z, nullptr);
            float& height = grid.heights[static_cast<size_t>(j) * size + i];
            if (metres) {
                height = static_cast<float>(*metres * scale);
            } else {
                height = fill;
                ++grid.missing;
            }
        }
    }
    return grid;
}
