#pragma once

// The decoded elevation tiles (metres) on the CPU, apart from any GPU texture: the terrain's
// texture uploads, the physics ground, the spawn, key T, the overlay and the camera floor all
// ask here, so what one of them sees does not depend on what the renderer happens to hold.
// Owns the elevation server's tile service; a tile is decoded once, when it is first taken
// from the service, and kept in a least-recently-used store.
//
// Render thread only. The service locks internally; its workers never touch the store.
//
// Lifetime: pointers from find() stay valid until the next get(), load() or height_at() may
// insert (which may evict); shared pointers from get() and load() as long as they are held.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "terrain/Elevation.h"
#include "terrain/LRUCache.h"
#include "tiles/ElevationEncoding.h"
#include "tiles/LatLon.h"
#include "tiles/TileId.h"
#include "tiles/TileServerConfig.h"
#include "tiles/TileService.h"

// Changes a tile's heights once, as it is stored, before anything reads them: the runways lay
// their ground flat this way, so the drawn terrain and the physics ground both stand on it.
// Called on the render thread, from inside get() and load(); it must not call the store.
using HeightModifier = std::function<void(const TileId& tile, ElevationSamples& samples)>;

struct HeightStoreSettings {
    TileServerConfig server;
    ElevationEncoding encoding = ElevationEncoding::SINGLE_BYTE;
    // Tiles kept. A 256-pixel tile takes 256 KiB, a 512-pixel one 1 MiB.
    size_t capacity = 400;
    // None: the heights stay as decoded.
    HeightModifier modifier;
};

// A height and the zoom of the tile it was read from.
struct HeightSample {
    float metres = 0.0f;
    uint32_t zoom = 0;
};

class HeightStore {
public:
    using Samples = std::shared_ptr<const ElevationSamples>;

    // Starts the elevation service (its workers start now). http and streaming override the
    // service's defaults (tests, benchmarks).
    explicit HeightStore(const HeightStoreSettings& settings, const HttpOptions& http = {},
                         const StreamingOptions& streaming = {});

    HeightStore(const HeightStore&) = delete;
    HeightStore& operator=(const HeightStore&) = delete;

    // Counts a frame for the service: requests nobody renewed lately are withdrawn there.
    void begin_frame();

    // The held tile or null; asks nobody.
    const ElevationSamples* find(TileId tile) const;
    // The held tile; else the one the service has decoded, taken over and kept; else null
    // after asking the service for it (lower priority values first). Never waits.
    Samples get(TileId tile, double priority = 0.0);
    // Asks for the tile like get() without taking it over; whether it could be had now.
    bool request(TileId tile, double priority = 0.0);
    // Asks the service for a tile that will be wanted soon (TileService::prefetch), unless it
    // is held; takes nothing over and refreshes nothing. Whether this made a new request.
    bool prefetch(TileId tile, double priority);
    // The held tile, or the tile loaded on this thread (disk cache or network: blocks). Only
    // for start-up and the terrain's last-resort stand-in; null when it cannot be had.
    Samples load(TileId tile);

    // Metres above sea level at position from the finest tile at or below zoom that is held
    // (nearest pixel), asking for the one at zoom; nothing when none is held. Never waits.
    std::optional<HeightSample> height_at(LatLon position, uint32_t zoom);

    // Whether the service gave the tile up for this run (it will never be held).
    bool failed_for_good(TileId tile) const { return m_service.failed_for_good(tile); }

    // The deepest zoom the elevation server is asked for.
    uint32_t max_zoom() const { return m_max_zoom; }
    ElevationEncoding encoding() const { return m_encoding; }
    size_t size() const { return m_tiles.size(); }
    TileServiceStats stats() const { return m_service.stats(); }

private:
    Samples keep(TileId tile, const gfx::Image& image);

    ElevationEncoding m_encoding;
    uint32_t m_max_zoom;
    HeightModifier m_modifier;
    TileService m_service;
    LRUCache<TileId, Samples> m_tiles;
};
