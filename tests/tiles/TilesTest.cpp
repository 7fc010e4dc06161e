// The tile layer: Web Mercator tile math, image decoding, the worker pool, the HTTP client and the
// tile service, against the local tile server on loopback.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <spng.h>
#include <turbojpeg.h>

#include "console/Console.h"
#include "gfx/Image.h"
#include "tests/support/Support.h"
#include "tiles/HttpClient.h"
#include "tiles/ThreadPool.h"
#include "tiles/TileCheck.h"
#include "tiles/TileService.h"
#include "tiles/WebMercator.h"

namespace {

using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;
using support::wait_until;
const LatLon INNSBRUCK{47.2576, 11.3513};

TEST(WebMercator, TilesCornersBoundsAndTheWorldFrame)
{
    struct Case { LatLon position; uint32_t zoom; TileId tile; };
    for (const Case& c : {Case{{47.27, 11.40}, 12, {12, 2177, 1436}}, Case{INNSBRUCK, 7, {7, 68, 44}}, Case{{-85.0, 179.999}, 0, {0, 0, 0}},
                          Case{{10.0, -10.0}, 1, {1, 0, 0}}, Case{{0.0, -180.0}, 5, {5, 0, 16}}, Case{{0.0, 90.0}, 2, {2, 3, 2}},
                          Case{{0.0, 89.9999}, 2, {2, 2, 2}}}) // borders belong east and south
        EXPECT_EQ(to_string(tile_at(c.position, c.zoom)), to_string(c.tile)) << to_string(c.position);
    EXPECT_EQ(std::pair(tile_corner_at(INNSBRUCK, 7), tile_corner_at({-30.0, 100.0}, 3)), std::pair(TileId{7, 68, 45}, TileId{3, 6, 5}));
    EXPECT_EQ(corner_block({7, 68, 45}), (std::array<TileId, 4>{TileId{7, 67, 44}, {7, 68, 44}, {7, 68, 45}, {7, 67, 45}}));

    const TileBounds world = tile_bounds({0, 0, 0}), b = tile_bounds({12, 2177, 1436});
    EXPECT_TRUE(std::abs(world.lat_north - 85.0511287798) < 1e-9 && std::abs(world.lat_south + 85.0511287798) < 1e-9);
    EXPECT_EQ(tile_bounds({12, 2178, 1436}).lon_west, b.lon_east) << "neighbours share their edges";
    EXPECT_EQ(tile_bounds({12, 2177, 1437}).lat_north, b.lat_south);
    EXPECT_NEAR(mercator_x(b.lon_west), 2177 * tile_size(12), 1e-6);
    EXPECT_NEAR(mercator_y(b.lat_north), 1436 * tile_size(12), 1e-5);
    EXPECT_DOUBLE_EQ(tile_size(0), EARTH_CIRCUMFERENCE);
    const TileUV nw = position_in_tile({b.lat_north, b.lon_west}, {12, 2177, 1436});
    const TileUV se = position_in_tile({b.lat_south, b.lon_east}, {12, 2177, 1436});
    EXPECT_LT(std::abs(nw.u) + std::abs(nw.v) + std::abs(se.u - 1) + std::abs(se.v - 1), 1e-11);
    // Pixel rows are even in Mercator y: the middle row of a zoom-7 tile lies there, not
    // halfway in latitude.
    const TileUV middle = position_in_tile({mercator_lat(44.5 * tile_size(7)), 11.0}, {7, 67, 44});
    EXPECT_NEAR(middle.v, 0.5, 1e-9);
    // The world frame: x east, z south, a unit 20 m; it round-trips.
    const double s = 0.05, x0 = mercator_x(INNSBRUCK.lon), y0 = mercator_y(INNSBRUCK.lat);
    const WorldXZ origin = latlon_to_world(INNSBRUCK, x0, y0, s), north_east = latlon_to_world({47.2676, 11.3613}, x0, y0, s);
    EXPECT_TRUE(origin.x == 0.0 && origin.z == 0.0 && north_east.x > 0.0 && north_east.z < 0.0);
    EXPECT_NEAR(mercator_x(world_to_latlon(1.0, 0.0, x0, y0, s).lon) - x0, 20.0, 1e-6);
    for (const LatLon& p : {LatLon{0, 0}, LatLon{-33.86, 151.21}, LatLon{85.0, -179.9}, LatLon{-85.0, 179.9}}) {
        const WorldXZ w = latlon_to_world(p, x0, y0, s);
        const LatLon back = world_to_latlon(w.x, w.z, x0, y0, s);
        EXPECT_LT(std::abs(back.lat - p.lat) + std::abs(back.lon - p.lon), 1e-8) << to_string(p);
    }
}

// Byte k is 7k + 1 (mod 256), each repeated `copies` times (16-bit samples any reduction to 8
// bits gives back).
Bytes pattern(size_t count, int copies = 1)
{
    Bytes bytes;
    for (size_t k = 0; k < count * copies; ++k)
        bytes.push_back(static_cast<unsigned char>(7 * (k / copies) + 1));
    return bytes;
}

// PNG and JPEG made by the codecs themselves, independently of the code under test.
Bytes make_png(uint32_t width, uint32_t height, uint8_t color_type, uint8_t depth, const Bytes& samples)
{
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{width, height, depth, color_type, 0, 0, 0};
    spng_set_ihdr(ctx, &ihdr);
    spng_plte palette{3, {{10, 20, 30, 0}, {200, 100, 50, 0}, {1, 2, 3, 0}}};
    if (color_type == SPNG_COLOR_TYPE_INDEXED)
        spng_set_plte(ctx, &palette);
    spng_encode_image(ctx, samples.data(), samples.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    size_t size = 0;
    int error = 0;
    auto* buffer = static_cast<unsigned char*>(spng_get_png_buffer(ctx, &size, &error));
    const Bytes png(buffer, buffer + size);
    std::free(buffer);
    spng_ctx_free(ctx);
    return png;
}

Bytes make_jpeg(int width, int height, const Bytes& rgb)
{
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), width, width * 3, height, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0);
    const Bytes bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

gfx::Image decode(const Bytes& bytes) { return gfx::Image(bytes.data(), bytes.size()); }

std::vector<int> rgb_at(const gfx::Image& image, int x, int y)
{
    const unsigned char* p = image.data + (size_t(y) * image.width + x) * 3;
    return {p[0], p[1], p[2]};
}

TEST(Image, EveryKindDecodesToRgb8RowsTopToBottomAndBrokenOrOversizedInputIsRefused)
{
    // 5 x 3 pixels, so odd rows must come out tightly packed; the last pixel's samples are
    // bytes 14, 28, 42-44 or 56-58 of the pattern (alpha dropped), or palette entry 2.
    struct Case { uint8_t color_type, depth; int samples; std::vector<int> last_pixel; };
    for (const Case& c : {Case{SPNG_COLOR_TYPE_GRAYSCALE, 8, 1, {99, 99, 99}}, Case{SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, 8, 2, {197, 197, 197}},
                          Case{SPNG_COLOR_TYPE_TRUECOLOR, 8, 3, {39, 46, 53}}, Case{SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 8, 4, {137, 144, 151}},
                          Case{SPNG_COLOR_TYPE_TRUECOLOR, 16, 3, {39, 46, 53}}, Case{SPNG_COLOR_TYPE_GRAYSCALE, 16, 1, {99, 99, 99}},
                          Case{SPNG_COLOR_TYPE_INDEXED, 8, 1, {1, 2, 3}}}) {
        Bytes samples = pattern(15 * c.samples, c.depth / 8);
        for (size_t i = 0; c.color_type == SPNG_COLOR_TYPE_INDEXED && i < samples.size(); ++i)
            samples[i] = i % 3;
        const gfx::Image image = decode(make_png(5, 3, c.color_type, c.depth, samples));
        ASSERT_TRUE(image.valid()) << int(c.color_type) << "/" << int(c.depth);
        EXPECT_EQ(std::tuple(image.width, image.height, image.channels, rgb_at(image, 4, 2)), std::tuple(5, 3, 3, c.last_pixel));
    }
    Bytes rgb; // 37 x 19, red rows above blue ones
    for (int i = 0; i < 37 * 19; ++i)
        rgb.insert(rgb.end(), {static_cast<unsigned char>(i < 333 ? 250 : 10), 10, static_cast<unsigned char>(i < 333 ? 10 : 250)});
    const gfx::Image decoded = decode(make_jpeg(37, 19, rgb));
    ASSERT_EQ(std::pair(decoded.width, decoded.height), std::pair(37, 19));
    EXPECT_TRUE(rgb_at(decoded, 36, 0)[0] > 200 && rgb_at(decoded, 36, 18)[2] > 200);
    const Bytes png = make_png(40, 30, SPNG_COLOR_TYPE_TRUECOLOR, 8, pattern(3600)), jpeg = make_jpeg(40, 30, pattern(3600));
    Bytes damaged = png;
    damaged[png.size() / 2] ^= 0x5a;
    const Bytes cases[] = {
        {}, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}, Bytes(png.begin(), png.begin() + 20),
        Bytes(png.begin(), png.begin() + png.size() / 2), Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2), damaged,
        make_png(4097, 1, SPNG_COLOR_TYPE_GRAYSCALE, 8, Bytes(4097)), make_png(1, 4097, SPNG_COLOR_TYPE_GRAYSCALE, 8, Bytes(4097)),
        make_jpeg(4100, 8, Bytes(4100 * 8 * 3)),
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(decode(cases[i]).data, nullptr) << "case " << i;
    EXPECT_TRUE(decode(png).valid() && decode(jpeg).valid());
    EXPECT_TRUE(decode(make_png(4096, 1, SPNG_COLOR_TYPE_GRAYSCALE, 8, Bytes(4096))).valid() &&
                decode(make_png(1, 4096, SPNG_COLOR_TYPE_GRAYSCALE, 8, Bytes(4096))).valid());
}

// Every task runs once on one of the workers, which run side by side and know their index;
// a throwing task is reported and its worker goes on.
TEST(ThreadPool, WorkersRunEveryTaskOnceSideBySideAndStopDropsTheQueue)
{
    console::Capture capture;
    std::atomic<int> ran{0}, waiting{0};
    std::atomic<bool> open{false};
    std::mutex mutex;
    std::set<int> indices;
    ThreadPool pool(3);
    for (int i = 0; i < 3; ++i)
        pool.enqueue([&] {
            std::unique_lock lock(mutex);
            indices.insert(ThreadPool::current_worker_index());
            lock.unlock();
            ++waiting;
            wait_until([&] { return open.load(); });
        });
    EXPECT_TRUE(wait_until([&] { return waiting == 3; })) << "three tasks at once need three workers";
    open = true;
    std::thread producer([&] {
        for (int i = 0; i < 400; ++i)
            pool.enqueue([&] { pool.enqueue([&] { ++ran; }); }); // tasks may queue more, from any thread
    });
    for (int i = 0; i < 400; ++i)
        pool.enqueue([&] { ++ran; });
    producer.join();
    EXPECT_TRUE(wait_until([&] { return ran == 800; })) << ran;
    pool.stop();
    EXPECT_EQ(std::tuple(ran.load(), indices, ThreadPool::current_worker_index()), std::tuple(800, std::set<int>{0, 1, 2}, -1));
    std::atomic<int> dropped{0};
    std::atomic<bool> started{false}, finished{false};
    ThreadPool single(1);
    single.enqueue([] { throw std::runtime_error("boom"); }); // reported; the worker goes on
    single.enqueue([] { throw 42; });
    single.enqueue([&] { // goes on only once stop() has begun, so no queued task can slip in
        started = true;
        wait_until([&] { return single.stopping(); });
        finished = true;
    });
    for (int i = 0; i < 10; ++i)
        single.enqueue([&] { ++dropped; });
    ASSERT_TRUE(wait_until([&] { return started.load(); }));
    single.stop();
    EXPECT_TRUE(finished) << "the running task is finished";
    single.enqueue([&] { ++dropped; });
    ThreadPool idle(0);
    idle.enqueue([&] { ++dropped; });
    idle.stop();
    EXPECT_EQ(dropped, 0) << "queued tasks, tasks after stop and tasks without workers never run";
    EXPECT_EQ(capture.err(), "Worker task failed: boom\nWorker task failed: unknown exception\n");
}

const support::TileServer& server()
{
    static const support::TileServer instance;
    return instance;
}
std::string url(const std::string& path) { return server().base_url() + path; }

TEST(HttpClient, StatusesRedirectsBodyBoundsAndSchemes)
{
    const HttpOptions defaults;
    EXPECT_EQ(std::tuple(defaults.timeout_ms, defaults.max_redirects, defaults.max_body_bytes, defaults.reuse_connections),
              std::tuple(1000, 5, size_t(8) << 20, true));
    const std::string tile = "/imagery/10/544/359.png";
    const HttpOptions patient{8000, 5, 8 << 20, true}; // the tests also run under the sanitizers
    struct Case { std::string path; HttpOptions options; long status; bool too_large; };
    for (const Case& c : {Case{tile, patient, 200, false}, Case{"/status/404" + tile, patient, 404, false},
                          Case{"/status/500" + tile, patient, 500, false}, Case{"/redirect/5" + tile, patient, 200, false},
                          Case{"/redirect/6" + tile, patient, 302, false}, Case{"/huge" + tile, patient, 200, true}, // no length
                          Case{tile, {8000, 5, 1000, true}, 200, true}, Case{"/slow/1500" + tile, {300, 5, 8 << 20, true}, 0, false}}) {
        HttpClient client(c.options);
        const HttpResponse r = client.get(url(c.path));
        EXPECT_EQ(std::tuple(r.status, r.too_large, r.body.size() > 8 && r.body[1] == 'P'),
                  std::tuple(c.status, c.too_large, c.status == 200 && !c.too_large)) << c.path << " " << r.error;
        EXPECT_TRUE(c.status == 0 || client.get(url(tile)).status == 200) << "the client still works after " << c.path;
    }
    // Cancelled from another thread, a request waiting on a slow answer ends without it, and so
    // does every later one.
    HttpClient slow(patient);
    server().reset_stats();
    std::thread canceller([&] {
        wait_until([&] { return server().stats().paths.size() >= 1; });
        slow.cancel();
    });
    const HttpResponse cut = slow.get(url("/slow/1500" + tile));
    canceller.join();
    EXPECT_EQ(std::tuple(cut.status, cut.cancelled, cut.reason), std::tuple(0L, true, std::string("cancelled"))) << cut.error;
    EXPECT_TRUE(slow.get(url(tile)).cancelled);
    HttpClient client(patient), fresh({8000, 5, 8 << 20, false});
    for (std::string target : {"file:///etc/hostname", "ftp://127.0.0.1/x", "", "http://127.0.0.1:1/a.png"}) {
        const HttpResponse r = client.get(target);
        EXPECT_TRUE(r.status == 0 && r.body.empty() && !r.error.empty()) << target;
    }
    client.get(url(tile));
    EXPECT_EQ(std::pair(client.get(url(tile)).new_connections, fresh.get(url(tile)).new_connections), std::pair(0L, 1L))
        << "connections are kept unless asked otherwise";
}

const TileId TILE{10, 544, 359};
const std::string TILE_FILE = "z=10, x=544, y=359.png";

// The console's verbose switch on while the object lives (a GET line per tile request).
struct VerboseConsole {
    explicit VerboseConsole(bool on = true) { console::set_verbose(on); }
    ~VerboseConsole() { console::set_verbose(false); }
};

bool same_pixels(const gfx::Image* a, const gfx::Image& b)
{
    return a && a->valid() && b.valid() && std::tie(a->width, a->height, a->channels) == std::tie(b.width, b.height, b.channels) &&
           std::memcmp(a->data, b.data, size_t(a->width) * a->height * a->channels) == 0;
}

std::set<std::string> files_in(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename());
    return names;
}

class TileServiceTest : public ::testing::Test {
protected:
    void SetUp() override { server().reset_stats(); }

    // The local server's imagery, rows counted from the north, with a patient time-out: the
    // tests are about behaviour and also run under ThreadSanitizer.
    std::unique_ptr<TileService> service(const std::string& prefix = "", int32_t threads = 1, const std::string& ending = ".png",
                                         bool png_only = false)
    {
        config = {server().base_url() + prefix + "/imagery", TilePattern::ZXY_Y_SOUTH, ending, dir / "cache", "", threads};
        config.png_only = png_only;
        return std::make_unique<TileService>(config, HttpOptions{8000});
    }
    static gfx::Image* wait_for(TileService& s, TileId tile)
    {
        gfx::Image* image = nullptr;
        wait_until([&] { return (image = s.get_tile(tile)) != nullptr; });
        return image;
    }
    // The tile as the server sends it, decoded.
    static gfx::Image sent(const std::string& ending = ".png")
    {
        const std::string body = server().get("/imagery/10/544/359" + ending).body;
        return gfx::Image(reinterpret_cast<const unsigned char*>(body.data()), body.size());
    }
    // Whether the cache comes to hold the tile's file alone (no temporary beside it), complete.
    bool cached(const gfx::Image& pixels) const
    {
        return wait_until([&] {
            gfx::Image file;
            return files_in(dir / "cache") == std::set<std::string>{TILE_FILE} &&
                   file.load(dir / "cache" / TILE_FILE, false) && same_pixels(&file, pixels);
        });
    }
    static std::vector<std::string> paths() { return server().stats().paths; }

    support::TempDir dir{"wh-tiles"};
    TileServerConfig config;
    console::Capture output;
};

TEST_F(TileServiceTest, ConstructionPrintsTheSettingsAndTheUrlsFollowThePattern)
{
    config = {"http://host/x", TilePattern::ZXY_Y_NORTH, "", dir / "a" / "b\"q\\", "", 3, 12, true};
    TileService(config, HttpOptions{8000});
    EXPECT_TRUE(fs::is_directory(config.cache_dir));
    const std::string quoted = fmt::format(R"("{}/b\"q\\")", (dir / "a").string()); // its quotes and backslashes escaped
    EXPECT_EQ(output.out(), "Tile Url http://host/x\nTile Cache Dir: " + quoted +
                                "\nTile Cache Size: 0.0 MiB in 0 tiles\nNum Threads: 3\nMax Zoom: 12\n");
    struct Case { TilePattern pattern; std::string ending, numbers; }; // of tile (3, 5, 1)
    const VerboseConsole verbose;
    for (const Case& c : {Case{TilePattern::ZXY_Y_NORTH, ".png", "3/5/6"}, Case{TilePattern::ZXY_Y_SOUTH, ".png", "3/5/1"},
                          Case{TilePattern::ZYX_Y_NORTH, ".png", "3/6/5"}, Case{TilePattern::ZYX_Y_SOUTH, ".png", "3/1/5"},
                          Case{TilePattern::ZXY_Y_SOUTH, ".png?key=abc", "3/5/1"}}) { // the server logs no query
        server().reset_stats();
        config = {server().base_url() + "/imagery", c.pattern, c.ending, "", "", 0, 17, false};
        EXPECT_NE(TileService(config, HttpOptions{8000}).get_tile_sync({3, 5, 1}), nullptr) << output.err();
        EXPECT_EQ(paths(), std::vector<std::string>{"/imagery/" + c.numbers + ".png"});
        EXPECT_NE(output.out().find("GET " + config.url + "/" + c.numbers + c.ending + "\n"), std::string::npos) << output.out();
    }
}

// Fetched in the background and kept, cached as PNG whatever the server sent, and once removed
// read back from the disk, as another service on the same directory does; a damaged file is
// fetched again.
TEST_F(TileServiceTest, TilesAreFetchedCachedAndReadBackFromDisk)
{
    // The request is said only in verbose mode.
    for (const auto& [ending, verbose] : {std::pair{std::string(".png"), true}, std::pair{std::string(".jpg"), false}}) {
        const VerboseConsole switched(verbose);
        fs::remove_all(dir / "cache");
        server().reset_stats();
        const gfx::Image expected = sent(ending);
        auto s = service("", 2, ending);
        server().reset_stats();
        output.clear();
        EXPECT_EQ(s->get_tile(TILE), nullptr) << "the first call only asks";
        gfx::Image* image = wait_for(*s, TILE);
        EXPECT_TRUE(same_pixels(image, expected) && s->get_tile(TILE) == image) << ending;
        EXPECT_EQ(output.out() + output.err(), verbose ? "GET " + config.url + "/10/544/359" + ending + "\n" : "");
        EXPECT_TRUE(cached(expected)) << ending;
        server().reset_stats();
        output.clear();
        s->remove_tile(TILE);
        EXPECT_EQ(s->get_tile(TILE), nullptr);
        EXPECT_TRUE(same_pixels(wait_for(*s, TILE), expected));
        EXPECT_TRUE(same_pixels(TileService(config).get_tile_sync(TILE), expected));
        EXPECT_TRUE(paths().empty());
        EXPECT_EQ(output.out().find("GET "), std::string::npos) << output.out();
    }
    const gfx::Image expected = sent(); // a damaged cache file is fetched again and replaced
    support::write_file(dir / "cache" / TILE_FILE, server().get("/imagery/10/544/359.png").body.substr(0, 500));
    server().reset_stats();
    EXPECT_TRUE(same_pixels(service("", 0)->get_tile_sync(TILE), expected)) << output.err();
    EXPECT_EQ(paths().size(), 1u);
    EXPECT_TRUE(cached(expected));
}

TEST_F(TileServiceTest, AFailedTileSaysSoOnceCachesNothingAndIsNotFetchedAgain)
{
    auto s = service("/status/404");
    output.clear();
    EXPECT_EQ(s->get_tile(TILE), nullptr);
    ASSERT_TRUE(wait_until([&] { return !output.err().empty(); }));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(s->get_tile(TILE), nullptr);
    s->get_tile({10, 545, 359}); // behind the failed one on the single worker
    ASSERT_TRUE(wait_until([&] { return output.err().find("545") != std::string::npos; })) << output.err();
    EXPECT_EQ(output.err(), "Error 404 \"" + config.url + "/10/544/359.png\"\nError 404 \"" + config.url + "/10/545/359.png\"\n");
    EXPECT_EQ(paths().size(), 2u);
    EXPECT_TRUE(files_in(dir / "cache").empty());
    EXPECT_EQ(std::tuple(s->failed_for_good(TILE), s->failed_for_good({10, 546, 359}), s->failed_for_good({18, 0, 0})),
              std::tuple(true, false, true)) << "failed; never asked for; beyond max zoom";
}

// Answers that are no tile are final, each said with the server, the URL and the reason.
TEST_F(TileServiceTest, AnswersThatAreNoTileAreRefusedSayingWhy)
{
    struct Case { std::string prefix, ending; bool png_only; std::string reason; };
    const Case cases[] = {
        {"/corrupt", ".png", false, "the answer is neither a PNG nor a JPEG image"},
        {"/bigimage", ".png", false, "the image is 5000 \u00d7 16 pixels, more than 4096 on a side"},
        {"/size/300", ".png", false, "the image is 300 \u00d7 300 pixels; a tile is square, 256 or 512 pixels on a side"},
        {"/size/1", ".png", true, "the image is 1 \u00d7 1 pixels; a tile is square, 256 or 512 pixels on a side"},
        {"", ".jpg", true, "the answer is a JPEG image; these tiles must be PNG"},
    };
    for (const Case& c : cases) {
        auto s = service(c.prefix, 1, c.ending, c.png_only);
        output.clear();
        EXPECT_EQ(s->get_tile(TILE), nullptr);
        ASSERT_TRUE(wait_until([&] { return !output.err().empty(); })) << c.prefix;
        EXPECT_EQ(output.err(), "Could not read z=10, x=544, y=359 from " + console::quoted(std::string_view(config.url)) + " (\"" +
                                    config.url + "/10/544/359" + c.ending + "\"): " + c.reason + "\n");
        EXPECT_TRUE(s->get_tile_sync(TILE) == nullptr && s->failed_for_good(TILE)) << c.prefix;
        EXPECT_TRUE(files_in(dir / "cache").empty());
    }
    // A cached file no tile can be (left by another program) is fetched anew and replaced.
    const Bytes odd = make_png(300, 300, SPNG_COLOR_TYPE_GRAYSCALE, 8, Bytes(90000));
    support::write_file(dir / "cache" / TILE_FILE, std::string(odd.begin(), odd.end()));
    server().reset_stats();
    const auto refetching = service("", 0);
    const gfx::Image* image = refetching->get_tile_sync(TILE);
    EXPECT_TRUE(image != nullptr && image->width == 256) << output.err();
    EXPECT_EQ(paths().size(), 1u);
}

// Answers the local server does not send (error pages, empty bodies, other formats, damaged
// images) and the sizes around the two a tile may have.
TEST(TileCheck, PagesOtherFormatsDamageAndOddSizesAreNamed)
{
    const Bytes png = make_png(4, 4, SPNG_COLOR_TYPE_TRUECOLOR, 8, pattern(48)), jpeg = make_jpeg(4, 4, pattern(48));
    const auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
    struct Case { Bytes body; bool png_only; std::string problem; };
    const Case cases[] = {
        {png, true, ""}, {jpeg, false, ""}, {{}, false, "the answer is empty"},
        {text("\xef\xbb\xbf \n<!DOCTYPE html><p>Rate limited</p>"), false, "the answer is an HTML or XML page, not an image"},
        {text("GIF89a"), true, "the answer is not a PNG image"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tile_body_problem(c.body.data(), c.body.size(), c.png_only), c.problem) << c.problem;
    EXPECT_EQ(undecodable_tile_reason(png.data(), 30), "the PNG image is damaged");
    EXPECT_EQ(undecodable_tile_reason(jpeg.data(), 30), "the JPEG image is damaged or more than 4096 pixels on a side");
    for (const auto& [width, height, tile] : {std::tuple{256, 256, true}, std::tuple{512, 512, true}, std::tuple{257, 257, false},
                                              std::tuple{256, 512, false}, std::tuple{128, 128, false}})
        EXPECT_EQ(tile_size_problem(width, height).empty(), tile) << width << " x " << height;
}

// Above max_zoom nothing is fetched; without the disk cache nothing is written and a removed
// tile is fetched again; without workers nothing is fetched in the background.
TEST_F(TileServiceTest, MaxZoomTheDiskCacheSwitchNoWorkersAndDestruction)
{
    TileService limited({server().base_url() + "/imagery", TilePattern::ZXY_Y_SOUTH, ".png", dir / "cache", "", 1, 9, false});
    EXPECT_EQ(limited.get_tile_sync(TILE), nullptr);
    EXPECT_EQ(limited.get_tile(TILE), nullptr);
    const TileId coarse{9, 272, 179};
    EXPECT_NE(wait_for(limited, coarse), nullptr); // behind it on the single worker
    limited.remove_tile(coarse);
    EXPECT_NE(limited.get_tile_sync(coarse), nullptr) << "at max_zoom, also when blocking";
    EXPECT_EQ(paths(), std::vector<std::string>(2, "/imagery/9/272/179.png"));
    EXPECT_FALSE(fs::exists(dir / "cache"));
    server().reset_stats();
    auto s = service("", 0);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(s->get_tile(TILE), nullptr);
    EXPECT_TRUE(paths().empty());
    gfx::Image* image = s->get_tile_sync(TILE);
    EXPECT_TRUE(image != nullptr && s->get_tile(TILE) == image);
    // Destruction drops the queued fetches and cuts the one under way short: only that one
    // reached the server, and it is neither waited for nor cached nor reported.
    s = service("/slow/1000");
    server().reset_stats();
    output.clear();
    for (uint32_t x = 0; x < 20; ++x)
        s->get_tile({10, 520 + x, 359});
    ASSERT_TRUE(wait_until([&] { return !paths().empty(); }));
    s.reset();
    EXPECT_EQ(paths().size(), 1u) << "only the fetch under way";
    for (uint32_t x = 0; x < 20; ++x)
        EXPECT_FALSE(fs::exists(dir / "cache" / (to_string(TileId{10, 520 + x, 359}) + ".png"))) << "the cut fetch was not completed";
    EXPECT_EQ(output.err(), "");
}

// Two services share a cache directory and fetch the same tiles at once: every file ends up
// whole, and no temporary file is left.
TEST_F(TileServiceTest, ServicesSharingADirectoryLeaveWholeFiles)
{
    auto a = service("", 3), b = service("", 3);
    const auto tile = [](uint32_t i) { return TileId{12, 2170 + i % 4, 1430 + i / 4}; };
    std::set<std::string> names;
    for (uint32_t i = 0; i < 16; ++i) {
        a->get_tile(tile(i));
        b->get_tile(tile(i));
        names.insert(to_string(tile(i)) + ".png");
    }
    for (uint32_t i = 0; i < 16; ++i) {
        gfx::Image* from_b = wait_for(*b, tile(i));
        ASSERT_NE(from_b, nullptr) << i;
        EXPECT_TRUE(same_pixels(wait_for(*a, tile(i)), *from_b)) << i;
    }
    EXPECT_TRUE(wait_until([&] {
        return files_in(dir / "cache") == names && std::all_of(names.begin(), names.end(), [&](const std::string& name) {
                   return gfx::Image().load(dir / "cache" / name, false);
               });
    })) << files_in(dir / "cache").size() << " files";
    EXPECT_EQ(output.err(), "");
}

// The local tile server's routes and failure prefixes, which the tests above rely on.
TEST(TileServer, RoutesAndFailurePrefixesAnswerAsAsked)
{
    server().reset_stats();
    struct Case { std::string path; int status; bool tile; };
    const Case cases[] = {{"/imagery/0/0/0.jpg", 200, true}, {"/elevation/byte/12/2177/1436.png", 200, true},
                          {"/redirect/1/imagery/3/4/2.png", 302, false}, {"/slow/1/status/503/imagery/3/4/2.png", 503, false},
                          {"/corrupt/elevation/rg/3/4/2.png", 200, false}, {"/huge/imagery/3/4/2.png", 200, false},
                          {"/size/256/imagery/3/4/2.jpg", 200, true}, {"/size/4097/imagery/3/4/2.png", 404, false},
                          {"/imagery/3/8/0.png", 404, false}, {"/imagery/25/0/0.png", 404, false}}; // outside the grid, the zooms
    for (const Case& c : cases) {
        const support::HttpResult answer = server().get(c.path);
        const gfx::Image image(reinterpret_cast<const unsigned char*>(answer.body.data()), answer.body.size());
        EXPECT_EQ(std::pair(answer.status, image.valid() && image.width == 256), std::pair(c.status, c.tile)) << c.path;
    }
    EXPECT_EQ(std::pair(server().stats().paths.size(), server().stats().unexpected), std::pair(std::size(cases), int64_t(3)));
}

// --incompressible-imagery: the same imagery tiles, grown to the size of aerial photographs by a
// grain that does not compress; heights untouched.
TEST(TileServer, IncompressibleImageryComesAtNearlyItsRawSize)
{
    const support::TileServer grainy({"--incompressible-imagery"});
    struct Case { std::string path; double at_least; }; // times the plain tile's size
    for (const Case& c : {Case{"/imagery/16/34825/22980.png", 3.5}, Case{"/imagery/16/34825/22980.jpg", 6.0},
                          Case{"/imagery/12/2176/1435@2x.jpg", 2.0}, Case{"/elevation/rg/12/2176/1435.png", 1.0}}) {
        const support::HttpResult plain = server().get(c.path);
        const support::HttpResult grown = grainy.get(c.path);
        const gfx::Image image(reinterpret_cast<const unsigned char*>(grown.body.data()), grown.body.size());
        EXPECT_TRUE(grown.status == 200 && image.valid() && image.width == (c.path.find("@2x") != std::string::npos ? 512 : 256))
            << c.path << ": " << grown.status;
        EXPECT_GE(double(grown.body.size()), c.at_least * double(plain.body.size()))
            << c.path << ": " << grown.body.size() << " against " << plain.body.size() << " bytes";
        if (c.at_least == 1.0) {
            EXPECT_EQ(grown.body, plain.body) << c.path;
        }
    }
    EXPECT_GT(grainy.get("/imagery/16/34825/22980.png").body.size(), 256u * 256u * 3u * 9 / 10) << "nearly the raw pixels";
}

} // namespace
