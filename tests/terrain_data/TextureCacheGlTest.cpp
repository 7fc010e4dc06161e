// The texture cache against the local tile server, with a real GL context (run under Xvfb).

#include "terrain/TextureCache.h"

#include "console/Console.h"
#include "tests/gfx/GlTestContext.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"
#include "tiles/WebMercator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

const LatLon START{47.2576, 11.3513};

class TextureCacheGlTest : public GlTest {
protected:
    static void SetUpTestSuite()
    {
        GlTest::SetUpTestSuite();
        s_server = new support::TileServer();
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
        GlTest::TearDownTestSuite();
    }
    void SetUp() override
    {
        GlTest::SetUp();
        server().reset_stats();
    }

    static support::TileServer& server() { return *s_server; }

    // Both layers on the local server; no disk cache, so every fetch is an HTTP request.
    Config config(const std::string& elevation_path = "/elevation/rg",
                  ElevationEncoding encoding = ElevationEncoding::RG_ENCODED) const
    {
        Config c;
        c.elevation_encoding = encoding;
        for (TileServerConfig* s : {&c.texture_server, &c.elevation_server}) {
            s->pattern = TilePattern::ZXY_Y_SOUTH;
            s->file_ending = ".png";
            s->num_threads = 2;
            s->cache_on_disk = false;
            s->cache_dir = m_dir / "cache";
        }
        c.texture_server.url = server().base_url() + "/imagery";
        c.texture_server.max_zoom = 17;
        c.elevation_server.url = server().base_url() + elevation_path;
        c.elevation_server.max_zoom = 15;
        return c;
    }

    // What the cache should answer for position: the server's own tile, decoded and sampled.
    static float expected_height(const std::string& layer, TileId tile, LatLon position, ElevationEncoding encoding)
    {
        const std::string path = layer + "/" + std::to_string(tile.zoom) + "/" + std::to_string(tile.x) + "/" +
                                 std::to_string(tile.y) + ".png";
        const support::HttpResult result = server().get(path);
        EXPECT_EQ(result.status, 200) << path;
        const gfx::Image image(reinterpret_cast<const unsigned char*>(result.body.data()), result.body.size());
        EXPECT_TRUE(image.valid()) << path;
        const TileUV uv = position_in_tile(position, tile);
        const float metres = sample_elevation(image.data, image.width, image.height, image.channels,
                                              static_cast<float>(uv.u), static_cast<float>(uv.v), encoding);
        return mercator_height(metres, position.lat);
    }

    // get_texture until the background fetch has landed, at most timeout.
    static gfx::Texture* wait_for_texture(TextureCache& cache, TileId tile, TileKind kind,
                                          std::chrono::milliseconds timeout = 10000ms)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        gfx::Texture* texture = nullptr;
        while ((texture = cache.get_texture(tile, kind)) == nullptr && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        return texture;
    }

    // The console output without the service's "GET " lines.
    std::string out_without_requests() const
    {
        std::string kept;
        const std::string out = m_console.out();
        size_t begin = 0;
        while (begin < out.size()) {
            size_t end = out.find('\n', begin);
            end = end == std::string::npos ? out.size() : end + 1;
            if (out.compare(begin, 4, "GET ") != 0)
                kept += out.substr(begin, end - begin);
            begin = end;
        }
        return kept;
    }

    support::TempDir m_dir{"wh-texcache"};
    console::Capture m_console;

private:
    static inline support::TileServer* s_server = nullptr;
};

TEST_F(TextureCacheGlTest, GetTextureUploadsOnceTheServiceHasTheTile)
{
    const Config c = config();
    TextureCache cache(c);
    const TileId tile{10, 544, 359};
    EXPECT_EQ(cache.find_texture(tile, TileKind::TEXTURE), nullptr);
    gfx::Texture* texture = wait_for_texture(cache, tile, TileKind::TEXTURE);
    ASSERT_NE(texture, nullptr);
    EXPECT_NE(texture->id(), 0u);
    EXPECT_EQ(glIsTexture(texture->id()), GL_TRUE);
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache.find_texture(tile, TileKind::TEXTURE), texture);
    EXPECT_EQ(cache.find_texture(tile, TileKind::ELEVATION), nullptr) << "the layers are separate entries";

    // Later frames are answered from the GPU: no second request reaches the server.
    const int64_t requests = server().stats().requests;
    EXPECT_EQ(cache.get_texture(tile, TileKind::TEXTURE), texture);
    EXPECT_EQ(server().stats().requests, requests);
    EXPECT_EQ(cache.get_texture(tile, static_cast<TileKind>(2)), nullptr) << "an unknown layer never loads";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureCacheGlTest, PreloadPrintsAndLoadsBothLayersOfTheLargestTile)
{
    const Config c = config();
    TextureCache cache(c);
    m_console.clear();
    cache.preload_largest_tile(START, 7);
    const TileId largest = tile_at(START, 7);
    EXPECT_EQ(m_console.out().rfind("Largest Tile: " + to_string(largest) + "\n", 0), 0u) << m_console.out();
    EXPECT_EQ(out_without_requests(), "Largest Tile: " + to_string(largest) + "\n");
    EXPECT_NE(cache.find_texture(largest, TileKind::ELEVATION), nullptr);
    EXPECT_NE(cache.find_texture(largest, TileKind::TEXTURE), nullptr);
    EXPECT_EQ(cache.size(), 2u);
    const auto paths = server().stats().paths;
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], "/elevation/rg/7/68/44.png") << "elevation first";
    EXPECT_EQ(paths[1], "/imagery/7/68/44.png");
}

TEST_F(TextureCacheGlTest, FallbackLoadsTheLargestTileOnceThenFindsIt)
{
    const Config c = config();
    TextureCache cache(c);
    const TileId leaf = tile_at(START, 12);
    UVRect uv;
    TileId id;
    m_console.clear();
    gfx::Texture* texture = cache.find_fallback(leaf, TileKind::TEXTURE, 7, uv, id);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(id, tile_at(START, 7));
    EXPECT_EQ(uv, sub_rectangle(leaf, id));
    EXPECT_EQ(out_without_requests(),
              "Fallback to largest tile: " + to_string(id) + " instead of " + to_string(leaf) + "\n");

    m_console.clear();
    UVRect again;
    TileId again_id;
    EXPECT_EQ(cache.find_fallback(leaf, TileKind::TEXTURE, 7, again, again_id), texture);
    EXPECT_EQ(again_id, id);
    EXPECT_EQ(m_console.out(), "") << "a resident ancestor is used quietly";
    // Intermediate ancestors are never requested.
    for (const std::string& path : server().stats().paths)
        EXPECT_EQ(path, "/imagery/7/68/44.png");
    EXPECT_EQ(server().stats().requests, 1);
}

TEST_F(TextureCacheGlTest, ElevationMatchesTheServerTileInBothEncodings)
{
    struct Case {
        const char* layer;
        ElevationEncoding encoding;
    };
    for (const Case& e : {Case{"/elevation/rg", ElevationEncoding::RG_ENCODED},
                          Case{"/elevation/byte", ElevationEncoding::SINGLE_BYTE}}) {
        SCOPED_TRACE(e.layer);
        const Config c = config(e.layer, e.encoding);
        TextureCache cache(c);
        for (LatLon p : {START, LatLon{47.30, 11.20}, LatLon{46.9, 11.6}}) {
            const float expected = expected_height(e.layer, tile_at(p, 15), p, e.encoding);
            EXPECT_FLOAT_EQ(cache.elevation_at(p, 15, true), expected) << to_string(p);
        }
    }
}

TEST_F(TextureCacheGlTest, NonBlockingElevationUsesCoarserTilesUntilTheFineOneArrives)
{
    const Config c = config();
    TextureCache cache(c);
    const LatLon p{47.21, 11.42};
    // First query: zooms 15 down to 9 are requested, zoom 8 is loaded on the spot.
    const float coarse = cache.elevation_at(p, 15, false);
    EXPECT_FLOAT_EQ(coarse, expected_height("/elevation/rg", tile_at(p, 8), p, ElevationEncoding::RG_ENCODED));

    const float fine = expected_height("/elevation/rg", tile_at(p, 15), p, ElevationEncoding::RG_ENCODED);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    float height = coarse;
    while (height != fine && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(2ms);
        height = cache.elevation_at(p, 15, false);
    }
    EXPECT_FLOAT_EQ(height, fine);
}

TEST_F(TextureCacheGlTest, ElevationOfAnUploadedTileNeedsNoNewFetch)
{
    const Config c = config();
    TextureCache cache(c);
    const LatLon p{47.26, 11.39};
    const TileId tile = tile_at(p, 15);
    ASSERT_NE(wait_for_texture(cache, tile, TileKind::ELEVATION), nullptr);
    server().reset_stats();
    const float expected = expected_height("/elevation/rg", tile, p, ElevationEncoding::RG_ENCODED);
    server().reset_stats();
    EXPECT_FLOAT_EQ(cache.elevation_at(p, 15, false), expected);
    EXPECT_FLOAT_EQ(cache.elevation_at(p, 15, true), expected);
    EXPECT_EQ(server().stats().requests, 0) << "the heights kept with the texture answer";
}

TEST_F(TextureCacheGlTest, NoElevationTileAtAllGivesZero)
{
    const Config c = config("/status/404/elevation/rg");
    TextureCache cache(c);
    EXPECT_EQ(cache.elevation_at(START, 15, true), 0.0f);
    EXPECT_EQ(cache.elevation_at(START, 15, false), 0.0f);
    // A maximum zoom of 0 ends the downward search after zoom 0.
    EXPECT_EQ(cache.elevation_at(START, 0, false), 0.0f);
}

TEST_F(TextureCacheGlTest, FailedLastResortIsNotRetriedByEveryNonBlockingQuery)
{
    const Config c = config("/status/404/elevation/rg");
    TextureCache cache(c);
    const auto zoom8_requests = [] {
        int64_t n = 0;
        for (const std::string& path : server().stats().paths)
            if (path.find("/elevation/rg/8/") != std::string::npos)
                ++n;
        return n;
    };
    for (int frame = 0; frame < 5; ++frame)
        EXPECT_EQ(cache.elevation_at(START, 15, false), 0.0f);
    EXPECT_EQ(zoom8_requests(), 1);
    // Nor by a blocking query (placing the aircraft): a 404 is final for the run.
    EXPECT_EQ(cache.elevation_at(START, 15, true), 0.0f);
    EXPECT_EQ(cache.elevation_at(START, 15, false), 0.0f);
    EXPECT_EQ(zoom8_requests(), 1);
}

TEST_F(TextureCacheGlTest, ZeroMaximumZoomEndsTheSearchAndFallsBackToZoomEight)
{
    const Config c = config();
    TextureCache cache(c);
    const float expected = expected_height("/elevation/rg", tile_at(START, 8), START, ElevationEncoding::RG_ENCODED);
    EXPECT_FLOAT_EQ(cache.elevation_at(START, 0, false), expected);
}

TEST_F(TextureCacheGlTest, EvictedTexturesLiveUntilTheNextFrame)
{
    Config c = config();
    c.texture_server.file_ending = ".jpg"; // the server makes these faster than PNGs
    TextureCache cache(c);
    // 500 distinct zoom-9 imagery tiles fill the cache.
    std::vector<TileId> tiles;
    for (uint32_t i = 0; i < 501; ++i)
        tiles.push_back({9, 200 + i % 30, 150 + i / 30});
    gfx::Texture* first = cache.load_texture(tiles[0], TileKind::TEXTURE);
    ASSERT_NE(first, nullptr);
    const GLuint first_id = first->id();
    for (size_t i = 1; i < 500; ++i)
        ASSERT_NE(cache.load_texture(tiles[i], TileKind::TEXTURE), nullptr) << i;
    EXPECT_EQ(cache.size(), 500u);

    gfx::Texture* newest = cache.load_texture(tiles[500], TileKind::TEXTURE);
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(cache.size(), 500u);
    EXPECT_EQ(cache.find_texture(tiles[0], TileKind::TEXTURE), nullptr) << "the least recently used went";
    // Still drawable in this frame...
    EXPECT_EQ(first->id(), first_id);
    EXPECT_EQ(glIsTexture(first_id), GL_TRUE);
    // ...and deleted at the next frame's start.
    cache.begin_frame();
    EXPECT_EQ(glIsTexture(first_id), GL_FALSE);
    EXPECT_EQ(glIsTexture(newest->id()), GL_TRUE);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
