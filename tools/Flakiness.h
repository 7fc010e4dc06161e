#pragma once

// Failures of a real network that a client must ride out, injected into first requests:
// a fraction of tile paths answer their first request with 503 (optionally with a
// Retry-After header), and a fraction have their first connection dropped without a complete
// answer. Which paths fail is a hash of the path, so every run fails the same ones; every
// later request of a path is answered normally. Thread-safe.

#include <mutex>
#include <string>
#include <unordered_set>

namespace tileserver {

struct FlakyOptions {
    int fail_first_percent = 0;  // 0–100: paths whose first request answers 503
    int drop_first_percent = 0;  // 0–100: paths whose first connection is dropped
    int retry_after_seconds = -1; // ≥ 0: sent as Retry-After with the 503s
};

class Flakiness {
public:
    enum class Verdict { Answer, Fail, Drop };

    explicit Flakiness(FlakyOptions options) : m_options(options) {}

    // What to do with this request of path; remembers that the path has been asked.
    Verdict judge(const std::string& path);
    // Forgets which paths have been asked (with the statistics' reset).
    void reset();

    const FlakyOptions& options() const { return m_options; }

private:
    FlakyOptions m_options;
    std::mutex m_mutex;
    std::unordered_set<std::string> m_seen;
};

} // namespace tileserver
