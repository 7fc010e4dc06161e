#include <btBulletDynamicsCommon.h>
#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include "physics/Aircraft.h"
#include "physics/BulletMath.h"
#include "tests/physics/PhysicsTestSupport.h"

namespace {

using physics_test::PhysicsFixture;
using physics_test::vec_near;

// The aircraft's body hanging at body_y, with one wheel and the ground plane at ground_y.
class WheelTest : public PhysicsFixture {
protected:
    Aircraft aircraft;

    btRigidBody& make_body(float body_y, float ground_y, const Wheel& wheel)
    {
        world().add_ground_plane(glm::vec3(0.0f, ground_y, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
        aircraft.create_body(glm::vec3(0.0f, body_y, 0.0f));
        aircraft.wheels = {wheel};
        return *aircraft.body;
    }

    // One suspension step on its own, with nothing else pushing.
    void step_wheel()
    {
        aircraft.body->clearForces();
        aircraft.wheels[0].step(*aircraft.body, world().get_scene());
    }
};

TEST(WheelAttachment, RestLengthIsTheDepthBelowTheBodyOrigin)
{
    const Wheel wheel = Wheel::attached_at(glm::vec3(1.0f, -1.25f, 2.0f), 100.0f, 10.0f);
    EXPECT_EQ(wheel.rest_length, 1.25f);
    EXPECT_EQ(wheel.offset, 0.0f);
    EXPECT_EQ(wheel.orientation, glm::quat(1.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_TRUE(vec_near(wheel.draw_center(), glm::vec3(1.0f, -2.5f, 2.0f), 0.0f));
}

TEST(WheelAttachment, CompressedWheelIsDrawnThatMuchHigher)
{
    Wheel wheel = Wheel::attached_at(glm::vec3(0.0f, -1.0f, 0.0f), 100.0f, 10.0f);
    wheel.offset = 0.3f;
    EXPECT_TRUE(vec_near(wheel.draw_center(), glm::vec3(0.0f, -1.7f, 0.0f), 1e-6f));
}

// A level body with a wheel at (0, -1, 0), rest length 1, whose ray hits the ground at 0.9:
// compression 0.1, spring 0.1 x stiffness, damper against the attachment point's vertical speed.
struct LevelCase {
    const char* name;
    float stiffness;
    float damping;
    float vertical_speed;
    float expected_force; // along world +Y
};

class LevelWheelTest : public WheelTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(LevelWheelTest, PushesAlongUpAtTheAttachmentPoint)
{
    const LevelCase c = GetParam();
    btRigidBody& body = make_body(10.0f, 8.1f, Wheel::attached_at(glm::vec3(0.0f, -1.0f, 0.0f), c.stiffness, c.damping));
    body.setLinearVelocity(btVector3(0.0f, c.vertical_speed, 0.0f));
    step_wheel();

    EXPECT_NEAR(aircraft.wheels[0].offset, 0.1f, 1e-4f) << c.name;
    EXPECT_TRUE(vec_near(body.getTotalForce(), btVector3(0.0f, c.expected_force, 0.0f), 0.5f)) << c.name;
    // The force acts straight below the centre of mass: no torque.
    EXPECT_TRUE(vec_near(body.getTotalTorque(), btVector3(0.0f, 0.0f, 0.0f), 1e-3f)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, LevelWheelTest,
    ::testing::Values(LevelCase{"at rest", 30000.0f, 1000.0f, 0.0f, 3000.0f},
        LevelCase{"falling", 30000.0f, 1000.0f, -2.0f, 5000.0f},
        LevelCase{"rising fast pulls down", 30000.0f, 1000.0f, 4.0f, -1000.0f},
        LevelCase{"stiffer", 60000.0f, 1000.0f, 0.0f, 6000.0f}));

TEST_F(WheelTest, StiffnessChangeActsOnTheNextStep)
{
    make_body(10.0f, 8.1f, Wheel::attached_at(glm::vec3(0.0f, -1.0f, 0.0f), 30000.0f, 1000.0f));
    step_wheel();
    EXPECT_NEAR(aircraft.body->getTotalForce().y(), 3000.0f, 0.5f);
    aircraft.wheels[0].stiffness = 50000.0f;
    step_wheel();
    EXPECT_NEAR(aircraft.body->getTotalForce().y(), 5000.0f, 0.5f);
}

TEST_F(WheelTest, NoHitAppliesNoForceAndKeepsTheLastOffset)
{
    Wheel wheel = Wheel::attached_at(glm::vec3(0.0f, -1.0f, 0.0f), 30000.0f, 1000.0f);
    wheel.offset = 0.37f;
    btRigidBody& body = make_body(100.0f, 0.0f, wheel);
    body.setLinearVelocity(btVector3(0.0f, -3.0f, 0.0f));
    step_wheel();
    EXPECT_EQ(aircraft.wheels[0].offset, 0.37f);
    EXPECT_TRUE(vec_near(body.getTotalForce(), btVector3(0.0f, 0.0f, 0.0f), 0.0f));
    EXPECT_TRUE(vec_near(body.getTotalTorque(), btVector3(0.0f, 0.0f, 0.0f), 0.0f));
}

// A wheel at y = 0 (rest length 0) or above the origin (a negative one) has no suspension ray.
class NoSuspensionTest : public WheelTest, public ::testing::WithParamInterface<float> {};

TEST_P(NoSuspensionTest, NeverPushes)
{
    Wheel wheel = Wheel::attached_at(glm::vec3(1.0f, GetParam(), 0.0f), 30000.0f, 1000.0f);
    wheel.offset = 0.2f;
    // The body sinks into the ground and moves: nothing a damper could respond to either.
    btRigidBody& body = make_body(0.2f, 0.0f, wheel);
    body.setLinearVelocity(btVector3(0.0f, -1.0f, 0.0f));
    step_wheel();
    EXPECT_TRUE(vec_near(body.getTotalForce(), btVector3(0.0f, 0.0f, 0.0f), 0.0f)) << "position.y " << GetParam();
    EXPECT_EQ(aircraft.wheels[0].offset, 0.2f);
}

INSTANTIATE_TEST_SUITE_P(Heights, NoSuspensionTest, ::testing::Values(0.0f, 0.5f));

TEST_F(WheelTest, RolledNinetyDegreesPushesSideways)
{
    // Rolled +90 degrees about X, the wheel at (0, -1, 0) sits at world offset (0, 0, -1) and the
    // body's up axis is world +Z. The ray still goes straight down and meets the ground 0.9 below.
    btRigidBody& body = make_body(10.0f, 9.1f, Wheel::attached_at(glm::vec3(0.0f, -1.0f, 0.0f), 30000.0f, 1000.0f));
    body.setWorldTransform(btTransform(btQuaternion(btVector3(1.0f, 0.0f, 0.0f), SIMD_HALF_PI), btVector3(0.0f, 10.0f, 0.0f)));
    step_wheel();

    EXPECT_NEAR(aircraft.wheels[0].offset, 0.1f, 1e-4f);
    const btVector3 force = body.getTotalForce();
    EXPECT_TRUE(vec_near(force, btVector3(0.0f, 0.0f, 3000.0f), 0.5f));
    // Applied at the real attachment point: arm (0, 0, -1) parallel to the force, no torque.
    EXPECT_TRUE(vec_near(body.getTotalTorque(), btVector3(0.0f, 0.0f, 0.0f), 1e-2f));
}

// The damper acts on the velocity of the wheel's real attachment point: the body-coordinate
// position turned into the world frame. A pitched and rolled body that is turning shows the
// difference against the unturned position.
TEST_F(WheelTest, DampingUsesTheRealAttachmentPointVelocity)
{
    const glm::vec3 attachment(2.0f, -1.0f, 0.5f);
    const float stiffness = 30000.0f;
    const float damping = 1000.0f;
    const glm::quat attitude = glm::angleAxis(glm::radians(20.0f), glm::vec3(1.0f, 0.0f, 0.0f)) *
        glm::angleAxis(glm::radians(30.0f), glm::vec3(0.0f, 0.0f, 1.0f));
    const glm::vec3 centre(0.0f, 10.0f, 0.0f);
    const glm::vec3 linear(1.0f, -0.5f, 0.3f);
    const glm::vec3 angular(0.5f, 1.0f, 2.0f);

    const glm::vec3 arm = attitude * attachment;
    const glm::vec3 origin = centre + arm;
    const float compression = 0.25f;
    const float rest_length = 1.0f;
    btRigidBody& body = make_body(centre.y, origin.y - (rest_length - compression),
        Wheel::attached_at(attachment, stiffness, damping));
    body.setWorldTransform(btTransform(physics::to_bt(attitude), physics::to_bt(centre)));
    body.setLinearVelocity(physics::to_bt(linear));
    body.setAngularVelocity(physics::to_bt(angular));
    step_wheel();

    const glm::vec3 up = attitude * glm::vec3(0.0f, 1.0f, 0.0f);
    const float real_speed = glm::dot(up, linear + glm::cross(angular, arm));
    const float unturned_speed = glm::dot(up, linear + glm::cross(angular, attachment));
    const float expected = compression * stiffness - real_speed * damping;
    const float unturned = compression * stiffness - unturned_speed * damping;
    ASSERT_GT(std::abs(expected - unturned), 500.0f) << "the case must tell the two points apart";

    EXPECT_NEAR(aircraft.wheels[0].offset, compression, 1e-4f);
    EXPECT_TRUE(vec_near(body.getTotalForce(), physics::to_bt(up * expected), 1.0f));
    EXPECT_TRUE(vec_near(body.getTotalTorque(), physics::to_bt(glm::cross(arm, up * expected)), 2.0f));
}

} // namespace
