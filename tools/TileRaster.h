#pragma once

// Rasters of one tile of the procedural world, 256 or 512 pixels on a side: imagery colours
// and the four elevation encodings the program reads.
//
// Pixel column i of a tile of n pixels (z, x, y) lies at Mercator x = (x + i / (n − 1)) / 2^z
// (rows likewise, counted from the north), so the last column of a tile and the first column of
// its eastern neighbour sample the same place: neighbouring elevation tiles share their border
// heights exactly, and a mesh that spans a tile from texel centre to texel centre closes without
// cracks. A 512-pixel tile covers the same square as a 256-pixel one at its zoom, with the
// detail of the next zoom (as "@2x" tiles of public services do).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/World.h"

namespace tileserver {

struct TileAddress {
    uint32_t zoom = 0;
    uint32_t x = 0;
    uint32_t y = 0; // counted from the north
};

// True when the tile exists at its zoom (zoom at most MAX_ZOOM, x and y below 2^zoom).
bool is_valid(const TileAddress& tile);
inline constexpr uint32_t MAX_ZOOM = 24;
inline constexpr int TILE_SIZE = 256;
// The high-resolution size ("@2x" routes).
inline constexpr int LARGE_TILE_SIZE = 512;

// The world sampled over a tile with a one-pixel border (for slopes at the edges).
struct TileTerrain {
    // The grid's side for a tile of TILE_SIZE pixels.
    static constexpr int GRID = TILE_SIZE + 2;
    int size = TILE_SIZE;          // pixels on a side
    double step = 0.0;             // Mercator units (fractions of the plane) between pixels
    std::vector<WorldSample> grid; // side() × side(), row-major, grid(i, j) is pixel (i − 1, j − 1)
    double pixel_size = 0.0;       // ground metres between neighbouring pixels

    int side() const { return size + 2; }
    const WorldSample& at_pixel(int column, int row) const
    {
        return grid[static_cast<size_t>(row + 1) * static_cast<size_t>(side()) + static_cast<size_t>(column + 1)];
    }
};

// size is TILE_SIZE or LARGE_TILE_SIZE.
TileTerrain compute_terrain(const TileAddress& tile, int size = TILE_SIZE);

// RGB rows top to bottom, size × size × 3 bytes (the size of the terrain).
std::vector<uint8_t> render_imagery(const TileAddress& tile, const TileTerrain& terrain);

// Adds a grain of independent noise to every pixel of RGB rows (up to ±amplitude per channel,
// clamped to 0–255): the same grain for the same tile and size every time, and, as the noise
// of every pixel stands alone, imagery that PNG and JPEG cannot squeeze as they squeeze the
// smooth landscape, so tiles come at the size of detailed aerial photographs.
void add_grain(std::vector<uint8_t>& rgb, const TileAddress& tile, int size, int amplitude);

// Heights as R = h·8 / 256, G = h·8 mod 256 (so that 32·R + G/8 gives h back to 1/8 m), B = 0.
std::vector<uint8_t> render_elevation_rg(const TileTerrain& terrain);
// Heights as one grey value v = h / 3795 · 255 in all three channels.
std::vector<uint8_t> render_elevation_byte(const TileTerrain& terrain);
// Terrarium: h + 32768 in 1/256 m, R the whole metres / 256, G the whole metres mod 256, B
// the fraction × 256.
std::vector<uint8_t> render_elevation_terrarium(const TileTerrain& terrain);
// Terrain-RGB: h + 10000 in tenths of a metre as one 24-bit number, R the highest byte.
std::vector<uint8_t> render_elevation_terrain_rgb(const TileTerrain& terrain);

// The readers' side of the two encodings, in metres.
inline double decode_rg(uint8_t r, uint8_t g) { return 32.0 * r + g / 8.0; }
inline double decode_byte(uint8_t v) { return v / 255.0 * 3795.0; }

} // namespace tileserver
