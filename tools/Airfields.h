#pragma once

// The airfields of the procedural world: the one table of their runways. From it come the
// runways.csv that ships with the assets (in the layout of the public airport data set) and
// the runways the world lays flat in its elevation and paints in its imagery, both read back
// from that text, so the file and the served tiles cannot disagree.
//
// Each end's elevation is the world's own height there before the runways were laid on it,
// in whole feet as the data set gives them.

#include <cstdint>
#include <string>

#include "terrain/RunwayIndex.h"
#include "tools/World.h"

namespace tileserver {

// The runways of the world as a runways.csv file (CRLF line ends, strings quoted).
const std::string& airfields_csv();

// The same runways, read back from that text.
const RunwayIndex& airfield_runways();

// Lays the runways onto a row of the world's heights, as the program's own flattening does:
// flat along the line between the ends' elevations, blending back over the shoulder.
void lay_runways(const GroundRow& row, WorldSample* out);

// Paints the runways over a row of colours (3 bytes per point) seen with pixels of pixel_size
// metres: the surface, mown grass over the flattened ground around it, and on paved runways
// threshold stripes, the centre line and edge lines. Each pixel takes the share of its area
// that a marking covers, so markings finer than a pixel fade instead of flickering.
void paint_runways(const GroundRow& row, double pixel_size, uint8_t* rgb);

} // namespace tileserver
