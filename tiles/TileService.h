#pragma once

// Decoded tile images of one tile server: fetched on a small worker pool from the disk cache
// or over HTTP, most wanted first, handed to the caller as soon as they are decoded, then
// written to the disk cache.
//
// A tile's life: asked for (get_tile) → queued with a priority → fetched by a worker →
// stored → collected by the caller, who copies it and calls remove_tile. Along the way:
// - Priority: the queue serves the tiles asked for in the current or the last frame first,
//   among them the lowest priority value first (ties: first asked first); every call of
//   get_tile refreshes it, the lowest value of one frame wins.
// - Prefetch: a tile asked for by prefetch (ahead of need) waits behind every tile get_tile
//   asked for in the current or the last frame, and is not collected: it stays stored for the
//   get_tile that wants it, under the same withdrawal and store bounds (prefetch renews them).
// - Withdrawal: a queued tile that nobody asked for during withdraw_frames frames is dropped
//   before it is fetched; a fetch already under way completes and is cached, but not stored.
// - Store bound: a stored image nobody asked for during keep_frames frames is dropped.
//   A dropped or withdrawn tile is requested anew when it is asked for again.
// - Retries: a time-out, a failed connection, 408, 429 and 5xx answers are retried on the
//   workers after a back-off (about 1 s, doubling up to 30 s, with jitter; a Retry-After
//   header is honoured up to that maximum) while the tile is still asked for. Other statuses
//   and answers that are no tile (see TileCheck.h: not an image, not PNG where png_only, not
//   square 256 or 512 pixels) are final for the run. Each failed try prints one line, which
//   for an answer that is no tile names the server, the URL and the reason.
// Frames are counted by begin_frame; without it nothing is withdrawn or dropped.
//
// Thread-safety: get_tile, get_tile_sync, remove_tile, begin_frame and stats may be called
// from any thread (the render thread in the program); they lock the service mutex, never
// across network or disk I/O. Construction and destruction belong to the owner's thread.
// Workers hold the service mutex only to pick a request and to store a result; get_tile
// takes the pool's lock inside the service lock (always in that order).
//
// A returned pointer stays valid until remove_tile for that tile, the next begin_frame, or
// the service's end; a stored image is never replaced while it is held.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "gfx/Image.h"
#include "tiles/DiskCache.h"
#include "tiles/HttpClient.h"
#include "tiles/ThreadPool.h"
#include "tiles/TileServerConfig.h"
#include "tiles/TileId.h"

// How the service streams; the defaults are the program's.
struct StreamingOptions {
    std::chrono::milliseconds first_retry{1000}; // back-off before the second try, doubled per try
    std::chrono::milliseconds max_retry{30000};  // longest wait between tries, Retry-After included
    double jitter = 0.25;                        // each back-off is scaled by 1 ± jitter at random
    uint32_t withdraw_frames = 5;                // a queued tile not asked for this long is dropped
    uint32_t keep_frames = 60;                   // a stored image not asked for this long is dropped
    bool cache_before_publish = false;           // benchmarks only: the old order (cache, then store)
};

// Counters since construction, for benchmarks and tests.
struct TileServiceStats {
    uint64_t http_tries = 0;   // HTTP requests sent
    uint64_t fetched = 0;      // tiles that arrived over HTTP and decoded
    uint64_t from_disk = 0;    // tiles read from the disk cache
    uint64_t collected = 0;    // images handed to a caller for the first time
    uint64_t wasted = 0;       // arrived over HTTP but dropped before any caller took them
    uint64_t wasted_ahead = 0; // of those, tiles only prefetch had asked for
    uint64_t withdrawn = 0;    // queued requests dropped before they were fetched
    uint64_t prefetched = 0;   // requests made by prefetch
    uint64_t retries = 0;      // tries after a passing failure
    uint64_t stored = 0;       // images held now
    uint64_t queued = 0;       // requests waiting for a worker now
    uint64_t pending = 0;      // requested and not arrived now: queued, being fetched, or waiting to retry
    // Per tile that came over HTTP, milliseconds from its answer to its collection (the last
    // 4096).
    std::vector<double> answer_to_collect_ms;
};

class TileService {
public:
    // Copies the settings, starts num_threads workers, opens the disk cache (creating its
    // folder, or printing why it cannot and running without), and prints "Tile Url ",
    // "Tile Cache Dir: ", "Tile Cache Size: " (when cached), "Num Threads: " and "Max Zoom: ".
    // http overrides the client settings and streaming the streaming ones (benchmarks, tests).
    explicit TileService(const TileServerConfig& config, const HttpOptions& http = {},
                         const StreamingOptions& streaming = {});
    // Stops the pool first: queued fetches are dropped, one under way completes and stores.
    ~TileService();

    TileService(const TileService&) = delete;
    TileService& operator=(const TileService&) = delete;

    // The stored image, or null after queueing its fetch (once, until it arrives, fails for
    // good, or is withdrawn or removed). Never waits for the network or the disk. Null
    // without a request above max zoom. Lower priority values are fetched first.
    gfx::Image* get_tile(TileId tile, double priority = 0.0);
    // Asks for a tile the caller expects to want soon, through the same workers: queued behind
    // everything get_tile asked for in this or the last frame (among prefetches, lower priority
    // values first), or kept when already requested or stored; never collects it, and leaves a
    // tile that failed in this run alone. Whether this made a new request.
    bool prefetch(TileId tile, double priority);
    // The stored image, loading it on the calling thread (disk cache or HTTP) when missing,
    // or waiting for a worker that is loading it; null when that fails or the zoom is above
    // max zoom. A tile that has failed before is not loaded here again: it is queued for the
    // workers, which retry it, and null is returned at once.
    gfx::Image* get_tile_sync(TileId tile);
    // Drops the stored image (its pixels are freed) and forgets the request, so the next
    // get_tile requests the tile anew. A final failure is remembered nonetheless.
    void remove_tile(TileId tile);
    // Counts a frame: withdraws queued requests and drops stored images not asked for lately.
    void begin_frame();

    // Whether the tile will never come in this run: its fetch failed for good (a final status
    // such as 404, an answer that is no tile), or it lies beyond max zoom. A tile that failed
    // for good stays so however often it is asked for; one still retrying is not.
    bool failed_for_good(TileId tile) const;

    TileServiceStats stats() const;

private:
    enum class State { Queued, Fetching, Waiting, Stored, Failed };
    struct Slot {
        State state = State::Queued;
        double priority = 0.0;
        uint64_t asked_frame = 0; // the last frame it was asked for, by get_tile or prefetch
        uint64_t viewed_frame = 0; // the last frame get_tile asked for it
        bool viewed = false;       // get_tile has asked for it
        uint64_t order = 0;       // first asked first among equal priorities
        uint32_t failures = 0;    // passing failures so far
        std::chrono::steady_clock::time_point retry_at{};
        // Shared with a worker that still encodes it for the disk cache after storing it.
        std::shared_ptr<gfx::Image> image;
        bool from_network = false;
        bool collected = false;
        std::chrono::steady_clock::time_point answered_at{};
    };
    enum class Outcome { Delivered, Passing, Final };
    struct Fetched {
        Outcome outcome = Outcome::Final;
        std::shared_ptr<gfx::Image> image;
        bool from_network = false;
        long retry_after_seconds = -1;
        std::chrono::steady_clock::time_point answered_at{};
    };

    // Caller holds m_mutex.
    void ask(Slot& slot, double priority);
    // Whether get_tile asked for the slot in this or the last frame.
    bool viewed_lately(const Slot& slot) const { return slot.viewed && slot.viewed_frame + 1 >= m_frame; }
    void enqueue(Slot& slot);
    void retry_if_due(Slot& slot);
    gfx::Image* collect(Slot& slot);
    bool wanted(const Slot& slot, uint32_t frames) const;
    std::chrono::steady_clock::duration retry_delay(uint32_t failures, long retry_after_seconds);

    // The worker step: takes the most wanted queued request, fetches it outside the lock,
    // stores the result under it, then caches it.
    void run_next();
    // Stores a fetch's result, or records its failure (caller does not hold m_mutex).
    void finish(TileId tile, const Fetched& fetched);
    // Writes a tile that came over HTTP to the disk cache, and has the pool trim the cache
    // when that took it past its limit.
    void cache(TileId tile, const Fetched& fetched);
    // Disk cache, else HTTP and decode. Prints the failure lines.
    Fetched fetch_tile(TileId tile, HttpClient& http);
    std::string tile_url(TileId tile) const;

    TilePattern m_pattern;
    std::string m_url;
    std::string m_file_ending;
    uint32_t m_max_zoom;
    bool m_png_only;
    StreamingOptions m_streaming;
    DiskCache m_cache;
    // One client per worker (indexed by ThreadPool::current_worker_index()) so each keeps its
    // connections, and one for get_tile_sync under m_sync_mutex. Declared before the pool so
    // that they outlive its workers.
    std::vector<std::unique_ptr<HttpClient>> m_worker_http;
    std::mutex m_sync_mutex;
    HttpClient m_sync_http;

    mutable std::mutex m_mutex;
    std::condition_variable m_fetch_done; // a Fetching slot changed state
    std::unordered_map<TileId, Slot> m_slots;
    std::unordered_set<TileId> m_failed_before; // tiles that failed a try in this run
    uint64_t m_frame = 0;
    uint64_t m_next_order = 0;
    std::mt19937 m_random{std::random_device{}()};
    TileServiceStats m_stats;

    ThreadPool m_pool; // last: its workers stop before anything they use goes
};
