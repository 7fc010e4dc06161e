// The physics world (Bullet behind the design's own rules) and the boxes that show it.

#include "physics/PhysicsWorld.h"

#include <algorithm>
#include <limits>

#include <btBulletDynamicsCommon.h>
#include <gtest/gtest.h>

#include "physics/Aircraft.h"
#include "physics/DebugGeometry.h"

namespace {

// The world is process-wide: each test starts with it empty.
class PhysicsTest : public ::testing::Test {
protected:
    void SetUp() override { world.remove_all_bodies(); }
    void TearDown() override { world.remove_all_bodies(); }
    btRigidBody* cube(const glm::vec3& position, float mass = 1.0f)
    {
        return world.add_dynamic_body(std::make_unique<btBoxShape>(btVector3(0.5f, 0.5f, 0.5f)), mass, position);
    }
    // Steps until the condition holds for the body, at most 10 s; returns the body's x, y.
    glm::vec2 step_while(btRigidBody* body, const std::function<bool(const btRigidBody&)>& condition)
    {
        for (int i = 0; i < 600 && condition(*body); ++i)
            world.step(PhysicsWorld::max_step);
        return {body->getWorldTransform().getOrigin().x(), body->getWorldTransform().getOrigin().y()};
    }
    PhysicsWorld& world = PhysicsWorld::instance();
};

TEST_F(PhysicsTest, AStepIsTheFrameTimeCappedAtOneSixtiethOfASecond)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::pair<float, float> cases[] = {{0.5f, 1 / 60.0f}, {0.01f, 0.01f}, {0.0f, 0.0f}, {-0.25f, 0.0f}, {nan, 0.0f}, {inf, 1 / 60.0f}};
    for (const auto& [dt, step] : cases) {
        btRigidBody* body = cube(glm::vec3(0.0f, 100.0f, 0.0f));
        world.step(dt);
        EXPECT_NEAR(body->getLinearVelocity().y(), -9.81f * step, 1e-5f) << "dt " << dt;
        world.remove_body(body);
    }
    world.remove_body(nullptr); // unknown bodies are ignored
    EXPECT_EQ(world.get_scene().getNumCollisionObjects(), 0);
}

// Planes are solid opposite their normal at their elevation; contacts have the material's
// friction 0.5 and restitution 0.6 (not Bullet's products of them): a cube bounces back to about
// 0.6^2 of its drop and slides v^2 / (2 * 0.5 * g) from 5 m/s; bodies never fall asleep.
TEST_F(PhysicsTest, PlanesAndContactsFollowTheMaterial)
{
    for (float h : {612.5f, -80.0f}) {
        world.add_ground_plane(glm::vec3(0.0f, h, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
        btRigidBody* body = cube(glm::vec3(5000.0f, h + 5.0f, 3000.0f), 480.0f);
        EXPECT_NEAR(step_while(body, [](const btRigidBody&) { return true; }).y, h + 0.5f, 0.05f) << h;
        EXPECT_LT(body->getLinearVelocity().length(), 0.05f);
        world.remove_all_bodies();
    }
    world.add_ground_plane(glm::vec3(10.0f, 0.0f, 0.0f), glm::vec3(-1.0f, 0.0f, 0.0f)); // a wall facing west
    btRigidBody* thrown = cube(glm::vec3(0.0f));
    thrown->setGravity(btVector3(0.0f, 0.0f, 0.0f));
    thrown->setLinearVelocity(btVector3(5.0f, 0.0f, 0.0f));
    EXPECT_NEAR(step_while(thrown, [](const btRigidBody& b) { return b.getLinearVelocity().x() > 0.0f; }).x, 9.5f, 0.1f);
    world.remove_all_bodies();
    world.add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    btRigidBody* dropped = cube(glm::vec3(0.0f, 4.5f, 0.0f));
    step_while(dropped, [](const btRigidBody& b) { return b.getLinearVelocity().y() <= 0.0f; });
    EXPECT_NEAR((step_while(dropped, [](const btRigidBody& b) { return b.getLinearVelocity().y() > 0.0f; }).y - 0.5f) / 4.0f,
                0.36f, 0.06f) << "the apex of the first bounce";
    world.remove_body(dropped);
    btRigidBody* slider = cube(glm::vec3(0.0f, 0.5f, 0.0f));
    step_while(slider, [n = 0](const btRigidBody&) mutable { return ++n < 60; });
    slider->setLinearVelocity(btVector3(5.0f, 0.0f, 0.0f));
    EXPECT_NEAR(step_while(slider, [](const btRigidBody& b) { return b.getLinearVelocity().x() > 1e-3f; }).x, 25.0f / 9.81f, 0.25f);
    EXPECT_TRUE(slider->isActive()) << "bodies never fall asleep";
}

TEST_F(PhysicsTest, BoxesAndSpheresAreDrawnAtTheirFullSizeScaledToTheWorld)
{
    const float s = 0.05f;
    world.add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    world.add_dynamic_body(std::make_unique<btCapsuleShape>(0.5f, 2.0f), 1.0f, glm::vec3(0.0f));
    Aircraft aircraft;
    EXPECT_TRUE(flight_model_placements(aircraft, s).empty()) << "nothing without a body";
    aircraft.create_body(glm::vec3(100.0f, 600.0f, 0.0f));
    aircraft.wings.push_back(Wing{5.0f, 1.5f, Wing::roll_orientation(-3), glm::vec3(0.5f, 0.5f, 3.0f)});
    aircraft.wheels.push_back(Wheel::attached_at(glm::vec3(2.0f, -1.0f, 0.0f), 20000.0f, 2000.0f));
    world.add_dynamic_body(std::make_unique<btSphereShape>(0.7f), 1.0f, glm::vec3(0.0f));
    auto compound = std::make_unique<btCompoundShape>();
    btBoxShape child(btVector3(1.0f, 2.0f, 3.0f));
    compound->addChildShape(btTransform(btQuaternion::getIdentity(), btVector3(2.0f, 0.0f, 0.0f)), &child);
    btRigidBody* body = world.add_dynamic_body(std::move(compound), 1.0f, glm::vec3(0.0f));
    body->setWorldTransform(btTransform(btQuaternion(btVector3(0, 1, 0), SIMD_HALF_PI), btVector3(10, 20, 30)));
    const std::vector<BoxPlacement> boxes = scene_box_placements(world.get_scene(), s);
    ASSERT_EQ(boxes.size(), 3u) << "no plane, no capsule";
    EXPECT_EQ(std::tuple(boxes[0].actor, boxes[0].scale, boxes[0].position), std::tuple(aircraft.body, glm::vec3(6, 1, 1) * s, glm::vec3(100, 600, 0) * s));
    EXPECT_EQ(std::pair(boxes[1].scale, boxes[2].scale), std::pair(glm::vec3(1.4f) * s, glm::vec3(2, 4, 6) * s));
    EXPECT_LT(glm::length(boxes[2].position - glm::vec3(10, 20, 28) * s), 1e-5f) << "the child's +X offset turned to -Z";

    std::vector<BoxPlacement> gear = flight_model_placements(aircraft, s); // wings, then wheels
    ASSERT_EQ(gear.size(), 2u);
    EXPECT_EQ(std::pair(gear[0].scale, gear[1].scale), std::pair(glm::vec3(1.5f, 0.1f, 5.0f) * s, glm::vec3(0.25f) * s));
    EXPECT_LT(glm::length(gear[0].position - glm::vec3(100.5f, 600.5f, 3.0f) * s), 1e-4f);
    EXPECT_NEAR(glm::dot(gear[0].rotation, Wing::roll_orientation(-3)), 1.0f, 1e-6f);
    EXPECT_LT(glm::length(gear[1].position - glm::vec3(102.0f, 598.0f, 0.0f) * s), 1e-4f) << "rest length below";
    // Rolled a quarter turn, the body's up is world +Z: a compressed wheel is drawn that way.
    aircraft.body->setWorldTransform(btTransform(btQuaternion(btVector3(1, 0, 0), SIMD_HALF_PI), btVector3(100, 600, 0)));
    const glm::vec3 relaxed = flight_model_placements(aircraft, s)[1].position;
    aircraft.wheels[0].offset = 0.3f;
    EXPECT_LT(glm::length(flight_model_placements(aircraft, s)[1].position - relaxed - glm::vec3(0.0f, 0.0f, 0.3f * s)), 1e-5f);
    world.remove_all_bodies(); // before the child shape on this stack goes
}

} // namespace
