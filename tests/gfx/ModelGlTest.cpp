// The shipped aircraft drawn by a real driver with the scene's shaders: all of it on the
// screen in its own colours, lit by the sun from above, and its shadow on the ground.

#include <cmath>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/Model.h"
#include "gfx/ModelRenderer.h"
#include "gfx/ModelRig.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PerspectiveCamera.h"
#include "gfx/ShaderSet.h"
#include "gfx/gl/gl.h"
#include "tests/support/GlContext.h"

namespace {

constexpr int WIDTH = 256, HEIGHT = 192;
constexpr float GROUND_Y = -1.46f; // where the shipped model's tyres touch

using Picture = std::vector<uint8_t>; // RGBA rows

double luminance(const uint8_t* p) { return 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]; }

class ModelDrawing : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        console::Capture quiet;
        shaders = std::make_unique<gfx::ShaderSet>(std::filesystem::path(WH_SOURCE_DIR) / "assets/shaders");
        ASSERT_EQ(quiet.err(), "");
        gfx::ModelLoad load = gfx::load_model(std::filesystem::path(WH_SOURCE_DIR) / "assets/models/trainer.glb");
        ASSERT_TRUE(load.model) << load.error;
        model = std::move(*load.model);
        renderer = std::make_unique<gfx::ModelRenderer>(model);
        gfx::ModelRig(model, {}).pose({}, pose);
        lighting.sun_direction = glm::normalize(glm::vec3(0.3f, 1.0f, 0.2f));
        // The sun's view of a 16 m square around the aircraft, from 20 m away.
        light = gfx::OrthoCamera(-8.0f, 8.0f, -8.0f, 8.0f, 0.0f, 40.0f);
        light.look_at(20.0f * lighting.sun_direction, glm::vec3(0.0f), glm::vec3(0.0f, 0.0f, -1.0f));
        lighting.light_space = light.get_view_projection();
    }

    // The picture of draw from a camera at eye looking at the origin, on black.
    Picture picture(const glm::vec3& eye, const std::function<void(const gfx::Camera&)>& draw) const
    {
        const OffscreenTarget target(WIDTH, HEIGHT, true);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        gfx::PerspectiveCamera camera;
        camera.set_perspective(0.8f, float(WIDTH) / HEIGHT, 0.1f, 100.0f);
        camera.look_at(eye, glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
        draw(camera);
        Picture pixels(size_t(WIDTH) * HEIGHT * 4);
        glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        return pixels;
    }

    void draw_model(const gfx::Camera& camera) const { renderer->draw(*shaders, camera, lighting, glm::mat4(1.0f), pose); }

    // A grey ground plane under the wheels with the scene's mesh shader, shadowed by the map.
    void draw_ground(const gfx::Camera& camera, const gfx::Texture& shadow_map) const
    {
        const std::vector<float> quad = {-9, GROUND_Y, -9, 0, 1, 0, 9, GROUND_Y, -9, 0, 1, 0, -9, GROUND_Y, 9, 0, 1, 0, 9, GROUND_Y, 9, 0, 1, 0};
        gfx::VertexArray vertex_array;
        gfx::Buffer buffer;
        vertex_array.bind();
        buffer.bind();
        buffer.set_data(quad, GL_STATIC_DRAW);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), nullptr);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), reinterpret_cast<const void*>(3 * sizeof(float)));
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        const gfx::Shader& mesh = shaders->mesh();
        mesh.use();
        mesh.set_mat4("u_model", glm::mat4(1.0f));
        mesh.set_mat4("u_view", camera.get_view());
        mesh.set_mat4("u_proj", camera.get_projection());
        mesh.set_vec3("u_color", glm::vec3(0.8f));
        mesh.set_vec3("u_sun_direction", lighting.sun_direction);
        mesh.set_int("u_shadows_enabled", 1);
        mesh.set_mat4("u_light_space_matrix", lighting.light_space);
        shadow_map.bind(3);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glActiveTexture(GL_TEXTURE0);
        gfx::VertexArray::unbind();
    }

    // A 512 x 512 depth map seen from the sun, holding the aircraft when with_aircraft is set.
    gfx::Texture shadow_map(bool with_aircraft) const
    {
        gfx::Texture map;
        map.bind();
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, 512, 512, 0, GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
        gfx::Texture::set_parameter(GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        gfx::Texture::set_parameter(GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        gfx::Framebuffer framebuffer;
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.id());
        glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, map.id(), 0);
        glDrawBuffer(GL_NONE);
        glViewport(0, 0, 512, 512);
        glClear(GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        if (with_aircraft)
            renderer->draw_depth(*shaders, light, glm::mat4(1.0f), pose);
        glDisable(GL_DEPTH_TEST);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return map;
    }

    std::unique_ptr<gfx::ShaderSet> shaders;
    gfx::Model model;
    std::unique_ptr<gfx::ModelRenderer> renderer;
    gfx::ModelPose pose;
    gfx::SceneLighting lighting;
    gfx::OrthoCamera light;
};

TEST_F(ModelDrawing, TheAircraftIsDrawnInItsColoursLitFromAboveAndCastsItsShadow)
{
    // From above, all of it in the picture in its own colours (no magenta anywhere, no part
    // drawn black); from below, its undersides turned away from the sun, darker.
    const Picture above = picture({5.0f, 9.0f, 8.0f}, [&](const gfx::Camera& c) { draw_model(c); });
    const Picture below = picture({5.0f, -9.0f, 8.0f}, [&](const gfx::Camera& c) { draw_model(c); });
    const auto survey = [](const Picture& p) {
        struct { int drawn = 0, magenta = 0, border = 0; double light = 0.0; } s;
        for (int i = 0; i < WIDTH * HEIGHT; ++i) {
            const uint8_t* px = &p[size_t(i) * 4];
            const bool edge = i % WIDTH == 0 || i % WIDTH == WIDTH - 1 || i / WIDTH == 0 || i / WIDTH == HEIGHT - 1;
            if (px[0] + px[1] + px[2] == 0)
                continue;
            ++s.drawn;
            s.light += luminance(px);
            s.magenta += px[0] > 200 && px[2] > 200 && px[1] < 60;
            s.border += edge;
        }
        s.light /= std::max(s.drawn, 1);
        return s;
    };
    const auto top = survey(above), bottom = survey(below);
    EXPECT_GT(top.drawn, WIDTH * HEIGHT / 20) << "pixels of the aircraft";
    EXPECT_EQ(std::tuple(top.magenta, bottom.magenta, top.border), std::tuple(0, 0, 0)) << "no magenta, and nothing cut off";
    EXPECT_GT(top.light, 1.5 * bottom.light) << "sunlit " << top.light << ", in its own shade " << bottom.light;
    EXPECT_GT(bottom.light, 20.0) << "the ambient light still shows the undersides";

    // The ground from above with and without the aircraft in the shadow map: only the shadow
    // differs, darker by the sun's share of the light.
    const gfx::Texture empty = shadow_map(false), cast = shadow_map(true);
    const glm::vec3 overhead(0.0f, 16.0f, 0.01f);
    const Picture lit = picture(overhead, [&](const gfx::Camera& c) { draw_ground(c, empty); });
    const Picture shaded = picture(overhead, [&](const gfx::Camera& c) { draw_ground(c, cast); });
    int shadowed = 0, lighter = 0;
    double ratio = 0.0;
    for (size_t i = 0; i < lit.size(); i += 4) {
        const double before = luminance(&lit[i]), after = luminance(&shaded[i]);
        lighter += after > before + 1.0;
        if (after < 0.8 * before) {
            ++shadowed;
            ratio += after / before;
        }
    }
    EXPECT_GT(shadowed, WIDTH * HEIGHT / 50) << "pixels in the aircraft's shadow";
    EXPECT_EQ(lighter, 0);
    EXPECT_LT(ratio / std::max(shadowed, 1), 0.6) << "the shadow leaves about the ambient light";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// One draw call per material of each visible node; hidden nodes are not drawn. Drawing leaves
// the culling, depth writes and winding as it found them.
TEST_F(ModelDrawing, DrawsOneCallPerMaterialOfEachVisibleNodeAndRestoresTheState)
{
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    picture({5.0f, 9.0f, 8.0f}, [&](const gfx::Camera& c) {
        draw_model(c);
        renderer->draw_depth(*shaders, light, glm::mat4(1.0f), pose);
    });
    GLint face = 0, winding = 0;
    GLboolean writes = GL_FALSE;
    glGetIntegerv(GL_CULL_FACE_MODE, &face);
    glGetIntegerv(GL_FRONT_FACE, &winding);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &writes);
    EXPECT_EQ(std::tuple(glIsEnabled(GL_CULL_FACE), face, winding, writes), std::tuple(GLboolean(GL_TRUE), GL_FRONT, GL_CCW, GLboolean(GL_TRUE)));
    glDisable(GL_CULL_FACE);
    glCullFace(GL_BACK);

    size_t primitives = 0;
    for (const gfx::ModelNode& node : model.nodes)
        if (node.mesh >= 0)
            primitives += model.meshes[size_t(node.mesh)].primitives.size();
    EXPECT_EQ(renderer->draw_calls(pose), primitives);
    const int disc = model.find_node("propeller_disc");
    ASSERT_GE(disc, 0);
    gfx::ModelPose without_disc = pose;
    without_disc.visible[size_t(disc)] = 0;
    EXPECT_EQ(renderer->draw_calls(without_disc), primitives - 1);
    EXPECT_LE(primitives, 30u) << "few draw calls";
}

} // namespace
