#pragma once

// The ground's height from the elevation tiles already on hand, for the physics: at each point
// the finest resident tile that holds it, read as the GPU's linear filter reads it, which is
// what the terrain's vertices stand on. Pure: the tiles come through a lookup (the texture
// cache's resident heights, or a test's own), so it runs without a window.
//
// Positions are in the physics frame: Mercator metres east (x) and south (z) of the world's
// origin; heights in Mercator metres (metres / |cos latitude| of the point).

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "terrain/Elevation.h"
#include "tiles/TileId.h"

using HeightsLookup = std::function<const ElevationSamples*(TileId)>;
// Whether an elevation tile will never come in this run (TextureCache::failed_for_good).
using FailedLookup = std::function<bool(TileId)>;

struct GroundSampler {
    double origin_mx = 0.0; // Mercator metres of the physics origin, east and south
    double origin_my = 0.0;
    uint32_t max_zoom = 15; // the finest zoom tried
    HeightsLookup lookup;
    FailedLookup failed;    // unset: no tile ever fails for good

    // The height at (x, z) from the finest tile the lookup has, and that tile's zoom;
    // nothing when no tile holds the point.
    std::optional<float> height(double x, double z, uint32_t* zoom = nullptr) const;
    // The latitude at z, degrees.
    double latitude(double z) const;
};

// How good the heights at a point can get, for placing something on the ground there.
struct FinestHeights {
    // The finest heights that can ever be had at the point are on hand: every finer tile
    // there failed for good (or there is none finer than max_zoom).
    bool ready = false;
    uint32_t zoom = 0;       // when ready: the zoom the heights come from
    // When not ready: the finest tile there that may still come, to be asked for (and
    // waited on); nothing when not even the coarsest tile can come.
    std::optional<TileId> wanted;
};

// Walks the zooms at (x, z) from max_zoom down: a resident tile ends the walk (ready, at its
// zoom); a tile that failed for good is passed over to the next coarser one; any other tile
// is the one to wait for. With sampler.failed unset this is ready only at max_zoom.
FinestHeights finest_heights(const GroundSampler& sampler, double x, double z);

// size × size heights spacing apart: sample (i, j) lies at (x0 + i spacing, z0 + j spacing),
// row j running east, rows growing south.
struct GroundGrid {
    double x0 = 0.0;
    double z0 = 0.0;
    double spacing = 0.0;
    int size = 0;
    std::vector<float> heights; // [j * size + i]
    int missing = 0;            // samples no tile held; they carry the fill height
};

// The grid whose centre sample is (cx, cz) rounded to a multiple of spacing, so that grids
// built around nearby points share their samples exactly. Samples no tile holds get fill.
GroundGrid sample_ground(const GroundSampler& sampler, double cx, double cz, double spacing, int size, float fill);
