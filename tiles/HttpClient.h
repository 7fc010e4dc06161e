#pragma once

// HTTP GET of tiles on libcurl. One client owns one libcurl easy handle and keeps its
// connections open between requests, so a worker that fetches tile after tile from the same
// server pays the TCP handshake once.
//
// Thread-safety: a client is used by one thread at a time (each tile worker has its own, the
// synchronous path uses one under the service lock); cancel() alone may come from any thread.
// Constructing clients is safe from any thread; libcurl's global initialisation runs once,
// before the first client exists.

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

struct HttpOptions {
    long timeout_ms = 1000;                      // whole transfer, connection included
    long max_redirects = 5;
    size_t max_body_bytes = 8 * 1024 * 1024;     // a tile is tens of kilobytes
    bool reuse_connections = true;               // false: a fresh connection per request (benchmarks)
};

struct HttpResponse {
    long status = 0;                 // HTTP status of the final answer; 0 when no answer came (connection, time-out)
    bool too_large = false;          // the body passed max_body_bytes and was dropped
    std::vector<unsigned char> body; // complete only when status is 200 and !too_large
    std::string error;               // libcurl's text for a failed transfer, else empty
    std::string reason;              // when status is 0: why, in a few words ("time-out", "connection refused", …)
    long retry_after_seconds = -1;   // the answer's Retry-After in seconds (a date is converted), or -1
    bool permanent = false;          // when status is 0: trying again cannot help (unusable URL, redirect loop)
    long new_connections = 0;        // connections opened for this request (0 when one was reused)
    bool cancelled = false;          // status 0 because cancel() ended the client's work
};

class HttpClient {
public:
    explicit HttpClient(HttpOptions options = {});
    ~HttpClient();

    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // GET url with the single header "User-Agent: Windhollow/0.0", following at most
    // max_redirects redirects, over http or https only. After cancel() it answers at once
    // with status 0, reason "cancelled".
    HttpResponse get(const std::string& url);

    // Ends the request under way within milliseconds, and every later one before it starts:
    // an owner shutting down does not wait out a server that is slow to answer. Any thread.
    void cancel();

    const HttpOptions& options() const { return m_options; }

    // curl_global_init, once per process; every constructor calls it. Call it yourself before
    // starting threads that may build clients, as libcurl asks.
    static void global_init();

private:
    HttpOptions m_options;
    void* m_curl = nullptr;      // CURL*
    void* m_multi = nullptr;     // CURLM*: drives m_curl, so that cancel() can wake the wait
    void* m_headers = nullptr;   // curl_slist*
    std::atomic<bool> m_cancelled{false};
};
