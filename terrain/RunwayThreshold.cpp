#include "terrain/RunwayThreshold.h"

#include <algorithm>
#include <cmath>

#include "terrain/RunwayGround.h"
#include "tiles/WebMercator.h"

ThresholdPlacement threshold_placement(const RunwayIndex& index, uint32_t runway, int end)
{
    const Runway& data = index.runway(runway);
    const RunwayShape& shape = index.shape(runway);
    const RunwayEnd& from = data.ends[end];
    // Towards the middle of the runway.
    const double inward = end == LOW_END ? 1.0 : -1.0;
    const double along = shape.end_along(end) + inward * from.displaced_threshold_m;

    ThresholdPlacement placement;
    placement.runway = runway;
    placement.end = end;
    placement.position = shape.position(RunwayPoint{along, 0.0});
    const double drawn = std::fmod(shape.heading_deg() + (end == LOW_END ? 0.0 : 180.0), 360.0);
    placement.heading_deg = drawn;
    if (from.heading_deg) {
        const double off = std::abs(std::remainder(*from.heading_deg - drawn, 360.0));
        if (off <= HEADING_TOLERANCE_DEG)
            placement.heading_deg = *from.heading_deg;
    }
    const std::optional<double>& low = data.ends[LOW_END].elevation_m;
    const std::optional<double>& high = data.ends[HIGH_END].elevation_m;
    if (low || high) {
        const RunwayEndHeights heights{low.value_or(high.value_or(0.0)), high.value_or(low.value_or(0.0))};
        placement.elevation_m = runway_line_height(shape, heights, along);
    }
    return placement;
}

std::variant<ThresholdPlacement, PlacementError> place_at_threshold(const RunwayIndex& index, std::string_view airport,
                                                                    std::string_view designator)
{
    const std::optional<RunwayIndex::Found> found = index.find(airport, designator);
    if (!found)
        return index.has_airport(airport) ? PlacementError::UnknownRunway : PlacementError::UnknownAirport;
    return threshold_placement(index, found->runway, found->end);
}

std::vector<NearbyThreshold> thresholds_near(const RunwayIndex& index, const LatLon& position, double radius_m)
{
    std::vector<NearbyThreshold> ends;
    for (const NearbyRunway& nearby : index.near(position, radius_m)) {
        if (index.runway(nearby.runway).surface == RunwaySurface::Water)
            continue;
        for (int end : {LOW_END, HIGH_END}) {
            const ThresholdPlacement placement = threshold_placement(index, nearby.runway, end);
            ends.push_back({placement, great_circle_distance(position, placement.position)});
        }
    }
    std::stable_sort(ends.begin(), ends.end(), [](const NearbyThreshold& a, const NearbyThreshold& b) {
        return a.distance_m < b.distance_m;
    });
    return ends;
}
