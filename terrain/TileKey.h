#pragma once

// The key of the GPU texture cache: a map tile and the layer it belongs to.

#include "tiles/TileId.h"

#include <cstddef>
#include <cstdint>
#include <functional>

// The layer a tile texture belongs to. Any other value is a valid key that never loads.
enum class TileKind : uint32_t {
    TEXTURE = 0,   // imagery, from the texture server
    ELEVATION = 1, // heights, from the elevation server
};

struct TileKey {
    TileId tile;
    TileKind kind = TileKind::TEXTURE;

    friend bool operator==(const TileKey& a, const TileKey& b)
    {
        return a.tile == b.tile && a.kind == b.kind;
    }
};

// Combines the tile's own hash with the kind's, boost::hash_combine style, so that the two
// layers of one tile land in different buckets.
constexpr uint64_t tile_key_hash(uint64_t tile_hash, TileKind kind)
{
    const uint64_t seed = tile_hash;
    const uint64_t k = fnv1a_64_u32(static_cast<uint32_t>(kind));
    return seed ^ (k + 0x9e3779b9ull + (seed << 6) + (seed >> 2));
}

template <>
struct std::hash<TileKey> {
    size_t operator()(const TileKey& key) const noexcept
    {
        return static_cast<size_t>(tile_key_hash(tile_hash(key.tile), key.kind));
    }
};
