#include "terrain/TerrainRenderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <glm/ext/matrix_clip_space.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/Image.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PerspectiveCamera.h"
#include "tests/gfx/GlTestContext.h"
#include "tests/support/BaseDir.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"
#include "tiles/WebMercator.h"

namespace {

// One tile server, tile cache and renderer for the whole suite: building the renderer
// preloads tiles and starts four worker threads.
struct World {
    support::TempDir dir{"wh-terrain-gl"};
    support::TileServer server;
    Config config;
    std::unique_ptr<TerrainRenderer> renderer;
    std::string construction_output;

    World()
    {
        const std::filesystem::path base = support::make_base_dir(dir, server);
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        console::Capture capture;
        config = load_config(base);
        renderer = std::make_unique<TerrainRenderer>(0.05f, 7, 10, config, config.start_position);
        construction_output = capture.out();
    }
};

class TerrainRendererGl : public GlTest {
protected:
    static void SetUpTestSuite()
    {
        GlTest::SetUpTestSuite();
        if (context().ok()) {
            world() = new World();
        }
    }
    static void TearDownTestSuite()
    {
        delete world();
        world() = nullptr;
    }
    static World*& world()
    {
        static World* instance = nullptr;
        return instance;
    }

    void SetUp() override
    {
        GlTest::SetUp();
        ASSERT_NE(world(), nullptr);
        r = world()->renderer.get();
        // Every test starts from the defaults it may change.
        r->wireframe = false;
        r->render_terrain = true;
        r->render_atmosphere = true;
        r->frustum_culling = false;
        r->manual_zoom = false;
        r->fallback = true;
        camera.set_perspective(0.7853982f, 16.0f / 9.0f, 0.12f, 10000.0f);
        place_camera(150.0f, -0.35f);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_FRONT);
    }

    // Above the origin at world height y, pitched by the angle (radians, negative looks down),
    // heading north.
    void place_camera(float y, float pitch)
    {
        camera.set_position(glm::vec3(0.0f, y, 0.0f));
        camera.set_rotation(glm::vec3(pitch, 0.0f, 0.0f));
    }

    void render(OffscreenTarget& target)
    {
        target.clear(0.2f, 0.29803923f, 0.29803923f);
        glViewport(0, 0, target.width(), target.height());
        r->render(camera, light.get_view_projection());
    }

    // Renders until a frame draws every leaf with its own tiles, at most for the time given.
    bool render_until_complete(OffscreenTarget& target, std::chrono::seconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        int complete_in_a_row = 0;
        while (std::chrono::steady_clock::now() < end) {
            render(target);
            complete_in_a_row = r->frame_complete() ? complete_in_a_row + 1 : 0;
            if (complete_in_a_row >= 2) {
                return true;
            }
        }
        return false;
    }

    glm::mat4 terrain_projection_uniform() const
    {
        glm::mat4 projection(0.0f);
        const GLint location = glGetUniformLocation(r->shader.id(), "u_proj");
        glGetUniformfv(r->shader.id(), location, glm::value_ptr(projection));
        return projection;
    }

    TerrainRenderer* r = nullptr;
    gfx::PerspectiveCamera camera;
    gfx::OrthoCamera light{-1.0f, 1.0f, -1.0f, 1.0f, 0.01f, 15.0f};
};

TEST_F(TerrainRendererGl, ConstructionPreloadsTheLargestTile)
{
    const TileId largest = tile_at(world()->config.start_position, 7);
    EXPECT_NE(world()->construction_output.find("Largest Tile: " + to_string(largest) + "\n"), std::string::npos)
        << world()->construction_output;
    EXPECT_NE(r->texture_cache.find_texture(largest, TileKind::TEXTURE), nullptr);
    EXPECT_NE(r->texture_cache.find_texture(largest, TileKind::ELEVATION), nullptr);
    EXPECT_EQ(r->chunk.index_count, 6534u);
    EXPECT_EQ(r->chunk.edge_vertex_count, 32u);
    EXPECT_EQ(r->base_zoom, 7u);
    EXPECT_EQ(r->min_zoom, 7u);
    EXPECT_DOUBLE_EQ(r->scaling_factor, 0.05000000074505806);
    EXPECT_NE(r->shader.id(), 0u) << "the terrain program builds";
}

TEST_F(TerrainRendererGl, PolygonModeIsFillAfterRenderWithAndWithoutWireframe)
{
    OffscreenTarget target(64, 36);
    for (bool wireframe : {true, false, true}) {
        r->wireframe = wireframe;
        render(target);
        GLint mode[2] = {0, 0};
        glGetIntegerv(GL_POLYGON_MODE, mode);
        EXPECT_EQ(mode[0], GL_FILL) << "wireframe " << wireframe;
        GLint sampler = -1;
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_SAMPLER_BINDING, &sampler);
        EXPECT_EQ(sampler, 0) << "the imagery sampler is unbound again";
        EXPECT_EQ(r->last_frame_stats().sky_drawn, !wireframe) << "wireframe suppresses the sky";
        EXPECT_GT(r->last_frame_stats().drawn, 0u);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TerrainRendererGl, SkyLeavesCullFrontAndDepthLess)
{
    OffscreenTarget target(64, 36);
    glCullFace(GL_BACK);
    glDepthFunc(GL_ALWAYS);
    render(target);
    GLint cull = 0;
    GLint depth = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &cull);
    glGetIntegerv(GL_DEPTH_FUNC, &depth);
    EXPECT_EQ(cull, GL_FRONT);
    EXPECT_EQ(depth, GL_LESS);
}

TEST_F(TerrainRendererGl, NearPlaneIsLiftedAboveOneHundredUnitsAndRestored)
{
    struct Case {
        float y;
        float near_during_terrain;
    };
    OffscreenTarget target(64, 36);
    for (const Case c : {Case{150.0f, 1.0f}, Case{50.0f, 0.12f}, Case{100.0f, 0.12f}, Case{100.5f, 1.0f}}) {
        place_camera(c.y, -0.3f);
        render(target);
        EXPECT_FLOAT_EQ(camera.get_near(), 0.12f) << "camera's own near plane is back, y " << c.y;
        gfx::PerspectiveCamera expected;
        expected.set_perspective(camera.get_fov(), camera.get_aspect_ratio(), c.near_during_terrain, 10000.0f);
        const glm::mat4 used = terrain_projection_uniform();
        EXPECT_NEAR(used[3][2], expected.get_projection()[3][2], 1e-5f) << "terrain projection at y " << c.y;
        EXPECT_NEAR(used[2][2], expected.get_projection()[2][2], 1e-6f) << "terrain projection at y " << c.y;
    }
}

TEST_F(TerrainRendererGl, WithoutTerrainTheSelectionStillRunsAndTheSkyIsDrawn)
{
    OffscreenTarget target(64, 36);
    r->render_terrain = false;
    place_camera(500.0f, -0.2f); // 10000 m: automatic max zoom 15
    render(target);
    EXPECT_EQ(r->last_frame_stats().drawn, 0u);
    EXPECT_GT(r->last_frame_stats().leaves, 4u);
    EXPECT_EQ(r->max_zoom, 15u);
    EXPECT_TRUE(r->last_frame_stats().sky_drawn);
    const std::vector<uint8_t> bottom = target.pixel(32, 2);
    EXPECT_FALSE(bottom[0] == 51 && bottom[1] == 76 && bottom[2] == 76) << "the sky covers the whole frame";

    place_camera(50.0f, -0.2f); // 1000 m: 17
    render(target);
    EXPECT_EQ(r->max_zoom, 17u);
    const LatLon centre = r->center_coord;
    EXPECT_GT(centre.lat, world()->config.start_position.lat) << "the centre moves ahead, northwards";
}

TEST_F(TerrainRendererGl, FrustumCullingSkipsLeavesOutOfViewAndDoesNotRequestThem)
{
    OffscreenTarget target(64, 36);
    place_camera(40.0f, -0.1f);
    r->frustum_culling = false;
    render(target);
    const TerrainFrameStats all = r->last_frame_stats();
    EXPECT_EQ(all.culled, 0u);
    EXPECT_EQ(all.drawn, all.leaves);

    // Let the fetches of earlier frames finish (the server's count holds still for a while),
    // so that whatever reaches the server from now on was asked for by the next frame.
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int64_t previous = -1;
        auto quiet_since = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() < end) {
            const int64_t now_count = world()->server.stats().requests;
            if (now_count != previous) {
                previous = now_count;
                quiet_since = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - quiet_since > std::chrono::milliseconds(1500)) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    // Look at a fresh place so that no tile of it was requested before.
    camera.set_position(glm::vec3(9000.0f, 40.0f, 5000.0f));
    r->frustum_culling = true;
    world()->server.reset_stats();
    render(target);
    const TerrainFrameStats culled = r->last_frame_stats();
    EXPECT_GT(culled.culled, 0u) << "leaves behind the camera";
    EXPECT_EQ(culled.culled + culled.drawn, culled.leaves);
    ASSERT_EQ(culled.culled_tiles.size(), culled.culled);

    // Wait (bounded) for the requests this frame started, then make sure none was for a
    // culled leaf.
    std::set<std::string> culled_paths;
    for (const TileId& tile : culled.culled_tiles) {
        culled_paths.insert(fmt::format("/{}/{}/{}", tile.zoom, tile.x, tile.y));
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    support::TileServerStats stats;
    do {
        stats = world()->server.stats();
    } while (stats.requests < 2 * static_cast<int64_t>(culled.drawn) && std::chrono::steady_clock::now() < end);
    for (const std::string& path : stats.paths) {
        for (const std::string& culled_path : culled_paths) {
            EXPECT_EQ(path.find(culled_path + "."), std::string::npos) << path << " belongs to a culled leaf";
        }
    }
}

// With WH_TERRAIN_TEST_PICTURES set to a directory, the settled view is written there as PNG
// for a person to look at.
void save_picture(const OffscreenTarget& target, const std::string& name)
{
    const char* dir = std::getenv("WH_TERRAIN_TEST_PICTURES");
    if (dir == nullptr) {
        return;
    }
    const int w = target.width();
    const int h = target.height();
    auto* pixels = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(w) * h * 3));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::vector<uint8_t> p = target.pixel(x, h - 1 - y);
            std::copy(p.begin(), p.begin() + 3, pixels + (static_cast<size_t>(y) * w + x) * 3);
        }
    }
    const gfx::Image image = gfx::Image::from_pixels(pixels, w, h, 3);
    const std::vector<unsigned char> png = gfx::encode_png(image);
    support::write_file(std::filesystem::path(dir) / (name + ".png"),
                        std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
}

TEST_F(TerrainRendererGl, ViewSettlesAndShowsSkyAboveAndLitGroundBelow)
{
    OffscreenTarget target(160, 90);
    place_camera(150.0f, -0.25f);
    ASSERT_TRUE(render_until_complete(target, std::chrono::seconds(60))) << "tiles arrive from the local server";
    if (std::getenv("WH_TERRAIN_TEST_PICTURES") != nullptr) {
        OffscreenTarget large(960, 540);
        render_until_complete(large, std::chrono::seconds(60));
        save_picture(large, "settled_150");
        place_camera(70.0f, -0.05f);
        render_until_complete(large, std::chrono::seconds(60));
        save_picture(large, "settled_70");
        place_camera(500.0f, -0.3f);
        render_until_complete(large, std::chrono::seconds(60));
        save_picture(large, "settled_500");
        place_camera(150.0f, -0.25f);
        render_until_complete(target, std::chrono::seconds(60));
    }
    const TerrainFrameStats stats = r->last_frame_stats();
    EXPECT_EQ(stats.imagery_fallback, 0u);
    EXPECT_EQ(stats.elevation_fallback, 0u);

    const std::vector<uint8_t> sky = target.pixel(80, 88);
    EXPECT_GT(sky[2], sky[0]) << "blue at the top";
    int ground_variation = 0;
    std::vector<uint8_t> previous = target.pixel(0, 10);
    for (int x = 4; x < 160; x += 4) {
        const std::vector<uint8_t> p = target.pixel(x, 10);
        EXPECT_FALSE(p[0] == 51 && p[1] == 76 && p[2] == 76) << "no hole at x " << x;
        EXPECT_FALSE(p[0] > 200 && p[1] < 60 && p[2] > 200) << "no magenta at x " << x;
        ground_variation += std::abs(p[0] - previous[0]) + std::abs(p[1] - previous[1]);
        previous = p;
    }
    EXPECT_GT(ground_variation, 40) << "the ground shows imagery and relief, not a flat colour";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TerrainRendererGl, ElevationAtTheOriginIsAboveSeaLevel)
{
    const double blocking = r->get_elevation(0.0, 0.0, true);
    EXPECT_GT(blocking, 0.0);
    EXPECT_LT(blocking, 8191.875 / std::cos(47.3 * DEG_TO_RAD));
    EXPECT_DOUBLE_EQ(r->get_elevation(0.0, 0.0, true), blocking) << "the same tile answers the same";
}

TEST_F(TerrainRendererGl, ReloadPrintsOnceBothProgramsRebuilt)
{
    console::Capture capture;
    EXPECT_TRUE(r->reload_shaders());
    EXPECT_EQ(capture.out(), "Reloaded terrain shaders!\n");
    EXPECT_EQ(capture.err(), "");
}

TEST_F(TerrainRendererGl, SunDirectionFollowsTheAtmosphere)
{
    r->atmosphere.sun_elevation = 90.0;
    const glm::vec3 up = r->get_sun_direction();
    EXPECT_NEAR(up.y, 1.0f, 1e-6f);
    r->atmosphere.sun_elevation = 50.0;
    r->atmosphere.sun_azimuth = 90.0;
    const glm::dvec3 d = r->atmosphere.get_sun_direction();
    EXPECT_EQ(static_cast<float>(d.z), r->get_sun_direction().z);
    EXPECT_NEAR(d.z, 0.643, 1e-3);
}

} // namespace
