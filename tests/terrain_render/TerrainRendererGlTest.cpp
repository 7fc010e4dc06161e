// The terrain renderer against the local tile server: what a frame selects, requests and leaves
// behind in GL. (What it draws is judged from the program's own pictures.)

#include "terrain/TerrainRenderer.h"

#include <thread>

#include <fmt/format.h>

#include <glm/gtc/type_ptr.hpp>
#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PerspectiveCamera.h"
#include "tests/support/GlContext.h"
#include "tests/support/Support.h"

namespace {

class TerrainTest : public GlTest {
protected:
    // One tile server and renderer for all tests: building it preloads tiles and starts workers.
    struct World {
        support::TempDir dir{"wh-terrain"};
        support::TileServer server;
        Config config;
        std::unique_ptr<TerrainRenderer> renderer;
        World()
        {
            setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
            console::Capture quiet;
            config = load_config(support::make_base_dir(dir, server));
            renderer = std::make_unique<TerrainRenderer>(0.05f, 7, 10, config, config.start_position);
        }
    };

    void SetUp() override
    {
        GlTest::SetUp();
        static World instance;
        world = &instance;
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

    World* world = nullptr;
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

// High up the terrain moves its near plane out for depth precision, and puts the camera's back.
TEST_F(TerrainTest, TheNearPlaneMovesOutHighUpForTheTerrainOnly)
{
    for (const auto& [y, near_plane] : {std::pair{150.0f, 1.0f}, std::pair{100.0f, 0.12f}, std::pair{50.0f, 0.12f}}) {
        render(y, -0.3f);
        glm::mat4 used(0.0f);
        glGetUniformfv(r->shader.id(), glGetUniformLocation(r->shader.id(), "u_proj"), glm::value_ptr(used));
        gfx::PerspectiveCamera expected;
        expected.set_perspective(camera.get_fov(), camera.get_aspect_ratio(), near_plane, 10000.0f);
        EXPECT_NEAR(used[3][2], expected.get_projection()[3][2], 1e-5f) << "at y " << y;
        EXPECT_EQ(camera.get_near(), 0.12f);
    }
}

TEST_F(TerrainTest, TheSelectionFollowsTheCameraAndLeavesOutOfViewAreNotRequested)
{
    r->render_terrain = false;
    render(500.0f, -0.2f); // 10000 m
    EXPECT_EQ(std::tuple(r->last_frame_stats().drawn, r->max_zoom, r->last_frame_stats().sky_drawn), std::tuple(0u, 15u, true));
    EXPECT_GT(r->last_frame_stats().leaves, 4u);
    render(50.0f, -0.2f); // 1000 m
    EXPECT_EQ(r->max_zoom, 17u);
    EXPECT_GT(r->center_coord.lat, world->config.start_position.lat) << "the centre moves ahead, north";

    // Earlier frames' fetches may still be arriving: wait until the server has been quiet.
    for (int64_t before = -1, i = 0; i < 40 && before != world->server.stats().requests; ++i) {
        before = world->server.stats().requests;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    r->render_terrain = r->frustum_culling = true;
    world->server.reset_stats();
    render(40.0f, -0.1f, {9000.0f, 0.0f, 5000.0f}); // a place no other test looks at
    const TerrainFrameStats stats = r->last_frame_stats();
    EXPECT_GT(stats.culled, 0u) << "leaves behind the camera";
    EXPECT_EQ(std::pair(stats.culled + stats.drawn, stats.culled_tiles.size()), std::pair(stats.leaves, size_t(stats.culled)));
    support::wait_until([&] { return world->server.stats().requests >= 2 * int64_t(stats.drawn); }, std::chrono::seconds(10));
    for (const std::string& path : world->server.stats().paths)
        for (const TileId& t : stats.culled_tiles)
            EXPECT_EQ(path.find(fmt::format("/{}/{}/{}.", t.zoom, t.x, t.y)), std::string::npos) << path << " is culled";
}

} // namespace
