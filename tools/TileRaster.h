#pragma once

// Rasters of one 256 × 256 tile of the procedural world: imagery colours and the two
// elevation encodings the program reads.
//
// Pixel column i of tile (z, x, y) lies at Mercator x = (x + i / 255) / 2^z (rows likewise,
// counted from the north), so the last column of a tile and the first column of its eastern
// neighbour sample the same place: neighbouring elevation tiles share their border heights
// exactly, and a mesh that spans a tile from texel centre to texel centre closes without cracks.

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

// The world sampled over a tile with a one-pixel border (for slopes at the edges).
struct TileTerrain {
    static constexpr int GRID = TILE_SIZE + 2;
    std::vector<WorldSample> grid; // GRID × GRID, row-major, grid(i, j) is pixel (i − 1, j − 1)
    double pixel_size = 0.0;       // ground metres between neighbouring pixels

    const WorldSample& at_pixel(int column, int row) const { return grid[(row + 1) * GRID + (column + 1)]; }
};

TileTerrain compute_terrain(const TileAddress& tile);

// RGB rows top to bottom, TILE_SIZE × TILE_SIZE × 3 bytes.
std::vector<uint8_t> render_imagery(const TileAddress& tile, const TileTerrain& terrain);

// Heights as R = h·8 / 256, G = h·8 mod 256 (so that 32·R + G/8 gives h back to 1/8 m), B = 0.
std::vector<uint8_t> render_elevation_rg(const TileTerrain& terrain);
// Heights as one grey value v = h / 3795 · 255 in all three channels.
std::vector<uint8_t> render_elevation_byte(const TileTerrain& terrain);

// The readers' side of the two encodings, in metres.
inline double decode_rg(uint8_t r, uint8_t g) { return 32.0 * r + g / 8.0; }
inline double decode_byte(uint8_t v) { return v / 255.0 * 3795.0; }

} // namespace tileserver
