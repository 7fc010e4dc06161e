// What the aircraft looks like and what the pilot sees, without a window: the shipped model's
// moving parts driven by the controls and the engine, its place on the body, the trailing
// orbit camera, and where the head-up display's symbols fall.

#include <cmath>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtx/string_cast.hpp>
#include <gtest/gtest.h>

#include "app/AircraftModel.h"
#include "app/CaptureSettings.h"
#include "app/HudMath.h"
#include "app/OrbitCamera.h"
#include "console/Console.h"
#include "physics/Aircraft.h"
#include "physics/PhysicsWorld.h"

namespace {

namespace fs = std::filesystem;

const fs::path ASSETS = fs::path(WH_SOURCE_DIR) / "assets";

::testing::AssertionResult near(const glm::vec3& actual, const glm::vec3& expected, float tolerance = 1e-4f)
{
    if (glm::length(actual - expected) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << glm::to_string(actual) << " instead of " << glm::to_string(expected);
}
glm::vec3 placed(const glm::mat4& m, const glm::vec3& p) { return glm::vec3(m * glm::vec4(p, 1.0f)); }
glm::quat yawed(float degrees) { return glm::angleAxis(glm::radians(degrees), glm::vec3(0, 1, 0)); }

ModelDescription shipped_description()
{
    PhysicsWorld world;
    Aircraft aircraft(world);
    console::Capture quiet;
    aircraft.load_flight_model(ASSETS / "config/FlightModel.json");
    EXPECT_TRUE(aircraft.model.has_value()) << quiet.err();
    return aircraft.model.value_or(ModelDescription{});
}

// The shipped flight model names a model whose nodes hold every part it lists.
TEST(AircraftModel, TheShippedModelHasEveryPartItsFlightModelNames)
{
    console::Capture capture;
    const std::optional<AircraftModel> model = AircraftModel::load(shipped_description(), ASSETS);
    ASSERT_TRUE(model.has_value()) << capture.err();
    EXPECT_EQ(capture.err(), "");
    for (const PartKind kind : ALL_PART_KINDS)
        EXPECT_TRUE(model->description().part(kind).has_value()) << part_name(kind);
    EXPECT_TRUE(model->reach() > 5.5f && model->reach() < 7.0f) << model->reach() << " m: the wing tips within";
}

// Full controls move each surface the way it moves on an aircraft: the elevator's trailing
// edge up for nose up, the right aileron's up and the left one's down for a right roll, the
// rudder's trailing edge and the nose wheel's front to the right for a right yaw.
TEST(AircraftModel, TheControlsTurnTheirSurfacesTheRightWay)
{
    std::optional<AircraftModel> model = AircraftModel::load(shipped_description(), ASSETS);
    ASSERT_TRUE(model.has_value());
    const gfx::Model& m = model->model();
    const std::vector<glm::mat4> rest = m.rest_matrices();
    // The vertex of the node's mesh farthest along the node's own -x (a trailing edge) or +x.
    const auto extreme = [&](int node, float along_x) {
        glm::vec3 best(0.0f);
        for (const gfx::ModelPrimitive& p : m.meshes[size_t(m.nodes[size_t(node)].mesh)].primitives)
            for (const gfx::ModelVertex& v : p.vertices)
                if (v.position.x * along_x > best.x * along_x)
                    best = v.position;
        return best;
    };
    struct Case {
        const char* node;
        ControlInputs controls;
        float along_x;    // the point that shows it: -1 trailing edge, +1 leading edge
        glm::vec3 moves;  // the direction it must move, model frame
    };
    const Case cases[] = {
        {"elevator", {1.0f, 0.0f, 0.0f}, -1.0f, {0, 1, 0}},      {"elevator", {-1.0f, 0.0f, 0.0f}, -1.0f, {0, -1, 0}},
        {"aileron_right", {0.0f, 1.0f, 0.0f}, -1.0f, {0, 1, 0}}, {"aileron_left", {0.0f, 1.0f, 0.0f}, -1.0f, {0, -1, 0}},
        {"rudder", {0.0f, 0.0f, 1.0f}, -1.0f, {0, 0, 1}},        {"nose_wheel", {0.0f, 0.0f, 1.0f}, 1.0f, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        const int node = m.find_node(c.node);
        ASSERT_GE(node, 0) << c.node;
        model->update(c.controls, 0.0f);
        const glm::vec3 point = extreme(node, c.along_x);
        const glm::vec3 moved = placed(model->pose().matrices[size_t(node)], point) - placed(rest[size_t(node)], point);
        EXPECT_GT(glm::dot(moved, c.moves), 0.03f) << c.node << " moved by " << glm::to_string(moved);
    }
    // The angle is the control times the part's largest, about its axis.
    model->update({0.5f, 0.0f, 0.0f}, 0.0f);
    const ModelPart& elevator = *model->description().part(PartKind::Elevator);
    const int node = m.find_node("elevator");
    EXPECT_EQ(model->part_angles()[size_t(PartKind::Elevator)], 0.5f * elevator.max_angle);
    const glm::mat4 parent = rest[size_t(m.nodes[size_t(node)].parent)];
    const glm::mat4 expected = parent * m.nodes[size_t(node)].local * glm::rotate(glm::mat4(1.0f), 0.5f * elevator.max_angle, elevator.axis);
    EXPECT_TRUE(near(placed(model->pose().matrices[size_t(node)], {-0.3f, 0.0f, 1.0f}), placed(expected, {-0.3f, 0.0f, 1.0f})));
}

// The engine spools up toward the throttle's rpm (nothing turns while paused); once the
// propeller turns faster than its disc_rpm the disc is drawn instead of the blades, and the
// spinning blades no longer change the shadow.
TEST(AircraftModel, TheEngineTurnsThePropellerAndShowsItsDiscAtSpeed)
{
    std::optional<AircraftModel> model = AircraftModel::load(shipped_description(), ASSETS);
    ASSERT_TRUE(model.has_value());
    const int blades = model->model().find_node("propeller"), disc = model->model().find_node("propeller_disc");
    const ModelPart& propeller = *model->description().part(PartKind::Propeller);
    const auto shown = [&] { return std::pair(model->pose().visible[size_t(blades)], model->pose().visible[size_t(disc)]); };
    ControlInputs full;
    full.throttle = 1.0f;
    model->update(full, 0.0f);
    EXPECT_EQ(std::tuple(model->propeller_rpm(), shown()), std::tuple(0.0f, std::pair<uint8_t, uint8_t>(1, 0))) << "paused";
    for (int frame = 0; frame < 180; ++frame)
        model->update(full, 1.0f / 60.0f);
    EXPECT_NEAR(model->propeller_rpm(), propeller.full_rpm, 0.03f * propeller.full_rpm) << "after three seconds";
    EXPECT_EQ(shown(), (std::pair<uint8_t, uint8_t>(0, 1)));
    EXPECT_EQ(model->shadow_key()[size_t(PartKind::Propeller)], 0.0f);
    const float before = model->part_angles()[size_t(PartKind::Propeller)];
    model->update(full, 0.001f);
    EXPECT_NEAR(std::remainder(model->part_angles()[size_t(PartKind::Propeller)] - before, 6.2831853f),
                model->propeller_rpm() / 60.0f * 6.2831853f * 0.001f, 1e-4f);
    model->reset();
    EXPECT_EQ(std::tuple(model->propeller_rpm(), shown()), std::tuple(0.0f, std::pair<uint8_t, uint8_t>(1, 0)));
}

// A part naming a node the model lacks is named once and stays still; a model that cannot be
// read is named with the reason, and there is none.
TEST(AircraftModel, AMissingNodeOrFileIsNamedInOneLine)
{
    ModelDescription description = shipped_description();
    description.part(PartKind::Elevator)->node = "tailfeather";
    console::Capture capture;
    std::optional<AircraftModel> model = AircraftModel::load(description, ASSETS);
    ASSERT_TRUE(model.has_value());
    EXPECT_EQ(capture.err(), "The aircraft model " + console::quoted(ASSETS / "models/trainer.glb") +
                                 " has no node \"tailfeather\" for its elevator; it stays still\n");
    model->update({1.0f, 0.0f, 0.0f}, 0.0f);
    EXPECT_EQ(model->pose().matrices, model->model().rest_matrices());
    capture.clear();
    description.file = "models/none.glb";
    EXPECT_FALSE(AircraftModel::load(description, ASSETS).has_value());
    EXPECT_EQ(capture.err(), "Could not load the aircraft model " + console::quoted(ASSETS / "models/none.glb") + ": no such file\n");
}

// The model sits on the body by its offset, rotation and scale, and the body in the world by
// its pose, units_per_metre world units to the metre.
TEST(AircraftModel, TheWorldMatrixPlacesTheModelOnTheBody)
{
    ModelDescription description = shipped_description();
    description.offset = {1.0f, 0.0f, 0.0f};
    description.scale = 2.0f;
    description.rotation = yawed(90.0f); // a model facing +z turned to face the nose
    std::optional<AircraftModel> model = AircraftModel::load(description, ASSETS);
    ASSERT_TRUE(model.has_value());
    const glm::vec3 body(10.0f, 20.0f, 30.0f);
    const glm::quat heading_north = yawed(90.0f);
    // (0, 0, 1) of the model: 2 m ahead of the offset, 3 m ahead of the centre of mass: 0.15 world
    // units north.
    EXPECT_TRUE(near(placed(model->world_matrix(body, heading_north, 0.05f), {0, 0, 1}), body + glm::vec3(0, 0, -0.15f)));
}

// Given the pose each frame, the orbit camera stays centred on it at its distance and turns
// after its heading by the same share of the way per second at any frame rate, the short way
// round; the mouse still circles it.
TEST(OrbitCamera, TrailsBehindTheTargetsHeadingSmoothlyAtAnyFrameRate)
{
    const float distance = 0.75f;
    OrbitCamera coarse(nullptr, distance), fine(nullptr, distance);
    coarse.follow({0, 0, 0}, yawed(0.0f), 0.1f);
    EXPECT_TRUE(near(coarse.get_world_position(), glm::vec3(-std::cos(glm::radians(15.0f)), std::sin(glm::radians(15.0f)), 0) * distance))
        << "behind a target heading east at once";
    fine.follow({0, 0, 0}, yawed(0.0f), 0.1f);
    const glm::vec3 target(5.0f, 1.0f, -2.0f);
    coarse.follow(target, yawed(90.0f), 0.4f);
    for (int i = 0; i < 40; ++i)
        fine.follow(target, yawed(90.0f), 0.01f);
    const float share = 1.0f - std::exp(-0.4f / OrbitCamera::TRAIL_SECONDS);
    EXPECT_NEAR(coarse.trail_heading, 90.0f * share, 1e-3f);
    EXPECT_NEAR(fine.trail_heading, coarse.trail_heading, 1e-3f);
    for (const OrbitCamera* camera : {&coarse, &fine}) {
        const glm::vec3 offset = camera->get_world_position() - target;
        EXPECT_NEAR(glm::length(offset), distance, 1e-5f) << "centred on this frame's pose";
        EXPECT_TRUE(near(-camera->get_z_axis(), -glm::normalize(offset)));
    }
    // Turning through west the short way (halfway from 170 to 190 is 180, not 0), and the
    // mouse adding to the trailing yaw.
    OrbitCamera camera(nullptr, distance);
    camera.follow(target, yawed(170.0f), 0.0f);
    camera.follow(target, yawed(-170.0f), OrbitCamera::TRAIL_SECONDS * std::log(2.0f));
    EXPECT_NEAR(std::remainder(camera.trail_heading - 180.0f, 360.0f), 0.0f, 1e-3f);
    SDL_Event drag{};
    drag.motion = {SDL_MOUSEMOTION, 0, 0, 0, 0, 0, 0, 100, 0};
    camera.on_event(drag);
    camera.on_update(0.0f);
    const glm::vec3 offset = camera.get_world_position() - target;
    const glm::vec3 behind = -(yawed(180.0f) * glm::vec3(1, 0, 0));
    EXPECT_NEAR(glm::degrees(std::acos(glm::dot(glm::normalize(glm::vec3(offset.x, 0, offset.z)), behind))), 20.0f, 1e-2f);
}

// WINDHOLLOW_CAMERA names the camera to start with; another value is named and ignored.
TEST(CaptureSettings, TheStartCameraIsNamedOrIgnored)
{
    console::Capture capture;
    for (const auto& [text, choice] : {std::pair{"free", CameraChoice::Free}, std::pair{"orbit", CameraChoice::Orbit},
                                       std::pair{"cockpit", CameraChoice::Cockpit}})
        EXPECT_EQ(CaptureSettings::parse({{"WINDHOLLOW_CAMERA", text}}).camera, std::optional(choice)) << text;
    EXPECT_FALSE(CaptureSettings::parse({{"WINDHOLLOW_CAMERA", ""}}).camera.has_value());
    EXPECT_EQ(capture.err(), "");
    EXPECT_FALSE(CaptureSettings::parse({{"WINDHOLLOW_CAMERA", "Cockpit"}}).camera.has_value());
    EXPECT_EQ(capture.err(), "Ignoring WINDHOLLOW_CAMERA=\"Cockpit\": expected free, orbit or cockpit\n");
}

// The head-up display is conformal: a rung for e degrees lies where the camera sees that
// elevation, the horizon turns against the roll, and the flight-path marker sits where the
// velocity points; the heading scale wraps through north.
TEST(HudMath, SymbolsFallWhereTheirDirectionsAppear)
{
    const hud::View view{1280.0f, 720.0f, glm::radians(60.0f)};
    const float f = view.focal();
    EXPECT_NEAR(f, 360.0f / std::tan(glm::radians(30.0f)), 1e-3f);
    const auto flight = [](double heading, double pitch, double roll) {
        FlightData d;
        d.heading_deg = heading;
        d.pitch_deg = pitch;
        d.roll_deg = roll;
        return d;
    };
    const auto rung = [&](const FlightData& d, int degrees) {
        for (const hud::Rung& r : hud::pitch_ladder(d, view))
            if (r.degrees == degrees)
                return std::optional<hud::Rung>(r);
        return std::optional<hud::Rung>();
    };
    struct Case {
        double heading, pitch, roll;
        int degrees;
        float centre_y; // pixels below the screen's middle of the rung's middle
        float slope;    // degrees, counter-clockwise on the screen
    };
    for (const Case& c : {Case{0, 0, 0, 0, 0.0f, 0.0f}, Case{0, 0, 0, 10, -f * std::tan(glm::radians(10.0f)), 0.0f},
                          Case{250, 10, 0, 0, f * std::tan(glm::radians(10.0f)), 0.0f}, Case{90, 0, 30, 0, 0.0f, 30.0f},
                          Case{90, -5, -40, -10, f * std::tan(glm::radians(5.0f)), -40.0f}}) {
        const std::optional<hud::Rung> r = rung(flight(c.heading, c.pitch, c.roll), c.degrees);
        ASSERT_TRUE(r.has_value()) << c.heading << " " << c.pitch << " " << c.roll;
        const glm::vec2 middle = 0.5f * (r->left_inner + r->right_inner), along = r->right_outer - r->left_outer;
        // Rolled, the offset from the middle turns with the rung.
        const float roll = glm::radians(float(c.roll));
        EXPECT_NEAR(glm::length(middle - view.centre() - c.centre_y * glm::vec2(std::sin(roll), std::cos(roll))), 0.0f, 0.05f)
            << "rung " << c.degrees << " at pitch " << c.pitch << ", roll " << c.roll << ": " << glm::to_string(middle);
        EXPECT_NEAR(glm::degrees(std::atan2(-along.y, along.x)), c.slope, 0.01f);
    }
    EXPECT_FALSE(rung(flight(0, 0, 0), 40).has_value()) << "beyond the range about the pitch";
    EXPECT_TRUE(rung(flight(0, 85, 0), 90).has_value()) << "the zenith's rung, looking up";

    // Level at 40 m/s, the nose 5 degrees up: the marker 5 degrees below the nose; a track 10
    // degrees right of the heading puts it 10 degrees right; no marker at a standstill.
    FlightData d = flight(350, 5, 0);
    d.airspeed_m_s = 40.0;
    d.track_deg = 350;
    EXPECT_TRUE(near(glm::vec3(*hud::flight_path_marker(d, view), 0), glm::vec3(view.centre() + glm::vec2(0, f * std::tan(glm::radians(5.0f))), 0), 0.05f));
    d.pitch_deg = 0;
    d.track_deg = 0;
    EXPECT_TRUE(near(glm::vec3(*hud::flight_path_marker(d, view), 0), glm::vec3(view.centre() + glm::vec2(f * std::tan(glm::radians(10.0f)), 0), 0), 0.05f));
    d.vertical_speed_m_s = -40.0 * std::sin(glm::radians(30.0)); // diving at 30 degrees, nose level, on the heading
    d.track_deg = 350;
    EXPECT_TRUE(near(glm::vec3(*hud::flight_path_marker(d, view), 0), glm::vec3(view.centre() + glm::vec2(0, f * std::tan(glm::radians(30.0f))), 0), 0.05f));
    d.airspeed_m_s = 0.5;
    EXPECT_FALSE(hud::flight_path_marker(d, view).has_value());

    std::vector<std::pair<int, float>> ticks;
    for (const hud::HeadingTick& t : hud::heading_ticks(352.0, 5, 12.0, 2.0f))
        ticks.emplace_back(t.degrees, t.offset);
    EXPECT_EQ(ticks, (std::vector<std::pair<int, float>>{{340, -24.0f}, {345, -14.0f}, {350, -4.0f}, {355, 6.0f}, {0, 16.0f}}));
}

} // namespace
