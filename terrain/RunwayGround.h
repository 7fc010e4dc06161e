#pragma once

// The ground a runway lays flat. Within the runway's rectangle, grown by FLAT_MARGIN_M on every
// side, the ground follows the straight line between the heights of its two ends; over the
// next SHOULDER_M it blends back into the terrain (a smoothstep of the distance from the flat
// part). Where runways overlap, each is laid over the ground the ones before it left, the
// longest last, so the main runway is exact where a shorter one crosses it.
//
// The same function flattens the elevation tiles as they are stored, so the drawn terrain and
// the physics ground both stand on the flat runway. Heights are metres above sea level.

#include <cstdint>
#include <functional>
#include <optional>

#include "terrain/RunwayShape.h"
#include "tiles/TileId.h"

class RunwayIndex;

// Flat beyond the painted edges, so wheels off the centre line and a wing tip over the edge
// find level ground, and the terrain's grid next to the runway lies flat too.
inline constexpr double FLAT_MARGIN_M = 15.0;
// Wide enough that a cut or fill of a few metres slopes gently back to the terrain.
inline constexpr double SHOULDER_M = 45.0;
// How far beyond the rectangle a runway changes the ground.
inline constexpr double FLATTENING_REACH_M = FLAT_MARGIN_M + SHOULDER_M;

// The terrain's own height at a position (before any runway is laid on it), if known.
using TerrainHeightAt = std::function<std::optional<double>(const LatLon&)>;

// The heights of the runway's two ends, metres.
struct RunwayEndHeights {
    double low = 0.0;
    double high = 0.0;
};

// Each end's elevation from the data; where one is missing, the terrain's height there; where
// that is unknown too, the other end's height. Nothing when neither end's height is known.
std::optional<RunwayEndHeights> end_heights(const Runway& runway, const RunwayShape& shape,
                                            const TerrainHeightAt& terrain);

// Height of the straight line through the two ends at a distance along the centre line
// (continued beyond the ends within the flat part).
double runway_line_height(const RunwayShape& shape, const RunwayEndHeights& heights, double along);

// How much the runway holds the ground at the point: 1 on the flat part, 0 beyond the shoulder.
double flattening_weight(const RunwayShape& shape, const RunwayPoint& point);

// The ground at the point: the terrain's height blended with the runway's line by the weight;
// on the shoulder the line's height is taken at the nearest point of the flat part.
double flattened_height(const RunwayShape& shape, const RunwayEndHeights& heights, const RunwayPoint& point,
                        double terrain_height);

// Lays every runway of the index that reaches into the elevation tile onto its heights, in
// place: width × height metres, rows from the north, pixel (c, r) standing for the point
// ((c + 0.5) / width, (r + 0.5) / height) of the tile's square, which spans the Mercator plane
// linearly (as the renderer's and the physics' reads of a tile place it). Ends without an
// elevation ask terrain, then the tile's own heights where the end lies on it. Returns how many
// runways changed the tile.
int flatten_tile(const RunwayIndex& index, const TileId& tile, int width, int height, float* metres,
                 const TerrainHeightAt& terrain);
