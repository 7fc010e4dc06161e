// The tile service against the real local tile server over HTTP on loopback.

#include "tiles/TileService.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"
#include "tiles/WebMercator.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

template <typename Predicate>
bool wait_until(Predicate predicate, std::chrono::milliseconds timeout = 10000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Polls get_tile until the image arrives (or the time is up).
gfx::Image* wait_for_tile(TileService& service, TileId tile, std::chrono::milliseconds timeout = 10000ms)
{
    gfx::Image* image = nullptr;
    wait_until([&] { return (image = service.get_tile(tile)) != nullptr; }, timeout);
    return image;
}

std::string file_name(TileId tile) { return to_string(tile) + ".png"; }

std::vector<std::string> files_in(const fs::path& dir)
{
    std::vector<std::string> names;
    if (fs::exists(dir)) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + part.size())) {
        ++n;
    }
    return n;
}

bool same_pixels(const gfx::Image& a, const gfx::Image& b)
{
    return a.valid() && b.valid() && a.width == b.width && a.height == b.height && a.channels == b.channels &&
           std::memcmp(a.data, b.data, static_cast<size_t>(a.width) * a.height * a.channels) == 0;
}

class TileServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = new support::TileServer(); }

    static std::vector<TileId> many_tiles()
    {
        std::vector<TileId> tiles;
        for (uint32_t i = 0; i < 16; ++i) {
            tiles.push_back(TileId{12, 2170 + i % 4, 1430 + i / 4});
        }
        return tiles;
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override { s_server->reset_stats(); }

    static support::TileServer& server() { return *s_server; }

    // Imagery of the local server, whose rows count from the north.
    TileServerConfig config(const std::string& prefix = "", int32_t threads = 1) const
    {
        TileServerConfig c;
        c.url = server().base_url() + prefix + "/imagery";
        c.pattern = TilePattern::ZXY_Y_SOUTH;
        c.file_ending = ".png";
        c.cache_dir = m_dir / "cache";
        c.num_threads = threads;
        c.max_zoom = 17;
        c.cache_on_disk = true;
        return c;
    }

    std::vector<std::string> paths() const { return server().stats().paths; }

    // The server's own tile decoded, for comparing pixels.
    static gfx::Image server_tile(const std::string& path)
    {
        const support::HttpResult result = server().get(path);
        EXPECT_EQ(result.status, 200) << path;
        return gfx::Image(reinterpret_cast<const unsigned char*>(result.body.data()), result.body.size());
    }

    // A generous time-out: these tests are about behaviour, not speed, and run under
    // ThreadSanitizer on busy machines. The 1000 ms default has its own test.
    static HttpOptions patient_http()
    {
        HttpOptions options;
        options.timeout_ms = 8000;
        return options;
    }

    support::TempDir m_dir{"wh-tiles"};
    console::Capture m_console;
    const HttpOptions m_http = patient_http();

private:
    static inline support::TileServer* s_server = nullptr;
};

const TileId TILE{10, 544, 359};
const std::string TILE_PATH = "/imagery/10/544/359.png";

} // namespace

TEST_F(TileServiceTest, ConstructorPrintsItsSettingsAndCreatesTheCacheDirectory)
{
    TileServerConfig c = config("", 3);
    c.cache_dir = m_dir / "nested" / "dir \"q\"";
    c.max_zoom = 12;
    TileService service(c, m_http);
    EXPECT_TRUE(fs::is_directory(c.cache_dir));
    const std::string expected = "Tile Url " + c.url + "\nTile Cache Dir: " + console::quoted(c.cache_dir) +
                                 "\nTile Cache Size: 0.0 MiB in 0 tiles\nNum Threads: 3\nMax Zoom: 12\n";
    EXPECT_EQ(m_console.out(), expected);
    EXPECT_NE(m_console.out().find("dir \\\"q\\\""), std::string::npos) << "quotes inside the path are escaped";
    EXPECT_EQ(m_console.err(), "");
}

TEST_F(TileServiceTest, UrlPatterns)
{
    struct Case {
        TilePattern pattern;
        std::string path; // for tile (3, 5, 1)
    };
    const std::vector<Case> cases{
        {TilePattern::ZXY_Y_NORTH, "/imagery/3/5/6.png"},
        {TilePattern::ZXY_Y_SOUTH, "/imagery/3/5/1.png"},
        {TilePattern::ZYX_Y_NORTH, "/imagery/3/6/5.png"},
        {TilePattern::ZYX_Y_SOUTH, "/imagery/3/1/5.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        server().reset_stats();
        m_console.clear();
        TileServerConfig cfg = config("", 0);
        cfg.pattern = c.pattern;
        cfg.cache_on_disk = false;
        TileService service(cfg, m_http);
        ASSERT_NE(service.get_tile_sync(TileId{3, 5, 1}), nullptr) << m_console.err();
        EXPECT_EQ(paths(), std::vector<std::string>{c.path});
        EXPECT_NE(m_console.out().find("GET " + server().base_url() + c.path + "\n"), std::string::npos)
            << m_console.out();
    }
    // The file ending follows the last number verbatim, query string included.
    server().reset_stats();
    TileServerConfig cfg = config("", 0);
    cfg.file_ending = ".png?key=abc";
    cfg.cache_on_disk = false;
    TileService with_query(cfg, m_http);
    EXPECT_NE(with_query.get_tile_sync(TileId{3, 5, 1}), nullptr) << m_console.err();
    EXPECT_EQ(paths(), std::vector<std::string>{"/imagery/3/5/1.png"}) << "the server logs paths without the query";

    // An unknown pattern value gives an empty URL: a failed request, no crash.
    m_console.clear();
    cfg.pattern = static_cast<TilePattern>(7);
    TileService unknown(cfg, m_http);
    EXPECT_EQ(unknown.get_tile_sync(TileId{3, 5, 1}), nullptr);
    EXPECT_EQ(m_console.err(), "Error 0 \"\": unusable URL\n");
}

TEST_F(TileServiceTest, FetchesStoresAndCachesATile)
{
    const TileServerConfig c = config("", 2);
    const gfx::Image expected = server_tile(TILE_PATH);
    server().reset_stats();
    TileService service(c, m_http);
    m_console.clear();
    EXPECT_EQ(service.get_tile(TILE), nullptr) << "the first call only requests";
    gfx::Image* image = wait_for_tile(service, TILE);
    ASSERT_NE(image, nullptr) << m_console.err();
    EXPECT_EQ(image->channels, 3);
    EXPECT_TRUE(same_pixels(*image, expected));
    EXPECT_EQ(m_console.out(), "GET " + c.url + "/10/544/359.png\n");
    EXPECT_EQ(m_console.err(), "");
    EXPECT_EQ(service.get_tile(TILE), image) << "later calls return the stored image";

    // The cache holds exactly the tile's PNG (no temporary left behind), with the same pixels;
    // it is written after the tile is handed out.
    ASSERT_TRUE(wait_until([&] { return fs::exists(c.cache_dir / file_name(TILE)); }));
    EXPECT_EQ(files_in(c.cache_dir), std::vector<std::string>{"z=10, x=544, y=359.png"});
    const std::string bytes = support::read_file(c.cache_dir / file_name(TILE));
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    gfx::Image cached;
    ASSERT_TRUE(cached.load(c.cache_dir / file_name(TILE), false));
    EXPECT_TRUE(same_pixels(cached, *image));
    EXPECT_EQ(paths(), std::vector<std::string>{TILE_PATH});

    // A second service on the same directory reads the file: no HTTP request, no GET line.
    m_console.clear();
    TileService second(c, m_http);
    gfx::Image* from_disk = second.get_tile_sync(TILE);
    ASSERT_NE(from_disk, nullptr);
    EXPECT_TRUE(same_pixels(*from_disk, *image));
    EXPECT_EQ(paths(), std::vector<std::string>{TILE_PATH});
    EXPECT_EQ(m_console.out().find("GET "), std::string::npos) << m_console.out();
}

TEST_F(TileServiceTest, JpegTilesAreCachedAsPng)
{
    TileServerConfig c = config("", 1);
    c.file_ending = ".jpg";
    TileService service(c, m_http);
    gfx::Image* image = wait_for_tile(service, TILE);
    ASSERT_NE(image, nullptr) << m_console.err();
    EXPECT_EQ(image->channels, 3);
    ASSERT_TRUE(wait_until([&] { return fs::exists(c.cache_dir / file_name(TILE)); }));
    const std::string bytes = support::read_file(c.cache_dir / file_name(TILE));
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG") << "the cache holds PNG whatever the server sent";
    gfx::Image cached;
    ASSERT_TRUE(cached.load(c.cache_dir / file_name(TILE), false));
    EXPECT_TRUE(same_pixels(cached, *image)) << "PNG keeps the decoded pixels exactly";
}

TEST_F(TileServiceTest, RemovedTileIsRequestedAgainAndReadFromDisk)
{
    TileService service(config("", 1), m_http);
    gfx::Image* first = wait_for_tile(service, TILE);
    ASSERT_NE(first, nullptr) << m_console.err();
    const gfx::Image kept = server_tile(TILE_PATH);
    server().reset_stats();
    service.remove_tile(TILE);
    EXPECT_EQ(service.get_tile(TILE), nullptr) << "the store no longer holds it; this call requests it anew";
    gfx::Image* again = wait_for_tile(service, TILE);
    ASSERT_NE(again, nullptr) << m_console.err();
    EXPECT_TRUE(same_pixels(*again, kept));
    EXPECT_TRUE(paths().empty()) << "answered from the cache file, not over HTTP";
    service.remove_tile(TILE);
    service.remove_tile(TILE); // removing an absent tile is harmless
    service.remove_tile(TileId{1, 0, 0});
}

TEST_F(TileServiceTest, ErrorStatusesPrintOneLineAndCacheNothing)
{
    for (int status : {404, 403}) {
        SCOPED_TRACE(status);
        server().reset_stats();
        m_console.clear();
        const TileServerConfig c = config("/status/" + std::to_string(status), 1);
        fs::remove_all(c.cache_dir);
        TileService service(c, m_http);
        EXPECT_EQ(service.get_tile(TILE), nullptr);
        const std::string line = "Error " + std::to_string(status) + " \"" + c.url + "/10/544/359.png\"\n";
        ASSERT_TRUE(wait_until([&] { return m_console.err().find(line) != std::string::npos; })) << m_console.err();
        // Asking again does not fetch again: the tile stays requested. A second tile queued
        // behind on the single worker proves the queue has been worked through.
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(service.get_tile(TILE), nullptr);
        }
        const TileId other{10, 545, 359};
        service.get_tile(other);
        ASSERT_TRUE(wait_until([&] { return count(m_console.err(), "Error ") == 2; })) << m_console.err();
        EXPECT_EQ(count(m_console.err(), line), 1u) << m_console.err();
        EXPECT_EQ(paths().size(), 2u);
        EXPECT_TRUE(files_in(c.cache_dir).empty());
        EXPECT_EQ(m_console.out().find("GET "), std::string::npos);
    }
}

TEST_F(TileServiceTest, SlowServerTimesOutAsStatusZero)
{
    EXPECT_EQ(HttpOptions{}.timeout_ms, 1000);
    const TileServerConfig c = config("/slow/1500", 1);
    TileService service(c);
    m_console.clear();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(service.get_tile_sync(TILE), nullptr);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(m_console.err(), "Error 0 \"" + c.url + "/10/544/359.png\": time-out\n");
    EXPECT_LT(elapsed, 1500ms) << "the 1000 ms time-out ends the wait, not the server";
    EXPECT_TRUE(files_in(c.cache_dir).empty());
}

TEST_F(TileServiceTest, UndecodableAndOversizedBodiesAreNotRead)
{
    for (const std::string prefix : {"/corrupt", "/bigimage", "/huge"}) {
        SCOPED_TRACE(prefix);
        m_console.clear();
        const TileServerConfig c = config(prefix, 1);
        TileService service(c, m_http);
        m_console.clear();
        EXPECT_EQ(service.get_tile(TILE), nullptr);
        ASSERT_TRUE(wait_until([&] { return !m_console.err().empty(); })) << prefix;
        EXPECT_EQ(m_console.err().rfind("Could not read z=10, x=544, y=359", 0), 0u) << m_console.err();
        EXPECT_EQ(m_console.out(), "GET " + c.url + "/10/544/359.png\n");
        EXPECT_TRUE(files_in(c.cache_dir).empty());
        EXPECT_EQ(service.get_tile_sync(TILE), nullptr) << "the synchronous path refuses it as well";
    }
}

TEST_F(TileServiceTest, DamagedCacheFileIsFetchedAgainAndReplaced)
{
    const TileServerConfig c = config("", 0);
    fs::create_directories(c.cache_dir);
    const gfx::Image expected = server_tile(TILE_PATH);
    const std::string png = server().get(TILE_PATH).body;
    const std::vector<std::string> damaged{"not a png at all", png.substr(0, png.size() / 2), std::string()};
    for (const std::string& content : damaged) {
        SCOPED_TRACE(content.size());
        server().reset_stats();
        support::write_file(c.cache_dir / file_name(TILE), content);
        TileService service(c, m_http);
        gfx::Image* image = service.get_tile_sync(TILE);
        ASSERT_NE(image, nullptr) << m_console.err();
        EXPECT_TRUE(same_pixels(*image, expected));
        EXPECT_EQ(paths(), std::vector<std::string>{TILE_PATH});
        gfx::Image rewritten;
        EXPECT_TRUE(rewritten.load(c.cache_dir / file_name(TILE), false)) << "the file was overwritten";
        EXPECT_TRUE(same_pixels(rewritten, expected));
    }
}

TEST_F(TileServiceTest, CacheNameTakenByADirectoryStillDeliversTheTile)
{
    // The tile's cache name is a directory: reading it fails, so the tile comes over HTTP;
    // the rename onto it fails too, which is ignored, and no temporary file is left behind.
    const TileServerConfig c = config("", 1);
    fs::create_directories(c.cache_dir / file_name(TILE));
    TileService service(c, m_http);
    m_console.clear();
    gfx::Image* image = wait_for_tile(service, TILE);
    ASSERT_NE(image, nullptr) << m_console.err();
    EXPECT_EQ(m_console.err(), "");
    EXPECT_TRUE(fs::is_directory(c.cache_dir / file_name(TILE)));
    EXPECT_EQ(files_in(c.cache_dir), std::vector<std::string>{file_name(TILE)});
    EXPECT_EQ(paths(), std::vector<std::string>{TILE_PATH});
}

TEST_F(TileServiceTest, ZoomAboveMaxZoomIsRefusedSilently)
{
    TileServerConfig c = config("", 1);
    c.max_zoom = 9;
    TileService service(c, m_http);
    m_console.clear();
    EXPECT_EQ(service.get_tile(TILE), nullptr);
    EXPECT_EQ(service.get_tile_sync(TILE), nullptr);
    // A tile at max zoom behind it on the single worker: once it arrives, the queue is empty.
    const TileId allowed{9, 272, 179};
    ASSERT_NE(wait_for_tile(service, allowed), nullptr) << m_console.err();
    EXPECT_EQ(paths(), std::vector<std::string>{"/imagery/9/272/179.png"});
    EXPECT_EQ(m_console.err(), "");
    EXPECT_EQ(count(m_console.out(), "GET "), 1u);
}

TEST_F(TileServiceTest, WithoutWorkersOnlyTheSynchronousPathFetches)
{
    const TileServerConfig c = config("", 0);
    TileService service(c, m_http);
    EXPECT_NE(m_console.out().find("Num Threads: 0\n"), std::string::npos);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(service.get_tile(TILE), nullptr);
    }
    EXPECT_TRUE(paths().empty());
    gfx::Image* image = service.get_tile_sync(TILE);
    ASSERT_NE(image, nullptr) << m_console.err();
    EXPECT_EQ(service.get_tile(TILE), image) << "get_tile finds what the synchronous load stored";
    EXPECT_EQ(service.get_tile_sync(TILE), image);
    EXPECT_EQ(paths(), std::vector<std::string>{TILE_PATH});

    // A negative count is taken as zero.
    m_console.clear();
    TileServerConfig negative = c;
    negative.num_threads = -3;
    TileService none(negative, m_http);
    EXPECT_NE(m_console.out().find("Num Threads: 0\n"), std::string::npos) << m_console.out();
}

TEST_F(TileServiceTest, WithoutDiskCacheNothingTouchesTheDisk)
{
    struct Case {
        const char* name;
        bool cache_on_disk;
        bool empty_dir;
    };
    for (const Case& k : {Case{"cache_on_disk false", false, false}, Case{"empty cache dir", true, true}}) {
        SCOPED_TRACE(k.name);
        server().reset_stats();
        TileServerConfig c = config("", 1);
        c.cache_on_disk = k.cache_on_disk;
        if (k.empty_dir) {
            c.cache_dir.clear();
        }
        const std::vector<std::string> cwd_before = files_in(fs::current_path());
        TileService service(c, m_http);
        ASSERT_NE(wait_for_tile(service, TILE), nullptr) << m_console.err();
        service.remove_tile(TILE);
        ASSERT_NE(wait_for_tile(service, TILE), nullptr) << m_console.err();
        EXPECT_EQ(paths(), (std::vector<std::string>{TILE_PATH, TILE_PATH})) << "fetched over HTTP both times";
        EXPECT_FALSE(fs::exists(m_dir / "cache")) << "no directory created";
        EXPECT_EQ(files_in(fs::current_path()), cwd_before);
    }
}

TEST_F(TileServiceTest, DestructionWithFetchesQueuedAndUnderWay)
{
    const TileServerConfig c = config("/slow/300", 1);
    const auto start = std::chrono::steady_clock::now();
    {
        TileService service(c, m_http);
        for (uint32_t x = 0; x < 20; ++x) {
            service.get_tile(TileId{10, 540 + x, 359});
        }
        // Wait until the first fetch is under way on the server, then go.
        ASSERT_TRUE(wait_until([&] { return !paths().empty(); })) << m_console.err();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, 3000ms) << "the queued fetches were dropped";
    EXPECT_EQ(paths().size(), 1u);
    // The fetch under way completed and wrote its cache file before the workers were joined.
    EXPECT_EQ(files_in(c.cache_dir), std::vector<std::string>{"z=10, x=540, y=359.png"});
}

TEST_F(TileServiceTest, WorkerExceptionIsReportedAndTheServiceGoesOn)
{
    // A cache file name that is a symbolic link to itself: the existence test fails with
    // "too many levels of symbolic links", which even root cannot get past.
    const TileServerConfig c = config("", 1);
    TileService service(c, m_http);
    fs::create_symlink(file_name(TILE), c.cache_dir / file_name(TILE));
    m_console.clear();
    EXPECT_EQ(service.get_tile(TILE), nullptr);
    ASSERT_TRUE(wait_until([&] { return !m_console.err().empty(); }));
    const std::string err = m_console.err();
    EXPECT_EQ(err.rfind("Could not load z=10, x=544, y=359: ", 0), 0u) << err;
    EXPECT_NE(err.find("exists"), std::string::npos) << err;
    EXPECT_EQ(count(err, "\n"), 1u) << "one line: " << err;

    // The tile stays requested; the worker lives on and fetches the next tile.
    EXPECT_EQ(service.get_tile(TILE), nullptr);
    ASSERT_NE(wait_for_tile(service, TileId{10, 545, 359}), nullptr) << m_console.err();
    EXPECT_EQ(count(m_console.err(), "Could not load"), 1u) << m_console.err();
    // The synchronous path does not try the failed tile again.
    m_console.clear();
    EXPECT_EQ(service.get_tile_sync(TILE), nullptr);
    EXPECT_EQ(m_console.err(), "");
}

TEST_F(TileServiceTest, RedirectsAreFollowedUpToALimit)
{
    const TileServerConfig near = config("/redirect/2", 1);
    TileService service(near, m_http);
    ASSERT_NE(service.get_tile_sync(TILE), nullptr) << m_console.err();
    EXPECT_NE(m_console.out().find("GET " + near.url + "/10/544/359.png\n"), std::string::npos);

    m_console.clear();
    TileServerConfig far = config("/redirect/9", 1);
    far.cache_dir = m_dir / "far";
    TileService endless(far, m_http);
    m_console.clear();
    EXPECT_EQ(endless.get_tile_sync(TILE), nullptr);
    EXPECT_EQ(m_console.err().rfind("Error 3", 0), 0u) << "the last redirect's status: " << m_console.err();
    EXPECT_TRUE(files_in(far.cache_dir).empty());
}

TEST_F(TileServiceTest, ManyThreadsAndTwoServicesOnOneDirectory)
{
    // Two services share a cache directory and fetch the same tiles at once, while this
    // thread also loads and removes some synchronously.
    const TileServerConfig c = config("", 3);
    TileService a(c, m_http);
    TileService b(c, m_http);
    const std::vector<TileId> tiles = many_tiles();
    for (const TileId& t : tiles) {
        a.get_tile(t);
        b.get_tile(t);
    }
    for (size_t i = 0; i < tiles.size(); i += 5) {
        ASSERT_NE(a.get_tile_sync(tiles[i]), nullptr) << to_string(tiles[i]);
        a.remove_tile(tiles[i]);
    }
    for (const TileId& t : tiles) {
        gfx::Image* ia = wait_for_tile(a, t);
        gfx::Image* ib = wait_for_tile(b, t);
        ASSERT_NE(ia, nullptr) << to_string(t) << m_console.err();
        ASSERT_NE(ib, nullptr) << to_string(t) << m_console.err();
        EXPECT_TRUE(same_pixels(*ia, *ib)) << to_string(t);
    }
    EXPECT_EQ(m_console.err(), "");
    // Every cache file is a whole PNG and no temporary file is left.
    std::vector<std::string> expected;
    for (const TileId& t : tiles) expected.push_back(file_name(t));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files_in(c.cache_dir), expected);
    for (const TileId& t : tiles) {
        gfx::Image cached;
        EXPECT_TRUE(cached.load(c.cache_dir / file_name(t), false)) << to_string(t);
    }
}
