#pragma once

// Which part of an ancestor tile stands in for a tile whose own texture is missing.
// Pure tile arithmetic plus the ancestor search, written against two lookups so it is
// tested without GL.

#include "console/Console.h"
#include "tiles/TileId.h"

#include <cstdint>

// A rectangle of a tile's texture: u runs west to east, v north to south.
struct UVRect {
    double u_min = 0.0;
    double v_min = 0.0;
    double u_max = 1.0;
    double v_max = 1.0;

    friend bool operator==(const UVRect&, const UVRect&) = default;
};

// The tile one zoom coarser that contains tile (zoom must be ≥ 1).
TileId parent_tile(TileId tile);

// Where tile lies inside ancestor (ancestor.zoom ≤ tile.zoom, at most 31 levels apart).
UVRect sub_rectangle(TileId tile, TileId ancestor);

// The nearest resident ancestor of tile, zoom by zoom up to base_zoom; at base_zoom, when
// nothing finer was resident, the ancestor is loaded with `load` (may block) and a line
// says so. Returns null without touching the outputs when tile is at or above base_zoom.
// find(TileId) and load(TileId) return a pointer or null.
template <typename Find, typename Load>
auto search_fallback(TileId tile, uint32_t base_zoom, Find&& find, Load&& load, UVRect& uv, TileId& id)
    -> decltype(find(tile))
{
    if (tile.zoom <= base_zoom)
        return nullptr;
    id = tile;
    TileId ancestor = tile;
    for (;;) {
        ancestor = parent_tile(ancestor);
        if (auto found = find(ancestor)) {
            id = ancestor;
            uv = sub_rectangle(tile, ancestor);
            return found;
        }
        if (ancestor.zoom <= base_zoom)
            break;
    }
    auto loaded = load(ancestor);
    id = ancestor;
    uv = sub_rectangle(tile, ancestor);
    console::print("Fallback to largest tile: {} instead of {}\n", to_string(ancestor), to_string(tile));
    return loaded;
}
