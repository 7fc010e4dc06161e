#include <algorithm>
#include <cmath>
#include <string>
#include <limits>
#include <memory>

#include <btBulletDynamicsCommon.h>
#include <gtest/gtest.h>

#include "physics/PhysicsWorld.h"
#include "tests/physics/PhysicsTestSupport.h"

namespace {

using physics_test::PhysicsFixture;
using physics_test::vec_near;

class PhysicsWorldTest : public PhysicsFixture {};

btRigidBody* add_cube(float half_extent, const glm::vec3& position, float mass = 1.0f)
{
    return PhysicsWorld::instance().add_dynamic_body(
        std::make_unique<btBoxShape>(btVector3(half_extent, half_extent, half_extent)), mass, position);
}

TEST_F(PhysicsWorldTest, InstanceIsTheSameWorldEveryTime)
{
    PhysicsWorld& first = PhysicsWorld::instance();
    PhysicsWorld& second = PhysicsWorld::instance();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(&first.get_scene(), &second.get_scene());
}

TEST_F(PhysicsWorldTest, GravityPointsDownAlongY)
{
    EXPECT_TRUE(vec_near(world().get_scene().getGravity(), btVector3(0.0f, -9.81f, 0.0f), 1e-6f));
}

// A body falling freely from rest gains -9.81 * h of vertical speed in one step of length h,
// which shows how long the step really was.
struct StepCase {
    float dt;
    float expected_step;
};

class StepLengthTest : public PhysicsFixture, public ::testing::WithParamInterface<StepCase> {};

TEST_P(StepLengthTest, AdvancesByTheCappedFrameTime)
{
    const StepCase c = GetParam();
    btRigidBody* body = add_cube(0.5f, glm::vec3(0.0f, 100.0f, 0.0f));
    world().step(c.dt);
    EXPECT_NEAR(body->getLinearVelocity().y(), -9.81f * c.expected_step, 1e-5f) << "dt " << c.dt;
    EXPECT_NEAR(body->getWorldTransform().getOrigin().y(), 100.0f - 9.81f * c.expected_step * c.expected_step, 1e-4f);
}

INSTANTIATE_TEST_SUITE_P(Frames, StepLengthTest,
    ::testing::Values(StepCase{0.5f, 1.0f / 60.0f}, StepCase{0.01f, 0.01f}, StepCase{1.0f / 60.0f, 1.0f / 60.0f},
        StepCase{0.0f, 0.0f}, StepCase{-0.25f, 0.0f}, StepCase{std::numeric_limits<float>::quiet_NaN(), 0.0f},
        StepCase{std::numeric_limits<float>::infinity(), 1.0f / 60.0f}));

TEST_F(PhysicsWorldTest, StepCapIsOneSixtiethInSinglePrecision)
{
    EXPECT_EQ(PhysicsWorld::max_step, 0.016666668f);
}

// Every shape has the one material: friction 0.5 and restitution 0.6.
TEST_F(PhysicsWorldTest, BodiesCarryTheWorldMaterial)
{
    btRigidBody* cube = add_cube(0.5f, glm::vec3(0.0f));
    btRigidBody* plane = world().add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    for (const btRigidBody* body : {cube, plane}) {
        EXPECT_FLOAT_EQ(body->getFriction(), 0.5f);
        EXPECT_FLOAT_EQ(body->getRestitution(), 0.6f);
    }
}

// A plane through (0, h, 0) with normal +Y is solid below h whatever the sign of h.
class GroundPlaneTest : public PhysicsFixture, public ::testing::WithParamInterface<float> {};

TEST_P(GroundPlaneTest, DroppedBodyRestsOnThePlaneAtItsElevation)
{
    const float h = GetParam();
    world().add_ground_plane(glm::vec3(0.0f, h, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    btRigidBody* body = add_cube(0.5f, glm::vec3(0.0f, h + 5.0f, 0.0f), 480.0f);
    // It bounces (restitution 0.6) and may tumble before it settles.
    step_for(10.0f);

    const btVector3 position = body->getWorldTransform().getOrigin();
    EXPECT_NEAR(position.y(), h + 0.5f, 0.05f) << "plane at " << h;
    EXPECT_LT(body->getLinearVelocity().length(), 0.05f);

    // Carried far sideways, over where the terrain would be much higher or lower, it rests on
    // the same flat plane.
    for (const float x : {5000.0f, -12000.0f}) {
        btTransform moved = body->getWorldTransform();
        moved.setOrigin(btVector3(x, h + 2.0f, 3000.0f));
        body->setWorldTransform(moved);
        body->setLinearVelocity(btVector3(0.0f, 0.0f, 0.0f));
        step_for(3.0f);
        EXPECT_NEAR(body->getWorldTransform().getOrigin().y(), h + 0.5f, 0.05f) << "moved to x " << x;
    }
}

INSTANTIATE_TEST_SUITE_P(Elevations, GroundPlaneTest, ::testing::Values(0.0f, 612.5f, -80.0f));

TEST_F(PhysicsWorldTest, TiltedPlaneIsSolidOppositeToItsNormal)
{
    // A wall through x = 10 facing -X: a body moving toward +X stops at it.
    world().add_ground_plane(glm::vec3(10.0f, 0.0f, 0.0f), glm::vec3(-1.0f, 0.0f, 0.0f));
    btRigidBody* body = add_cube(0.5f, glm::vec3(0.0f, 0.0f, 0.0f));
    body->setGravity(btVector3(0.0f, 0.0f, 0.0f));
    body->setLinearVelocity(btVector3(5.0f, 0.0f, 0.0f));
    float farthest = 0.0f;
    for (int i = 0; i < 240; ++i) {
        world().step(PhysicsWorld::max_step);
        farthest = std::max(farthest, body->getWorldTransform().getOrigin().x());
    }
    EXPECT_GT(farthest, 9.0f) << "it reached the wall";
    EXPECT_LT(farthest, 9.6f) << "and did not pass into it";
    EXPECT_LT(body->getLinearVelocity().x(), 0.0f) << "it bounced back";
}

// The highest point a level cube reaches after its first bounce: restitution e sends it back up
// to about e^2 of its drop height. Bullet's own rule (the product of the two coefficients,
// 0.36) would give about 0.13 of it.
TEST_F(PhysicsWorldTest, CombinedRestitutionIsTheMaterialValue)
{
    world().add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    const float drop = 4.0f;
    btRigidBody* body = add_cube(0.5f, glm::vec3(0.0f, 0.5f + drop, 0.0f));

    bool bounced = false;
    float apex = 0.0f;
    for (int i = 0; i < 600; ++i) {
        world().step(PhysicsWorld::max_step);
        const float vy = body->getLinearVelocity().y();
        const float bottom = body->getWorldTransform().getOrigin().y() - 0.5f;
        if (vy > 0.0f) {
            bounced = true;
        }
        if (bounced) {
            apex = std::max(apex, bottom);
            if (vy < 0.0f) {
                break;
            }
        }
    }
    ASSERT_TRUE(bounced);
    EXPECT_NEAR(apex / drop, 0.6f * 0.6f, 0.06f) << "apex " << apex << " after a drop of " << drop;
}

// A cube sliding at v0 on the plane stops after v0^2 / (2 mu g): mu 0.5 gives 2.55 m from 5 m/s;
// Bullet's own rule (0.25) would double it.
TEST_F(PhysicsWorldTest, CombinedFrictionIsTheMaterialValue)
{
    world().add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    btRigidBody* body = add_cube(0.5f, glm::vec3(0.0f, 0.5f, 0.0f));
    step_for(1.0f);
    const float start = body->getWorldTransform().getOrigin().x();

    const float v0 = 5.0f;
    body->setLinearVelocity(btVector3(v0, 0.0f, 0.0f));
    int steps = 0;
    while (body->getLinearVelocity().x() > 1e-3f && steps < 600) {
        world().step(PhysicsWorld::max_step);
        ++steps;
    }
    ASSERT_LT(steps, 600) << "still sliding after 10 s";
    const float distance = body->getWorldTransform().getOrigin().x() - start;
    const float expected = v0 * v0 / (2.0f * 0.5f * 9.81f);
    EXPECT_NEAR(distance, expected, 0.1f * expected);
}

TEST_F(PhysicsWorldTest, DynamicBodiesNeverFallAsleep)
{
    world().add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    btRigidBody* body = add_cube(0.5f, glm::vec3(0.0f, 0.5f, 0.0f));
    step_for(10.0f);
    EXPECT_TRUE(body->isActive());
    body->applyCentralForce(btVector3(100.0f, 0.0f, 0.0f));
    world().step(PhysicsWorld::max_step);
    EXPECT_GT(body->getLinearVelocity().x(), 0.0f);
}

TEST_F(PhysicsWorldTest, RemovingBodiesEmptiesTheScene)
{
    btRigidBody* first = add_cube(0.5f, glm::vec3(0.0f));
    add_cube(0.5f, glm::vec3(3.0f, 0.0f, 0.0f));
    world().add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(world().get_scene().getNumCollisionObjects(), 3);

    world().remove_body(first);
    EXPECT_EQ(world().get_scene().getNumCollisionObjects(), 2);
    world().remove_body(first); // already gone: ignored
    world().remove_body(nullptr);
    EXPECT_EQ(world().get_scene().getNumCollisionObjects(), 2);

    world().remove_all_bodies();
    EXPECT_EQ(world().get_scene().getNumCollisionObjects(), 0);
    world().step(PhysicsWorld::max_step); // an empty world steps without trouble
}

} // namespace
