// The texture cache against the local tile server, with a real GL context.

#include "terrain/TextureCache.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "tests/support/GlContext.h"
#include "tests/support/Support.h"
#include "tiles/WebMercator.h"

namespace {

const LatLon START{47.2576, 11.3513};

support::TileServer& server()
{
    static support::TileServer instance;
    return instance;
}

class TextureCacheTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        server().reset_stats();
    }
    // Both layers from the local server without a disk cache: every fetch is a request.
    Config config(const std::string& elevation = "/elevation/rg", ElevationEncoding encoding = ElevationEncoding::RG_ENCODED)
    {
        Config c;
        c.elevation_encoding = encoding;
        c.texture_server = {server().base_url() + "/imagery", TilePattern::ZXY_Y_SOUTH, ".png", "", "", 2, 17, false};
        c.elevation_server = {server().base_url() + elevation, TilePattern::ZXY_Y_SOUTH, ".png", "", "", 2, 15, false};
        return c;
    }
    // The height the server's own tile of the zoom gives at the position, in Mercator metres.
    float height(LatLon p, uint32_t zoom, const std::string& layer = "/elevation/rg", ElevationEncoding e = ElevationEncoding::RG_ENCODED)
    {
        const TileId t = tile_at(p, zoom);
        const std::string body = server().get(layer + "/" + std::to_string(zoom) + "/" + std::to_string(t.x) + "/" + std::to_string(t.y) + ".png").body;
        const gfx::Image image(reinterpret_cast<const unsigned char*>(body.data()), body.size());
        const TileUV uv = position_in_tile(p, t);
        return mercator_height(sample_elevation(image.data, image.width, image.height, 3, float(uv.u), float(uv.v), e), p.lat);
    }
    int64_t requests_for(const std::string& part)
    {
        const auto paths = server().stats().paths;
        return std::count_if(paths.begin(), paths.end(), [&](const std::string& p) { return p.find(part) != p.npos; });
    }

    console::Capture output;
};

// A tile is uploaded once its service has it, then answered from the GPU; the largest tile is
// preloaded, elevation first, and stands in quietly for its descendants.
TEST_F(TextureCacheTest, TilesAreUploadedOnceAndTheLargestStandsInForItsDescendants)
{
    const Config c = config();
    TextureCache cache(c);
    const TileId tile{10, 544, 359};
    gfx::Texture* texture = nullptr;
    ASSERT_TRUE(support::wait_until([&] { return (texture = cache.get_texture(tile, TileKind::TEXTURE)) != nullptr; }));
    EXPECT_TRUE(glIsTexture(texture->id()));
    EXPECT_EQ(std::pair(cache.find_texture(tile, TileKind::TEXTURE), cache.find_texture(tile, TileKind::ELEVATION)),
              std::pair(texture, static_cast<gfx::Texture*>(nullptr)));
    server().reset_stats();
    EXPECT_EQ(cache.get_texture(tile, TileKind::TEXTURE), texture);
    output.clear();
    cache.preload_largest_tile(START, 7);
    EXPECT_EQ(output.out().rfind("Largest Tile: z=7, x=68, y=44\n", 0), 0u) << output.out();
    EXPECT_EQ(server().stats().paths, (std::vector<std::string>{"/elevation/rg/7/68/44.png", "/imagery/7/68/44.png"}));
    EXPECT_EQ(cache.size(), 3u);
    UVRect uv;
    TileId id;
    output.clear();
    const TileId far{12, 2190, 1420}; // inside the zoom-7 tile, not the zoom-10 one
    EXPECT_EQ(cache.find_fallback(far, TileKind::TEXTURE, 7, uv, id), cache.find_texture({7, 68, 44}, TileKind::TEXTURE));
    EXPECT_EQ(std::pair(id, uv), std::pair(TileId{7, 68, 44}, sub_rectangle(far, {7, 68, 44})));
    EXPECT_EQ(std::pair(output.out(), server().stats().requests), std::pair(std::string(), int64_t(2))) << "quietly, no new request";
}

TEST_F(TextureCacheTest, ElevationIsTheServerTilesHeight)
{
    for (const auto& [layer, encoding] : {std::pair{"/elevation/rg", ElevationEncoding::RG_ENCODED},
                                          std::pair{"/elevation/byte", ElevationEncoding::SINGLE_BYTE}}) {
        const Config c = config(layer, encoding);
        EXPECT_FLOAT_EQ(TextureCache(c).elevation_at(START, 15, true), height(START, 15, layer, encoding)) << layer;
    }
    // Without blocking, the zoom-8 tile answers at once and the fine one once it has arrived.
    const Config c = config();
    TextureCache cache(c);
    const LatLon p{47.21, 11.42};
    EXPECT_FLOAT_EQ(cache.elevation_at(p, 15, false), height(p, 8));
    EXPECT_TRUE(support::wait_until([&] { return cache.elevation_at(p, 15, false) == height(p, 15); }));
    // An uploaded tile answers from the heights kept with its texture.
    ASSERT_TRUE(support::wait_until([&] { return cache.get_texture(tile_at(p, 14), TileKind::ELEVATION); }));
    server().reset_stats();
    EXPECT_FLOAT_EQ(cache.elevation_at(p, 14, true), height(p, 14));
    EXPECT_EQ(requests_for("/elevation/rg/14/"), 1) << "only the test's own request";

    const Config missing = config("/status/404/elevation/rg");
    TextureCache none(missing);
    for (int frame = 0; frame < 5; ++frame)
        EXPECT_EQ(none.elevation_at(START, 15, false), 0.0f);
    EXPECT_EQ(std::pair(none.elevation_at(START, 0, false), requests_for("/elevation/rg/8/")), std::pair(0.0f, int64_t(1)))
        << "a last resort that failed is not asked for every frame";
}

TEST_F(TextureCacheTest, EvictedTexturesLiveUntilTheNextFrame)
{
    Config c = config();
    c.texture_server.file_ending = ".jpg"; // the server makes these faster than PNGs
    TextureCache cache(c);
    const GLuint first = cache.load_texture({9, 200, 150}, TileKind::TEXTURE)->id();
    for (uint32_t i = 1; i <= TextureCache::CAPACITY; ++i)
        ASSERT_NE(cache.load_texture({9, 200 + i % 30, 150 + i / 30}, TileKind::TEXTURE), nullptr) << i;
    EXPECT_EQ(std::pair(cache.size(), cache.find_texture({9, 200, 150}, TileKind::TEXTURE)),
              std::pair(TextureCache::CAPACITY, static_cast<gfx::Texture*>(nullptr))) << "the least recently used went";
    EXPECT_TRUE(glIsTexture(first)) << "but may still be drawn in this frame";
    cache.begin_frame();
    EXPECT_FALSE(glIsTexture(first));
}

} // namespace
