// Throughput of the tile service against the local tile server on loopback.
//
// For 2 and 8 workers and a server latency of 0 and 50 ms, through get_tile:
//   cold  = HTTP + decode + PNG encode + atomic cache write (empty cache directory)
//   warm  = the same tiles from the disk cache (a new service on the filled directory)
//   fresh = cold again, but with a new connection for every tile (no keep-alive)
// Figures are medians of three runs, printed beside the bound workers / latency.
// Then the CPU cost per tile of decoding (PNG and JPEG) and of the cache's PNG encoding, for
// the chosen encoder settings and a few others; and the time from a tile's HTTP answer until
// a render loop polling every millisecond takes it, cold, with the cache file written before
// the tile is published (the old order) and after.
//
// Usage: bench_tiles

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <spng.h>

#include "console/Console.h"
#include "gfx/Image.h"
#include "tests/support/Support.h"
#include "tiles/HttpClient.h"
#include "tiles/TileService.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double thread_cpu_ms()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

TileServerConfig imagery(const std::string& server_url, const fs::path& cache_dir, int workers)
{
    TileServerConfig c;
    c.url = server_url + "/imagery";
    c.pattern = TilePattern::ZXY_Y_SOUTH;
    c.file_ending = ".png";
    c.cache_dir = cache_dir;
    c.num_threads = workers;
    c.max_zoom = 20;
    return c;
}

// Distinct tiles around the start position.
std::vector<TileId> tile_set(size_t count)
{
    std::vector<TileId> tiles;
    for (size_t i = 0; i < count; ++i) {
        tiles.push_back(TileId{14, 8700 + static_cast<uint32_t>(i % 16), 5700 + static_cast<uint32_t>(i / 16)});
    }
    return tiles;
}

// Has the server draw every tile once, so that the timed runs measure the client and the
// server's injected latency, not the procedural drawing (tens of ms a tile). Uses a service
// without disk cache; tiles that time out while the server is busy are asked for again.
void warm_server(const std::string& server_url, const std::vector<TileId>& tiles)
{
    console::Capture quiet;
    TileServerConfig c = imagery(server_url, fs::path(), 8);
    c.cache_on_disk = false;
    TileService service(c);
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    std::vector<bool> have(tiles.size(), false);
    size_t done = 0;
    size_t errors_seen = 0;
    while (done < tiles.size()) {
        for (size_t i = 0; i < tiles.size(); ++i) {
            if (!have[i] && service.get_tile(tiles[i]) != nullptr) {
                have[i] = true;
                ++done;
            }
        }
        const std::string err = quiet.err();
        if (err.size() != errors_seen) {
            errors_seen = err.size();
            for (size_t i = 0; i < tiles.size(); ++i) {
                if (!have[i]) service.remove_tile(tiles[i]); // requested again by the next pass
            }
        }
        if (Clock::now() > deadline) {
            throw std::runtime_error("the server did not deliver the benchmark tiles");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

struct RunResult {
    double tiles_per_second = 0.0;
    size_t failed = 0;
};

// Requests every tile through get_tile and waits until each has arrived or failed (a failed
// fetch prints exactly one line to standard error); tiles delivered per second.
RunResult run_through_get_tile(const TileServerConfig& config, const HttpOptions& http, const std::vector<TileId>& tiles)
{
    console::Capture capture;
    TileService service(config, http);
    const auto start = Clock::now();
    for (const TileId& t : tiles) {
        service.get_tile(t);
    }
    size_t done = 0;
    size_t failed = 0;
    std::vector<bool> have(tiles.size(), false);
    const auto deadline = start + std::chrono::seconds(60);
    while (done + failed < tiles.size()) {
        for (size_t i = 0; i < tiles.size(); ++i) {
            if (!have[i] && service.get_tile(tiles[i]) != nullptr) {
                have[i] = true;
                ++done;
            }
        }
        const std::string err = capture.err();
        failed = static_cast<size_t>(std::count(err.begin(), err.end(), '\n'));
        if (Clock::now() > deadline) {
            throw std::runtime_error("tiles did not arrive in time");
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {static_cast<double>(done) / seconds, failed};
}

struct Throughput {
    double cold = 0.0;
    double warm = 0.0;
    double fresh = 0.0;
    size_t failed = 0; // tiles that failed in any run (time-outs on a loaded machine)
};

// Medians of three runs, each in fresh cache directories.
Throughput measure(const std::string& server_url, const fs::path& scratch, int workers, const std::vector<TileId>& tiles)
{
    static int run_number = 0;
    std::vector<double> cold, warm, fresh;
    Throughput result;
    auto record = [&](std::vector<double>& into, const RunResult& r) {
        into.push_back(r.tiles_per_second);
        result.failed += r.failed;
    };
    for (int run = 0; run < 3; ++run) {
        const fs::path dir = scratch / ("cache" + std::to_string(++run_number));
        record(cold, run_through_get_tile(imagery(server_url, dir, workers), HttpOptions{}, tiles));
        record(warm, run_through_get_tile(imagery(server_url, dir, workers), HttpOptions{}, tiles));
        HttpOptions no_reuse;
        no_reuse.reuse_connections = false;
        const fs::path fresh_dir = scratch / ("cache" + std::to_string(++run_number));
        record(fresh, run_through_get_tile(imagery(server_url, fresh_dir, workers), no_reuse, tiles));
    }
    result.cold = median(cold);
    result.warm = median(warm);
    result.fresh = median(fresh);
    return result;
}

void codec_costs(const std::string& server_url)
{
    HttpClient http;
    std::vector<std::vector<unsigned char>> pngs, jpegs;
    for (const TileId& t : tile_set(32)) {
        const std::string path = "/imagery/" + std::to_string(t.zoom) + "/" + std::to_string(t.x) + "/" + std::to_string(t.y);
        pngs.push_back(http.get(server_url + path + ".png").body);
        jpegs.push_back(http.get(server_url + path + ".jpg").body);
    }
    auto decode_ms = [](const std::vector<std::vector<unsigned char>>& bodies) {
        std::vector<double> per_tile;
        for (const auto& body : bodies) {
            const double t0 = thread_cpu_ms();
            gfx::Image image(body.data(), body.size());
            per_tile.push_back(thread_cpu_ms() - t0);
            if (!image.valid()) throw std::runtime_error("a server tile did not decode");
        }
        return median(per_tile);
    };
    console::print("CPU per 256x256 tile (median of {}):\n", pngs.size());
    console::print("  decode server PNG  {:.3f} ms\n", decode_ms(pngs));
    console::print("  decode server JPEG {:.3f} ms\n", decode_ms(jpegs));

    std::vector<gfx::Image> images;
    for (const auto& body : pngs) images.emplace_back(body.data(), body.size());
    struct Setting {
        const char* name;
        gfx::PngSettings settings;
    };
    const gfx::PngSettings chosen{};
    const std::vector<Setting> settings{
        {"level 1, filter UP (chosen)", chosen},
        {"level 1, filter NONE", {1, SPNG_FILTER_CHOICE_NONE}},
        {"level 1, filter SUB", {1, SPNG_FILTER_CHOICE_SUB}},
        {"level 1, filter PAETH", {1, SPNG_FILTER_CHOICE_PAETH}},
        {"level 1, all filters", {1, SPNG_FILTER_CHOICE_ALL}},
        {"level 6, all filters", {6, SPNG_FILTER_CHOICE_ALL}},
    };
    for (const Setting& s : settings) {
        std::vector<double> encode, decode;
        size_t bytes = 0;
        for (const gfx::Image& image : images) {
            const double t0 = thread_cpu_ms();
            const std::vector<unsigned char> png = gfx::encode_png(image, s.settings);
            const double t1 = thread_cpu_ms();
            const gfx::Image back(png.data(), png.size());
            decode.push_back(thread_cpu_ms() - t1);
            encode.push_back(t1 - t0);
            bytes += png.size();
        }
        console::print("  cache PNG, {:<28} encode {:6.3f} ms, decode (warm path) {:.3f} ms, {:5.1f} KiB\n", s.name,
                       median(encode), median(decode), static_cast<double>(bytes) / static_cast<double>(images.size()) / 1024.0);
    }
}

// Milliseconds from each tile's answer to its collection by a loop that polls get_tile every
// millisecond (as a render loop would each frame, only finer), for 2 workers on an empty cache.
std::vector<double> answer_to_collect(const std::string& server_url, const fs::path& dir, bool cache_first,
                                      const std::vector<TileId>& tiles)
{
    console::Capture quiet;
    StreamingOptions streaming;
    streaming.cache_before_publish = cache_first;
    TileService service(imagery(server_url, dir, 2), HttpOptions{}, streaming);
    std::vector<bool> have(tiles.size(), false);
    size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (done < tiles.size() && Clock::now() < deadline) {
        for (size_t i = 0; i < tiles.size(); ++i) {
            if (!have[i] && service.get_tile(tiles[i]) != nullptr) {
                have[i] = true;
                ++done;
                service.remove_tile(tiles[i]);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return service.stats().answer_to_collect_ms;
}

void publish_latency(const std::string& server_url, const fs::path& scratch)
{
    const std::vector<TileId> tiles = tile_set(64);
    console::print("Answer to collection, cold, 2 workers, {} tiles, polled every 1 ms (median of 3 runs' medians):\n",
                   tiles.size());
    for (const bool cache_first : {true, false}) {
        std::vector<double> medians, p95s;
        for (int run = 0; run < 3; ++run) {
            const fs::path dir = scratch / fmt::format("publish-{}-{}", cache_first, run);
            std::vector<double> ms = answer_to_collect(server_url, dir, cache_first, tiles);
            if (ms.empty()) throw std::runtime_error("no tile arrived");
            std::sort(ms.begin(), ms.end());
            medians.push_back(ms[ms.size() / 2]);
            p95s.push_back(ms[std::min(ms.size() - 1, ms.size() * 95 / 100)]);
        }
        console::print("  {:<40} median {:6.2f} ms, p95 {:6.2f} ms\n",
                       cache_first ? "cache file written, then published:" : "published, then cache file written:",
                       median(medians), median(p95s));
    }
}

} // namespace

int main()
{
    const support::TempDir scratch_dir("wh-bench-tiles");
    const fs::path& scratch = scratch_dir.path();
    try {
        for (int latency : {0, 50}) {
            const support::TileServer tile_server({"--latency-ms", std::to_string(latency)});
            const std::string url = tile_server.base_url();
            console::print("Server latency {} ms ({})\n", latency, url);
            // Enough tiles for about a second per cold run at the bound (80 for 8 workers at
            // 50 ms: half a second, to keep the whole run near a minute).
            const std::vector<TileId> all = tile_set(latency == 0 ? 64 : 80);
            warm_server(url, all);
            for (int workers : {2, 8}) {
                const size_t count = latency == 0 ? all.size() : std::min<size_t>(all.size(), workers * 1000 / latency);
                const std::vector<TileId> tiles(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count));
                const Throughput t = measure(url, scratch, workers, tiles);
                const std::string bound =
                    latency == 0 ? std::string("none") : fmt::format("{:.0f} tiles/s", workers * 1000.0 / latency);
                console::print("  {} workers, {} tiles: cold {:6.1f} tiles/s (bound {}), warm {:6.1f} tiles/s; "
                               "cold with a fresh connection per tile {:6.1f} tiles/s: keep-alive gains x{:.2f}\n",
                               workers, count, t.cold, bound, t.warm, t.fresh, t.cold / t.fresh);
                if (t.failed > 0) {
                    console::print("    ({} fetches failed in these runs)\n", t.failed);
                }
            }
            if (latency == 0) {
                codec_costs(url);
                publish_latency(url, scratch);
            }
        }
    } catch (const std::exception& e) {
        console::eprint("bench_tiles: {}\n", e.what());
        return 1;
    }
    return 0;
}
