#pragma once

// How an elevation server packs heights into a tile's pixels (see terrain/Elevation.h for the
// formulas).

#include <cstdint>

enum class ElevationEncoding : int32_t {
    SINGLE_BYTE = 0,
    RG_ENCODED = 1,
    TERRARIUM = 2,
    TERRAIN_RGB = 3,
};
