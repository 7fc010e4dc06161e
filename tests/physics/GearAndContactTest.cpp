// Contact and landing-gear behaviour that a flight model relies on: bounces only from a real
// impact, and wheel dampers that calm the body whatever their setting.

#include <algorithm>
#include <cmath>
#include <memory>

#include <btBulletDynamicsCommon.h>
#include <gtest/gtest.h>

#include "physics/Aircraft.h"
#include "tests/physics/PhysicsFixture.h"

namespace {

using physics_test::PhysicsFixture;

// A level cube dropped from rest so that it meets the ground slower than 2 m/s stays down:
// such impacts do not bounce (with Bullet's own threshold of 0.2 m/s it would rebound at about
// 0.2 m/s and more).
class SlowImpactTest : public PhysicsFixture, public ::testing::WithParamInterface<float> {};

TEST_P(SlowImpactTest, DoesNotBounce)
{
    const float impact = GetParam();
    world().add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    const float drop = impact * impact / (2.0f * -PhysicsWorld::gravity);
    btRigidBody* cube = world().add_dynamic_body(std::make_unique<btBoxShape>(btVector3(0.5f, 0.5f, 0.5f)), 1.0f,
                                                 glm::vec3(0.0f, 0.5f + drop, 0.0f));
    float rebound = 0.0f;
    for (int i = 0; i < 90; ++i) {
        world().step(PhysicsWorld::max_step);
        rebound = std::max(rebound, cube->getLinearVelocity().y());
    }
    EXPECT_LT(rebound, 0.1f) << "impact at " << impact << " m/s";
}

INSTANTIATE_TEST_SUITE_P(Speeds, SlowImpactTest, ::testing::Values(0.8f, 1.2f, 1.5f));

// Three wheels at the overlay's largest damping, 10000, on the 480 kg body (roll inertia
// 80 kg m^2), stepped at the longest step: a rocking body must come to rest, not rock harder.
TEST_F(PhysicsFixture, LargestDampingCalmsARockingBody)
{
    world().add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    Aircraft aircraft{world()};
    aircraft.create_body(glm::vec3(0.0f, 1.8f, 0.0f));
    for (const glm::vec3 position : {glm::vec3(2.0f, -1.0f, 0.0f), glm::vec3(-0.5f, -1.0f, 1.0f), glm::vec3(-0.5f, -1.0f, -1.0f)})
        aircraft.wheels.push_back(Wheel::attached_at(position, 8000.0f, 10000.0f));
    aircraft.body->setAngularVelocity(btVector3(1.5f, 0.0f, 0.5f));

    float early = 0.0f; // largest roll or pitch rate in the first half second
    float late = 0.0f;  // and in the last second
    for (int frame = 0; frame < 300; ++frame) {
        aircraft.update(PhysicsWorld::max_step);
        world().step(PhysicsWorld::max_step);
        const btVector3 w = aircraft.body->getAngularVelocity();
        ASSERT_TRUE(std::isfinite(w.length())) << "frame " << frame;
        const float rate = std::max(std::abs(w.x()), std::abs(w.z()));
        if (frame < 30)
            early = std::max(early, rate);
        if (frame >= 240)
            late = std::max(late, rate);
    }
    EXPECT_GT(early, 0.5f);
    EXPECT_LT(late, 0.02f) << "still rocking after 4 s";
}

} // namespace
