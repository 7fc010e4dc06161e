#include "tools/TileRaster.h"

#include <algorithm>
#include <cmath>

#include "tools/Noise.h"

namespace tileserver {

bool is_valid(const TileAddress& tile)
{
    if (tile.zoom > MAX_ZOOM) {
        return false;
    }
    uint32_t n = 1u << tile.zoom;
    return tile.x < n && tile.y < n;
}

TileTerrain compute_terrain(const TileAddress& tile, int size)
{
    TileTerrain terrain;
    terrain.size = size;
    const int side = terrain.side();
    terrain.grid.resize(static_cast<size_t>(side) * static_cast<size_t>(side));
    const double n = std::ldexp(1.0, static_cast<int>(tile.zoom));
    terrain.step = 1.0 / ((size - 1) * n);
    terrain.pixel_size = terrain.step * World::EARTH_CIRCUMFERENCE * World::ground_scale();
    const double u0 = tile.x / n;
    const double v0 = tile.y / n;
    for (int j = 0; j < side; ++j) {
        GroundPoint first = World::from_mercator_unit(u0 - terrain.step, v0 + (j - 1) * terrain.step);
        GroundRow row{first.x, terrain.pixel_size, first.y, side};
        World::sample_row(row, terrain.pixel_size, &terrain.grid[static_cast<size_t>(j) * static_cast<size_t>(side)]);
    }
    return terrain;
}

std::vector<uint8_t> render_imagery(const TileAddress& tile, const TileTerrain& terrain)
{
    const int size = terrain.size;
    std::vector<uint8_t> rgb(static_cast<size_t>(size) * size * 3);
    const double n = std::ldexp(1.0, static_cast<int>(tile.zoom));
    const float inverse_spacing = static_cast<float>(0.5 / terrain.pixel_size);
    std::vector<float> slope_x(static_cast<size_t>(size));
    std::vector<float> slope_y(static_cast<size_t>(size));
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            slope_x[static_cast<size_t>(column)] =
                (terrain.at_pixel(column + 1, row).height - terrain.at_pixel(column - 1, row).height) * inverse_spacing;
            slope_y[static_cast<size_t>(column)] =
                (terrain.at_pixel(column, row + 1).height - terrain.at_pixel(column, row - 1).height) * inverse_spacing;
        }
        GroundPoint first = World::from_mercator_unit(tile.x / n, tile.y / n + row * terrain.step);
        GroundRow ground{first.x, terrain.pixel_size, first.y, size};
        World::colour_row(ground, terrain.pixel_size, &terrain.at_pixel(0, row), slope_x.data(), slope_y.data(),
                          &rgb[static_cast<size_t>(row) * size * 3]);
    }
    return rgb;
}

void add_grain(std::vector<uint8_t>& rgb, const TileAddress& tile, int size, int amplitude)
{
    const uint32_t seed = 0x9e3779b9u * (tile.zoom + 1) + static_cast<uint32_t>(size);
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            const uint32_t h = hash_lattice(int64_t(tile.x) * size + column, int64_t(tile.y) * size + row, seed);
            uint8_t* pixel = &rgb[(static_cast<size_t>(row) * size + column) * 3];
            for (int c = 0; c < 3; ++c) {
                const int offset = (static_cast<int>((h >> (8 * c)) & 0xffu) - 128) * amplitude / 128;
                pixel[c] = static_cast<uint8_t>(std::clamp(pixel[c] + offset, 0, 255));
            }
        }
    }
}

namespace {

// One RGB pixel per height, rows top to bottom, from encode(height, pixel).
template <typename Encode>
std::vector<uint8_t> render_heights(const TileTerrain& terrain, Encode encode)
{
    const int size = terrain.size;
    std::vector<uint8_t> rgb(static_cast<size_t>(size) * size * 3);
    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            encode(terrain.at_pixel(column, row).height, &rgb[(static_cast<size_t>(row) * size + column) * 3]);
        }
    }
    return rgb;
}

// A count of steps as the 24-bit number R·65536 + G·256 + B.
void put_24_bits(double steps, uint8_t* pixel)
{
    auto q = static_cast<uint32_t>(std::clamp(std::round(steps), 0.0, 16777215.0));
    pixel[0] = static_cast<uint8_t>(q >> 16);
    pixel[1] = static_cast<uint8_t>((q >> 8) & 0xffu);
    pixel[2] = static_cast<uint8_t>(q & 0xffu);
}

} // namespace

std::vector<uint8_t> render_elevation_rg(const TileTerrain& terrain)
{
    return render_heights(terrain, [](float height, uint8_t* pixel) {
        double eighths = std::clamp(std::round(height * 8.0), 0.0, 65535.0);
        auto q = static_cast<uint32_t>(eighths);
        pixel[0] = static_cast<uint8_t>(q >> 8);
        pixel[1] = static_cast<uint8_t>(q & 0xffu);
        pixel[2] = 0;
    });
}

std::vector<uint8_t> render_elevation_byte(const TileTerrain& terrain)
{
    return render_heights(terrain, [](float height, uint8_t* pixel) {
        double level = std::clamp(std::round(height / 3795.0 * 255.0), 0.0, 255.0);
        pixel[0] = pixel[1] = pixel[2] = static_cast<uint8_t>(level);
    });
}

std::vector<uint8_t> render_elevation_terrarium(const TileTerrain& terrain)
{
    return render_heights(terrain, [](float height, uint8_t* pixel) { put_24_bits((height + 32768.0) * 256.0, pixel); });
}

std::vector<uint8_t> render_elevation_terrain_rgb(const TileTerrain& terrain)
{
    return render_heights(terrain, [](float height, uint8_t* pixel) { put_24_bits((height + 10000.0) * 10.0, pixel); });
}

} // namespace tileserver
