#include "terrain/HeightStore.h"

#include <algorithm>

#include "tiles/WebMercator.h"

HeightStore::HeightStore(const HeightStoreSettings& settings, const HttpOptions& http, const StreamingOptions& streaming)
    : m_encoding(settings.encoding)
    , m_max_zoom(std::min(static_cast<uint32_t>(std::max(settings.server.max_zoom, 0)), MAX_TILE_ZOOM))
    , m_modifier(settings.modifier)
    , m_service(settings.server, http, streaming)
    , m_tiles(settings.capacity)
{
}

void HeightStore::begin_frame()
{
    // Entries are shared pointers: whoever still holds an evicted tile keeps it alive.
    m_tiles.release_evicted();
    m_service.begin_frame();
}

const ElevationSamples* HeightStore::find(TileId tile) const
{
    const Samples* held = m_tiles.peek(tile);
    return held != nullptr ? held->get() : nullptr;
}

HeightStore::Samples HeightStore::keep(TileId tile, const gfx::Image& image)
{
    ElevationSamples samples = ElevationSamples::decode(image.data, image.width, image.height, image.channels, m_encoding);
    // The heights now live here: the decoded image goes from the service.
    m_service.remove_tile(tile);
    if (samples.empty())
        return nullptr;
    if (m_modifier) {
        m_modifier(tile, samples);
        // The texture cache bounds the tile's leaves by these.
        samples.update_range();
    }
    return *m_tiles.put(tile, std::make_shared<const ElevationSamples>(std::move(samples))).stored;
}

HeightStore::Samples HeightStore::get(TileId tile, double priority)
{
    if (Samples* held = m_tiles.get(tile))
        return *held;
    const gfx::Image* image = m_service.get_tile(tile, priority);
    return image != nullptr ? keep(tile, *image) : nullptr;
}

bool HeightStore::request(TileId tile, double priority)
{
    return m_tiles.contains(tile) || m_service.get_tile(tile, priority) != nullptr;
}

bool HeightStore::prefetch(TileId tile, double priority)
{
    return find(tile) == nullptr && m_service.prefetch(tile, priority);
}

HeightStore::Samples HeightStore::load(TileId tile)
{
    if (Samples* held = m_tiles.get(tile))
        return *held;
    const gfx::Image* image = m_service.get_tile_sync(tile);
    return image != nullptr ? keep(tile, *image) : nullptr;
}

std::optional<HeightSample> HeightStore::height_at(LatLon position, uint32_t zoom)
{
    zoom = std::min(zoom, m_max_zoom);
    // The finest tile is asked for (and taken over if the service has it); until it comes,
    // the finest held ancestor answers.
    get(tile_at(position, zoom));
    for (uint32_t z = zoom + 1; z-- > 0;) {
        const TileId tile = tile_at(position, z);
        if (const ElevationSamples* samples = find(tile)) {
            const TileUV uv = position_in_tile(position, tile);
            return HeightSample{samples->sample(static_cast<float>(uv.u), static_cast<float>(uv.v)), z};
        }
    }
    return std::nullopt;
}
