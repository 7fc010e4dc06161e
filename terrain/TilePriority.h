#pragma once

// The order in which missing tiles are fetched (lower first). A tile that nothing resident
// can stand in for comes before every other, coarse before fine, since until it arrives its
// leaf is drawn without that layer. The rest go by how large they appear: distance from the
// camera over the tile's width, so near and big tiles come before far and small ones.
// Pure arithmetic, render thread or any.

#include <cstdint>

inline double tile_priority(bool has_stand_in, uint32_t zoom, double distance, double width)
{
    const double apparent = width > 0.0 ? distance / width : 0.0; // grows as the tile shrinks on screen
    if (!has_stand_in) {
        // [zoom, zoom + 1): zooms stay apart, size orders within one.
        return static_cast<double>(zoom) + apparent / (1.0 + apparent);
    }
    constexpr double WITH_STAND_IN = 64.0; // above every zoom
    return WITH_STAND_IN + apparent;
}
