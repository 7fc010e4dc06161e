#pragma once

// The key of every tile of the XYZ (Web Mercator) tiling. Plain value; every function here is
// pure and may be called from any thread.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct TileId {
    uint32_t zoom = 0; // the grid has 2^zoom tiles per side
    uint32_t x = 0;    // column, 0 at longitude -180, growing eastward
    uint32_t y = 0;    // row, 0 at the northern edge, growing southward

    friend bool operator==(const TileId&, const TileId&) = default;
    // Lexicographic on (zoom, x, y), so ordered sets list a zoom level row by row per column.
    friend auto operator<=>(const TileId&, const TileId&) = default;
};

// The deepest zoom anything asks for: 2^30 tiles per side still fit the unsigned 32-bit tile
// coordinates with room for the row flip and a child's numbers.
inline constexpr uint32_t MAX_TILE_ZOOM = 30;

// "z=12, x=2177, y=1436": the form used in log lines and as the stem of cache file names.
std::string to_string(const TileId& tile);

// 64-bit FNV-1a of the four little-endian bytes of value (offset basis 0xcbf29ce484222325,
// prime 0x100000001b3). Building block of the tile hash and of keys derived from it.
constexpr uint64_t fnv1a_64_u32(uint32_t value)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (int i = 0; i < 4; ++i) {
        hash ^= (value >> (8 * i)) & 0xffu;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

// h(zoom) ^ ((h(x) ^ (h(y) << 1)) << 1) with h = fnv1a_64_u32, on 64-bit values.
constexpr uint64_t tile_hash(const TileId& tile)
{
    return fnv1a_64_u32(tile.zoom) ^ ((fnv1a_64_u32(tile.x) ^ (fnv1a_64_u32(tile.y) << 1)) << 1);
}

template <>
struct std::hash<TileId> {
    size_t operator()(const TileId& tile) const noexcept { return static_cast<size_t>(tile_hash(tile)); }
};
