// The debug drawables: what the cuboid draws, which drawables reach the shadow map, and the
// model shader's shadows.

#include "gfx/Cuboid.h"

#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PerspectiveCamera.h"
#include "gfx/Quad.h"
#include "gfx/ShaderSet.h"
#include "gfx/Transform.h"
#include "gfx/Vector.h"
#include "gfx/gl/gl.h"
#include "tests/support/GlContext.h"

namespace {

// A depth-only target like the application's shadow map, with the light above the origin.
struct ShadowMap {
    gfx::Texture texture;
    gfx::Framebuffer framebuffer;
    gfx::OrthoCamera light{-1.0f, 1.0f, -1.0f, 1.0f, 0.01f, 15.0f};
    explicit ShadowMap(int size)
    {
        texture.bind();
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, size, size, 0, GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.id());
        glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, texture.id(), 0);
        glDrawBuffer(GL_NONE);
        glViewport(0, 0, size, size);
        glClear(GL_DEPTH_BUFFER_BIT);
        light.look_at({0.0f, 3.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f});
    }
    ~ShadowMap() { glBindFramebuffer(GL_FRAMEBUFFER, 0); }
};

class DrawablesTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        static gfx::ShaderSet set = [] {
            console::Capture quiet;
            return gfx::ShaderSet(WH_SOURCE_DIR "/assets/shaders");
        }();
        shaders = &set;
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
    }
    // The samples a drawable's depth pass lets through into a fresh map.
    GLuint shadow_samples(const gfx::Drawable& drawable) const
    {
        ShadowMap map(16);
        GLuint query = 0, samples = 0;
        glGenQueries(1, &query);
        glBeginQuery(GL_SAMPLES_PASSED, query);
        drawable.draw_depth(gfx::Transform(), *shaders, map.light);
        glEndQuery(GL_SAMPLES_PASSED);
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &samples);
        glDeleteQueries(1, &query);
        return samples;
    }
    gfx::ShaderSet* shaders = nullptr;
};

TEST_F(DrawablesTest, TheCuboidIsABoxWithOutwardFacesInItsColour)
{
    int per_face[6] = {};
    for (size_t t = 0; t < 36; t += 3) {
        const glm::vec3 a = gfx::Cuboid::VERTICES[gfx::Cuboid::INDICES[t]], b = gfx::Cuboid::VERTICES[gfx::Cuboid::INDICES[t + 1]],
                        c = gfx::Cuboid::VERTICES[gfx::Cuboid::INDICES[t + 2]], normal = glm::normalize(glm::cross(b - a, c - a));
        EXPECT_GT(glm::dot(normal, a + b + c), 0.0f) << "triangle " << t / 3 << " faces inward";
        const int axis = std::abs(normal.x) > 0.5f ? 0 : std::abs(normal.y) > 0.5f ? 1 : 2;
        ++per_face[axis * 2 + (normal[axis] > 0.0f)];
    }
    EXPECT_EQ(std::vector<int>(per_face, per_face + 6), std::vector<int>(6, 2));
    OffscreenTarget target(32, 32);
    target.clear(0.0f, 0.0f, 0.0f);
    gfx::PerspectiveCamera front;
    front.set_perspective(0.7853982f, 1.0f, 0.1f, 100.0f);
    front.look_at({0.0f, 0.0f, 3.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    gfx::Cuboid cuboid;
    cuboid.color = {0.2f, 0.8f, 0.4f};
    cuboid.draw(gfx::Transform({}, glm::quat(glm::vec3(0.4f, 0.6f, 0.0f)), glm::vec3(1.0f)), *shaders, front);
    const std::vector<uint8_t> centre = target.pixel(16, 16);
    EXPECT_TRUE(centre[1] > centre[0] && centre[1] > centre[2]) << "a lit shade of green";
    EXPECT_EQ(std::pair(target.pixel(0, 0), target.pixel(31, 31)), std::pair(std::vector<uint8_t>{0, 0, 0, 255}, std::vector<uint8_t>{0, 0, 0, 255}));
    gfx::Quad quad;
    gfx::Vector vector;
    for (bool cast : {true, false}) { // only cuboids that cast a shadow reach the map
        quad.cast_shadow = vector.cast_shadow = cuboid.cast_shadow = cast;
        EXPECT_EQ(std::tuple(shadow_samples(cuboid) > 0, shadow_samples(quad), shadow_samples(vector)), std::tuple(cast, 0u, 0u));
    }
}

// A box hovers over a white ground under a sun straight above: with shadows, the ground under
// it gets the ambient light alone.
TEST_F(DrawablesTest, TheModelShaderDarkensWhatTheShadowMapHides)
{
    ShadowMap map(64);
    gfx::Cuboid().draw_depth(gfx::Transform({0.0f, 1.0f, 0.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(0.5f)), *shaders, map.light);
    gfx::Quad ground;
    ground.color = {1.0f, 1.0f, 1.0f};
    gfx::OrthoCamera view(-1.0f, 1.0f, -1.0f, 1.0f, 0.1f, 10.0f);
    view.look_at({0.0f, 5.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f});
    const auto shade = [&](bool shadows) {
        OffscreenTarget target(32, 32);
        target.clear(0.0f, 0.0f, 0.0f);
        map.texture.bind(3);
        glActiveTexture(GL_TEXTURE0);
        shaders->model().use();
        shaders->model().set_int("u_shadows_enabled", shadows);
        shaders->model().set_mat4("u_light_space_matrix", map.light.get_view_projection());
        shaders->model().set_vec3("u_sun_direction", {0.0f, 1.0f, 0.0f});
        ground.draw(gfx::Transform({0.0f, -0.5f, 0.0f}, glm::quat(glm::vec3(0.0f)), {2.0f, 1.0f, 2.0f}), *shaders, view);
        return std::pair<int, int>{target.pixel(16, 16)[0], target.pixel(28, 16)[0]}; // under the box, beside it
    };
    const auto [shadowed, lit] = shade(true);
    EXPECT_TRUE(lit >= 250 && shadowed <= 110) << lit << " in the sun, " << shadowed << " in the shadow";
    const auto [centre, side] = shade(false);
    EXPECT_TRUE(centre == side && centre >= 250) << "without shadows both are lit alike";
    shaders->model().set_int("u_shadows_enabled", 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
