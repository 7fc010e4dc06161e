#include "tools/TileHttpServer.h"

#include <httplib.h>

#include "tools/ImageEncoding.h"

namespace tileserver {

namespace {

constexpr size_t HUGE_BODY_BYTES = 16u << 20;
constexpr size_t HUGE_CHUNK_BYTES = 64u << 10;

const std::string& big_image_png()
{
    static const std::string png = [] {
        constexpr int width = 5000;
        constexpr int height = 16;
        std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* pixel = &rgb[(static_cast<size_t>(y) * width + x) * 3];
                pixel[0] = static_cast<uint8_t>(x * 255 / (width - 1));
                pixel[1] = static_cast<uint8_t>(y * 16);
                pixel[2] = 128;
            }
        }
        return encode_png(rgb, width, height);
    }();
    return png;
}

// A grey ramp of size × size pixels: an image, but no tile of any server's size.
std::string square_png(int size)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(size) * size * 3);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<uint8_t>((i / 3) % 251);
    }
    return encode_png(rgb, size, size);
}

} // namespace

TileHttpServer::TileHttpServer(ServerOptions options)
    : m_options(options)
    , m_server(std::make_unique<httplib::Server>())
    , m_store(256u << 20, 48, options.incompressible_imagery ? INCOMPRESSIBLE_GRAIN : 0)
    , m_flakiness(options.flaky)
{
    size_t threads = m_options.handler_threads;
    m_server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    m_server->set_keep_alive_max_count(1000);
    // A stop waits for the handler threads, and an idle keep-alive connection holds its thread
    // until this time-out: keep it short so SIGTERM ends the server promptly. Reconnecting on
    // loopback costs next to nothing.
    m_server->set_keep_alive_timeout(1);
    // Headers and body go out in separate writes; without this, Nagle's algorithm and the
    // client's delayed acknowledgement can hold every answer back by tens of milliseconds.
    m_server->set_tcp_nodelay(true);
    // httplib's default also sets SO_REUSEPORT, which would let a second server share a port
    // in use instead of failing; keep only SO_REUSEADDR (restarts while old sockets linger).
    m_server->set_socket_options([](socket_t socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    m_server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) { handle(request, response); });
    // Other methods on any path: unknown, like any other URL that is not served.
    auto unknown = [this](const httplib::Request& request, httplib::Response& response) {
        m_stats.record_unexpected(request.path);
        response.status = 404;
        response.set_content("not found\n", "text/plain");
    };
    m_server->Post(".*", unknown);
    m_server->Put(".*", unknown);
    m_server->Delete(".*", unknown);
}

TileHttpServer::~TileHttpServer() = default;

int TileHttpServer::bind()
{
    if (m_options.port == 0) {
        m_port = m_server->bind_to_any_port("127.0.0.1");
    } else {
        m_port = m_server->bind_to_port("127.0.0.1", m_options.port) ? m_options.port : -1;
    }
    return m_port;
}

bool TileHttpServer::serve() { return m_server->listen_after_bind(); }

void TileHttpServer::stop()
{
    {
        std::lock_guard lock(m_stop_mutex);
        m_stopping = true;
    }
    m_stop_signal.notify_all();
    m_server->stop();
}

void TileHttpServer::pause(int ms)
{
    if (ms <= 0) {
        return;
    }
    std::unique_lock lock(m_stop_mutex);
    m_stop_signal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

void TileHttpServer::handle(const httplib::Request& request, httplib::Response& response)
{
    if (request.path == "/stats") {
        response.set_content(m_stats.to_json(), "application/json");
        return;
    }
    if (request.path == "/stats/reset") {
        m_stats.reset();
        m_flakiness.reset();
        response.set_content("{}", "application/json");
        return;
    }
    answer_tile(request.path, response);
}

void TileHttpServer::answer_tile(const std::string& path, httplib::Response& response)
{
    std::optional<TileRequest> tile_request = parse_tile_path(path);
    if (!tile_request) {
        m_stats.record_unexpected(path);
        response.status = 404;
        response.set_content("not found\n", "text/plain");
        return;
    }
    m_stats.record_tile(path);
    pause(m_options.latency_ms);
    if (answer_flaky(path, response)) {
        return;
    }

    for (const Injection& injection : tile_request->injections) {
        switch (injection.kind) {
        case Injection::Kind::Status:
            if (injection.value != 200) {
                response.status = injection.value;
                response.set_content("injected status " + std::to_string(injection.value) + "\n", "text/plain");
                return;
            }
            break;
        case Injection::Kind::Slow:
            pause(injection.value);
            break;
        case Injection::Kind::Corrupt:
            response.status = 200;
            response.set_content("This body is not an image, whatever its type says.\n", TileStore::content_type(tile_request->layer));
            return;
        case Injection::Kind::Huge:
            response.status = 200;
            response.set_chunked_content_provider(TileStore::content_type(tile_request->layer),
                                                  [](size_t offset, httplib::DataSink& sink) {
                                                      if (offset >= HUGE_BODY_BYTES) {
                                                          sink.done();
                                                          return true;
                                                      }
                                                      static const std::string chunk(HUGE_CHUNK_BYTES, '\x5a');
                                                      size_t size = std::min(HUGE_CHUNK_BYTES, HUGE_BODY_BYTES - offset);
                                                      return sink.write(chunk.data(), size);
                                                  });
            return;
        case Injection::Kind::BigImage:
            response.status = 200;
            response.set_content(big_image_png(), "image/png");
            return;
        case Injection::Kind::Size:
            response.status = 200;
            response.set_content(square_png(injection.value), "image/png");
            return;
        case Injection::Kind::Deepest:
            if (static_cast<int>(tile_request->tile.zoom) > injection.value) {
                response.status = 404;
                response.set_content("no tiles deeper than zoom " + std::to_string(injection.value) + "\n", "text/plain");
                return;
            }
            break;
        case Injection::Kind::Redirect:
            if (injection.value > 0) {
                response.set_redirect(redirect_target(injection.value, injection.rest), 302);
                return;
            }
            break;
        }
    }

    std::shared_ptr<const std::string> body = m_store.body(tile_request->layer, tile_request->tile, tile_request->size);
    if (body->empty()) {
        response.status = 500;
        response.set_content("could not encode the tile\n", "text/plain");
        return;
    }
    response.status = 200;
    response.set_content(*body, TileStore::content_type(tile_request->layer));
}

bool TileHttpServer::answer_flaky(const std::string& path, httplib::Response& response)
{
    switch (m_flakiness.judge(path)) {
    case Flakiness::Verdict::Answer:
        return false;
    case Flakiness::Verdict::Fail:
        response.status = 503;
        if (m_flakiness.options().retry_after_seconds >= 0) {
            response.set_header("Retry-After", std::to_string(m_flakiness.options().retry_after_seconds));
        }
        response.set_content("flaky first answer\n", "text/plain");
        return true;
    case Flakiness::Verdict::Drop:
        // The status line goes out, then the connection closes before any byte of the
        // announced body: to the client a connection lost without an answer.
        response.status = 200;
        response.set_content_provider(
            1000, "application/octet-stream", [](size_t, size_t, httplib::DataSink&) { return false; });
        return true;
    }
    return false;
}

} // namespace tileserver
