// Transforms and projection cameras, judged by where they put points.

#include "gfx/Transform.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtx/string_cast.hpp>
#include <gtest/gtest.h>

#include "gfx/Drawable.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PerspectiveCamera.h"

namespace {

constexpr float PI = 3.14159265f;

::testing::AssertionResult near(const glm::vec3& actual, const glm::vec3& expected, float tolerance = 1e-4f)
{
    if (glm::length(actual - expected) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << glm::to_string(actual) << " instead of " << glm::to_string(expected);
}

// Normalised device coordinates of a point of the camera's view space, or the world point as
// a transform places the local one.
glm::vec3 ndc(const gfx::Camera& camera, const glm::vec3& p)
{
    const glm::vec4 clip = camera.get_projection() * glm::vec4(p, 1.0f);
    return glm::vec3(clip) / clip.w;
}
glm::vec3 placed(const glm::mat4& matrix, const glm::vec3& p) { return glm::vec3(matrix * glm::vec4(p, 1.0f)); }

TEST(Camera, FrustumEdgesLandOnTheClipCube)
{
    gfx::PerspectiveCamera camera;
    const auto expect_edges = [&](float fov, float aspect, float near_plane, float far_plane) {
        const float t = std::tan(fov / 2.0f);
        EXPECT_TRUE(near(ndc(camera, {0.0f, 0.0f, -near_plane}), {0.0f, 0.0f, -1.0f})) << fov;
        EXPECT_TRUE(near(ndc(camera, {far_plane * t * aspect, far_plane * t, -far_plane}), glm::vec3(1.0f), 1e-3f)) << fov;
    };
    expect_edges(0.7853982f, 16.0f / 9.0f, 0.1f, 1000.0f); // the defaults
    camera.set_perspective(1.2f, 1.0f, 1.0f, 10.0f);
    expect_edges(1.2f, 1.0f, 1.0f, 10.0f);
    static_cast<gfx::Camera&>(camera).set_aspect_ratio(0.5f); // as the application resizes its cameras
    camera.set_near(0.01f);
    camera.set_far(15.0f);
    expect_edges(1.2f, 0.5f, 0.01f, 15.0f);

    gfx::OrthoCamera box(-10.0f, -2.0f, 5.0f, 7.0f, -5.0f, 5.0f);
    static_cast<gfx::Camera&>(box).set_aspect_ratio(3.0f); // changes nothing
    box.set_far(15.0f);
    EXPECT_TRUE(near(ndc(box, {-10.0f, 5.0f, 5.0f}), glm::vec3(-1.0f)) && near(ndc(box, {-2.0f, 7.0f, -15.0f}), glm::vec3(1.0f)));
    EXPECT_TRUE(near(ndc(gfx::OrthoCamera(), {2.0f, 2.0f, -1000.0f}), glm::vec3(1.0f))) << "defaults -2..2, 0.1..1000";
}

TEST(Transform, ScaleThenRotationThenPositionAndParentsFirst)
{
    const gfx::Transform t({1.0f, 2.0f, 3.0f}, glm::quat(glm::vec3(0.0f, PI / 2, 0.0f)), {2.0f, 3.0f, 4.0f});
    EXPECT_TRUE(near(placed(t.get_matrix(), {1.0f, 0.0f, 0.0f}), {1.0f, 2.0f, 1.0f}));
    gfx::Transform turned;
    turned.set_rotation(glm::vec3(0.0f, -PI / 2, 0.0f)); // heading 90: the view (-Z) turns east
    EXPECT_TRUE(near(-turned.get_z_axis(), {1.0f, 0.0f, 0.0f}) && near(turned.get_x_axis(), {0.0f, 0.0f, 1.0f}));
    turned.set_rotation(glm::vec3(0.3f, -1.2f, 2.5f)); // pitch about X, yaw about Y, roll about Z
    EXPECT_TRUE(near(glm::eulerAngles(turned.get_rotation()), {0.3f, -1.2f, 2.5f}, 1e-5f));
    gfx::PerspectiveCamera camera; // its view is the inverse of its placement
    camera.set_rotation(glm::vec3(0.3f, -1.1f, 0.2f));
    camera.set_position({3.0f, -2.0f, 5.0f});
    EXPECT_TRUE(near(placed(camera.get_view(), {3.0f, -2.0f, 5.0f}), glm::vec3(0.0f)));

    gfx::Transform parent({10.0f, 0.0f, 0.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(1.0f));
    gfx::Transform child({0.0f, 1.0f, 0.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(1.0f));
    gfx::Transform grandchild({0.0f, 0.0f, 2.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(1.0f));
    gfx::Transform placed_once({0.0f, 0.0f, 2.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(1.0f), &parent);
    parent.add_child(&child);
    child.add_child(&grandchild);
    EXPECT_TRUE(near(grandchild.get_world_position(), {10.0f, 1.0f, 2.0f}) && near(placed_once.get_world_position(), {10.0f, 0.0f, 2.0f}));
    parent.set_position({-5.0f, 0.0f, 0.0f});
    parent.set_rotation(glm::vec3(0.0f, PI / 2, 0.0f)); // registered children follow, the other does not
    EXPECT_TRUE(near(grandchild.get_world_position(), {-3.0f, 1.0f, 0.0f}) && near(grandchild.get_z_axis(), {1.0f, 0.0f, 0.0f}));
    EXPECT_TRUE(near(placed_once.get_world_position(), {10.0f, 0.0f, 2.0f}) && near(child.get_position(), {0.0f, 1.0f, 0.0f}));
    placed_once.set_position({1.0f, 0.0f, 0.0f}); // its own changes are placed against the parent
    EXPECT_TRUE(near(placed_once.get_world_position(), {-5.0f, 0.0f, -1.0f}));
    struct NoDraw : gfx::Drawable {
        void draw(const gfx::Transform&, const gfx::ShaderSet&, const gfx::Camera&) const override {}
    };
    child.drawable = std::make_shared<NoDraw>();
    const gfx::Transform copy = child; // copies take the parent, the children and the drawable
    EXPECT_EQ(std::tuple(copy.get_parent(), copy.get_children(), copy.drawable, parent.get_children().size()),
              std::tuple(&parent, std::vector<gfx::Transform*>{&grandchild}, child.drawable, size_t(1)));
    parent.look_at({5.0f, 0.0f, 0.0f}, {5.0f, 0.0f, 10.0f}, {0.0f, 1.0f, 0.0f});
    EXPECT_TRUE(near(grandchild.get_world_position(), {5.0f, 1.0f, -2.0f}));
}

TEST(Transform, LookAtFacesTheTargetFromTheEye)
{
    struct Case { glm::vec3 eye, target, up; };
    for (const Case c : {Case{{0, 0, 0}, {0, 0, -1}, {0, 1, 0}}, Case{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, Case{{3, 4, 5}, {0, 0, 0}, {0, 1, 0}},
                         Case{{-2, 1, 7}, {4, -3, 0}, {0, 0, 1}}}) {
        gfx::OrthoCamera camera;
        camera.look_at(c.eye, c.target, c.up);
        EXPECT_TRUE(near(camera.get_world_position(), c.eye) && near(-camera.get_z_axis(), glm::normalize(c.target - c.eye)));
        EXPECT_TRUE(near(placed(camera.get_view(), c.target), {0.0f, 0.0f, -glm::length(c.target - c.eye)}));
        const glm::mat4 expected = glm::lookAtRH(c.eye, c.target, c.up);
        for (int column = 0; column < 4; ++column)
            EXPECT_TRUE(near(glm::vec3(camera.get_view()[column]), glm::vec3(expected[column]))) << glm::to_string(c.eye);
        EXPECT_EQ(camera.get_view_projection(), camera.get_projection() * camera.get_view());
    }
}

} // namespace
