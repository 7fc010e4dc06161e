#include "app/Runways.h"

#include <algorithm>

#include "airports/RunwayFile.h"
#include "core/Units.h"
#include "tiles/WebMercator.h"

namespace {

float yaw_of(double heading_deg)
{
    return static_cast<float>((90.0 - heading_deg) * DEG_TO_RAD);
}

std::pair<double, double> key(const LatLon& position)
{
    return {position.lat, position.lon};
}

} // namespace

Runways::Runways(const Config& config)
    : m_end_height_zoom(
          std::min(END_HEIGHT_ZOOM, static_cast<uint32_t>(std::max(config.elevation_server.max_zoom, 0))))
{
    if (!config.runways_file.empty())
        m_index = RunwayIndex(load_runways(config.runways_file));
    Config resolved = config;
    m_start = resolve_start_runway(resolved, m_index);
}

float Runways::start_yaw() const
{
    return m_start ? yaw_of(m_start->heading_deg) : 0.0f;
}

std::optional<RunwayPlacement> Runways::placement(uint32_t runway, int end, const WorldFrame& frame) const
{
    if (runway >= m_index.size())
        return std::nullopt;
    const ThresholdPlacement threshold = threshold_placement(m_index, runway, end == LOW_END ? LOW_END : HIGH_END);
    const WorldXZ at = latlon_to_world(threshold.position, frame.origin_x, frame.origin_y, frame.scaling_factor);
    return RunwayPlacement{static_cast<float>(at.x / frame.scaling_factor), static_cast<float>(at.z / frame.scaling_factor),
                           yaw_of(threshold.heading_deg)};
}

HeightModifier Runways::height_modifier()
{
    if (m_index.empty())
        return {};
    return [this](const TileId& tile, ElevationSamples& samples) { flatten(tile, samples); };
}

void Runways::fix_end_heights(const TileId& tile, const ElevationSamples& samples)
{
    for (const uint32_t i : m_index.reaching_into(tile)) {
        const Runway& runway = m_index.runway(i);
        const RunwayShape& shape = m_index.shape(i);
        for (const int end : {LOW_END, HIGH_END}) {
            if (runway.ends[end].elevation_m)
                continue;
            // Where end_heights asks for it.
            const LatLon at = shape.position(RunwayPoint{shape.end_along(end), 0.0});
            if (tile_at(at, tile.zoom) != tile || m_end_heights.contains(key(at)))
                continue;
            const TileUV uv = position_in_tile(at, tile);
            m_end_heights.emplace(key(at), samples.interpolate(uv.u, uv.v));
        }
    }
}

void Runways::flatten(const TileId& tile, ElevationSamples& samples)
{
    if (m_index.empty())
        return;
    if (tile.zoom >= m_end_height_zoom)
        fix_end_heights(tile, samples);
    flatten_tile(m_index, tile, samples.width, samples.height, samples.metres.data(),
                 [this](const LatLon& end) { return end_height(end); });
}

std::optional<double> Runways::end_height(const LatLon& end) const
{
    const auto found = m_end_heights.find(key(end));
    return found != m_end_heights.end() ? std::optional<double>(found->second) : std::nullopt;
}

TerrainHeightAt Runways::end_heights_for_drawing(HeightStore& heights)
{
    return [this, &heights](const LatLon& end) -> std::optional<double> {
        if (const std::optional<double> known = end_height(end))
            return known;
        // Taken over by the store, the tile fixes it.
        heights.get(tile_at(end, m_end_height_zoom));
        return end_height(end);
    };
}
