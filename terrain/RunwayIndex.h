#pragma once

// The runways of a file with a spatial index on the Web Mercator plane, so the runways near a
// point or reaching into a tile are found without looking at the others. The plane is cut
// into the tiles of zoom CELL_ZOOM (about 39 km at the equator, 26 km at 47°); each runway is
// listed under every cell that the ground it flattens reaches into, keyed by the cell's
// Z-order (Morton) number, so that all the cells of a coarser tile form one run of keys.
// Columns wrap around the antimeridian.
//
// Built once, then only read: safe to query from several threads.

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "terrain/Runway.h"
#include "terrain/RunwayShape.h"
#include "tiles/TileId.h"

struct NearbyRunway {
    uint32_t runway = 0;     // index into the RunwayIndex
    double distance_m = 0.0; // from the point to the runway's middle
};

class RunwayIndex {
public:
    static constexpr uint32_t CELL_ZOOM = 10;

    RunwayIndex() = default;
    explicit RunwayIndex(std::vector<Runway> runways);

    size_t size() const { return m_runways.size(); }
    bool empty() const { return m_runways.empty(); }
    const Runway& runway(uint32_t index) const { return m_runways[index]; }
    const RunwayShape& shape(uint32_t index) const { return m_shapes[index]; }

    // The runways whose flattened ground (rectangle and FLATTENING_REACH_M around it) reaches
    // into the tile's square, each once, in index order.
    std::vector<uint32_t> reaching_into(const TileId& tile) const;

    // The runways whose middle lies within radius_m of the position, nearest first.
    std::vector<NearbyRunway> near(const LatLon& position, double radius_m) const;

    // The runway of that airport with an end of that designator (see same_designator; the
    // airport's ident in any case) and which end it is.
    struct Found {
        uint32_t runway = 0;
        int end = LOW_END;
    };
    std::optional<Found> find(std::string_view airport, std::string_view designator) const;
    // Whether any runway belongs to the airport.
    bool has_airport(std::string_view airport) const;

private:
    // The runways listed under the cells of the Morton keys [first, last), unsorted, possibly
    // repeated.
    void collect(uint64_t first, uint64_t last, std::vector<uint32_t>& out) const;
    // The index range of the airport's runways in m_by_airport.
    std::pair<size_t, size_t> airport_range(std::string_view airport) const;

    std::vector<Runway> m_runways;
    std::vector<RunwayShape> m_shapes;
    std::vector<std::pair<uint64_t, uint32_t>> m_cells; // (Morton key of a cell, runway), sorted
    std::vector<uint32_t> m_by_airport;                 // runways sorted by upper-case airport ident
};
