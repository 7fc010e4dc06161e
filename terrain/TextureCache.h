#pragma once

// GPU textures of the map tiles, one imagery and one elevation texture per tile, each
// uploaded on first use and kept in a 500-entry least-recently-used cache. Imagery comes from
// the imagery server's tile service, which the cache owns; elevation from the height store,
// which keeps the decoded heights on the CPU for everyone else too.
//
// Render thread only (it owns the GL context); the tile services lock internally.
//
// An elevation tile becomes two textures: a float texture of its heights for the vertices,
// and a texture of surface normals for the shading.
//
// Uploads from get_texture (the streaming path) stop for the frame once UPLOAD_BUDGET_MS of
// the frame's time went into them (one is always allowed): a burst of arriving tiles then
// spreads over a few frames instead of stalling one. The tiles wait in their service.
//
// Texture lifetime: a pointer returned by find_texture, get_texture, load_texture,
// get_textures or find_fallback stays valid until the next begin_frame(), even if later
// calls in the same frame evict its entry. Call begin_frame() once at the start of every
// frame, before asking for any texture.

#include "gfx/gl/Texture.h"
#include "terrain/HeightStore.h"
#include "terrain/LRUCache.h"
#include "terrain/TileFallback.h"
#include "terrain/TileKey.h"
#include "tiles/TileId.h"
#include "tiles/TileServerConfig.h"
#include "tiles/TileService.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

class TextureCache {
public:
    static constexpr size_t CAPACITY = 500;
    static constexpr double UPLOAD_BUDGET_MS = 4.0;

    // Builds the imagery service (its workers start now). heights must outlive the cache.
    TextureCache(const TileServerConfig& imagery_server, HeightStore& heights);
    // Deletes every texture, then stops the imagery service.
    ~TextureCache();

    TextureCache(const TextureCache&) = delete;
    TextureCache& operator=(const TextureCache&) = delete;

    // Frame boundary: deletes the textures evicted since the last call, opens the frame's
    // upload budget, and counts a frame for the imagery service and the height store (tiles
    // no longer asked for are withdrawn or dropped there).
    void begin_frame();

    // The resident texture or null; never asks a service.
    gfx::Texture* find_texture(TileId tile, TileKind kind);
    // The resident texture, or the freshly uploaded one if its service has decoded the tile,
    // or null (the service then fetches it in the background, lower priority values first).
    // Never blocks.
    gfx::Texture* get_texture(TileId tile, TileKind kind, double priority = 0.0);
    // Like get_texture but fetches and decodes on this thread when needed (blocks).
    gfx::Texture* load_texture(TileId tile, TileKind kind);
    // A tile the view will want soon: asked for ahead of need from its service (imagery) or the
    // height store (elevation), behind everything the view wants now; nothing is uploaded.
    // Whether this made a new request.
    bool prefetch(const TileKey& key, double priority);
    // Whether the tile's texture is resident or, for elevation, its heights are held (so no
    // fetch is needed). Refreshes nothing.
    bool has_tile(const TileKey& key) const;
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

    // The normals texture of a resident elevation tile, or null. Does not refresh the tile's
    // place in the cache.
    gfx::Texture* find_normals(TileId tile);
    // The lowest and highest metres of a resident elevation tile, or nothing; like
    // find_normals.
    std::optional<std::pair<float, float>> height_range(TileId tile) const;

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
    // One cache entry: the texture, and for elevation tiles their normals and height range.
    struct Resident {
        gfx::Texture texture;
        gfx::Texture normals{gfx::NoCreate}; // elevation tiles only
        float lowest = 0.0f;                 // elevation tiles only, metres
        float highest = 0.0f;
    };

    gfx::Texture* upload_imagery(TileId tile, const gfx::Image& image);
    gfx::Texture* upload_heights(TileId tile, const ElevationSamples& samples);
    // Uploads are timed against the frame's budget.
    bool over_budget() const { return m_uploads > 0 && m_upload_ms >= UPLOAD_BUDGET_MS; }

    HeightStore* m_heights;
    TileService m_texture_service;
    LRUCache<TileKey, Resident> m_lru{CAPACITY};
    double m_upload_ms = 0.0;       // spent on get_texture uploads in this frame
    uint32_t m_uploads = 0;         // get_texture uploads in this frame
    uint32_t m_deferred_uploads = 0;
};
