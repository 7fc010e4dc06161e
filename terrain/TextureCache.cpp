#include "terrain/TextureCache.h"

#include "console/Console.h"
#include "terrain/QuadTree.h"
#include "tiles/WebMercator.h"

#include <algorithm>
#include <chrono>
#include <cmath>

TextureCache::TextureCache(const Config& config)
    : m_config(&config), m_texture_service(config.texture_server), m_elevation_service(config.elevation_server)
{
}

// Members go in reverse: every texture is deleted before the services stop.
TextureCache::~TextureCache() = default;

void TextureCache::begin_frame()
{
    m_lru.release_evicted();
    m_upload_ms = 0.0;
    m_uploads = 0;
    m_deferred_uploads = 0;
    m_texture_service.begin_frame();
    m_elevation_service.begin_frame();
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
    return (kind == TileKind::ELEVATION ? m_elevation_service : m_texture_service).failed_for_good(tile);
}

TileServiceStats TextureCache::service_stats(TileKind kind) const
{
    return kind == TileKind::ELEVATION ? m_elevation_service.stats() : m_texture_service.stats();
}

TileService* TextureCache::service_for(TileKind kind)
{
    switch (kind) {
    case TileKind::TEXTURE:
        return &m_texture_service;
    case TileKind::ELEVATION:
        return &m_elevation_service;
    }
    return nullptr;
}

gfx::Texture* TextureCache::find_texture(TileId tile, TileKind kind)
{
    Resident* resident = m_lru.get({tile, kind});
    return resident != nullptr ? &resident->texture : nullptr;
}

gfx::Texture* TextureCache::upload(TileId tile, TileKind kind, const gfx::Image& image)
{
    Resident resident{gfx::Texture(gfx::NoCreate), gfx::Texture(gfx::NoCreate), {}};
    if (kind == TileKind::ELEVATION) {
        resident.samples = ElevationSamples::decode(image.data, image.width, image.height, image.channels,
                                                    m_config->elevation_encoding);
        resident.texture = gfx::Texture::from_floats(resident.samples.metres.data(), image.width, image.height);
        // True metres per pixel at the tile's middle latitude: slopes, and so the shading, do
        // not depend on the zoom or on where the camera is.
        const TileBounds bounds = tile_bounds(tile);
        const double middle = 0.5 * (bounds.lat_north + bounds.lat_south);
        const double texel = tile_size(tile.zoom) / image.width * std::abs(std::cos(middle * DEG_TO_RAD));
        const std::vector<uint8_t> normals = resident.samples.normal_pairs(texel);
        if (!normals.empty())
            resident.normals = gfx::Texture::from_rg8(normals.data(), image.width, image.height);
    } else {
        resident.texture = gfx::Texture(image);
    }
    auto result = m_lru.put({tile, kind}, std::move(resident));
    return &result.stored->texture;
}

gfx::Texture* TextureCache::get_texture(TileId tile, TileKind kind, double priority)
{
    if (gfx::Texture* texture = find_texture(tile, kind))
        return texture;
    TileService* service = service_for(kind);
    if (service == nullptr)
        return nullptr;
    const gfx::Image* image = service->get_tile(tile, priority);
    if (image == nullptr)
        return nullptr;
    if (m_uploads > 0 && m_upload_ms >= UPLOAD_BUDGET_MS) {
        // The image stays with its service until a later frame has room for it.
        ++m_deferred_uploads;
        return nullptr;
    }
    const auto start = std::chrono::steady_clock::now();
    gfx::Texture* texture = upload(tile, kind, *image);
    m_upload_ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ++m_uploads;
    // The pixels now live on the GPU (and, for heights, in the entry): the decoded copy goes.
    service->remove_tile(tile);
    return texture;
}

gfx::Texture* TextureCache::load_texture(TileId tile, TileKind kind)
{
    if (gfx::Texture* texture = find_texture(tile, kind))
        return texture;
    TileService* service = service_for(kind);
    if (service == nullptr)
        return nullptr;
    const gfx::Image* image = service->get_tile_sync(tile);
    if (image == nullptr)
        return nullptr;
    return upload(tile, kind, *image);
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

const ElevationSamples* TextureCache::find_heights(TileId tile) const
{
    const Resident* resident = m_lru.peek({tile, TileKind::ELEVATION});
    return resident != nullptr && !resident->samples.empty() ? &resident->samples : nullptr;
}

bool TextureCache::sample_resident(LatLon position, uint32_t zoom, float& metres)
{
    const TileId tile = tile_at(position, zoom);
    const Resident* resident = m_lru.peek({tile, TileKind::ELEVATION});
    if (resident == nullptr || resident->samples.empty())
        return false;
    const TileUV uv = position_in_tile(position, tile);
    metres = resident->samples.sample(static_cast<float>(uv.u), static_cast<float>(uv.v));
    return true;
}

float TextureCache::elevation_at(LatLon position, uint32_t zoom, bool blocking)
{
    // Zooms past the tile arithmetic's 32-bit range cannot name a tile.
    zoom = std::min(zoom, QuadTree::MAX_TILE_ZOOM);
    // Coarsest zoom of the non-blocking search, and the last resort's zoom.
    constexpr uint32_t LAST_RESORT_ZOOM = 8;

    // Elevation tiles already uploaded for the terrain are gone from the service; their
    // heights are answered from the copy kept with the texture instead of fetching again.
    float metres = 0.0f;
    bool found = false;
    const gfx::Image* image = nullptr;
    TileId image_tile{};

    if (blocking) {
        found = sample_resident(position, zoom, metres);
        if (!found) {
            image_tile = tile_at(position, zoom);
            image = m_elevation_service.get_tile_sync(image_tile);
        }
    } else {
        for (uint32_t z = zoom;; --z) {
            if ((found = sample_resident(position, z, metres)))
                break;
            image_tile = tile_at(position, z);
            if ((image = m_elevation_service.get_tile(image_tile)) != nullptr)
                break;
            // Counting down an unsigned zoom: stop after zoom 0 instead of wrapping.
            if (z == 0 || z - 1 <= LAST_RESORT_ZOOM)
                break;
        }
    }
    if (!found && image == nullptr) {
        found = sample_resident(position, LAST_RESORT_ZOOM, metres);
        if (!found) {
            image_tile = tile_at(position, LAST_RESORT_ZOOM);
            // A failed synchronous load is not repeated by non-blocking queries: against a
            // server that times out it would stall every frame that asks.
            if (blocking || m_failed_last_resort.count(image_tile) == 0) {
                image = m_elevation_service.get_tile_sync(image_tile);
                if (image == nullptr)
                    m_failed_last_resort.insert(image_tile);
                else
                    m_failed_last_resort.erase(image_tile);
            }
        }
    }
    if (!found) {
        if (image == nullptr)
            return 0.0f;
        const TileUV uv = position_in_tile(position, image_tile);
        metres = sample_elevation(image->data, image->width, image->height, image->channels, static_cast<float>(uv.u),
                                  static_cast<float>(uv.v), m_config->elevation_encoding);
    }
    return mercator_height(metres, position.lat);
}
