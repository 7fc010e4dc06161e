#include "terrain/RunwayGround.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "terrain/RunwayIndex.h"
#include "tiles/WebMercator.h"

namespace {

double smoothstep(double edge0, double edge1, double x)
{
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// Bilinear between pixel centres with the edges clamped, as the GPU reads the tile.
double tile_height(const float* metres, int width, int height, double u, double v)
{
    const double x = std::clamp(u, 0.0, 1.0) * width - 0.5;
    const double y = std::clamp(v, 0.0, 1.0) * height - 0.5;
    const double x0 = std::floor(x);
    const double y0 = std::floor(y);
    const auto at = [&](double column, double row) {
        const auto c = static_cast<size_t>(std::clamp(column, 0.0, static_cast<double>(width - 1)));
        const auto r = static_cast<size_t>(std::clamp(row, 0.0, static_cast<double>(height - 1)));
        return static_cast<double>(metres[r * static_cast<size_t>(width) + c]);
    };
    const double fx = x - x0;
    const double fy = y - y0;
    const double top = at(x0, y0) * (1.0 - fx) + at(x0 + 1.0, y0) * fx;
    const double bottom = at(x0, y0 + 1.0) * (1.0 - fx) + at(x0 + 1.0, y0 + 1.0) * fx;
    return top * (1.0 - fy) + bottom * fy;
}

// The first / last pixel whose centre lies at or beyond / before a position given in pixels,
// within 0 .. count − 1 (an empty range when none does).
int first_pixel(double position, int count)
{
    return static_cast<int>(std::clamp(std::ceil(position - 0.5), 0.0, static_cast<double>(count)));
}

int last_pixel(double position, int count)
{
    return static_cast<int>(std::clamp(std::floor(position - 0.5), -1.0, static_cast<double>(count - 1)));
}

} // namespace

std::optional<RunwayEndHeights> end_heights(const Runway& runway, const RunwayShape& shape,
                                            const TerrainHeightAt& terrain)
{
    std::optional<double> found[2];
    for (int end : {LOW_END, HIGH_END}) {
        found[end] = runway.ends[end].elevation_m;
        if (!found[end] && terrain)
            found[end] = terrain(shape.position(RunwayPoint{shape.end_along(end), 0.0}));
    }
    if (!found[LOW_END] && !found[HIGH_END])
        return std::nullopt;
    return RunwayEndHeights{found[LOW_END].value_or(*found[HIGH_END]), found[HIGH_END].value_or(*found[LOW_END])};
}

double runway_line_height(const RunwayShape& shape, const RunwayEndHeights& heights, double along)
{
    const double span = shape.end_along(HIGH_END) - shape.end_along(LOW_END);
    if (!(span > 0.0))
        return 0.5 * (heights.low + heights.high);
    return heights.low + (heights.high - heights.low) * (along - shape.end_along(LOW_END)) / span;
}

double flattening_weight(const RunwayShape& shape, const RunwayPoint& point)
{
    const double beyond_end = std::max(std::abs(point.along) - shape.half_length() - FLAT_MARGIN_M, 0.0);
    const double beyond_edge = std::max(std::abs(point.across) - shape.half_width() - FLAT_MARGIN_M, 0.0);
    return 1.0 - smoothstep(0.0, SHOULDER_M, std::hypot(beyond_end, beyond_edge));
}

double flattened_height(const RunwayShape& shape, const RunwayEndHeights& heights, const RunwayPoint& point,
                        double terrain_height)
{
    const double weight = flattening_weight(shape, point);
    if (weight <= 0.0)
        return terrain_height;
    const double limit = shape.half_length() + FLAT_MARGIN_M;
    const double line = runway_line_height(shape, heights, std::clamp(point.along, -limit, limit));
    return terrain_height + (line - terrain_height) * weight;
}

int flatten_tile(const RunwayIndex& index, const TileId& tile, int width, int height, float* metres,
                 const TerrainHeightAt& terrain)
{
    if (metres == nullptr || width <= 0 || height <= 0 || index.empty())
        return 0;
    std::vector<uint32_t> runways = index.reaching_into(tile);
    if (runways.empty())
        return 0;
    // Shorter runways first: the longest is laid last and stays exact where they cross.
    std::stable_sort(runways.begin(), runways.end(), [&](uint32_t a, uint32_t b) {
        return index.runway(a).length_m < index.runway(b).length_m;
    });

    const double size = tile_size(tile.zoom);
    const double x0 = tile.x * size;
    const double y0 = tile.y * size;
    // Ends without an elevation take the terrain's height, from the caller or else from this
    // tile as it arrived (read before any runway changes it).
    const TerrainHeightAt own_heights = [&](const LatLon& position) -> std::optional<double> {
        if (terrain)
            if (const std::optional<double> known = terrain(position))
                return known;
        const double u = wrapped_difference(mercator_x(position.lon), x0) / size;
        const double v = (mercator_y(position.lat) - y0) / size;
        if (u < 0.0 || u > 1.0 || v < 0.0 || v > 1.0)
            return std::nullopt;
        return tile_height(metres, width, height, u, v);
    };
    std::vector<std::optional<RunwayEndHeights>> heights;
    heights.reserve(runways.size());
    for (uint32_t i : runways)
        heights.push_back(end_heights(index.runway(i), index.shape(i), own_heights));

    int changed = 0;
    const double pixel_x = size / width;
    const double pixel_y = size / height;
    for (size_t k = 0; k < runways.size(); ++k) {
        if (!heights[k])
            continue;
        const RunwayShape& shape = index.shape(runways[k]);
        const MercatorBox box = shape.bounds(FLATTENING_REACH_M);
        bool touched = false;
        // A box across the antimeridian from the tile reaches it a whole turn away.
        for (const double shift : {-EARTH_CIRCUMFERENCE, 0.0, EARTH_CIRCUMFERENCE}) {
            const int first_column = first_pixel((box.min_x + shift - x0) / pixel_x, width);
            const int last_column = last_pixel((box.max_x + shift - x0) / pixel_x, width);
            const int first_row = first_pixel((box.min_y - y0) / pixel_y, height);
            const int last_row = last_pixel((box.max_y - y0) / pixel_y, height);
            for (int row = first_row; row <= last_row; ++row) {
                const double my = y0 + (row + 0.5) * pixel_y;
                float* line = metres + static_cast<size_t>(row) * static_cast<size_t>(width);
                for (int column = first_column; column <= last_column; ++column) {
                    const RunwayPoint point = shape.local(x0 + (column + 0.5) * pixel_x, my);
                    const auto ground = static_cast<float>(flattened_height(shape, *heights[k], point, line[column]));
                    touched = touched || ground != line[column];
                    line[column] = ground;
                }
            }
        }
        changed += touched ? 1 : 0;
    }
    return changed;
}
