#include "tools/TileRaster.h"

#include <algorithm>
#include <cmath>

namespace tileserver {

bool is_valid(const TileAddress& tile)
{
    if (tile.zoom > MAX_ZOOM) {
        return false;
    }
    uint32_t n = 1u << tile.zoom;
    return tile.x < n && tile.y < n;
}

TileTerrain compute_terrain(const TileAddress& tile)
{
    TileTerrain terrain;
    terrain.grid.resize(static_cast<size_t>(TileTerrain::GRID) * TileTerrain::GRID);
    const double n = std::ldexp(1.0, static_cast<int>(tile.zoom));
    const double step = 1.0 / ((TILE_SIZE - 1) * n); // Mercator units between pixels
    terrain.pixel_size = step * World::EARTH_CIRCUMFERENCE * World::ground_scale();
    const double u0 = tile.x / n;
    const double v0 = tile.y / n;
    for (int j = 0; j < TileTerrain::GRID; ++j) {
        GroundPoint first = World::from_mercator_unit(u0 - step, v0 + (j - 1) * step);
        GroundRow row{first.x, terrain.pixel_size, first.y, TileTerrain::GRID};
        World::sample_row(row, terrain.pixel_size, &terrain.grid[static_cast<size_t>(j) * TileTerrain::GRID]);
    }
    return terrain;
}

std::vector<uint8_t> render_imagery(const TileAddress& tile, const TileTerrain& terrain)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(TILE_SIZE) * TILE_SIZE * 3);
    const double n = std::ldexp(1.0, static_cast<int>(tile.zoom));
    const double step = 1.0 / ((TILE_SIZE - 1) * n);
    const float inverse_spacing = static_cast<float>(0.5 / terrain.pixel_size);
    std::vector<float> slope_x(TILE_SIZE);
    std::vector<float> slope_y(TILE_SIZE);
    for (int row = 0; row < TILE_SIZE; ++row) {
        for (int column = 0; column < TILE_SIZE; ++column) {
            slope_x[static_cast<size_t>(column)] =
                (terrain.at_pixel(column + 1, row).height - terrain.at_pixel(column - 1, row).height) * inverse_spacing;
            slope_y[static_cast<size_t>(column)] =
                (terrain.at_pixel(column, row + 1).height - terrain.at_pixel(column, row - 1).height) * inverse_spacing;
        }
        GroundPoint first = World::from_mercator_unit(tile.x / n, tile.y / n + row * step);
        GroundRow ground{first.x, terrain.pixel_size, first.y, TILE_SIZE};
        World::colour_row(ground, terrain.pixel_size, &terrain.at_pixel(0, row), slope_x.data(), slope_y.data(),
                          &rgb[static_cast<size_t>(row) * TILE_SIZE * 3]);
    }
    return rgb;
}

std::vector<uint8_t> render_elevation_rg(const TileTerrain& terrain)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(TILE_SIZE) * TILE_SIZE * 3);
    for (int row = 0; row < TILE_SIZE; ++row) {
        for (int column = 0; column < TILE_SIZE; ++column) {
            double eighths = std::clamp(std::round(terrain.at_pixel(column, row).height * 8.0), 0.0, 65535.0);
            auto q = static_cast<uint32_t>(eighths);
            uint8_t* pixel = &rgb[(static_cast<size_t>(row) * TILE_SIZE + column) * 3];
            pixel[0] = static_cast<uint8_t>(q >> 8);
            pixel[1] = static_cast<uint8_t>(q & 0xffu);
            pixel[2] = 0;
        }
    }
    return rgb;
}

std::vector<uint8_t> render_elevation_byte(const TileTerrain& terrain)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(TILE_SIZE) * TILE_SIZE * 3);
    for (int row = 0; row < TILE_SIZE; ++row) {
        for (int column = 0; column < TILE_SIZE; ++column) {
            double level = std::clamp(std::round(terrain.at_pixel(column, row).height / 3795.0 * 255.0), 0.0, 255.0);
            uint8_t* pixel = &rgb[(static_cast<size_t>(row) * TILE_SIZE + column) * 3];
            pixel[0] = pixel[1] = pixel[2] = static_cast<uint8_t>(level);
        }
    }
    return rgb;
}

} // namespace tileserver
