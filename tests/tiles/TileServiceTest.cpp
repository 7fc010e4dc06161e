// The tile service against the local tile server on loopback.

#include "tiles/TileService.h"

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "tests/support/Support.h"

namespace {

namespace fs = std::filesystem;
using support::wait_until;

const TileId TILE{10, 544, 359};
const std::string TILE_FILE = "z=10, x=544, y=359.png";

const support::TileServer& server()
{
    static const support::TileServer instance;
    return instance;
}

bool same_pixels(const gfx::Image* a, const gfx::Image& b)
{
    return a && a->valid() && b.valid() && std::tie(a->width, a->height, a->channels) == std::tie(b.width, b.height, b.channels) &&
           std::memcmp(a->data, b.data, size_t(a->width) * a->height * a->channels) == 0;
}

std::vector<std::string> files_in(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class TileServiceTest : public ::testing::Test {
protected:
    void SetUp() override { server().reset_stats(); }

    // The local server's imagery, rows counted from the north, with a patient time-out: the
    // tests are about behaviour and also run under ThreadSanitizer.
    std::unique_ptr<TileService> service(const std::string& prefix = "", int32_t threads = 1, const std::string& ending = ".png")
    {
        config = {server().base_url() + prefix + "/imagery", TilePattern::ZXY_Y_SOUTH, ending, dir / "cache", "", threads};
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
            return files_in(dir / "cache") == std::vector<std::string>{TILE_FILE} &&
                   file.load(dir / "cache" / TILE_FILE, false) && same_pixels(&file, pixels);
        });
    }
    static std::vector<std::string> paths() { return server().stats().paths; }

    support::TempDir dir{"wh-tiles"};
    TileServerConfig config;
    console::Capture output;
};

TEST_F(TileServiceTest, ConstructionPrintsTheSettingsAndMakesTheCacheDirectory)
{
    config = {"http://host/x", TilePattern::ZXY_Y_NORTH, "", dir / "a" / "b \"q\"", "", 3, 12, true};
    TileService s(config);
    EXPECT_TRUE(fs::is_directory(config.cache_dir));
    EXPECT_EQ(output.out(), "Tile Url http://host/x\nTile Cache Dir: " + console::quoted(config.cache_dir) +
                                "\nNum Threads: 3\nMax Zoom: 12\n");
    output.clear();
    config.num_threads = -3;
    TileService none(config);
    EXPECT_NE(output.out().find("Num Threads: 0\n"), std::string::npos) << output.out();
}

TEST_F(TileServiceTest, UrlPatterns)
{
    struct Case { TilePattern pattern; std::string ending, numbers; }; // of tile (3, 5, 1)
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
// read back from the disk, as another service on the same directory does.
TEST_F(TileServiceTest, TilesAreFetchedCachedAndReadBackFromDisk)
{
    for (std::string ending : {".png", ".jpg"}) {
        fs::remove_all(dir / "cache");
        server().reset_stats();
        const gfx::Image expected = sent(ending);
        auto s = service("", 2, ending);
        server().reset_stats();
        output.clear();
        EXPECT_EQ(s->get_tile(TILE), nullptr) << "the first call only asks";
        gfx::Image* image = wait_for(*s, TILE);
        EXPECT_TRUE(same_pixels(image, expected)) << ending;
        EXPECT_EQ(s->get_tile(TILE), image);
        EXPECT_EQ(output.out() + output.err(), "GET " + config.url + "/10/544/359" + ending + "\n");
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
    s = service("/corrupt"); // answers 200 with a body that is no image
    output.clear();
    EXPECT_EQ(s->get_tile(TILE), nullptr);
    ASSERT_TRUE(wait_until([&] { return !output.err().empty(); }));
    EXPECT_EQ(output.err().rfind("Could not read z=10, x=544, y=359", 0), 0u) << output.err();
    EXPECT_EQ(s->get_tile_sync(TILE), nullptr);
    EXPECT_TRUE(files_in(dir / "cache").empty());
}

TEST_F(TileServiceTest, ADamagedCacheFileIsFetchedAgainAndReplaced)
{
    const gfx::Image expected = sent();
    auto s = service("", 0);
    support::write_file(dir / "cache" / TILE_FILE, server().get("/imagery/10/544/359.png").body.substr(0, 500));
    server().reset_stats();
    EXPECT_TRUE(same_pixels(s->get_tile_sync(TILE), expected)) << output.err();
    EXPECT_EQ(paths().size(), 1u);
    EXPECT_TRUE(cached(expected));
}

TEST_F(TileServiceTest, NothingIsFetchedAboveMaxZoomNorInTheBackgroundWithoutWorkers)
{
    TileService limited({server().base_url() + "/imagery", TilePattern::ZXY_Y_SOUTH, ".png", "", "", 1, 9, false});
    EXPECT_EQ(limited.get_tile_sync(TILE), nullptr);
    EXPECT_EQ(limited.get_tile(TILE), nullptr);
    EXPECT_NE(wait_for(limited, {9, 272, 179}), nullptr); // behind it on the single worker
    EXPECT_EQ(paths(), std::vector<std::string>{"/imagery/9/272/179.png"});
    server().reset_stats();
    auto s = service("", 0);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(s->get_tile(TILE), nullptr);
    EXPECT_TRUE(paths().empty());
    gfx::Image* image = s->get_tile_sync(TILE);
    EXPECT_TRUE(image != nullptr && s->get_tile(TILE) == image);
}

TEST_F(TileServiceTest, WithoutTheDiskCacheNothingTouchesTheDisk)
{
    const auto cwd_files = files_in(fs::current_path());
    TileService s({server().base_url() + "/imagery", TilePattern::ZXY_Y_SOUTH, ".png", dir / "cache", "", 1, 17, false});
    ASSERT_NE(wait_for(s, TILE), nullptr) << output.err();
    s.remove_tile(TILE);
    ASSERT_NE(wait_for(s, TILE), nullptr) << output.err();
    EXPECT_EQ(paths().size(), 2u) << "fetched over HTTP both times";
    EXPECT_FALSE(fs::exists(dir / "cache"));
    EXPECT_EQ(files_in(fs::current_path()), cwd_files);
}

TEST_F(TileServiceTest, FailuresOfAWorkerAreReportedAndDestructionDropsTheQueue)
{
    // The cache name links to itself: its existence test fails, even for root.
    auto s = service();
    fs::create_symlink(TILE_FILE, dir / "cache" / TILE_FILE);
    output.clear();
    EXPECT_EQ(s->get_tile(TILE), nullptr);
    EXPECT_NE(wait_for(*s, {10, 545, 359}), nullptr) << output.err();
    const std::string err = output.err();
    EXPECT_EQ(err.rfind("Could not load z=10, x=544, y=359: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    output.clear();
    EXPECT_EQ(s->get_tile_sync(TILE), nullptr);
    EXPECT_EQ(output.err().rfind("Could not load z=10, x=544, y=359: ", 0), 0u) << output.err();

    s = service("/slow/300");
    server().reset_stats();
    for (uint32_t x = 0; x < 20; ++x)
        s->get_tile({10, 520 + x, 359});
    ASSERT_TRUE(wait_until([&] { return !paths().empty(); }));
    s.reset();
    EXPECT_EQ(paths().size(), 1u) << "only the fetch under way";
}

// Two services share a cache directory and fetch the same tiles at once, while this thread
// loads and removes some itself: every file ends up whole, and no temporary file is left.
TEST_F(TileServiceTest, ServicesSharingADirectoryLeaveWholeFiles)
{
    auto a = service("", 3), b = service("", 3);
    const auto tile = [](uint32_t i) { return TileId{12, 2170 + i % 4, 1430 + i / 4}; };
    std::vector<std::string> names;
    for (uint32_t i = 0; i < 16; ++i) {
        a->get_tile(tile(i));
        b->get_tile(tile(i));
        names.push_back(to_string(tile(i)) + ".png");
    }
    std::sort(names.begin(), names.end());
    for (uint32_t i = 0; i < 16; i += 5) {
        EXPECT_NE(a->get_tile_sync(tile(i)), nullptr);
        a->remove_tile(tile(i));
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

} // namespace
