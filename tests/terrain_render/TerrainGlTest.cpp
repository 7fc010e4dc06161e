// The texture cache and the terrain renderer against the local tile server, with a real GL
// context: uploads, stand-ins, heights, eviction, what a frame leaves behind in GL, and when the
// sky table is rebuilt. (What they draw is judged from the program's own pictures.)

#include "terrain/TerrainRenderer.h"
#include "terrain/TextureCache.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/OrthoCamera.h"
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

class TerrainTest : public GlTest {
protected:
    // One tile server and renderer for all tests: building it preloads tiles and starts workers.
    struct World {
        support::TempDir dir{"wh-terrain"};
        Config config;
        std::unique_ptr<TerrainRenderer> renderer;
        World()
        {
            setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
            console::Capture quiet;
            config = load_config(support::make_base_dir(dir, server()));
            renderer = std::make_unique<TerrainRenderer>(0.05f, 7, 10, config, config.start_position);
        }
    };

    void SetUp() override
    {
        GlTest::SetUp();
        static World instance;
        r = instance.renderer.get();
        r->wireframe = r->frustum_culling = false;
        r->render_terrain = true;
        camera.set_perspective(0.7853982f, 16.0f / 9.0f, 0.12f, 10000.0f);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
    }
    // From world height y over the origin, looking north, pitched (negative: down).
    void render(float y, float pitch, glm::vec3 position = {})
    {
        camera.set_position(position + glm::vec3(0.0f, y, 0.0f));
        camera.set_rotation(glm::vec3(pitch, 0.0f, 0.0f));
        OffscreenTarget target(64, 36);
        target.clear(0.2f, 0.29803923f, 0.29803923f);
        r->render(camera, gfx::OrthoCamera(-1.0f, 1.0f, -1.0f, 1.0f, 0.01f, 15.0f).get_view_projection());
    }

    TerrainRenderer* r = nullptr;
    gfx::PerspectiveCamera camera;
    console::Capture output;
};

TEST_F(TerrainTest, AFrameLeavesFillModeAndTheSkysStateWhateverCameBefore)
{
    for (bool wireframe : {true, false}) {
        r->wireframe = wireframe;
        glCullFace(GL_BACK);
        glDepthFunc(GL_ALWAYS);
        render(150.0f, -0.35f);
        GLint mode[2] = {}, sampler = -1, cull = 0, depth = 0;
        glGetIntegerv(GL_POLYGON_MODE, mode);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_SAMPLER_BINDING, &sampler);
        glGetIntegerv(GL_CULL_FACE_MODE, &cull);
        glGetIntegerv(GL_DEPTH_FUNC, &depth);
        EXPECT_EQ(std::tuple(mode[0], sampler, r->last_frame_stats().sky_drawn), std::tuple(GL_FILL, 0, !wireframe));
        EXPECT_TRUE(wireframe || (cull == GL_FRONT && depth == GL_LESS));
        EXPECT_GT(r->last_frame_stats().drawn, 0u);
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlTest, TheSkyTableIsRebuiltOnlyWhenItsInputsChangeAndRestoresTheState)
{
    Config config;
    config.base_path = WH_SOURCE_DIR;
    const auto atmosphere = std::make_unique<Atmosphere>(config);
    struct Step { double altitude; void (*change)(Atmosphere&); bool rebuilt; };
    const Step steps[] = {
        {3000.0, [](Atmosphere&) {}, true},                        {3005.0, [](Atmosphere&) {}, false},
        {3100.0, [](Atmosphere&) {}, true},                        {3100.0, [](Atmosphere& a) { a.sun_azimuth = 120.0; }, true},
        {3100.0, [](Atmosphere& a) { a.sun_elevation = 20.0; }, true}, {3100.0, [](Atmosphere& a) { a.view_samples = 8; }, true},
        {3100.0, [](Atmosphere& a) { a.light_samples = 2; }, true}, {3100.0, [](Atmosphere& a) { a.reload(); }, true},
        {3100.0, [](Atmosphere&) {}, false},                       {3100.0, [](Atmosphere& a) { a.always_compute = true; }, true},
        {3100.0, [](Atmosphere&) {}, true},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].change(*atmosphere);
        atmosphere->update_table(steps[i].altitude);
        EXPECT_EQ(atmosphere->table_rebuilt(), steps[i].rebuilt) << "step " << i;
    }
    OffscreenTarget target(32, 32);
    GLint framebuffer = 0, after = 0, viewport[4] = {}, active = 0, mode[2] = {};
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    glActiveTexture(GL_TEXTURE3);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    const char* source = "#version 430 core\nvoid main() { gl_Position = vec4(0.0); }\n";
    const GLuint doomed = glCreateShaderProgramv(GL_VERTEX_SHADER, 1, &source); // a reload may delete the program in use
    glUseProgram(doomed);
    glDeleteProgram(doomed);
    atmosphere->update_table(1000.0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &after);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_POLYGON_MODE, mode);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    EXPECT_EQ(std::tuple(after, viewport[2], viewport[3], active, mode[0]), std::tuple(framebuffer, 32, 32, GL_TEXTURE3, GL_LINE));
}

} // namespace
