#pragma once

// Decoded tile images of one tile server: kept in memory, fetched on a small worker pool from
// the disk cache or over HTTP, and written to the disk cache as PNG.
//
// Thread-safety: get_tile, get_tile_sync and remove_tile may be called from any thread (the
// render thread in the program); they lock the service mutex. Construction and destruction
// belong to the owner's thread. Workers hold the service mutex only to insert a finished
// image; get_tile takes the pool's lock inside the service lock (always in that order).
//
// A returned pointer stays valid until remove_tile for that tile or the service's end.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "gfx/Image.h"
#include "tiles/HttpClient.h"
#include "tiles/ThreadPool.h"
#include "tiles/TileServerConfig.h"
#include "tiles/TileId.h"

class TileService {
public:
    // Copies the settings, starts num_threads workers, creates the cache directory (with its
    // parents) when the disk cache is enabled, and prints "Tile Url ", "Tile Cache Dir: ",
    // "Num Threads: " and "Max Zoom: ". Throws std::filesystem::filesystem_error when the
    // directory cannot be created. http overrides the client settings (benchmarks, tests).
    explicit TileService(const TileServerConfig& config, const HttpOptions& http = {});
    // Stops the pool first: queued fetches are dropped, one under way completes and stores.
    ~TileService();

    TileService(const TileService&) = delete;
    TileService& operator=(const TileService&) = delete;

    // The stored image, or null after queueing its fetch once (until remove_tile). Never
    // waits for the network or the disk. Null without a request above max zoom.
    gfx::Image* get_tile(TileId tile);
    // The stored image, loading it on the calling thread (disk cache or HTTP) when missing;
    // null when that fails or the zoom is above max zoom. Holds the service mutex throughout.
    gfx::Image* get_tile_sync(TileId tile);
    // Drops the stored image (its pixels are freed) and forgets that the tile was requested.
    void remove_tile(TileId tile);

private:
    // Caller holds m_mutex.
    void request_tile(TileId tile);
    // The worker step: fetch outside the lock, store a valid image under it.
    void run_fetch(TileId tile);
    // Disk cache, else HTTP (then decode and cache). Prints the failure lines; may throw
    // std::filesystem::filesystem_error from the cache file's existence test.
    gfx::Image fetch_tile(TileId tile, HttpClient& http);
    std::string tile_url(TileId tile) const;
    std::filesystem::path tile_cache_path(TileId tile) const;
    void write_cache_file(TileId tile, const gfx::Image& image) const;

    TilePattern m_pattern;
    std::string m_url;
    std::string m_file_ending;
    std::filesystem::path m_cache_dir;
    uint32_t m_max_zoom;
    bool m_cache_enabled;
    // One client per worker (indexed by ThreadPool::current_worker_index()) so each keeps its
    // connections, and one for get_tile_sync, used under m_mutex. Declared before the pool so
    // that they outlive its workers.
    std::vector<std::unique_ptr<HttpClient>> m_worker_http;
    HttpClient m_sync_http;
    ThreadPool m_pool;
    std::set<TileId> m_requested;
    std::unordered_map<TileId, gfx::Image> m_store;
    std::mutex m_mutex;
};
