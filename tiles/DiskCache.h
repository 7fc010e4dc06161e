#pragma once

// One tile server's folder of cached tiles: one PNG per tile named "z=Z, x=X, y=Y.png",
// written atomically (a temporary ".z=Z, x=X, y=Y.png.XXXXXX" renamed into place), shared
// with other runs and other programs.
//
// A disk cache is an optimisation: a folder that cannot be used (a file stands where it or a
// parent should be, no permission) turns it off for the run after one line on standard error.
// At opening, temporary files of the cache's own naming older than STALE_TEMPORARY (left by a
// killed writer) are removed. With a size limit, the least recently used tile files (by
// modification time, which a read refreshes) are removed until the folder is 10 % below it;
// nothing else in the folder is ever touched: neither foreign files nor temporary files.
//
// Thread-safety: read, write and evict may run on any threads at once (the service's
// workers); construction belongs to the owner's thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "gfx/Image.h"
#include "tiles/TileId.h"

class DiskCache {
public:
    // A temporary file older than this cannot belong to a live writer: a write takes
    // milliseconds.
    static constexpr std::chrono::minutes STALE_TEMPORARY{10};

    // enabled false: a cache that reads and writes nothing. max_bytes 0: no limit. Creates the
    // folder (with its parents) when missing, removes stale temporaries and measures the
    // folder; prints one line to standard error and turns itself off when the folder is
    // unusable.
    DiskCache(std::filesystem::path dir, bool enabled, uint64_t max_bytes);

    DiskCache(const DiskCache&) = delete;
    DiskCache& operator=(const DiskCache&) = delete;

    bool enabled() const { return m_enabled; }
    const std::filesystem::path& dir() const { return m_dir; }
    std::filesystem::path path(TileId tile) const;

    // The cached tile, or an invalid image when there is none or it does not decode. Refreshes
    // the file's modification time (its recency). Throws std::filesystem::filesystem_error
    // ("exists") when the existence test fails for another reason than "not found".
    gfx::Image read(TileId tile);
    // Writes the tile's PNG atomically. A failure costs only a fetch next run; the first one
    // prints `Could not write tiles to the disk cache "<folder>": <reason>` on standard error,
    // and later ones stay quiet until a write has worked again. Returns true when the folder
    // has grown past its limit and an evict() is due; true at most once until that evict()
    // has run.
    bool write(TileId tile, const gfx::Image& image);
    // Whether the folder was over its limit at opening (an evict() is due).
    bool over_limit_at_start() const { return m_over_limit_at_start; }
    // Removes least recently used tile files until the folder is 10 % below the limit.
    void evict();

    // Bytes and tile files found at opening.
    uint64_t bytes_at_start() const { return m_bytes_at_start; }
    uint64_t files_at_start() const { return m_files_at_start; }

private:
    // Says so unless the last write failed too.
    void write_failed(int error);

    std::filesystem::path m_dir;
    bool m_enabled;
    uint64_t m_max_bytes;
    uint64_t m_bytes_at_start = 0;
    uint64_t m_files_at_start = 0;
    bool m_over_limit_at_start = false;
    // Bytes of tile files as last measured plus those written since; an estimate (other
    // writers share the folder), corrected by every evict().
    std::atomic<uint64_t> m_bytes{0};
    std::atomic<bool> m_evict_due{false};
    std::atomic<bool> m_write_failing{false}; // the last write failed (and said so)
};

// "z=Z, x=X, y=Y.png" with three unsigned 32-bit decimal numbers, nothing else.
bool is_tile_file_name(std::string_view name);
// "." + a tile file name + "." + six letters or digits, as mkstemp makes them.
bool is_temporary_file_name(std::string_view name);
