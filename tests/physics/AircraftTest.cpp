#include <cmath>

#include <btBulletDynamicsCommon.h>
#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include "physics/Aircraft.h"
#include "tests/physics/PhysicsTestSupport.h"

namespace {

using physics_test::PhysicsFixture;
using physics_test::vec_near;

class AircraftTest : public PhysicsFixture {};

void set_yaw(btRigidBody& body, float degrees)
{
    btTransform pose = body.getWorldTransform();
    pose.setRotation(btQuaternion(btVector3(0.0f, 1.0f, 0.0f), glm::radians(degrees)));
    body.setWorldTransform(pose);
}

TEST_F(AircraftTest, NewAircraftIsEmpty)
{
    const Aircraft aircraft;
    EXPECT_EQ(aircraft.controls.elevator, 0.0f);
    EXPECT_EQ(aircraft.controls.aileron, 0.0f);
    EXPECT_EQ(aircraft.controls.rudder, 0.0f);
    EXPECT_EQ(aircraft.controls.throttle, 0.0f);
    EXPECT_EQ(aircraft.body, nullptr);
    EXPECT_TRUE(aircraft.engines.empty() && aircraft.wings.empty() && aircraft.wheels.empty());
    EXPECT_EQ(aircraft.speed(), 0.0f);
}

TEST_F(AircraftTest, UpdateWithoutBodyDoesNothing)
{
    Aircraft aircraft;
    aircraft.engines.push_back(Engine{1000.0f, glm::vec3(0.0f)});
    aircraft.controls.throttle = 1.0f;
    aircraft.update();
    aircraft.place_body(glm::vec3(1.0f));
    EXPECT_EQ(aircraft.body, nullptr);
}

TEST_F(AircraftTest, BodyIsA480KgBoxWithUniformInertia)
{
    Aircraft aircraft;
    aircraft.create_body(glm::vec3(4.0f, 105.0f, -2.0f));
    ASSERT_NE(aircraft.body, nullptr);
    const btRigidBody& body = *aircraft.body;

    EXPECT_FLOAT_EQ(1.0f / body.getInvMass(), 480.0f);
    // A 6 x 1 x 1 box: I = m / 12 * (b^2 + c^2) about each axis.
    const btVector3 inverse_inertia = body.getInvInertiaDiagLocal();
    EXPECT_NEAR(1.0f / inverse_inertia.x(), 480.0f / 12.0f * (1.0f + 1.0f), 0.01f);
    EXPECT_NEAR(1.0f / inverse_inertia.y(), 480.0f / 12.0f * (36.0f + 1.0f), 0.05f);
    EXPECT_NEAR(1.0f / inverse_inertia.z(), 480.0f / 12.0f * (36.0f + 1.0f), 0.05f);

    ASSERT_EQ(body.getCollisionShape()->getShapeType(), BOX_SHAPE_PROXYTYPE);
    const auto* box = static_cast<const btBoxShape*>(body.getCollisionShape());
    EXPECT_TRUE(vec_near(box->getHalfExtentsWithMargin(), btVector3(3.0f, 0.5f, 0.5f), 1e-6f));

    EXPECT_TRUE(vec_near(aircraft.position(), glm::vec3(4.0f, 105.0f, -2.0f), 0.0f));
    EXPECT_EQ(aircraft.rotation(), glm::quat(1.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(world().get_scene().getNumCollisionObjects(), 1);
}

TEST_F(AircraftTest, CreatingTheBodyAgainReplacesIt)
{
    Aircraft aircraft;
    aircraft.create_body(glm::vec3(0.0f));
    aircraft.create_body(glm::vec3(0.0f, 10.0f, 0.0f));
    EXPECT_EQ(world().get_scene().getNumCollisionObjects(), 1);
    EXPECT_EQ(aircraft.position().y, 10.0f);
}

// Thrust is throttle x thrust along world +X at the engine's point on the body; the point
// turns with the body, the direction does not.
struct ThrustCase {
    float yaw_degrees;
    glm::vec3 engine_position;
    btVector3 expected_arm; // engine position turned into the world frame
};

class ThrustTest : public PhysicsFixture, public ::testing::WithParamInterface<ThrustCase> {};

TEST_P(ThrustTest, PushesAlongWorldXAtTheEngine)
{
    const ThrustCase c = GetParam();
    Aircraft aircraft;
    aircraft.create_body(glm::vec3(0.0f, 50.0f, 0.0f));
    set_yaw(*aircraft.body, c.yaw_degrees);
    aircraft.engines.push_back(Engine{2000.0f, c.engine_position});
    aircraft.controls.throttle = 0.5f;

    aircraft.body->clearForces();
    aircraft.update();

    const btVector3 force(1000.0f, 0.0f, 0.0f);
    EXPECT_TRUE(vec_near(aircraft.body->getTotalForce(), force, 1e-3f)) << "yaw " << c.yaw_degrees;
    EXPECT_TRUE(vec_near(aircraft.body->getTotalTorque(), c.expected_arm.cross(force), 1e-2f)) << "yaw " << c.yaw_degrees;
}

INSTANTIATE_TEST_SUITE_P(Attitudes, ThrustTest,
    ::testing::Values(ThrustCase{0.0f, glm::vec3(1.0f, 0.0f, 0.0f), btVector3(1.0f, 0.0f, 0.0f)},
        ThrustCase{90.0f, glm::vec3(1.0f, 0.0f, 0.0f), btVector3(0.0f, 0.0f, -1.0f)},
        ThrustCase{0.0f, glm::vec3(2.0f, 1.0f, 0.0f), btVector3(2.0f, 1.0f, 0.0f)},
        ThrustCase{-90.0f, glm::vec3(0.0f, 0.0f, 1.0f), btVector3(-1.0f, 0.0f, 0.0f)}));

TEST_F(AircraftTest, ThrustAcceleratesTheBody)
{
    Aircraft aircraft;
    aircraft.create_body(glm::vec3(0.0f, 50.0f, 0.0f));
    aircraft.engines.push_back(Engine{2400.0f, glm::vec3(3.0f, 0.0f, 0.0f)});
    aircraft.controls.throttle = 1.0f;
    for (int i = 0; i < 60; ++i) {
        aircraft.update();
        world().step(PhysicsWorld::max_step);
    }
    // 2400 N on 480 kg for 1 s: 5 m/s along X; the thrust line passes through the centre of
    // mass, so the body does not turn.
    EXPECT_NEAR(aircraft.body->getLinearVelocity().x(), 5.0f, 1e-3f);
    EXPECT_TRUE(vec_near(aircraft.body->getAngularVelocity(), btVector3(0.0f, 0.0f, 0.0f), 1e-4f));
    EXPECT_NEAR(aircraft.speed(), aircraft.body->getLinearVelocity().length(), 1e-6f);
}

TEST_F(AircraftTest, NoEnginesMeansThrottleChangesNothing)
{
    Aircraft aircraft;
    aircraft.create_body(glm::vec3(0.0f, 50.0f, 0.0f));
    aircraft.controls.throttle = 1.0f;
    aircraft.body->clearForces();
    aircraft.update();
    EXPECT_TRUE(vec_near(aircraft.body->getTotalForce(), btVector3(0.0f, 0.0f, 0.0f), 0.0f));
    EXPECT_TRUE(vec_near(aircraft.body->getTotalTorque(), btVector3(0.0f, 0.0f, 0.0f), 0.0f));
}

TEST_F(AircraftTest, SpeedIsTheLengthOfTheLinearVelocity)
{
    Aircraft aircraft;
    aircraft.create_body(glm::vec3(0.0f));
    aircraft.body->setLinearVelocity(btVector3(3.0f, -4.0f, 12.0f));
    EXPECT_FLOAT_EQ(aircraft.speed(), 13.0f);
}

TEST_F(AircraftTest, PlacingTheBodyPutsItAtRestUpright)
{
    Aircraft aircraft;
    aircraft.create_body(glm::vec3(0.0f, 5.0f, 0.0f));
    aircraft.controls = ControlInputs{0.25f, -0.5f, 0.75f, 0.8f};
    btRigidBody& body = *aircraft.body;
    body.setWorldTransform(btTransform(btQuaternion(btVector3(1.0f, 1.0f, 0.0f).normalized(), 1.0f), btVector3(900.0f, -3.0f, 40.0f)));
    body.setLinearVelocity(btVector3(50.0f, 1.0f, 2.0f));
    body.setAngularVelocity(btVector3(0.0f, 3.0f, 1.0f));

    aircraft.place_body(glm::vec3(0.0f, 105.0f, 0.0f));

    EXPECT_TRUE(vec_near(aircraft.position(), glm::vec3(0.0f, 105.0f, 0.0f), 0.0f));
    EXPECT_EQ(aircraft.rotation(), glm::quat(1.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(aircraft.speed(), 0.0f);
    EXPECT_TRUE(vec_near(body.getAngularVelocity(), btVector3(0.0f, 0.0f, 0.0f), 0.0f));
    EXPECT_TRUE(body.isActive());
    EXPECT_EQ(aircraft.controls.throttle, 0.8f) << "controls are not the body's business";
    EXPECT_EQ(aircraft.controls.rudder, 0.75f);

    // From there it falls freely like a body just created.
    world().step(PhysicsWorld::max_step);
    EXPECT_NEAR(body.getLinearVelocity().y(), -9.81f / 60.0f, 1e-5f);
    EXPECT_NEAR(body.getLinearVelocity().x(), 0.0f, 1e-6f);
}

} // namespace
