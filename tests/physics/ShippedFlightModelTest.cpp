#include <algorithm>
#include <cmath>

#include <btBulletDynamicsCommon.h>
#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include "app/Config.h"
#include "console/Console.h"
#include "physics/Aircraft.h"
#include "tests/physics/PhysicsTestSupport.h"

namespace {

using physics_test::PhysicsFixture;

// The flight model as shipped before the aerodynamic model (which it does not switch on), on
// the ground plane, spawned 5 m above it as the application does: without the aerodynamic
// model everything behaves as it always did.
class ShippedFlightModelTest : public PhysicsFixture {
protected:
    static constexpr float ground = 574.0f;
    Aircraft aircraft;
    physics_test::TempFile file{R"({
        "engines": [{ "position": [3.0, 0.0, 0.0], "thrust": 2000.0 }],
        "wings": [{ "position": [0.5, 0.5, 3.0], "roll_angle": -3, "wingspan": 5.0, "chord_length": 1.5 },
                  { "position": [0.5, 0.5, -3.0], "roll_angle": 3, "wingspan": 5.0, "chord_length": 1.5 }],
        "wheels": [{ "position": [2.0, -1.0, 0.0], "stiffness": 8000.0, "damping": 2000.0 },
                   { "position": [-1.0, -1.0, 1.0], "stiffness": 8000.0, "damping": 2000.0 },
                   { "position": [-1.0, -1.0, -1.0], "stiffness": 8000.0, "damping": 2000.0 }]})"};

    void SetUp() override
    {
        PhysicsFixture::SetUp();
        aircraft.create_body(glm::vec3(0.0f, ground + 5.0f, 0.0f));
        console::Capture capture;
        aircraft.load_flight_model(file.path());
        ASSERT_EQ(capture.err(), "");
        world().add_ground_plane(glm::vec3(0.0f, ground, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    }

    void run_frame()
    {
        aircraft.update();
        world().step(PhysicsWorld::max_step);
    }

    // How far the body's up axis leans from world +Y, in degrees.
    float tilt_degrees() const
    {
        const glm::vec3 up = aircraft.rotation() * glm::vec3(0.0f, 1.0f, 0.0f);
        return glm::degrees(std::acos(std::clamp(up.y, -1.0f, 1.0f)));
    }

    // Height of the box's lowest corner above the ground.
    float box_clearance() const
    {
        float lowest = 1e9f;
        for (const float x : {-3.0f, 3.0f}) {
            for (const float y : {-0.5f, 0.5f}) {
                for (const float z : {-0.5f, 0.5f}) {
                    lowest = std::min(lowest, (aircraft.position() + aircraft.rotation() * glm::vec3(x, y, z)).y);
                }
            }
        }
        return lowest - ground;
    }
};

TEST_F(ShippedFlightModelTest, HasOneEngineTwoWingsThreeWheels)
{
    EXPECT_EQ(aircraft.engines.size(), 1u);
    EXPECT_EQ(aircraft.wings.size(), 2u);
    EXPECT_EQ(aircraft.wheels.size(), 3u);
    for (const Wheel& wheel : aircraft.wheels) {
        EXPECT_LT(wheel.position.y, -0.5f) << "wheels hang below the box";
        EXPECT_GT(wheel.rest_length, 0.0f);
    }
}

TEST_F(ShippedFlightModelTest, SettlesLevelOnItsWheelsClearOfTheGround)
{
    float lowest_clearance = 1e9f;
    for (int frame = 0; frame < 600; ++frame) {
        run_frame();
        lowest_clearance = std::min(lowest_clearance, box_clearance());
    }
    EXPECT_GT(lowest_clearance, 0.05f) << "the box touched the ground while landing";
    EXPECT_LT(tilt_degrees(), 1.0f);
    // Nothing along the ground holds it, so the sway of the landing may leave it drifting.
    EXPECT_LT(std::abs(aircraft.body->getLinearVelocity().y()), 0.01f);
    EXPECT_GT(box_clearance(), 0.5f);
    for (const Wheel& wheel : aircraft.wheels) {
        EXPECT_GT(wheel.offset, 0.0f);
        EXPECT_LT(wheel.offset, wheel.rest_length);
    }
    // Level: the three wheels share the load equally, so they are compressed alike.
    EXPECT_NEAR(aircraft.wheels[0].offset, aircraft.wheels[1].offset, 0.01f);
    EXPECT_NEAR(aircraft.wheels[1].offset, aircraft.wheels[2].offset, 0.01f);
}

TEST_F(ShippedFlightModelTest, TiltedSpinningDropSettlesLevel)
{
    const btQuaternion tilted = btQuaternion(btVector3(1.0f, 0.0f, 0.0f), 0.2f) *
        btQuaternion(btVector3(0.0f, 0.0f, 1.0f), 0.1f) * btQuaternion(btVector3(0.0f, 1.0f, 0.0f), 0.7f);
    aircraft.body->setWorldTransform(btTransform(tilted, btVector3(0.0f, ground + 5.0f, 0.0f)));
    aircraft.body->setAngularVelocity(btVector3(0.5f, 0.3f, -0.4f));

    float lowest_clearance = 1e9f;
    for (int frame = 0; frame < 300; ++frame) {
        run_frame();
        lowest_clearance = std::min(lowest_clearance, box_clearance());
    }
    EXPECT_GT(lowest_clearance, 0.05f) << "the box touched the ground while landing";
    EXPECT_LT(tilt_degrees(), 1.0f);
    EXPECT_LT(std::abs(aircraft.body->getLinearVelocity().y()), 0.01f);
    // Roll and pitch die out. The yaw spin that is left dies out too, if slowly: nothing along
    // the ground resists it, but the angular damping takes about 5 % of it a second.
    EXPECT_LT(std::abs(aircraft.body->getAngularVelocity().x()), 0.01f);
    EXPECT_LT(std::abs(aircraft.body->getAngularVelocity().z()), 0.01f);
    const float yaw_rate = std::abs(aircraft.body->getAngularVelocity().y());
    ASSERT_GT(yaw_rate, 0.1f);
    for (int frame = 0; frame < 600; ++frame) {
        run_frame();
    }
    EXPECT_NEAR(std::abs(aircraft.body->getAngularVelocity().y()) / yaw_rate, std::pow(0.95f, 10.0f), 0.05f);
}

TEST_F(ShippedFlightModelTest, FullThrottleRollsAlongWorldXOnItsWheels)
{
    for (int frame = 0; frame < 180; ++frame) {
        run_frame(); // land and settle first
    }
    const glm::vec3 start = aircraft.position();
    aircraft.controls.throttle = 1.0f;

    float lowest_clearance = 1e9f;
    float largest_tilt = 0.0f;
    for (int frame = 0; frame < 600; ++frame) {
        run_frame();
        lowest_clearance = std::min(lowest_clearance, box_clearance());
        largest_tilt = std::max(largest_tilt, tilt_degrees());
    }
    const glm::vec3 end = aircraft.position();

    // 2000 N on 480 kg for 10 s, nothing along the ground to hold it back: about 208 m.
    EXPECT_NEAR(end.x - start.x, 0.5f * 2000.0f / 480.0f * 100.0f, 5.0f);
    EXPECT_NEAR(end.z - start.z, 0.0f, 0.5f);
    EXPECT_NEAR(aircraft.body->getLinearVelocity().x(), 2000.0f / 480.0f * 10.0f, 0.5f);
    EXPECT_GT(lowest_clearance, 0.05f) << "the box touched the ground";
    EXPECT_LT(largest_tilt, 5.0f) << "tipped over";
    EXPECT_NEAR(end.y, start.y, 0.05f) << "kept its ride height";
}

} // namespace
