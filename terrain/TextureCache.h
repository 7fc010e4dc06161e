#pragma once

// GPU textures of the map tiles, one imagery and one elevation texture per tile, each
// uploaded on first use from the tile service of its layer and kept in a 500-entry
// least-recently-used cache. Also answers how high the ground is at a point.
//
// Render thread only (it owns the GL context); the tile services lock internally.
//
// Elevation tiles are kept as three things: the decoded heights on the CPU, a float texture
// of them for the vertices, and a texture of surface normals for the shading.
//
// Uploads from get_texture (the streaming path) stop for the frame once UPLOAD_BUDGET_MS of
// the frame's time went into them (one is always allowed): a burst of arriving tiles then
// spreads over a few frames instead of stalling one. The tiles wait in their service.
//
// Texture lifetime: a pointer returned by find_texture, get_texture, load_texture,
// get_textures or find_fallback stays valid until the next begin_frame(), even if later
// calls in the same frame evict its entry. Call begin_frame() once at the start of every
// frame, before asking for any texture.

#include "app/Config.h"
#include "gfx/gl/Texture.h"
#include "terrain/Elevation.h"
#include "terrain/LRUCache.h"
#include "terrain/TileFallback.h"
#include "terrain/TileKey.h"
#include "tiles/TileId.h"
#include "tiles/TileService.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <utility>

class TextureCache {
public:
    static constexpr size_t CAPACITY = 500;
    static constexpr double UPLOAD_BUDGET_MS = 4.0;

    // Builds the texture service, then the elevation service (their workers start now).
    // config must outlive the cache.
    explicit TextureCache(const Config& config);
    // Deletes every texture, then stops the services (reverse order of construction).
    ~TextureCache();

    TextureCache(const TextureCache&) = delete;
    TextureCache& operator=(const TextureCache&) = delete;

    // Frame boundary: deletes the textures evicted since the last call, opens the frame's
    // upload budget, and counts a frame for both services (tiles no longer asked for are
    // withdrawn or dropped there).
    void begin_frame();

    // The resident texture or null; never asks a service.
    gfx::Texture* find_texture(TileId tile, TileKind kind);
    // The resident texture, or the freshly uploaded one if its service has decoded the tile,
    // or null (the service then fetches it in the background, lower priority values first).
    // Never blocks.
    gfx::Texture* get_texture(TileId tile, TileKind kind, double priority = 0.0);
    // Like get_texture but fetches and decodes on this thread when needed (blocks).
    gfx::Texture* load_texture(TileId tile, TileKind kind);
    // (imagery, elevation) of one tile, each as get_texture.
    std::pair<gfx::Texture*, gfx::Texture*> get_textures(TileId tile);

    // Stand-in for a tile without its own texture: the nearest resident ancestor's texture,
    // or the base_zoom ancestor loaded synchronously (printing "Fallback to largest tile: ").
    // uv receives the tile's rectangle inside the ancestor, id the ancestor. Null, outputs
    // untouched, for tiles at or above base_zoom.
    gfx::Texture* find_fallback(TileId tile, TileKind kind, uint32_t base_zoom, UVRect& uv, TileId& id);

    // Prints "Largest Tile: " and the tile at base_zoom that holds origin, then loads its
    // elevation and imagery, blocking.
    void preload_largest_tile(LatLon origin, uint32_t base_zoom);

    // Ground height at position in Mercator metres (metres / |cos(latitude)|), from the
    // finest elevation tile at or below zoom that can be had; 0 when none can. With blocking
    // false, missing tiles are requested and coarser ones used meanwhile; the zoom-8 tile of
    // last resort is still loaded on the spot, but one whose load failed is not tried again
    // by non-blocking queries (the overlay asks every frame).
    float elevation_at(LatLon position, uint32_t zoom, bool blocking);

    // The normals texture of a resident elevation tile, or null; like find_heights.
    gfx::Texture* find_normals(TileId tile);
    // The decoded heights of a resident elevation tile, or null. Never asks a service and does
    // not refresh the tile's place in the cache. Valid until the next begin_frame().
    const ElevationSamples* find_heights(TileId tile) const;

    // Whether the tile of that layer will never come in this run (its service gave up on it
    // for good, or it is beyond the server's max zoom). Never asks a service for a fetch.
    bool failed_for_good(TileId tile, TileKind kind) const;

    // Resident textures ("GPU Cache Size").
    size_t size() const { return m_lru.size(); }
    // Decoded tiles whose upload get_texture put off to a later frame (this frame so far).
    uint32_t deferred_uploads() const { return m_deferred_uploads; }

    // Whether an ancestor of tile down to base_zoom is resident for that layer. Does not
    // refresh recency.
    bool has_resident_ancestor(TileId tile, TileKind kind, uint32_t base_zoom) const;

    // The counters of a layer's tile service (benchmarks).
    TileServiceStats service_stats(TileKind kind) const;

private:
    // One cache entry: the texture, and for elevation tiles their heights on the CPU.
    struct Resident {
        gfx::Texture texture;
        gfx::Texture normals{gfx::NoCreate}; // elevation tiles only
        ElevationSamples samples;            // elevation tiles only
    };

    TileService* service_for(TileKind kind);
    gfx::Texture* upload(TileId tile, TileKind kind, const gfx::Image& image);
    bool sample_resident(LatLon position, uint32_t zoom, float& metres);

    const Config* m_config;
    TileService m_texture_service;
    TileService m_elevation_service;
    LRUCache<TileKey, Resident> m_lru{CAPACITY};
    std::set<TileId> m_failed_last_resort;
    double m_upload_ms = 0.0;       // spent on get_texture uploads in this frame
    uint32_t m_uploads = 0;         // get_texture uploads in this frame
    uint32_t m_deferred_uploads = 0;
};
