#pragma once

// The local tile server (wh_tileserver) on a free loopback port for the length of a test.
//
//   support::TileServer server;                     // or TileServer({.latency_ms = 50})
//   server.base_url();                              // "http://127.0.0.1:40123"
//   support::HttpResult tile = server.get("/imagery/10/544/359.png");
//   support::TileServerStats stats = server.stats();   // requests, unexpected, paths
//   server.reset_stats();
//
// Construction throws std::runtime_error (with the server's output) if it does not come up
// within start_timeout; the destructor stops it with SIGTERM and kills it if it lingers.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Process.h"

namespace support {

struct TileServerOptions {
    int latency_ms = 0;                                    // passed as --latency-ms when > 0
    std::vector<std::string> extra_args;                   // more options, e.g. {"--flaky-first", "100"}
    std::filesystem::path executable = default_tileserver_path();
    std::chrono::milliseconds start_timeout{15000};

    static std::filesystem::path default_tileserver_path();
};

struct TileServerStats {
    int64_t requests = 0;            // tile requests served since start or the last reset
    int64_t unexpected = 0;          // requests for unknown URLs
    std::vector<std::string> paths;  // requested paths in order (the last 10000)
};

struct HttpResult {
    int status = 0;                  // 0: no answer (connection failed or timed out)
    std::string body;
    std::multimap<std::string, std::string> headers;

    std::string header(const std::string& name) const; // first value, or empty
};

// A plain GET of a full URL ("http://host:port/path"); redirects are not followed unless asked.
HttpResult http_get(const std::string& url, bool follow_redirects = false,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

class TileServer {
public:
    explicit TileServer(TileServerOptions options = {});
    ~TileServer();

    TileServer(const TileServer&) = delete;
    TileServer& operator=(const TileServer&) = delete;

    int port() const { return m_port; }
    std::string base_url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    // GET of a path on this server ("/stats", "/imagery/3/4/2.png").
    HttpResult get(const std::string& path, bool follow_redirects = false) const;

    // GET /stats, parsed; throws std::runtime_error when the answer is not the expected JSON.
    TileServerStats stats() const;
    // GET /stats/reset; throws when it does not answer 200.
    void reset_stats() const;

    // Sends SIGTERM and waits for the end; what the destructor does. Returns the exit status.
    ExitStatus stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

    Process& process() { return *m_process; }

private:
    std::unique_ptr<Process> m_process;
    int m_port = 0;
};

} // namespace support
