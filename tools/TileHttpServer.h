#pragma once

// The tile server's HTTP side on cpp-httplib: loopback only, the tile routes with their
// failure prefixes, GET /stats and /stats/reset, 404 for anything else.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "tools/Flakiness.h"
#include "tools/RequestStats.h"
#include "tools/TileStore.h"

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace tileserver {

struct ServerOptions {
    int port = 8765;            // 0 picks a free port
    int latency_ms = 0;         // added to every tile answer
    size_t handler_threads = 64; // idle keep-alive connections each hold one
    FlakyOptions flaky;         // failures injected into first requests
    bool incompressible_imagery = false; // imagery with a grain that does not compress
};

// The grain of incompressible imagery, per channel: PNG tiles come at nearly their raw size
// (192 of 197 kB for 256 pixels), JPEG ones at about 40 kB, as a JPEG of pure noise at the
// server's quality (a smooth tile of the valleys is 5 to 20 kB).
inline constexpr int INCOMPRESSIBLE_GRAIN = 64;

class TileHttpServer {
public:
    explicit TileHttpServer(ServerOptions options);
    ~TileHttpServer();

    TileHttpServer(const TileHttpServer&) = delete;
    TileHttpServer& operator=(const TileHttpServer&) = delete;

    // Binds 127.0.0.1 and returns the port, or -1 when it cannot bind.
    int bind();
    // Serves until stop(); returns false when the server could not run.
    bool serve();
    // Safe from another thread.
    void stop();

private:
    void handle(const httplib::Request& request, httplib::Response& response);
    // Waits ms milliseconds, or less when the server is stopping, so that a stop is never
    // held up by a long /slow/ answer.
    void pause(int ms);
    void answer_tile(const std::string& path, httplib::Response& response);
    // Answers a first request that the flaky options fail (503) or drop; false to go on.
    bool answer_flaky(const std::string& path, httplib::Response& response);

    ServerOptions m_options;
    int m_port = -1;
    std::unique_ptr<httplib::Server> m_server;
    TileStore m_store;
    RequestStats m_stats;
    Flakiness m_flakiness;
    std::mutex m_stop_mutex;
    std::condition_variable m_stop_signal;
    bool m_stopping = false;
};

} // namespace tileserver
