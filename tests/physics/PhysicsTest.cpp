// The physics world (Bullet behind the design's own rules), the boxes that show it, and the
// aircraft: its flight-model file, its body, the engines' thrust and the landing gear, and an
// aircraft of today's kind (engine, three wheels) landing and rolling on the ground.

#include "physics/Aircraft.h"

#include <algorithm>
#include <functional>
#include <limits>

#include <btBulletDynamicsCommon.h>
#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include "console/Console.h"
#include "physics/BulletMath.h"
#include "physics/DebugGeometry.h"
#include "physics/PhysicsWorld.h"
#include "tests/support/Support.h"

namespace {

float distance(const btVector3& a, const btVector3& b) { return (a - b).length(); }

class AircraftTest : public ::testing::Test {
protected:

    // Loads the file (written with the text, if given) into an aircraft that has one engine,
    // wheel and wing already, to see which lists a load replaced; returns what it printed.
    std::string load(const std::string& text, std::filesystem::path path = {})
    {
        if (path.empty())
            support::write_file(path = dir / "FlightModel.json", text);
        aircraft.engines = {Engine{111.0f, glm::vec3(1.0f)}};
        aircraft.wheels = {Wheel::attached_at(glm::vec3(0.0f, -3.0f, 0.0f), 333.0f, 3.0f)};
        aircraft.wings = {Wing{222.0f, 2.0f, {}, glm::vec3(2.0f)}};
        console::Capture capture;
        aircraft.load_flight_model(path);
        return capture.out() + capture.err();
    }
    // Which lists still hold what they had: E(ngines), W(heels), G (wings).
    std::string old_lists() const
    {
        return std::string(aircraft.engines.size() == 1 && aircraft.engines[0].thrust == 111.0f ? "E" : "") +
               (aircraft.wheels.size() == 1 && aircraft.wheels[0].stiffness == 333.0f ? "W" : "") +
               (aircraft.wings.size() == 1 && aircraft.wings[0].wingspan == 222.0f ? "G" : "");
    }
    btRigidBody* cube(const glm::vec3& position, float mass = 1.0f)
    {
        return world.add_dynamic_body(std::make_unique<btBoxShape>(btVector3(0.5f, 0.5f, 0.5f)), mass, position);
    }
    // Steps while the condition holds for the body, at most 10 s; returns the body's x, y.
    glm::vec2 step_while(btRigidBody* body, const std::function<bool(const btRigidBody&)>& condition)
    {
        for (int i = 0; i < 600 && condition(*body); ++i)
            world.step(PhysicsWorld::max_step);
        return {body->getWorldTransform().getOrigin().x(), body->getWorldTransform().getOrigin().y()};
    }
    void fly(int frames, const std::function<void()>& each_frame = [] {})
    {
        for (int i = 0; i < frames; ++i) {
            aircraft.update();
            world.step(PhysicsWorld::max_step);
            each_frame();
        }
    }

    support::TempDir dir{"wh-aircraft"};
    PhysicsWorld world;
    Aircraft aircraft{world};
};

TEST_F(AircraftTest, AFlightModelFileFillsTheListsWithDefaultsAndAnErrorKeepsWhatWasReadBeforeIt)
{
    EXPECT_EQ(load(R"({"engines": [{"position": [3, 0.5, -1], "thrust": 2500}, {}], "unknown": {"ignored": true},
        "wheels": [{"position": [2, -1.5, 0], "stiffness": 12000, "damping": 900}, {"position": [-1, -1, 1.5, 99]}],
        "wings": [{"position": [0.5, 0.25, 3], "roll_angle": 3, "wingspan": 5, "chord_length": 1.5}, {}]})"),
              "Read flightmodel config from " + console::quoted(dir / "FlightModel.json") + "\n");
    ASSERT_EQ(std::tuple(aircraft.engines.size(), aircraft.wheels.size(), aircraft.wings.size()), std::tuple(2u, 2u, 2u));
    const Engine &engine = aircraft.engines[0], &bare_engine = aircraft.engines[1];
    EXPECT_EQ(std::tuple(engine.position, engine.thrust, bare_engine.position, bare_engine.thrust),
              std::tuple(glm::vec3(3.0f, 0.5f, -1.0f), 2500.0f, glm::vec3(0.0f), 0.0f));
    const Wheel &nose = aircraft.wheels[0], &main = aircraft.wheels[1]; // the suspension reaches -y down
    EXPECT_EQ(std::tuple(nose.position, nose.rest_length, nose.stiffness, nose.damping, nose.offset, nose.orientation),
              std::tuple(glm::vec3(2.0f, -1.5f, 0.0f), 1.5f, 12000.0f, 900.0f, 0.0f, glm::quat(1, 0, 0, 0)));
    EXPECT_EQ(std::tuple(main.position, main.rest_length, main.stiffness, main.damping),
              std::tuple(glm::vec3(-1.0f, -1.0f, 1.5f), 1.0f, 30000.0f, 1000.0f)) << "numbers past the third ignored";
    const Wing &wing = aircraft.wings[0], &bare = aircraft.wings[1];
    EXPECT_EQ(std::tuple(wing.position, wing.wingspan, wing.chord_length, bare.wingspan, bare.chord_length, bare.orientation),
              std::tuple(glm::vec3(0.5f, 0.25f, 3.0f), 5.0f, 1.5f, 0.0f, 0.0f, glm::quat(1, 0, 0, 0)));
    EXPECT_NE(load(R"({"wings": [{"wingspan": 4}]})"), "");
    EXPECT_TRUE(aircraft.engines.empty() && aircraft.wheels.empty()) << "a missing member means none";
    // Roll angles are whole degrees about the body's X axis: the fraction cut toward zero,
    // whole turns of 720 degrees taken off.
    const std::pair<std::string, float> angles[] = {{"10.9", 10}, {"-5.99", -5}, {"0.7", 0}, {"180", 180}, {"730", 10}, {"1e300", 0}};
    for (const auto& [text, degrees] : angles) {
        load(R"({"wings": [{"roll_angle": )" + text + "}]}");
        EXPECT_NEAR(std::abs(glm::dot(aircraft.wings.at(0).orientation, glm::angleAxis(glm::radians(degrees), glm::vec3(1, 0, 0)))),
                    1.0f, 1e-6f) << text;
    }
    // Reading ends at an error, printed in one line with the library's message: the lists before
    // it hold the new contents, the one being read what it had appended, those after it their old.
    struct Case { const char* text; const char* message; const char* old_lists; size_t engines; };
    for (const Case& c : {Case{R"({"engines": [{"thrust": 5}], )", "parse error at line 1, column 30", "EWG", 1},
                          Case{R"({"engines": [{}, {"position": [1, 2]}], "wings": [{}]})", "array index 2 is out of range", "WG", 1},
                          Case{R"({"engines": [{}, {}, {"thrust": "max"}]})", "type must be number, but is string", "WG", 2},
                          Case{R"({"engines": [], "wheels": [{}, {"stiffness": true}]})", "type must be number, but is boolean", "G", 0},
                          Case{R"({"wings": [{}, {"roll_angle": "10"}]})", "type must be number, but is string", "", 0},
                          Case{R"({"engines": [{"thrust": 1e39}]})", "number out of range of a float: 1e+39", "WG", 0}}) {
        const std::string printed = load(c.text);
        EXPECT_TRUE(printed.starts_with(console::quoted(dir / "FlightModel.json") + ": ") &&
                    printed.find(c.message) != std::string::npos) << c.text << "\n" << printed;
        EXPECT_EQ(std::tuple(std::count(printed.begin(), printed.end(), '\n'), old_lists(), aircraft.engines.size()),
                  std::tuple(1, std::string(c.old_lists), c.engines)) << c.text;
    }
    for (const std::filesystem::path& path : {dir / "absent.json", dir / "a\"b\\c.json", dir.path()}) {
        EXPECT_EQ(load("", path), "Could not open " + console::quoted(path) + "\n");
        EXPECT_EQ(old_lists(), "EWG");
    }
}

// "model" names the drawing's file, its place on the body and the moving parts; "eye" the
// pilot's eye. Both are read after the lists, so a bad one leaves the physics as read; its one
// line names the member.
TEST_F(AircraftTest, TheModelAndTheEyeAreReadLastAndABadMemberIsNamed)
{
    const std::string parts = R"("parts": {"elevator": {"node": "tail", "axis": [0, 0, -2], "max_deg": 20},
        "propeller": {"node": "prop", "axis": [1, 0, 0], "rpm": [600, 2000], "disc": "blur", "disc_rpm": 250}})";
    EXPECT_EQ(load(R"({"engines": [{"thrust": 5}], "model": {"file": "models/a.glb", "offset": [1, 2, 3], "scale": 0.5,
        "rotation": [0, 90, 0], )" + parts + R"(}, "eye": [0.5, 0.25, -0.25]})"),
              "Read flightmodel config from " + console::quoted(dir / "FlightModel.json") + "\n");
    ASSERT_TRUE(aircraft.model.has_value());
    const ModelDescription& model = *aircraft.model;
    EXPECT_EQ(std::tuple(model.file, model.offset, model.scale, aircraft.eye),
              std::tuple(std::string("models/a.glb"), glm::vec3(1, 2, 3), 0.5f, glm::vec3(0.5f, 0.25f, -0.25f)));
    EXPECT_LT(glm::length(model.rotation * glm::vec3(0, 0, 1) - glm::vec3(1, 0, 0)), 1e-6f) << "a model facing +z turned to the nose";
    ASSERT_TRUE(model.part(PartKind::Elevator) && model.part(PartKind::Propeller) && !model.part(PartKind::Rudder));
    const ModelPart &tail = *model.part(PartKind::Elevator), &prop = *model.part(PartKind::Propeller);
    EXPECT_EQ(std::tuple(tail.node, tail.axis, tail.max_angle), std::tuple(std::string("tail"), glm::vec3(0, 0, -1), glm::radians(20.0f)));
    EXPECT_EQ(std::tuple(prop.node, prop.idle_rpm, prop.full_rpm, prop.disc, prop.disc_rpm),
              std::tuple(std::string("prop"), 600.0f, 2000.0f, std::string("blur"), 250.0f));
    EXPECT_EQ(load(R"({"wings": []})"), "Read flightmodel config from " + console::quoted(dir / "FlightModel.json") + "\n");
    EXPECT_TRUE(!aircraft.model && aircraft.eye == Aircraft::default_eye) << "a file without them has none";

    struct Case { std::string members; const char* message; };
    const Case cases[] = {
        {R"("model": [])", "model: type must be object, but is array"},
        {R"("model": {"scale": 2})", "model: the member \"file\" is missing"},
        {R"("model": {"file": ""})", "model.file: must be a text that is not empty, not \"\""},
        {R"("model": {"file": "a.glb", "offset": [1, 2]})", "model.offset: array index 2 is out of range"},
        {R"("model": {"file": "a.glb", "scale": 0})", "model.scale: must be a positive number, not 0"},
        {R"("model": {"file": "a.glb", "scale": "big"})", "model.scale: type must be number, but is string"},
        {R"("model": {"file": "a.glb", "rotation": [0, true, 0]})", "model.rotation: type must be number, but is boolean"},
        {R"("model": {"file": "a.glb", "parts": {"flaps": {}}})", "model.parts.flaps: not a part (elevator, aileron_left"},
        {R"("model": {"file": "a.glb", "parts": {"rudder": {"axis": [0, 1, 0], "max_deg": 25}}})",
         "model.parts.rudder: the member \"node\" is missing"},
        {R"("model": {"file": "a.glb", "parts": {"rudder": {"node": "r", "axis": [0, 0, 0], "max_deg": 25}}})",
         "model.parts.rudder.axis: must have a length, not [0,0,0]"},
        {R"("model": {"file": "a.glb", "parts": {"nose_wheel": {"node": "n", "axis": [0, 1, 0], "max_deg": 200}}})",
         "model.parts.nose_wheel.max_deg: must lie within -180.0 and 180.0, not 200"},
        {R"("model": {"file": "a.glb", "parts": {"propeller": {"node": "p", "axis": [1, 0, 0], "rpm": 2400}}})",
         "model.parts.propeller.rpm: must be two numbers, idle and full throttle, not 2400"},
        {R"("eye": [0, 1])", "eye: array index 2 is out of range"},
    };
    for (const Case& c : cases) {
        const std::string printed = load(R"({"engines": [{"thrust": 5}], )" + c.members + "}");
        EXPECT_TRUE(printed.starts_with(console::quoted(dir / "FlightModel.json") + ": ") && printed.find(c.message) != std::string::npos &&
                    std::count(printed.begin(), printed.end(), '\n') == 1)
            << c.members << "\n" << printed;
        EXPECT_TRUE(aircraft.engines.size() == 1 && aircraft.engines[0].thrust == 5.0f && !aircraft.model) << c.members;
    }
}

// Values no aircraft of this body can have are refused as the file is read, naming the file and
// the member; reading ends there as at any other error.
TEST_F(AircraftTest, ValuesBeyondWhatCanFlyAreRefusedNamingTheMember)
{
    std::string wings = "[";
    for (int i = 0; i < 2500; ++i)
        wings += i == 0 ? "{}" : ",{}";
    wings += "]";
    const std::pair<std::string, std::string> cases[] = {
        {R"({"wings": [{}, {"lift_slope": 1e30}]})", "wings[1].lift_slope: 1e+30 is outside 0\u201320"},
        {R"({"engines": [{"thrust": 1e30}]})", "engines[0].thrust: 1e+30 is outside 0\u2013100000"},
        {R"({"engines": [{"thrust": 60000}, {"thrust": 60000}]})", "engines: 120000 N of thrust together, at most 100000 N"},
        {R"({"wheels": [{"stiffness": 1e12}]})", "wheels[0].stiffness: 1000000000000.0 is outside 0\u20131000000"},
        {R"({"wings": )" + wings + "}", "wings: 2500 of them, at most 32"},
        {R"({"inertia": [800, -1, 1150]})", "inertia[1]: -1 is outside 0.001\u20131000000"},
        {R"({"engines": [{"position": [1, 2, 1e5]}]})", "engines[0].position[2]: 100000.0 is outside -100\u2013100"},
        {R"({"wings": [{"controls": {"elevator": 90}}]})", "wings[0].controls.elevator: 90 is outside -45\u201345"},
    };
    for (const auto& [text, member] : cases) {
        const std::string printed = load(text);
        EXPECT_EQ(printed, console::quoted(dir / "FlightModel.json") + ": " + member + "\n") << text;
    }
    // The edges themselves are fine, and so is the shipped aircraft.
    EXPECT_EQ(load(R"({"engines": [{"thrust": 100000, "max_speed": 1000}], "wheels": [{"stiffness": 1e6, "grip": 2}],
        "wings": [{"lift_slope": 20, "stall_angle": 90, "efficiency": 1, "controls": {"rudder": -45}}], "inertia": [1e6, 1e6, 1e6]})"),
              "Read flightmodel config from " + console::quoted(dir / "FlightModel.json") + "\n");
    const std::filesystem::path shipped = std::filesystem::path(WH_SOURCE_DIR) / "assets/config/FlightModel.json";
    EXPECT_EQ(load("", shipped), "Read flightmodel config from " + console::quoted(shipped) + "\n");
}

// A 6 x 1 x 1 box of 480 kg; thrust is throttle x thrust along world +X at the engine's point,
// which turns with the body while the direction does not.
TEST_F(AircraftTest, TheBodyIsA480KilogramBoxPushedAlongWorldXAtItsEngines)
{
    aircraft.create_body(glm::vec3(0.0f));
    aircraft.create_body(glm::vec3(0.0f, 50.0f, 0.0f));
    const btRigidBody& body = *aircraft.body;
    const btVector3 inverse_inertia = body.getInvInertiaDiagLocal();
    EXPECT_EQ(world.get_scene().getNumCollisionObjects(), 1);
    EXPECT_FLOAT_EQ(1.0f / body.getInvMass(), 480.0f);
    EXPECT_LT(distance(btVector3(1, 1, 1) / inverse_inertia, btVector3(80.0f, 1480.0f, 1480.0f)), 0.1f) << "m (b^2 + c^2) / 12";
    aircraft.controls.throttle = 0.5f;
    aircraft.engines = {Engine{2000.0f, glm::vec3(1.0f, 1.0f, 0.0f)}};
    for (const auto& [yaw, arm] : {std::pair{0.0f, btVector3(1, 1, 0)}, std::pair{90.0f, btVector3(0, 1, -1)}}) {
        aircraft.body->setWorldTransform(btTransform(btQuaternion(btVector3(0, 1, 0), glm::radians(yaw)), btVector3(0, 50, 0)));
        aircraft.body->clearForces();
        aircraft.update();
        EXPECT_LT(distance(body.getTotalForce(), btVector3(1000, 0, 0)) + distance(body.getTotalTorque(), arm.cross(btVector3(1000, 0, 0))),
                  1e-2f) << "yaw " << yaw;
    }
    aircraft.controls.throttle = 1.0f;
    aircraft.body->setAngularVelocity(btVector3(0.0f, 3.0f, 1.0f));
    aircraft.place_body(glm::vec3(4.0f, 105.0f, -2.0f)); // at rest and upright (the App's X key checks the rest)
    EXPECT_EQ(body.getAngularVelocity().length(), 0.0f);
    aircraft.engines = {Engine{2400.0f, glm::vec3(3.0f, 0.0f, 0.0f)}};
    fly(60);
    EXPECT_NEAR(aircraft.body->getLinearVelocity().x(), 5.0f, 1e-3f) << "2400 N on 480 kg for 1 s";
    EXPECT_LT(aircraft.body->getAngularVelocity().length(), 1e-4f);
    EXPECT_FLOAT_EQ(aircraft.speed(), aircraft.body->getLinearVelocity().length());
}

// A wheel attached at (0, -1, 0), rest length 1, over the ground: the suspension pushes along the
// body's up axis with stiffness x compression - damping x the attachment point's speed along it.
TEST_F(AircraftTest, AWheelPushesWithItsSpringAndDamperAtItsAttachmentPoint)
{
    world.add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    aircraft.create_body(glm::vec3(0.0f));
    const auto push = [&](const glm::quat& attitude, float y, const glm::vec3& linear, const glm::vec3& angular, const Wheel& wheel) {
        aircraft.wheels = {wheel};
        aircraft.body->setWorldTransform(btTransform(physics::to_bt(attitude), btVector3(0.0f, y, 0.0f)));
        aircraft.body->setLinearVelocity(physics::to_bt(linear));
        aircraft.body->setAngularVelocity(physics::to_bt(angular));
        aircraft.body->clearForces();
        aircraft.wheels[0].step(*aircraft.body, world.get_scene());
        return std::pair(aircraft.body->getTotalForce(), aircraft.body->getTotalTorque());
    };
    const glm::quat level(1, 0, 0, 0);
    struct Case { float vertical_speed, stiffness, force; };
    for (const Case c : {Case{0, 30000, 3000}, Case{-2, 30000, 5000}, Case{4, 30000, -1000}, Case{0, 60000, 6000}}) {
        const auto [force, torque] = push(level, 1.9f, {0, c.vertical_speed, 0}, {}, Wheel::attached_at({0, -1, 0}, c.stiffness, 1000));
        EXPECT_LT(distance(force, btVector3(0, c.force, 0)) + torque.length(), 0.5f) << c.force;
        EXPECT_NEAR(aircraft.wheels[0].offset, 0.1f, 1e-4f);
    }
    // Rolled a quarter turn, the wheel sits at world (0, 0, -1) and pushes along world +Z.
    const glm::quat rolled = glm::angleAxis(glm::radians(90.0f), glm::vec3(1, 0, 0));
    EXPECT_LT(distance(push(rolled, 0.9f, {}, {}, Wheel::attached_at({0, -1, 0}, 30000, 1000)).first,
                       btVector3(0, 0, 3000)), 0.5f);
    // Out of reach, or without a suspension (attached at or above the body's origin): no force,
    // and the last compression stays.
    for (const auto& [y, attachment] : {std::pair{100.0f, -1.0f}, std::pair{0.2f, 0.0f}, std::pair{0.2f, 0.5f}}) {
        Wheel still = Wheel::attached_at(glm::vec3(1.0f, attachment, 0.0f), 30000.0f, 1000.0f);
        still.offset = 0.37f;
        EXPECT_EQ(push(level, y, {0.0f, -1.0f, 0.0f}, {}, still).first, btVector3(0, 0, 0)) << y << " " << attachment;
        EXPECT_EQ(aircraft.wheels[0].offset, 0.37f);
    }
}

// Today's kind of aircraft, dropped from 5 m as the application spawns it: it lands on its
// wheels without the box touching, settles level, and at full throttle rolls east.
TEST_F(AircraftTest, AThreeWheeledAircraftLandsLevelAndRollsEastUnderThrust)
{
    const float ground = 574.0f;
    load(R"({"engines": [{"position": [3, 0, 0], "thrust": 2000}], "wheels": [{"position": [2, -1, 0], "stiffness": 8000,
        "damping": 2000}, {"position": [-1, -1, 1], "stiffness": 8000, "damping": 2000},
        {"position": [-1, -1, -1], "stiffness": 8000, "damping": 2000}]})");
    world.add_ground_plane(glm::vec3(0.0f, ground, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    aircraft.create_body(glm::vec3(0.0f, ground + 5.0f, 0.0f));
    float clearance = 1e9f, tilt = 0.0f; // of the box's lowest corner; the largest lean of its up axis, degrees
    const auto lean = [&] { return glm::degrees(std::acos(std::min((aircraft.rotation() * glm::vec3(0, 1, 0)).y, 1.0f))); };
    const auto watch = [&] {
        for (int corner = 0; corner < 8; ++corner) {
            const glm::vec3 local(corner & 1 ? 3.0f : -3.0f, corner & 2 ? 0.5f : -0.5f, corner & 4 ? 0.5f : -0.5f);
            clearance = std::min(clearance, (aircraft.position() + aircraft.rotation() * local).y - ground);
        }
        tilt = std::max(tilt, lean());
    };
    fly(600, watch);
    tilt = lean(); // the landing may sway; settled, it stands level
    // Nothing along the ground holds it, so the sway of the landing may leave it drifting.
    const float sink = std::abs(aircraft.body->getLinearVelocity().y());
    EXPECT_TRUE(clearance > 0.05f && tilt < 1.0f && sink < 0.01f) << clearance << " " << tilt << " " << sink;
    EXPECT_TRUE(aircraft.wheels[0].offset > 0.0f && aircraft.wheels[0].offset < 1.0f);
    EXPECT_NEAR(aircraft.wheels[0].offset, aircraft.wheels[1].offset, 0.01f) << "level: the load is shared";
    EXPECT_NEAR(aircraft.wheels[1].offset, aircraft.wheels[2].offset, 0.01f);
    const glm::vec3 start = aircraft.position();
    aircraft.controls.throttle = 1.0f;
    fly(600, watch);
    const glm::vec3 moved = aircraft.position() - start;
    EXPECT_NEAR(moved.x, 0.5f * 2000.0f / 480.0f * 100.0f, 5.0f) << "nothing holds it back for 10 s";
    EXPECT_TRUE(std::abs(moved.z) < 0.5f && std::abs(moved.y) < 0.05f && clearance > 0.05f && tilt < 5.0f) << "on its wheels";
    // Nothing along the ground resists a yaw spin either, but the angular damping takes about
    // 5 % of it a second.
    aircraft.controls.throttle = 0.0f;
    aircraft.body->setAngularVelocity(btVector3(0, 1, 0));
    fly(600);
    EXPECT_NEAR(aircraft.body->getAngularVelocity().y(), std::pow(0.95f, 10.0f), 0.05f);
}

TEST_F(AircraftTest, AWorldStepIsTheFrameTimeCappedAndPlanesAndContactsFollowTheMaterial)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::pair<float, float> cases[] = {{0.5f, 1 / 60.0f}, {0.01f, 0.01f}, {0, 0}, {-0.25f, 0}, {nan, 0}, {inf, 1 / 60.0f}};
    for (const auto& [dt, step] : cases) {
        btRigidBody* body = cube(glm::vec3(0.0f, 100.0f, 0.0f));
        world.step(dt);
        EXPECT_NEAR(body->getLinearVelocity().y(), -9.81f * step, 1e-5f) << "dt " << dt;
        world.remove_body(body);
    }
    world.remove_body(nullptr); // unknown bodies are ignored
    // Planes are solid opposite their normal at their elevation; contacts have the material's
    // friction 0.5 and restitution 0.6 (not Bullet's products of them): a cube bounces back to about
    // 0.6^2 of its drop and slides v^2 / (2 * 0.5 * g) from 5 m/s; bodies never fall asleep.
    world.add_ground_plane(glm::vec3(0.0f, 612.5f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    btRigidBody* heavy = cube(glm::vec3(5000.0f, 617.5f, 3000.0f), 480.0f);
    EXPECT_NEAR(step_while(heavy, [](const btRigidBody&) { return true; }).y, 613.0f, 0.05f);
    EXPECT_LT(heavy->getLinearVelocity().length(), 0.05f);
    world.remove_all_bodies();
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

} // namespace
