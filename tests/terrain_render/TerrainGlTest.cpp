// The texture cache against the local tile server and the sky table, with a real GL context:
// uploads, stand-ins, eviction, the heights a runway laid, and when the table is rebuilt. (What a terrain frame
// leaves behind in GL is AppGlTest's; what it draws is judged from the program's own pictures.)

#include "terrain/Atmosphere.h"
#include "terrain/TerrainRenderer.h"
#include "terrain/TextureCache.h"

#include <algorithm>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/RunwayFile.h"
#include "airports/RunwayGround.h"
#include "airports/RunwayIndex.h"
#include "console/Console.h"
#include "gfx/PerspectiveCamera.h"
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
    static TileServerConfig imagery(const std::string& ending = ".png")
    {
        return {server().base_url() + "/imagery", TilePattern::ZXY_Y_SOUTH, ending, "", "", 2, 17, false};
    }
    console::Capture output;
    HeightStore heights{HeightStoreSettings{
        {server().base_url() + "/elevation/rg", TilePattern::ZXY_Y_SOUTH, ".png", "", "", 2, 15, false},
        ElevationEncoding::RG_ENCODED}};
};

// A tile is uploaded once its service has it, then answered from the GPU; the largest tile is
// preloaded, elevation first, and stands in quietly for its descendants; the least recently used
// texture goes when the cache is full, but only at the next frame.
TEST_F(TextureCacheTest, TilesAreUploadedOnceAndTheLargestStandsInForItsDescendants)
{
    TextureCache cache(imagery(), heights);
    const TileId tile{10, 544, 359};
    gfx::Texture* texture = nullptr;
    ASSERT_TRUE(support::wait_until([&] { return (texture = cache.get_texture(tile, TileKind::TEXTURE)) != nullptr; }));
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
    // Evicted, the least recently used texture lives until the next frame.
    TextureCache small(imagery(".jpg"), heights); // the server makes JPEGs faster than PNGs
    const GLuint first = small.load_texture({9, 200, 150}, TileKind::TEXTURE)->id();
    for (uint32_t i = 1; i <= TextureCache::CAPACITY; ++i)
        ASSERT_NE(small.load_texture({9, 200 + i % 30, 150 + i / 30}, TileKind::TEXTURE), nullptr) << i;
    EXPECT_EQ(std::pair(small.size(), small.find_texture({9, 200, 150}, TileKind::TEXTURE)),
              std::pair(TextureCache::CAPACITY, static_cast<gfx::Texture*>(nullptr))) << "the least recently used went";
    EXPECT_TRUE(glIsTexture(first)) << "but may still be drawn in this frame";
    small.begin_frame();
    EXPECT_FALSE(glIsTexture(first));
}

// Imagery that the server does not have (404 for every tile) will never come: once every leaf
// has asked for it and heard so, the view counts as complete, drawn with what stands in.
TEST_F(TextureCacheTest, TilesThatFailedForGoodDoNotHoldTheViewIncomplete)
{
    TerrainSettings settings;
    settings.origin = START;
    settings.zoom_range = 3;
    settings.shader_dir = std::filesystem::path(WH_SOURCE_DIR) / "assets/shaders";
    settings.imagery_server = imagery();
    settings.imagery_server.url = server().base_url() + "/status/404/imagery";
    TerrainRenderer terrain(settings, heights);
    gfx::PerspectiveCamera camera;
    camera.set_perspective(0.785f, 16.0f / 9.0f, 0.1f, 10000.0f);
    camera.look_at(glm::vec3(0.0f, 150.0f, 0.0f), glm::vec3(400.0f, 0.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    const OffscreenTarget target(64, 36);
    ASSERT_TRUE(support::wait_until([&] {
        terrain.prepare(camera, 36.0f);
        return terrain.frame_complete();
    }, std::chrono::seconds(60))) << terrain.last_frame_stats().imagery_fallback << " leaves without imagery, "
                                  << terrain.last_frame_stats().imagery_failed << " of them failed for good";
    const TerrainFrameStats& stats = terrain.last_frame_stats();
    EXPECT_TRUE(stats.imagery_fallback > 0 && stats.imagery_failed == stats.imagery_fallback) << stats.imagery_fallback;
    EXPECT_EQ(std::pair(stats.elevation_fallback, stats.elevation_failed), std::pair(0u, 0u)) << "the heights came";
}

// The terrain is drawn from the heights a runway laid in the height store: a runway laid 3000 m up,
// far above the valley, is what the uploaded elevation texture holds under it, and the tile's
// height range, which bounds what its leaves may draw, reaches up to it.
TEST_F(TextureCacheTest, TheElevationUploadedIsTheGroundTheRunwaysLaid)
{
    const RunwayIndex runways(parse_runways(fmt::format(
        "airport_ident,le_ident,le_latitude_deg,le_longitude_deg,le_elevation_ft,he_ident,he_latitude_deg,he_longitude_deg,"
        "he_elevation_ft\nHIGH,09,{0},{1},9842.519685,27,{0},{2},9842.519685\n", START.lat, START.lon - 0.005, START.lon + 0.005)).runways);
    HeightStoreSettings settings{{server().base_url() + "/elevation/rg", TilePattern::ZXY_Y_SOUTH, ".png", "", "", 2, 15, false},
                                 ElevationEncoding::RG_ENCODED};
    settings.modifier = [&](const TileId& tile, ElevationSamples& s) { flatten_tile(runways, tile, s.width, s.height, s.metres.data(), {}); };
    HeightStore laid(settings);
    TextureCache cache(imagery(), laid);
    const TileId tile = tile_at(START, 15);
    gfx::Texture* texture = cache.load_texture(tile, TileKind::ELEVATION);
    ASSERT_NE(texture, nullptr);
    std::vector<float> texels(256 * 256);
    texture->bind(0);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_FLOAT, texels.data());
    const TileUV at = position_in_tile(START, tile);
    EXPECT_EQ(std::pair(texels[size_t(at.v * 256) * 256 + size_t(at.u * 256)], cache.height_range(tile)->second),
              std::pair(3000.0f, 3000.0f));
}

TEST_F(GlTest, TheSkyTableIsRebuiltOnlyWhenItsInputsChangeAndRestoresTheState)
{
    const auto atmosphere = std::make_unique<Atmosphere>(AtmosphereSettings{std::filesystem::path(WH_SOURCE_DIR) / "assets/shaders"});
    struct Step { double altitude; void (*change)(Atmosphere&); bool rebuilt; };
    const Step steps[] = {
        {3000.0, [](Atmosphere&) {}, true},                        {3005.0, [](Atmosphere&) {}, false},
        {3100.0, [](Atmosphere&) {}, true},                        {3100.0, [](Atmosphere& a) { a.sun_azimuth = 120.0; }, true},
        {3100.0, [](Atmosphere& a) { a.sun_elevation = 20.0; }, true}, {3100.0, [](Atmosphere& a) { a.view_samples = 8; }, true},
        {3100.0, [](Atmosphere& a) { a.light_samples = 2; }, true}, {3100.0, [](Atmosphere& a) { a.reload(); }, true},
        {3100.0, [](Atmosphere& a) { a.always_compute = true; }, true}, {3100.0, [](Atmosphere&) {}, true},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].change(*atmosphere);
        atmosphere->update_table(steps[i].altitude);
        EXPECT_EQ(atmosphere->table_rebuilt(), steps[i].rebuilt) << "step " << i;
    }
    const OffscreenTarget target(32, 32); // the pass puts back the framebuffer and viewport
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    const char* source = "#version 430 core\nvoid main() { gl_Position = vec4(0.0); }\n";
    const GLuint doomed = glCreateShaderProgramv(GL_VERTEX_SHADER, 1, &source); // a reload may delete the program in use
    glUseProgram(doomed);
    glDeleteProgram(doomed);
    atmosphere->update_table(1000.0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    GLint mode[2] = {}, viewport[4] = {}, framebuffer = 0;
    glGetIntegerv(GL_POLYGON_MODE, mode);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    EXPECT_EQ(std::tuple(mode[0], viewport[2], framebuffer != 0), std::tuple(GL_LINE, 32, true));
}

} // namespace
