#pragma once

// The runways of the configuration's runways file as the program uses them: a start_position
// naming a runway resolved to its threshold, every elevation tile laid flat under them as the
// height store keeps it, and the heights of runway ends the file gives none.
//
// An end without an elevation takes the terrain's height there, fixed once for the run by the
// first elevation tile of END_HEIGHT_ZOOM or finer that holds it (its own heights, before any
// runway changes them). Until then the runway lies level at its other end's height, or is left
// alone when neither end is known. So the tiles stored afterwards and the drawn runway all lay
// it on the same line, whatever order finer and coarser tiles arrive in.
//
// Render thread only.

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

#include "airports/RunwayGround.h"
#include "airports/RunwayIndex.h"
#include "airports/RunwayThreshold.h"
#include "app/Config.h"
#include "terrain/HeightStore.h"
#include "terrain/WorldFrame.h"

// Where the aircraft goes on a runway: physics metres east (x) and south (z) of the world's
// origin, and its yaw (radians, 0 nose east, positive toward north), as Flight::place_at takes
// them.
struct RunwayPlacement {
    float x = 0.0f;
    float z = 0.0f;
    float yaw = 0.0f;
};

class Runways {
public:
    // Fine enough that the end's height is the terrain's there within a few metres (a pixel is
    // about 38 m), coarse enough to come soon after the runway comes into view.
    static constexpr uint32_t END_HEIGHT_ZOOM = 12;

    // Loads config.runways_file, which prints its one line (none configured: no runways, no
    // line), and finds the threshold a start_position naming a runway stands for. Throws
    // ConfigError ("Could not parse" the configuration) when the runways have no such airport
    // or runway.
    explicit Runways(const Config& config);
    Runways(const Runways&) = delete;
    Runways& operator=(const Runways&) = delete;

    const RunwayIndex& index() const { return m_index; }
    // The start runway's threshold; none when start_position is a place.
    const std::optional<ThresholdPlacement>& start() const { return m_start; }
    // The aircraft's yaw at the start: along the start runway, else 0 (east).
    float start_yaw() const;
    // The threshold of that end of the runway (an index into index()) in the world's frame,
    // heading along the runway; none for a runway the index does not have.
    std::optional<RunwayPlacement> placement(uint32_t runway, int end, const WorldFrame& frame) const;

    // The height store's modifier, flatten(); none without runways.
    HeightModifier height_modifier();

    // The height store's modifier: lays every runway reaching into the tile onto its heights.
    void flatten(const TileId& tile, ElevationSamples& samples);
    // The fixed height of an end the file gives none (by its position on the centre line).
    std::optional<double> end_height(const LatLon& end) const;
    // end_height for the drawer, which asks heights for the tile that fixes a missing one.
    TerrainHeightAt end_heights_for_drawing(HeightStore& heights);

private:
    void fix_end_heights(const TileId& tile, const ElevationSamples& samples);

    RunwayIndex m_index;
    std::optional<ThresholdPlacement> m_start;
    uint32_t m_end_height_zoom;
    std::map<std::pair<double, double>, double> m_end_heights; // by (lat, lon)
};
