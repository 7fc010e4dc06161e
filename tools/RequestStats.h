#pragma once

// What the tile server has been asked since it started or since the last reset: the number of
// tile requests, the number of requests for unknown URLs, and the paths in order (the last
// MAX_PATHS). Thread-safe; the server's handler threads all record here.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace tileserver {

class RequestStats {
public:
    static constexpr size_t MAX_PATHS = 10000;

    void record_tile(const std::string& path);
    void record_unexpected(const std::string& path);
    void reset();

    // {"requests": N, "unexpected": M, "paths": [...]}
    std::string to_json() const;

private:
    void remember(const std::string& path);

    mutable std::mutex m_mutex;
    int64_t m_requests = 0;
    int64_t m_unexpected = 0;
    std::deque<std::string> m_paths;
};

} // namespace tileserver
