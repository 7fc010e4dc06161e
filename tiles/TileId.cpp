#include "tiles/TileId.h"

#include <fmt/format.h>

std::string to_string(const TileId& tile)
{
    return fmt::format("z={}, x={}, y={}", tile.zoom, tile.x, tile.y);
}
