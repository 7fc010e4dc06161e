#include "terrain/TextureCache.h"

#include "console/Console.h"
#include "core/Units.h"
#include "tiles/WebMercator.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

TextureCache::TextureCache(const TileServerConfig& imagery_server, HeightStore& heights)
    : m_heights(&heights), m_texture_service(imagery_server)
{
}

// Members go in reverse: every texture is deleted before the imagery service stops.
TextureCache::~TextureCache() = default;

void TextureCache::begin_frame()
{
    m_lru.release_evicted();
    m_upload_ms = 0.0;
    m_uploads = 0;
    m_deferred_uploads = 0;
    m_texture_service.begin_frame();
    m_heights->begin_frame();
}

bool TextureCache::has_resident_ancestor(TileId tile, TileKind kind, uint32_t base_zoom) const
{
    while (tile.zoom > base_zoom) {
        tile = parent_tile(tile);
        if (m_lru.peek({tile, kind}) != nullptr)
            return true;
    }
    return false;
}

bool TextureCache::failed_for_good(TileId tile, TileKind kind) const
{
    return kind == TileKind::ELEVATION ? m_heights->failed_for_good(tile) : m_texture_service.failed_for_good(tile);
}

TileServiceStats TextureCache::service_stats(TileKind kind) const
{
    return kind == TileKind::ELEVATION ? m_heights->stats() : m_texture_service.stats();
}

gfx::Texture* TextureCache::find_texture(TileId tile, TileKind kind)
{
    Resident* resident = m_lru.get({tile, kind});
    return resident != nullptr ? &resident->texture : nullptr;
}

gfx::Texture* TextureCache::upload_imagery(TileId tile, const gfx::Image& image)
{
    Resident resident{gfx::Texture(image)};
    return &m_lru.put({tile, TileKind::TEXTURE}, std::move(resident)).stored->texture;
}

gfx::Texture* TextureCache::upload_heights(TileId tile, const ElevationSamples& samples)
{
    Resident resident{gfx::Texture::from_floats(samples.metres.data(), samples.width, samples.height)};
    resident.lowest = samples.lowest;
    resident.highest = samples.highest;
    // True metres per pixel at the tile's middle latitude: slopes, and so the shading, do
    // not depend on the zoom or on where the camera is.
    const TileBounds bounds = tile_bounds(tile);
    const double middle = 0.5 * (bounds.lat_north + bounds.lat_south);
    const double texel = tile_size(tile.zoom) / samples.width * std::abs(std::cos(middle * DEG_TO_RAD));
    const std::vector<uint8_t> normals = samples.normal_pairs(texel);
    if (!normals.empty())
        resident.normals = gfx::Texture::from_rg8(normals.data(), samples.width, samples.height);
    return &m_lru.put({tile, TileKind::ELEVATION}, std::move(resident)).stored->texture;
}

gfx::Texture* TextureCache::get_texture(TileId tile, TileKind kind, double priority)
{
    if (gfx::Texture* texture = find_texture(tile, kind))
        return texture;
    if (kind != TileKind::TEXTURE && kind != TileKind::ELEVATION)
        return nullptr;
    if (over_budget()) {
        // The tile stays where it is (its service, or the height store) until a later frame
        // has room for it; asking keeps its request alive meanwhile.
        const bool ready = kind == TileKind::ELEVATION ? m_heights->request(tile, priority)
                                                       : m_texture_service.get_tile(tile, priority) != nullptr;
        if (ready)
            ++m_deferred_uploads;
        return nullptr;
    }
    const auto start = Clock::now();
    gfx::Texture* texture = nullptr;
    if (kind == TileKind::ELEVATION) {
        if (const HeightStore::Samples samples = m_heights->get(tile, priority))
            texture = upload_heights(tile, *samples);
    } else if (const gfx::Image* image = m_texture_service.get_tile(tile, priority)) {
        texture = upload_imagery(tile, *image);
        // The pixels now live on the GPU: the decoded copy goes.
        m_texture_service.remove_tile(tile);
    }
    if (texture != nullptr) {
        m_upload_ms += milliseconds_since(start);
        ++m_uploads;
    }
    return texture;
}

gfx::Texture* TextureCache::load_texture(TileId tile, TileKind kind)
{
    if (gfx::Texture* texture = find_texture(tile, kind))
        return texture;
    if (kind == TileKind::ELEVATION) {
        const HeightStore::Samples samples = m_heights->load(tile);
        return samples != nullptr ? upload_heights(tile, *samples) : nullptr;
    }
    if (kind != TileKind::TEXTURE)
        return nullptr;
    const gfx::Image* image = m_texture_service.get_tile_sync(tile);
    if (image == nullptr)
        return nullptr;
    gfx::Texture* texture = upload_imagery(tile, *image);
    m_texture_service.remove_tile(tile);
    return texture;
}

bool TextureCache::prefetch(const TileKey& key, double priority)
{
    if (key.kind == TileKind::ELEVATION)
        return m_heights->prefetch(key.tile, priority);
    return key.kind == TileKind::TEXTURE && m_texture_service.prefetch(key.tile, priority);
}

bool TextureCache::has_tile(const TileKey& key) const
{
    return m_lru.peek(key) != nullptr || (key.kind == TileKind::ELEVATION && m_heights->find(key.tile) != nullptr);
}

std::pair<gfx::Texture*, gfx::Texture*> TextureCache::get_textures(TileId tile)
{
    gfx::Texture* imagery = get_texture(tile, TileKind::TEXTURE);
    gfx::Texture* elevation = get_texture(tile, TileKind::ELEVATION);
    return {imagery, elevation};
}

gfx::Texture* TextureCache::find_fallback(TileId tile, TileKind kind, uint32_t base_zoom, UVRect& uv, TileId& id)
{
    return search_fallback(
        tile, base_zoom, [this, kind](TileId ancestor) { return find_texture(ancestor, kind); },
        [this, kind](TileId ancestor) { return load_texture(ancestor, kind); }, uv, id);
}

void TextureCache::preload_largest_tile(LatLon origin, uint32_t base_zoom)
{
    const TileId tile = tile_at(origin, base_zoom);
    console::print("Largest Tile: {}\n", to_string(tile));
    load_texture(tile, TileKind::ELEVATION);
    load_texture(tile, TileKind::TEXTURE);
}

gfx::Texture* TextureCache::find_normals(TileId tile)
{
    Resident* resident = m_lru.peek({tile, TileKind::ELEVATION});
    return resident != nullptr && resident->normals.id() != 0 ? &resident->normals : nullptr;
}

std::optional<std::pair<float, float>> TextureCache::height_range(TileId tile) const
{
    const Resident* resident = m_lru.peek({tile, TileKind::ELEVATION});
    if (resident == nullptr)
        return std::nullopt;
    return std::pair(resident->lowest, resident->highest);
}
