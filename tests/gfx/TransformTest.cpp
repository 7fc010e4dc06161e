// Transforms and projection cameras: matrices, Euler angles, hierarchies and look_at.

#include "gfx/Transform.h"

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "gfx/Drawable.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PerspectiveCamera.h"

namespace {

constexpr float PI = 3.14159265358979f;

std::string to_text(const glm::mat4& m)
{
    std::ostringstream out;
    for (int row = 0; row < 4; ++row) {
        out << "\n  [";
        for (int column = 0; column < 4; ++column)
            out << (column ? ", " : "") << m[column][row];
        out << "]";
    }
    return out.str();
}

std::string to_text(const glm::vec3& v)
{
    std::ostringstream out;
    out << "(" << v.x << ", " << v.y << ", " << v.z << ")";
    return out.str();
}

::testing::AssertionResult near_matrix(const glm::mat4& actual, const glm::mat4& expected, float tolerance = 1e-5f)
{
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            const float a = actual[column][row];
            const float e = expected[column][row];
            if (!(std::abs(a - e) <= tolerance * std::max(1.0f, std::abs(e))))
                return ::testing::AssertionFailure() << "element (" << column << ", " << row << "): expected " << e
                                                     << ", actual " << a << "\nexpected:" << to_text(expected)
                                                     << "\nactual:" << to_text(actual);
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult near_vec(const glm::vec3& actual, const glm::vec3& expected, float tolerance = 1e-5f)
{
    if (glm::all(glm::lessThanEqual(glm::abs(actual - expected), glm::vec3(tolerance))))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << to_text(expected) << ", actual " << to_text(actual);
}

// Quaternions q and -q are the same rotation.
::testing::AssertionResult same_rotation(const glm::quat& actual, const glm::quat& expected, float tolerance = 1e-5f)
{
    const float d = std::abs(glm::dot(actual, expected));
    if (std::abs(d - 1.0f) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected (w " << expected.w << ", x " << expected.x << ", y " << expected.y
                                         << ", z " << expected.z << "), actual (w " << actual.w << ", x " << actual.x
                                         << ", y " << actual.y << ", z " << actual.z << ")";
}

// A drawable without GL objects, to see the shared reference travel with copies.
struct NullDrawable : gfx::Drawable {
    void draw(const gfx::Transform&, const gfx::ShaderSet&, const gfx::Camera&) const override {}
};

// ---------------------------------------------------------------------------------------------
// Projections

TEST(PerspectiveCameraTest, DefaultsGiveTheKnownProjection)
{
    gfx::PerspectiveCamera camera;
    const glm::mat4& p = camera.get_projection();
    EXPECT_NEAR(p[1][1], 2.4142135f, 1e-6f);
    EXPECT_NEAR(p[0][0], 2.4142135f / (16.0f / 9.0f), 1e-6f);
    EXPECT_FLOAT_EQ(camera.get_near(), 0.1f);
    EXPECT_FLOAT_EQ(camera.get_far(), 1000.0f);
    EXPECT_FLOAT_EQ(camera.get_fov(), 0.7853982f);
    EXPECT_FLOAT_EQ(camera.get_aspect_ratio(), 16.0f / 9.0f);
    EXPECT_TRUE(near_matrix(p, glm::perspectiveRH_NO(0.7853982f, 16.0f / 9.0f, 0.1f, 1000.0f)));
}

TEST(PerspectiveCameraTest, ProjectionElementsForSeveralSetups)
{
    struct Case {
        float fov, aspect, near_plane, far_plane;
    };
    const std::vector<Case> cases = {
        {0.7853982f, 1280.0f / 720.0f, 0.12f, 10000.0f},
        {1.2f, 1.0f, 1.0f, 10.0f},
        {0.3f, 0.5f, 0.01f, 15.0f},
    };
    for (const Case& c : cases) {
        gfx::PerspectiveCamera camera;
        camera.set_perspective(c.fov, c.aspect, c.near_plane, c.far_plane);
        const float t = std::tan(c.fov / 2.0f);
        glm::mat4 expected(0.0f);
        expected[0][0] = 1.0f / (c.aspect * t);
        expected[1][1] = 1.0f / t;
        expected[2][2] = -(c.far_plane + c.near_plane) / (c.far_plane - c.near_plane);
        expected[2][3] = -1.0f;
        expected[3][2] = -(2.0f * c.far_plane * c.near_plane) / (c.far_plane - c.near_plane);
        EXPECT_TRUE(near_matrix(camera.get_projection(), expected)) << "fov " << c.fov << ", aspect " << c.aspect;

        // A point on the near plane lands at clip depth -1, one on the far plane at +1.
        for (auto [distance, depth] : {std::pair{c.near_plane, -1.0f}, std::pair{c.far_plane, 1.0f}}) {
            const glm::vec4 clip = camera.get_projection() * glm::vec4(0.0f, 0.0f, -distance, 1.0f);
            EXPECT_NEAR(clip.z / clip.w, depth, 1e-3f) << "distance " << distance;
        }
    }
}

TEST(PerspectiveCameraTest, AspectNearAndFarSettersRecompute)
{
    gfx::PerspectiveCamera camera;
    camera.set_aspect_ratio(2.0f);
    EXPECT_TRUE(near_matrix(camera.get_projection(), glm::perspectiveRH_NO(0.7853982f, 2.0f, 0.1f, 1000.0f)));
    camera.set_near(1.0f);
    EXPECT_TRUE(near_matrix(camera.get_projection(), glm::perspectiveRH_NO(0.7853982f, 2.0f, 1.0f, 1000.0f)));
    camera.set_far(50.0f);
    EXPECT_TRUE(near_matrix(camera.get_projection(), glm::perspectiveRH_NO(0.7853982f, 2.0f, 1.0f, 50.0f)));
    // Through the base class, as the application resizes all its cameras.
    gfx::Camera& base = camera;
    base.set_aspect_ratio(0.5f);
    EXPECT_FLOAT_EQ(camera.get_aspect_ratio(), 0.5f);
    EXPECT_TRUE(near_matrix(camera.get_projection(), glm::perspectiveRH_NO(0.7853982f, 0.5f, 1.0f, 50.0f)));
}

TEST(OrthoCameraTest, ProjectionElements)
{
    struct Case {
        float left, right, bottom, top, near_plane, far_plane;
    };
    const std::vector<Case> cases = {
        {-1.0f, 1.0f, -1.0f, 1.0f, 0.01f, 15.0f},
        {0.0f, 4.0f, -3.0f, 1.0f, 1.0f, 2.0f},
        {-10.0f, -2.0f, 5.0f, 7.0f, -5.0f, 5.0f},
    };
    for (const Case& c : cases) {
        gfx::OrthoCamera camera(c.left, c.right, c.bottom, c.top, c.near_plane, c.far_plane);
        glm::mat4 expected(0.0f);
        expected[0][0] = 2.0f / (c.right - c.left);
        expected[1][1] = 2.0f / (c.top - c.bottom);
        expected[2][2] = -2.0f / (c.far_plane - c.near_plane);
        expected[3][0] = -(c.right + c.left) / (c.right - c.left);
        expected[3][1] = -(c.top + c.bottom) / (c.top - c.bottom);
        expected[3][2] = -(c.far_plane + c.near_plane) / (c.far_plane - c.near_plane);
        expected[3][3] = 1.0f;
        EXPECT_TRUE(near_matrix(camera.get_projection(), expected)) << "left " << c.left << ", right " << c.right;
        EXPECT_TRUE(near_matrix(camera.get_projection(),
                                glm::orthoRH_NO(c.left, c.right, c.bottom, c.top, c.near_plane, c.far_plane)));
    }
}

TEST(OrthoCameraTest, DefaultsAndAspectRatioIgnored)
{
    gfx::OrthoCamera camera;
    EXPECT_FLOAT_EQ(camera.get_near(), 0.1f);
    EXPECT_FLOAT_EQ(camera.get_far(), 1000.0f);
    const glm::mat4 before = camera.get_projection();
    EXPECT_TRUE(near_matrix(before, glm::orthoRH_NO(-2.0f, 2.0f, -2.0f, 2.0f, 0.1f, 1000.0f)));
    gfx::Camera& base = camera;
    base.set_aspect_ratio(3.0f);
    EXPECT_TRUE(near_matrix(camera.get_projection(), before, 0.0f));
    camera.set_far(10.0f);
    EXPECT_TRUE(near_matrix(camera.get_projection(), glm::orthoRH_NO(-2.0f, 2.0f, -2.0f, 2.0f, 0.1f, 10.0f)));
}

TEST(CameraTest, ViewIsTheInverseOfTheWorldMatrix)
{
    gfx::PerspectiveCamera camera;
    camera.set_position({3.0f, -2.0f, 5.0f});
    camera.set_rotation(glm::vec3(0.3f, -1.1f, 0.2f));
    EXPECT_TRUE(near_matrix(camera.get_view() * camera.get_matrix(), glm::mat4(1.0f)));
    EXPECT_TRUE(near_matrix(camera.get_view_projection(), camera.get_projection() * camera.get_view()));
    // The camera's own position is the view-space origin.
    const glm::vec4 eye = camera.get_view() * glm::vec4(3.0f, -2.0f, 5.0f, 1.0f);
    EXPECT_TRUE(near_vec(glm::vec3(eye), glm::vec3(0.0f), 1e-5f));
}

// ---------------------------------------------------------------------------------------------
// Transforms

TEST(TransformTest, DefaultIsIdentity)
{
    gfx::Transform transform;
    EXPECT_TRUE(near_matrix(transform.get_matrix(), glm::mat4(1.0f), 0.0f));
    EXPECT_TRUE(near_matrix(transform.get_local_matrix(), glm::mat4(1.0f), 0.0f));
    EXPECT_TRUE(near_vec(transform.get_position(), glm::vec3(0.0f), 0.0f));
    EXPECT_TRUE(same_rotation(transform.get_rotation(), glm::quat(1.0f, 0.0f, 0.0f, 0.0f)));
    EXPECT_EQ(transform.get_parent(), nullptr);
    EXPECT_TRUE(transform.get_children().empty());
    EXPECT_EQ(transform.drawable, nullptr);
}

TEST(TransformTest, EulerAnglesFollowTheStandardConversion)
{
    const std::vector<glm::vec3> angles = {
        {0.0f, 0.0f, 0.0f},     {PI / 2, 0.0f, 0.0f},  {0.0f, PI / 2, 0.0f}, {0.0f, 0.0f, PI / 2},
        {0.3f, -1.2f, 2.5f},    {-0.7f, 0.4f, -0.1f},  {PI, PI / 3, -PI / 4},
    };
    for (const glm::vec3& e : angles) {
        const float cx = std::cos(e.x / 2), cy = std::cos(e.y / 2), cz = std::cos(e.z / 2);
        const float sx = std::sin(e.x / 2), sy = std::sin(e.y / 2), sz = std::sin(e.z / 2);
        const glm::quat expected(cx * cy * cz + sx * sy * sz, // w
                                 sx * cy * cz - cx * sy * sz, // x
                                 cx * sy * cz + sx * cy * sz, // y
                                 cx * cy * sz - sx * sy * cz); // z
        gfx::Transform transform;
        transform.set_rotation(e);
        const glm::quat q = transform.get_rotation();
        EXPECT_NEAR(q.w, expected.w, 1e-6f) << to_text(e);
        EXPECT_NEAR(q.x, expected.x, 1e-6f) << to_text(e);
        EXPECT_NEAR(q.y, expected.y, 1e-6f) << to_text(e);
        EXPECT_NEAR(q.z, expected.z, 1e-6f) << to_text(e);
    }
}

TEST(TransformTest, YawTurnsTheViewDirection)
{
    // Heading 90° (yaw -π/2) turns a camera's -Z view direction to +X.
    gfx::Transform transform;
    transform.set_rotation(glm::vec3(0.0f, -PI / 2, 0.0f));
    EXPECT_TRUE(near_vec(-transform.get_z_axis(), glm::vec3(1.0f, 0.0f, 0.0f)));
    EXPECT_TRUE(near_vec(transform.get_x_axis(), glm::vec3(0.0f, 0.0f, 1.0f)));
}

TEST(TransformTest, LocalMatrixIsTranslationRotationScale)
{
    const glm::vec3 position(1.0f, 2.0f, 3.0f);
    const glm::quat rotation(glm::vec3(0.0f, PI / 2, 0.0f));
    const glm::vec3 scale(2.0f, 3.0f, 4.0f);
    gfx::Transform transform(position, rotation, scale);
    // (1, 0, 0) scaled to (2, 0, 0), turned 90° about +Y to (0, 0, -2), moved by position.
    const glm::vec4 p = transform.get_matrix() * glm::vec4(1.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_TRUE(near_vec(glm::vec3(p), glm::vec3(1.0f, 2.0f, 1.0f)));
    // Column 0 of the rotation part, from the quaternion formula.
    const glm::quat q = rotation;
    const glm::vec3 column0(1 - 2 * (q.y * q.y + q.z * q.z), 2 * (q.x * q.y + q.w * q.z), 2 * (q.x * q.z - q.w * q.y));
    EXPECT_TRUE(near_vec(glm::vec3(transform.get_matrix()[0]) / scale.x, column0));
    EXPECT_TRUE(near_vec(transform.get_world_position(), position, 0.0f));
    EXPECT_TRUE(near_vec(transform.get_scale(), scale, 0.0f));
}

TEST(TransformTest, ChildAddedWithAddChildFollowsItsParent)
{
    gfx::Transform parent({10.0f, 0.0f, 0.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(1.0f));
    gfx::Transform child({0.0f, 1.0f, 0.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(1.0f));
    gfx::Transform grandchild({0.0f, 0.0f, 2.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(1.0f));
    parent.add_child(&child);
    child.add_child(&grandchild);
    ASSERT_EQ(child.get_parent(), &parent);
    ASSERT_EQ(parent.get_children().size(), 1u);
    EXPECT_EQ(parent.get_children()[0], &child);
    EXPECT_TRUE(near_vec(child.get_world_position(), {10.0f, 1.0f, 0.0f}));
    EXPECT_TRUE(near_vec(grandchild.get_world_position(), {10.0f, 1.0f, 2.0f}));

    parent.set_position({-5.0f, 0.0f, 0.0f});
    EXPECT_TRUE(near_vec(child.get_world_position(), {-5.0f, 1.0f, 0.0f}));
    EXPECT_TRUE(near_vec(grandchild.get_world_position(), {-5.0f, 1.0f, 2.0f}));
    // Local values are untouched by the parent.
    EXPECT_TRUE(near_vec(child.get_position(), {0.0f, 1.0f, 0.0f}, 0.0f));

    // Rotating the parent a quarter turn about +Y swings the descendants around it.
    parent.set_rotation(glm::vec3(0.0f, PI / 2, 0.0f));
    EXPECT_TRUE(near_vec(grandchild.get_world_position(), {-3.0f, 1.0f, 0.0f}));
    EXPECT_TRUE(same_rotation(grandchild.get_world_rotation(), glm::quat(glm::vec3(0.0f, PI / 2, 0.0f))));
    EXPECT_TRUE(near_vec(grandchild.get_z_axis(), {1.0f, 0.0f, 0.0f}));
    EXPECT_TRUE(near_matrix(grandchild.get_matrix(),
                            parent.get_matrix() * child.get_local_matrix() * grandchild.get_local_matrix()));
}

TEST(TransformTest, ChildGivenItsParentAtConstructionDoesNotFollow)
{
    gfx::Transform parent({10.0f, 0.0f, 0.0f}, glm::quat(glm::vec3(0.0f, PI / 2, 0.0f)), glm::vec3(2.0f));
    gfx::Transform child({1.0f, 0.0f, 0.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(1.0f), &parent);
    EXPECT_EQ(child.get_parent(), &parent);
    EXPECT_TRUE(parent.get_children().empty());
    // Placed once against the parent: (1, 0, 0) scaled by 2, turned to (0, 0, -2), moved.
    EXPECT_TRUE(near_vec(child.get_world_position(), {10.0f, 0.0f, -2.0f}));
    EXPECT_TRUE(near_matrix(child.get_matrix(), parent.get_matrix() * child.get_local_matrix()));

    parent.set_position({0.0f, 0.0f, 0.0f});
    EXPECT_TRUE(near_vec(child.get_world_position(), {10.0f, 0.0f, -2.0f}));
    // Its own setters still compute against the parent's current matrix.
    child.set_position({1.0f, 0.0f, 0.0f});
    EXPECT_TRUE(near_vec(child.get_world_position(), {0.0f, 0.0f, -2.0f}));
}

TEST(TransformTest, CopiesTakeEveryField)
{
    gfx::Transform parent;
    gfx::Transform child({1.0f, 2.0f, 3.0f}, glm::quat(glm::vec3(0.1f, 0.2f, 0.3f)), glm::vec3(0.5f));
    parent.add_child(&child);
    gfx::Transform grandchild;
    child.add_child(&grandchild);
    child.drawable = std::make_shared<NullDrawable>();

    gfx::Transform copy = child;
    EXPECT_EQ(copy.get_parent(), &parent);
    ASSERT_EQ(copy.get_children().size(), 1u);
    EXPECT_EQ(copy.get_children()[0], &grandchild);
    EXPECT_EQ(copy.drawable, child.drawable);
    EXPECT_EQ(child.drawable.use_count(), 2);
    EXPECT_TRUE(near_matrix(copy.get_matrix(), child.get_matrix(), 0.0f));
}

TEST(TransformTest, LookAtAlongMinusZIsTheIdentityRotation)
{
    gfx::Transform transform;
    transform.look_at({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f}, {0.0f, 1.0f, 0.0f});
    EXPECT_TRUE(same_rotation(transform.get_rotation(), glm::quat(1.0f, 0.0f, 0.0f, 0.0f)));
    EXPECT_TRUE(near_vec(transform.get_position(), glm::vec3(0.0f)));
    EXPECT_TRUE(near_vec(transform.get_scale(), glm::vec3(1.0f)));
}

TEST(TransformTest, LookAtPlacesTheCameraAtEyeFacingTarget)
{
    struct Case {
        glm::vec3 eye, target, up;
    };
    const std::vector<Case> cases = {
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
        {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{3, 4, 5}, {0, 0, 0}, {0, 1, 0}},  // the shadow pass's light camera: from above
        {{1, 10, 2}, {1, 0, 2.5f}, {0, 1, 0}},
        {{-2, 1, 7}, {4, -3, 0}, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        gfx::OrthoCamera camera(-1.0f, 1.0f, -1.0f, 1.0f, 0.01f, 15.0f);
        camera.look_at(c.eye, c.target, c.up);
        const std::string label = "eye " + to_text(c.eye) + ", target " + to_text(c.target);
        EXPECT_TRUE(near_vec(camera.get_world_position(), c.eye, 1e-5f)) << label;
        // Local -Z points at the target; the view matrix is the standard right-handed one.
        EXPECT_TRUE(near_vec(-camera.get_z_axis(), glm::normalize(c.target - c.eye), 1e-5f)) << label;
        EXPECT_TRUE(near_matrix(camera.get_view(), glm::lookAtRH(c.eye, c.target, c.up), 1e-4f)) << label;
        // The target sits on the view axis, in front of the camera.
        const glm::vec4 seen = camera.get_view() * glm::vec4(c.target, 1.0f);
        EXPECT_NEAR(seen.x, 0.0f, 1e-4f) << label;
        EXPECT_NEAR(seen.y, 0.0f, 1e-4f) << label;
        EXPECT_NEAR(seen.z, -glm::length(c.target - c.eye), 1e-4f) << label;
    }
}

TEST(TransformTest, LookAtUpdatesRegisteredChildren)
{
    gfx::Transform parent;
    gfx::Transform child({0.0f, 0.0f, -1.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(1.0f));
    parent.add_child(&child);
    parent.look_at({5.0f, 0.0f, 0.0f}, {5.0f, 0.0f, 10.0f}, {0.0f, 1.0f, 0.0f});
    // One unit ahead of a parent that looks along +Z.
    EXPECT_TRUE(near_vec(child.get_world_position(), {5.0f, 0.0f, 1.0f}, 1e-5f));
}

} // namespace
