#include <memory>

#include <btBulletDynamicsCommon.h>
#include <gtest/gtest.h>

#include "physics/Aircraft.h"
#include "physics/DebugGeometry.h"
#include "tests/physics/PhysicsTestSupport.h"

namespace {

using physics_test::PhysicsFixture;
using physics_test::vec_near;

constexpr float s = 0.05f;

class DebugGeometryTest : public PhysicsFixture {};

TEST_F(DebugGeometryTest, AircraftBodyIsDrawnPointThreeByPointZeroFive)
{
    Aircraft aircraft;
    aircraft.create_body(glm::vec3(20.0f, 600.0f, -40.0f));
    world().add_ground_plane(glm::vec3(0.0f, 595.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));

    const std::vector<BoxPlacement> boxes = scene_box_placements(world().get_scene(), s);
    ASSERT_EQ(boxes.size(), 1u) << "the ground plane draws nothing";
    EXPECT_EQ(boxes[0].actor, aircraft.body);
    EXPECT_TRUE(vec_near(boxes[0].scale, glm::vec3(0.3f, 0.05f, 0.05f), 1e-6f));
    EXPECT_TRUE(vec_near(boxes[0].position, glm::vec3(1.0f, 30.0f, -2.0f), 1e-5f));
}

struct ShapeCase {
    const char* name;
    std::unique_ptr<btCollisionShape> (*make)();
    glm::vec3 expected_scale;
};

class ShapeSizeTest : public PhysicsFixture, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(ShapeSizeTest, DrawnAtFullSizeTimesScale)
{
    const ShapeCase c = GetParam();
    world().add_dynamic_body(c.make(), 1.0f, glm::vec3(0.0f));
    const std::vector<BoxPlacement> boxes = scene_box_placements(world().get_scene(), s);
    ASSERT_EQ(boxes.size(), 1u) << c.name;
    EXPECT_TRUE(vec_near(boxes[0].scale, c.expected_scale, 1e-6f)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Shapes, ShapeSizeTest,
    ::testing::Values(
        ShapeCase{"box 1 2 3",
            [] { return std::unique_ptr<btCollisionShape>(std::make_unique<btBoxShape>(btVector3(1.0f, 2.0f, 3.0f))); },
            glm::vec3(2.0f * s, 4.0f * s, 6.0f * s)},
        ShapeCase{"sphere 0.7", [] { return std::unique_ptr<btCollisionShape>(std::make_unique<btSphereShape>(0.7f)); },
            glm::vec3(1.4f * s)}));

TEST_F(DebugGeometryTest, CompoundChildFollowsTheBodyPose)
{
    auto compound = std::make_unique<btCompoundShape>();
    btBoxShape child(btVector3(0.5f, 0.5f, 0.5f));
    compound->addChildShape(btTransform(btQuaternion::getIdentity(), btVector3(2.0f, 0.0f, 0.0f)), &child);
    btRigidBody* body = world().add_dynamic_body(std::move(compound), 1.0f, glm::vec3(0.0f));
    // Yawed 90 degrees: the child's +X offset points along world -Z.
    body->setWorldTransform(btTransform(btQuaternion(btVector3(0.0f, 1.0f, 0.0f), SIMD_HALF_PI), btVector3(10.0f, 20.0f, 30.0f)));

    const std::vector<BoxPlacement> boxes = scene_box_placements(world().get_scene(), s);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(vec_near(boxes[0].position, glm::vec3(10.0f * s, 20.0f * s, 30.0f * s - 2.0f * s), 1e-5f));
    world().remove_all_bodies(); // before the child on this stack goes
}

class FlightModelGeometryTest : public PhysicsFixture {
protected:
    Aircraft aircraft;

    void SetUp() override
    {
        PhysicsFixture::SetUp();
        aircraft.create_body(glm::vec3(100.0f, 600.0f, 0.0f));
        aircraft.wings.push_back(Wing{5.0f, 1.5f, Wing::roll_orientation(-3), glm::vec3(0.5f, 0.5f, 3.0f)});
        aircraft.wheels.push_back(Wheel::attached_at(glm::vec3(2.0f, -1.0f, 0.0f), 20000.0f, 2000.0f));
    }
};

TEST_F(FlightModelGeometryTest, WingsThenWheelsRelativeToTheBody)
{
    const std::vector<BoxPlacement> boxes = flight_model_placements(aircraft, s);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(vec_near(boxes[0].scale, glm::vec3(1.5f * s, 0.1f * s, 5.0f * s), 1e-6f));
    EXPECT_TRUE(vec_near(boxes[0].position, glm::vec3(100.5f, 600.5f, 3.0f) * s, 1e-4f));
    EXPECT_NEAR(glm::dot(boxes[0].rotation, Wing::roll_orientation(-3)), 1.0f, 1e-6f);
    EXPECT_TRUE(vec_near(boxes[1].scale, glm::vec3(0.25f * s), 1e-6f));
    // Uncompressed, the wheel hangs rest_length (1) below its attachment point at y -1.
    EXPECT_TRUE(vec_near(boxes[1].position, glm::vec3(102.0f, 598.0f, 0.0f) * s, 1e-4f));
}

TEST_F(FlightModelGeometryTest, CompressedWheelIsDrawnOffsetHigherAlongTheBodyUp)
{
    // Rolled 90 degrees: the body's up axis is world +Z, so the compression shows along +Z.
    aircraft.body->setWorldTransform(btTransform(btQuaternion(btVector3(1.0f, 0.0f, 0.0f), SIMD_HALF_PI), btVector3(100.0f, 600.0f, 0.0f)));
    const glm::vec3 relaxed = flight_model_placements(aircraft, s)[1].position;
    aircraft.wheels[0].offset = 0.3f;
    const glm::vec3 compressed = flight_model_placements(aircraft, s)[1].position;
    EXPECT_TRUE(vec_near(compressed - relaxed, glm::vec3(0.0f, 0.0f, 0.3f * s), 1e-5f));
}

TEST_F(FlightModelGeometryTest, NothingWithoutABody)
{
    Aircraft bodiless;
    bodiless.wings = aircraft.wings;
    bodiless.wheels = aircraft.wheels;
    EXPECT_TRUE(flight_model_placements(bodiless, s).empty());
}

} // namespace
