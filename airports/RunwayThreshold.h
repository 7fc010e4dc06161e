#pragma once

// Where an aircraft lines up on a runway: at one end's threshold (the end moved inside the
// runway by its displaced threshold), heading along the runway towards the other end.

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "airports/RunwayIndex.h"

struct ThresholdPlacement {
    uint32_t runway = 0; // index into the RunwayIndex
    int end = LOW_END;
    LatLon position;
    double heading_deg = 0.0; // true, 0 north, 90 east
    // The runway's line there, from the ends' elevations in the data; unknown when the data
    // gives neither end's.
    std::optional<double> elevation_m;
};

// The data's heading of an end is used when it is within this of the heading the ends'
// coordinates give; beyond, the data is taken to be wrong (a magnetic heading, a typing error)
// and the coordinates' heading, which the drawn runway follows, is used.
inline constexpr double HEADING_TOLERANCE_DEG = 5.0;

// At the threshold of that end of the runway.
ThresholdPlacement threshold_placement(const RunwayIndex& index, uint32_t runway, int end);

enum class PlacementError { UnknownAirport, UnknownRunway };

// At the threshold named by the airport's ident and the designator of one of its runways' ends
// ("09", "27L"); an error value when the index has no such airport or the airport no such
// runway.
std::variant<ThresholdPlacement, PlacementError> place_at_threshold(const RunwayIndex& index, std::string_view airport,
                                                                    std::string_view designator);

// One end of a runway near a place, to choose from.
struct NearbyThreshold {
    ThresholdPlacement placement;
    double distance_m = 0.0; // from the place to the threshold
};

// The thresholds of both ends of every runway whose middle lies within radius_m of the
// position, nearest first; seaplane lanes, which nothing can stand on, are left out.
std::vector<NearbyThreshold> thresholds_near(const RunwayIndex& index, const LatLon& position, double radius_m);
