// TileService's worker side: a tile from the disk cache, or fetched over HTTP, checked and
// decoded (each failure said in one line with the server, the URL and the reason), and written
// to the disk cache once it has been published. Workers only; no slot state is touched here but
// the counters, under the service mutex.

#include "tiles/TileService.h"

#include <exception>

#include <fmt/format.h>

#include "console/Console.h"
#include "tiles/TileCheck.h"
#include "tiles/WebMercator.h"

namespace {

using Clock = std::chrono::steady_clock;

// Worth another try later: no answer at all, or an answer that says "not now".
bool passing_failure(const HttpResponse& response)
{
    if (response.status == 0) {
        return !response.permanent;
    }
    return response.status == 408 || response.status == 429 || (response.status >= 500 && response.status <= 599);
}

} // namespace

void TileService::cache(TileId tile, const Fetched& fetched)
{
    if (fetched.outcome != Outcome::Delivered || !fetched.from_network) {
        return;
    }
    if (m_cache.write(tile, *fetched.image)) {
        m_pool.enqueue([this] { m_cache.evict(); });
    }
}

TileService::Fetched TileService::fetch_tile(TileId tile, HttpClient& http)
{
    Fetched fetched;
    try {
        gfx::Image cached = m_cache.read(tile);
        if (cached.valid() && tile_size_problem(cached.width, cached.height).empty()) {
            fetched.outcome = Outcome::Delivered;
            fetched.image = std::make_shared<gfx::Image>(std::move(cached));
            return fetched;
        }
        // No file, an unreadable or damaged one, or one no tile can be (left by another
        // program): fetch it again, the write replaces it.
    } catch (const std::exception& e) {
        // A broken cache folder must end neither the program nor the worker; final for the run.
        console::eprint("Could not load {}: {}\n", to_string(tile), e.what());
        return fetched;
    }

    const std::string url = tile_url(tile);
    HttpResponse response = http.get(url);
    fetched.answered_at = Clock::now();
    {
        std::lock_guard lock(m_mutex);
        ++m_stats.http_tries;
    }
    if (response.cancelled) {
        return fetched; // the service is going: nothing to report, nothing to retry
    }
    if (response.status != 200) {
        const std::string quoted_url = console::quoted(std::string_view(url));
        if (response.status == 0) {
            console::eprint("Error 0 {}: {}\n", quoted_url, response.reason);
        } else {
            console::eprint("Error {} {}\n", response.status, quoted_url);
        }
        fetched.outcome = passing_failure(response) ? Outcome::Passing : Outcome::Final;
        fetched.retry_after_seconds = response.retry_after_seconds;
        return fetched;
    }
    console::vprint("GET {}\n", url);
    // Whatever is wrong with an answer that came is final: asking again brings the same.
    const auto refuse = [&](const std::string& reason) {
        console::eprint("Could not read {} from {} ({}): {}\n", to_string(tile), console::quoted(std::string_view(m_url)),
                        console::quoted(std::string_view(url)), reason);
        return fetched;
    };
    if (response.too_large) {
        return refuse(fmt::format("the answer is larger than {} bytes", http.options().max_body_bytes));
    }
    const std::vector<unsigned char>& body = response.body;
    if (const std::string problem = tile_body_problem(body.data(), body.size(), m_png_only); !problem.empty()) {
        return refuse(problem);
    }
    auto image = std::make_shared<gfx::Image>(body.data(), body.size());
    if (!image->valid()) {
        return refuse(undecodable_tile_reason(body.data(), body.size()));
    }
    if (const std::string problem = tile_size_problem(image->width, image->height); !problem.empty()) {
        return refuse(problem);
    }
    fetched.outcome = Outcome::Delivered;
    fetched.image = std::move(image);
    fetched.from_network = true;
    return fetched;
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
