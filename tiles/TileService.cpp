#include "tiles/TileService.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "console/Console.h"
#include "tiles/WebMercator.h"

namespace {

size_t worker_count(int32_t num_threads) { return static_cast<size_t>(std::max(num_threads, 0)); }

std::vector<std::unique_ptr<HttpClient>> make_clients(size_t count, const HttpOptions& options)
{
    std::vector<std::unique_ptr<HttpClient>> clients;
    clients.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<HttpClient>(options));
    }
    return clients;
}

// write(2) until everything is written or an error other than EINTR.
bool write_all(int fd, const unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

TileService::TileService(const TileServerConfig& config, const HttpOptions& http)
    : m_pattern(config.pattern),
      m_url(config.url),
      m_file_ending(config.file_ending),
      m_cache_dir(config.cache_dir),
      m_max_zoom(static_cast<uint32_t>(std::max(config.max_zoom, 0))),
      m_cache_enabled(config.cache_on_disk && !config.cache_dir.empty()),
      // The clients come first: building one initialises libcurl, before any worker runs.
      m_worker_http(make_clients(worker_count(config.num_threads), http)),
      m_sync_http(http),
      m_pool(worker_count(config.num_threads))
{
    if (m_cache_enabled) {
        std::error_code error;
        if (!std::filesystem::exists(m_cache_dir, error)) {
            std::filesystem::create_directories(m_cache_dir, error);
        }
        if (error) {
            // Named after the call, whatever the standard library's own wording.
            throw std::filesystem::filesystem_error("create_directories", m_cache_dir, error);
        }
    }
    console::print("Tile Url {}\n", m_url);
    console::print("Tile Cache Dir: {}\n", console::quoted(m_cache_dir));
    console::print("Num Threads: {}\n", m_pool.size());
    console::print("Max Zoom: {}\n", m_max_zoom);
}

TileService::~TileService()
{
    // The workers use the store, the mutex and the clients: they end before any of them.
    m_pool.stop();
}

gfx::Image* TileService::get_tile(TileId tile)
{
    if (tile.zoom > m_max_zoom) {
        return nullptr;
    }
    std::lock_guard lock(m_mutex);
    if (auto it = m_store.find(tile); it != m_store.end()) {
        return &it->second;
    }
    if (!m_requested.contains(tile)) {
        request_tile(tile);
    }
    return nullptr;
}

gfx::Image* TileService::get_tile_sync(TileId tile)
{
    std::lock_guard lock(m_mutex);
    if (tile.zoom > m_max_zoom) {
        return nullptr;
    }
    if (auto it = m_store.find(tile); it != m_store.end()) {
        return &it->second;
    }
    gfx::Image image;
    try {
        image = fetch_tile(tile, m_sync_http);
    } catch (const std::exception& e) {
        // The caller is the render thread: a broken cache directory must not end the program.
        console::eprint("Could not load {}: {}\n", to_string(tile), e.what());
        return nullptr;
    }
    if (!image.valid()) {
        return nullptr;
    }
    return &m_store.insert_or_assign(tile, std::move(image)).first->second;
}

void TileService::remove_tile(TileId tile)
{
    std::lock_guard lock(m_mutex);
    m_store.erase(tile);
    m_requested.erase(tile);
}

void TileService::request_tile(TileId tile)
{
    m_requested.insert(tile);
    m_pool.enqueue([this, tile] { run_fetch(tile); });
}

void TileService::run_fetch(TileId tile)
{
    try {
        const int index = ThreadPool::current_worker_index();
        if (index < 0 || static_cast<size_t>(index) >= m_worker_http.size()) {
            throw std::logic_error("tile fetch outside the service's worker pool");
        }
        gfx::Image image = fetch_tile(tile, *m_worker_http[static_cast<size_t>(index)]);
        if (image.valid()) {
            std::lock_guard lock(m_mutex);
            m_store.insert_or_assign(tile, std::move(image));
        }
    } catch (const std::exception& e) {
        // The tile stays requested without an image, as after any failed fetch.
        console::eprint("Could not load {}: {}\n", to_string(tile), e.what());
    }
}

gfx::Image TileService::fetch_tile(TileId tile, HttpClient& http)
{
    if (m_cache_enabled) {
        const std::filesystem::path path = tile_cache_path(tile);
        std::error_code error;
        const bool exists = std::filesystem::exists(path, error);
        if (error) {
            // Anything but "not found" (a loop of links, a directory we may not search).
            throw std::filesystem::filesystem_error("exists", path, error);
        }
        if (exists) {
            gfx::Image cached;
            if (cached.load(path, false)) {
                return cached;
            }
            // Unreadable or damaged: fetch it again, the write below replaces the file.
        }
    }

    const std::string url = tile_url(tile);
    HttpResponse response = http.get(url);
    if (response.status != 200) {
        console::eprint("Error {} {}\n", response.status, console::quoted(std::string_view(url)));
        return {};
    }
    console::print("GET {}\n", url);
    gfx::Image image;
    if (!response.too_large) {
        image = gfx::Image(response.body.data(), response.body.size());
    }
    if (!image.valid()) {
        console::eprint("Could not read {}\n", to_string(tile));
        return {};
    }
    if (m_cache_enabled) {
        write_cache_file(tile, image);
    }
    return image;
}

std::string TileService::tile_url(TileId tile) const
{
    const uint32_t y_south = flip_row(tile.zoom, tile.y);
    switch (m_pattern) {
    case TilePattern::ZXY_Y_NORTH:
        return fmt::format("{}/{}/{}/{}{}", m_url, tile.zoom, tile.x, y_south, m_file_ending);
    case TilePattern::ZXY_Y_SOUTH:
        return fmt::format("{}/{}/{}/{}{}", m_url, tile.zoom, tile.x, tile.y, m_file_ending);
    case TilePattern::ZYX_Y_NORTH:
        return fmt::format("{}/{}/{}/{}{}", m_url, tile.zoom, y_south, tile.x, m_file_ending);
    case TilePattern::ZYX_Y_SOUTH:
        return fmt::format("{}/{}/{}/{}{}", m_url, tile.zoom, tile.y, tile.x, m_file_ending);
    }
    return {};
}

std::filesystem::path TileService::tile_cache_path(TileId tile) const
{
    return m_cache_dir / fmt::format("{}.png", to_string(tile));
}

void TileService::write_cache_file(TileId tile, const gfx::Image& image) const
{
    const std::vector<unsigned char> png = gfx::encode_png(image);
    if (png.empty()) {
        return;
    }
    // Written under a unique name in the same directory and renamed into place, so no reader
    // (another worker, another service or program sharing the directory) ever sees a partial
    // file under the tile's name. A failed write is ignored: the tile is fetched again next run.
    const std::filesystem::path target = tile_cache_path(tile);
    std::string temp = (m_cache_dir / fmt::format(".{}.XXXXXX", target.filename().string())).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return;
    }
    ::fchmod(fd, 0644);
    const bool written = write_all(fd, png.data(), png.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
    }
}
