// The tile service's disk cache folder: an unusable folder, leftovers of killed writers, and
// the size limit.

#include "tiles/TileService.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "tests/support/Support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class DiskCacheTest : public ::testing::Test {
protected:
    TileServerConfig config(const fs::path& cache_dir) const
    {
        TileServerConfig c;
        c.url = m_server.base_url() + "/imagery";
        c.pattern = TilePattern::ZXY_Y_SOUTH;
        c.file_ending = ".png";
        c.cache_dir = cache_dir;
        c.num_threads = 1;
        return c;
    }

    support::TileServer m_server;
    support::TempDir m_dir{"wh-disk-cache"};
    console::Capture m_console;
};

void set_age(const fs::path& file, std::chrono::minutes age)
{
    fs::last_write_time(file, fs::file_time_type::clock::now() - age);
}

} // namespace

TEST_F(DiskCacheTest, UnusableFolderIsReportedAndTheTilesStillCome)
{
    struct Case {
        const char* what;
        fs::path file;      // a regular file standing in the way
        fs::path cache_dir;
    };
    const std::vector<Case> cases{
        {"the cache folder is a file", m_dir / "cache-1", m_dir / "cache-1"},
        {"a parent is a file", m_dir / "tiles", m_dir / "tiles" / "cache-2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_console.clear();
        support::write_file(c.file, "not a folder");
        TileService service(config(c.cache_dir), HttpOptions{.timeout_ms = 8000});
        EXPECT_EQ(m_console.err(), "No disk cache for " + console::quoted(c.cache_dir) + ": Not a directory\n");
        EXPECT_NE(service.get_tile_sync(TileId{10, 544, 359}), nullptr) << m_console.err();
        EXPECT_EQ(support::read_file(c.file), "not a folder");
    }
}

TEST_F(DiskCacheTest, LeastRecentlyUsedTilesGoAboveTheLimitAndNothingElse)
{
    const fs::path dir = m_dir / "cache";
    fs::create_directories(dir);
    // 15 tiles of 100 KiB, tile i used i minutes before the newest; the limit is 1 MiB, so
    // the 6 oldest go to come 10 % below it.
    const std::string tile_bytes(100 * 1024, 'p');
    std::vector<fs::path> tiles;
    for (int i = 0; i < 15; ++i) {
        tiles.push_back(dir / fmt::format("z=14, x={}, y=5700.png", 8700 + i));
        support::write_file(tiles.back(), tile_bytes);
        set_age(tiles.back(), std::chrono::minutes(100 - i));
    }
    const fs::path foreign = dir / "notes.txt";
    const fs::path odd_name = dir / "z=14, x=08700, y=5700.png";
    const fs::path fresh_temporary = dir / ".z=14, x=1, y=1.png.Ab12Cd";
    const fs::path stale_temporary = dir / ".z=14, x=2, y=1.png.Xy34Zw";
    for (const fs::path& other : {foreign, odd_name, fresh_temporary, stale_temporary}) {
        support::write_file(other, tile_bytes);
        set_age(other, 1000min);
    }
    set_age(fresh_temporary, 1min);

    TileServerConfig c = config(dir);
    c.cache_max_mb = 1;
    TileService service(c);
    EXPECT_NE(m_console.out().find("Tile Cache Size: 1.5 MiB in 15 tiles\n"), std::string::npos) << m_console.out();
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (fs::exists(tiles[5]) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(2ms);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(fs::exists(tiles[i]), i >= 6) << tiles[i];
    EXPECT_TRUE(fs::exists(foreign));
    EXPECT_TRUE(fs::exists(odd_name)) << "not of the cache's own naming";
    EXPECT_TRUE(fs::exists(fresh_temporary)) << "another writer may still be at it";
    EXPECT_FALSE(fs::exists(stale_temporary)) << "left by a killed writer";
}

// A write that fails is said once with its reason; after a write that worked, the next failure
// is said again.
TEST_F(DiskCacheTest, FailedWritesAreSaidOnceUntilWritesWorkAgain)
{
    const fs::path dir = m_dir / "cache";
    DiskCache cache(dir, true, 0);
    const gfx::Image tile = gfx::Image::from_pixels(static_cast<unsigned char*>(std::calloc(256 * 256 * 3, 1)), 256, 256, 3);
    const std::string said = "Could not write tiles to the disk cache " + console::quoted(dir) + ": Not a directory\n";
    for (const std::string& before : {std::string(), said}) {
        fs::remove_all(dir); // working writes, then the folder taken away (as a full disk would be)
        fs::create_directories(dir);
        cache.write(TileId{1, 0, 0}, tile);
        EXPECT_TRUE(fs::exists(cache.path(TileId{1, 0, 0})));
        fs::remove_all(dir);
        support::write_file(dir, "not a folder");
        for (uint32_t x = 0; x < 3; ++x)
            cache.write(TileId{1, x, 1}, tile);
        EXPECT_EQ(m_console.err(), before + said) << "once for three failures, again after writes had worked";
    }
}
