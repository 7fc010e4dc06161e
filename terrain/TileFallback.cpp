#include "terrain/TileFallback.h"

#include <cmath>

TileId parent_tile(TileId tile)
{
    return {tile.zoom - 1, tile.x / 2, tile.y / 2};
}

UVRect sub_rectangle(TileId tile, TileId ancestor)
{
    const uint32_t levels = tile.zoom - ancestor.zoom;
    // 2^levels as a double: exact for every level, so a 32-level gap does not wrap to 0.
    const double k = std::ldexp(1.0, static_cast<int>(levels < 64 ? levels : 63));
    const double ox = static_cast<double>(tile.x) - static_cast<double>(ancestor.x) * k;
    const double oy = static_cast<double>(tile.y) - static_cast<double>(ancestor.y) * k;
    return {ox / k, oy / k, (ox + 1.0) / k, (oy + 1.0) / k};
}
