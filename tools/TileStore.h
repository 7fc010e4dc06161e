#pragma once

// Encoded tile bodies of the procedural world, made on demand and kept in two caches: the
// encoded answers (so a repeated request costs only the lookup) and the sampled terrain of
// recent tiles (so the imagery and the elevation of one tile share the expensive part).
// Thread-safe: two threads asking for the same new tile may both compute it; the results are
// identical.

#include <memory>
#include <string>

#include "tools/LruCache.h"
#include "tools/RequestPath.h"
#include "tools/TileRaster.h"

namespace tileserver {

struct TileKeyHash {
    size_t operator()(const std::pair<int, uint64_t>& key) const
    {
        return std::hash<uint64_t>()(key.second * 31u + static_cast<uint64_t>(key.first));
    }
};

class TileStore {
public:
    // Byte budget for encoded answers, and for sampled terrain a budget counted in tiles of
    // TILE_SIZE pixels (a 512-pixel tile counts four). imagery_grain above 0 adds that much
    // grain to every imagery tile (see add_grain).
    explicit TileStore(size_t body_bytes = 256u << 20, size_t terrain_tiles = 48, int imagery_grain = 0);

    // size is TILE_SIZE or LARGE_TILE_SIZE.
    std::shared_ptr<const std::string> body(Layer layer, const TileAddress& tile, int size = TILE_SIZE);
    std::shared_ptr<const TileTerrain> terrain(const TileAddress& tile, int size = TILE_SIZE);

    static const char* content_type(Layer layer);

private:
    // Zoom (at most 24) in bits 58 to 62, x and y in 29 bits each, the large size in bit 63.
    static uint64_t pack(const TileAddress& tile, int size)
    {
        return (static_cast<uint64_t>(size == LARGE_TILE_SIZE) << 63) | (static_cast<uint64_t>(tile.zoom) << 58) |
               (static_cast<uint64_t>(tile.x) << 29) | tile.y;
    }

    LruCache<std::pair<int, uint64_t>, std::string, TileKeyHash> m_bodies;
    LruCache<uint64_t, TileTerrain> m_terrain;
    int m_imagery_grain = 0;
};

} // namespace tileserver
