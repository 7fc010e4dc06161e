// The overlay against a running App: its actions called directly and its widgets worked
// through ImGui with a synthetic mouse.

#include <cmath>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <btBulletDynamicsCommon.h>
#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include "console/Console.h"
#include "app/FirstPersonCamera.h"
#include "app/StartPositions.h"
#include "tests/controls/AppFixture.h"

using controls_test::AppWorld;
using controls_test::OverlayDriver;

namespace {

constexpr double C = 40075016.68557849;

// A free camera that counts how often its projection is recomputed.
class CountingCamera : public FirstPersonCamera {
public:
    void update_projection() override
    {
        ++projection_updates;
        FirstPersonCamera::update_projection();
    }
    int projection_updates = 0;
};

class OverlayTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s_world = std::make_unique<AppWorld>(); }
    static void TearDownTestSuite() { s_world.reset(); }

    App& app() { return *s_world->app; }

    static std::unique_ptr<AppWorld> s_world;
};

std::unique_ptr<AppWorld> OverlayTest::s_world;

} // namespace

TEST_F(OverlayTest, SelectPositionMovesTheFreeCameraEvenWhileTheOrbitCameraIsActive)
{
    ASSERT_EQ(2u, app().cameras.size());
    app().camera_index = 1;
    const glm::vec3 orbit_before = app().cameras[1]->get_position();
    const WorldFrame frame = app().world_frame();

    for (uint32_t index : {14u, 10u, 22u, 0u}) {
        const StartPosition& row = start_positions[index];
        SCOPED_TRACE(row.name);
        app().select_start_position(index);

        // Web Mercator metres of the row, relative to the origin, scaled; the altitude as plain metres.
        const double x = ((row.lon + 180.0) / 360.0 * C - frame.origin_x) * frame.scaling_factor;
        const double y = static_cast<double>(row.altitude) * frame.scaling_factor;
        const double z = ((1.0 - std::asinh(std::tan(row.lat * std::numbers::pi / 180.0)) / std::numbers::pi) * 0.5 * C - frame.origin_y) *
                         frame.scaling_factor;
        const glm::vec3 p = app().cameras[0]->get_position();
        // Single precision holds these to a few thousandths of a world unit.
        EXPECT_NEAR(x, p.x, 2e-3);
        EXPECT_NEAR(y, p.y, 1e-4);
        EXPECT_NEAR(z, p.z, 2e-3);
        EXPECT_EQ(index, app().start_position_index);

        const glm::quat expected_rotation(glm::vec3(0.0f, -row.heading * 0.017453292f, 0.0f));
        EXPECT_NEAR(1.0f, std::fabs(glm::dot(expected_rotation, app().cameras[0]->get_rotation())), 1e-6f);
        // The heading readout of the free camera shows the row's heading.
        app().camera_index = 0;
        EXPECT_EQ(static_cast<int32_t>(row.heading) % 360, app().active_camera_heading());
        app().camera_index = 1;

        // The active (orbit) camera stays where it was.
        EXPECT_EQ(orbit_before, app().cameras[1]->get_position());
        EXPECT_EQ(1u, app().camera_index);
    }

    // A row past the end of the table changes nothing.
    const glm::vec3 before = app().cameras[0]->get_position();
    app().select_start_position(static_cast<uint32_t>(start_positions.size()));
    EXPECT_EQ(before, app().cameras[0]->get_position());
    EXPECT_EQ(0u, app().start_position_index);
    app().camera_index = 0;
}

TEST_F(OverlayTest, HeadingIsAlwaysZeroTo359)
{
    for (uint64_t index : {0u, 1u}) {
        app().camera_index = index;
        BaseCamera& camera = app().active_camera();
        const glm::quat saved = camera.get_rotation();
        for (int yaw = -720; yaw <= 720; yaw += 7) {
            for (int pitch : {-95, -89, -30, 0, 45, 90, 179}) {
                camera.set_rotation(glm::vec3(pitch * 0.017453292f, yaw * 0.017453292f, 0.0f));
                const int32_t heading = app().active_camera_heading();
                ASSERT_GE(heading, 0) << "yaw " << yaw << " pitch " << pitch;
                ASSERT_LE(heading, 359) << "yaw " << yaw << " pitch " << pitch;
            }
        }
        // Level, turned by -h about the vertical: heading h.
        for (int h = 0; h < 360; h += 30) {
            camera.set_rotation(glm::vec3(0.0f, -h * 0.017453292f, 0.0f));
            EXPECT_EQ(h, app().active_camera_heading()) << "camera " << index;
        }
        camera.set_rotation(saved);
    }
    app().camera_index = 0;
}

TEST_F(OverlayTest, AnUnchangedNearPlaneRecomputesNothing)
{
    auto counting = std::make_unique<CountingCamera>();
    counting->set_perspective(0.7853982f, app().aspect_ratio(), 0.12f, 10000.0f);
    CountingCamera& camera = *counting;
    std::unique_ptr<BaseCamera> original = std::move(app().cameras[0]);
    app().cameras[0] = std::move(counting);
    app().camera_index = 0;
    camera.projection_updates = 0;

    EXPECT_FALSE(app().set_active_camera_near(0.12f));
    EXPECT_FALSE(app().set_active_camera_far(10000.0f));
    EXPECT_EQ(0, camera.projection_updates);

    const glm::mat4 before = camera.get_projection();
    EXPECT_TRUE(app().set_active_camera_near(0.5f));
    EXPECT_EQ(1, camera.projection_updates);
    EXPECT_FLOAT_EQ(0.5f, camera.get_near());
    EXPECT_NE(before, camera.get_projection());
    EXPECT_TRUE(app().set_active_camera_far(12000.0f));
    EXPECT_EQ(2, camera.projection_updates);
    EXPECT_FLOAT_EQ(12000.0f, camera.get_far());

    // Drawing the overlay with the camera section open, the mouse nowhere near a slider,
    // leaves the projection alone.
    OverlayDriver driver(app());
    driver.settle();
    ASSERT_TRUE(driver.click("Options", "Camera"));
    OverlayDriver::enlarge("Options", ImVec2(400.0f, 650.0f));
    driver.settle();
    EXPECT_EQ(2, camera.projection_updates);
    // Moving the near slider to its left end sets the minimum (the press itself already set
    // the value under the mouse); frames after it, with the value as the camera has it,
    // recompute nothing.
    ASSERT_TRUE(driver.drag_to_x("Options", "Camera Near", -100.0f));
    EXPECT_FLOAT_EQ(0.001f, camera.get_near());
    EXPECT_LE(3, camera.projection_updates);
    const int after_drag = camera.projection_updates;
    driver.settle();
    EXPECT_EQ(after_drag, camera.projection_updates);

    app().cameras[0] = std::move(original);
}

TEST_F(OverlayTest, ReloadShadersSaysReloadedWhateverTheReloadsReturned)
{
    OverlayDriver driver(app());
    driver.settle();
    OverlayDriver::enlarge("Options", ImVec2(420.0f, 700.0f));
    driver.settle();
    {
        console::Capture capture;
        ASSERT_TRUE(driver.click("Options", "Reload Shaders"));
        EXPECT_NE(std::string::npos, capture.out().find("Reloaded.\n")) << capture.out();
    }

    // Broken shader sources: the reloads fail and say so, the overlay still says "Reloaded.".
    const std::filesystem::path shaders = s_world->base / "assets/shaders";
    std::vector<std::filesystem::path> broken;
    for (const auto& entry : std::filesystem::directory_iterator(shaders))
        if (entry.path().extension() == ".frag")
            broken.push_back(entry.path());
    ASSERT_FALSE(broken.empty());
    std::vector<std::string> saved;
    for (const auto& path : broken) {
        saved.push_back(support::read_file(path));
        support::write_file(path, "#version 430 core\nthis is not glsl;\n");
    }
    {
        console::Capture capture;
        ASSERT_TRUE(driver.click("Options", "Reload Shaders"));
        EXPECT_TRUE(capture.out().ends_with("Reloaded.\n")) << capture.out();
        EXPECT_FALSE(capture.err().empty()) << "the failed compiles were not reported";
    }
    for (size_t i = 0; i < broken.size(); ++i)
        support::write_file(broken[i], saved[i]);
    {
        console::Capture capture;
        app().reload_shaders_from_overlay();
        EXPECT_TRUE(capture.out().ends_with("Reloaded.\n")) << capture.out();
        EXPECT_EQ("", capture.err());
    }
}

TEST_F(OverlayTest, LandingGearSlidersChangeTheNextStep)
{
    Aircraft& aircraft = app().aircraft;
    ASSERT_EQ(3u, aircraft.wheels.size()) << "the shipped flight model has three wheels";
    ASSERT_NE(nullptr, aircraft.body);

    OverlayDriver driver(app());
    driver.settle();
    OverlayDriver::enlarge("Options", ImVec2(420.0f, 700.0f));
    driver.settle();
    ASSERT_TRUE(driver.click("Options", "FlightModel"));
    ASSERT_TRUE(driver.click("Options", "Landing Gear"));
    ASSERT_TRUE(driver.click("Options", "Wheel_0"));
    // Dragged past the right end: the slider's maximum.
    ASSERT_TRUE(driver.drag_to_x("Options", "Wheel_0 Stiffness", 5000.0f));
    EXPECT_FLOAT_EQ(10000.0f, aircraft.wheels[0].stiffness);
    ASSERT_TRUE(driver.drag_to_x("Options", "Wheel_0 Damping", -5000.0f));
    EXPECT_FLOAT_EQ(0.0f, aircraft.wheels[0].damping);
    // The other wheels keep the file's values.
    EXPECT_FLOAT_EQ(10000.0f, aircraft.wheels[1].stiffness);
    EXPECT_FLOAT_EQ(10000.0f, aircraft.wheels[2].stiffness);

    // The next update pushes with the new stiffness: the body level and at rest with its
    // wheels' rays reaching the ground.
    app().reset();
    const float ground = aircraft.position().y - 5.0f;
    aircraft.place_body(glm::vec3(0.0f, ground + 1.5f, 0.0f));
    aircraft.body->clearForces();
    aircraft.controls.throttle = 0.0f;
    aircraft.update();
    double expected = 0.0;
    for (const Wheel& wheel : aircraft.wheels) {
        // The ray reaches 2 |y| below the body's origin, which is 1.5 above the ground.
        EXPECT_NEAR(-2.0f * wheel.position.y - 1.5f, wheel.offset, 0.05f) << "the wheel's ray did not reach the ground";
        expected += static_cast<double>(wheel.offset) * wheel.stiffness;
    }
    EXPECT_NEAR(expected, aircraft.body->getTotalForce().y(), expected * 1e-4);
    EXPECT_NEAR(aircraft.wheels[0].offset * 10000.0, expected - (aircraft.wheels[1].offset + aircraft.wheels[2].offset) * 10000.0,
                1.0);
    app().reset();
}

TEST_F(OverlayTest, ThrottleSliderAndControlReadout)
{
    OverlayDriver driver(app());
    driver.settle();
    OverlayDriver::enlarge("Options", ImVec2(420.0f, 700.0f));
    driver.settle();
    ASSERT_TRUE(driver.click("Options", "FlightModel"));
    app().aircraft.controls.throttle = 0.0f;
    ASSERT_TRUE(driver.drag_to_x("Options", "Throttle", 5000.0f));
    EXPECT_FLOAT_EQ(1.0f, app().aircraft.controls.throttle);
    ASSERT_TRUE(driver.drag_to_x("Options", "Throttle", -5000.0f));
    EXPECT_FLOAT_EQ(0.0f, app().aircraft.controls.throttle);
}

TEST_F(OverlayTest, ButtonsActOnTheApp)
{
    OverlayDriver driver(app());
    driver.settle();
    OverlayDriver::enlarge("Options", ImVec2(420.0f, 700.0f));
    driver.settle();

    // "Resume" while paused, "Pause" while running: the same button toggles.
    app().paused = true;
    ASSERT_TRUE(driver.click("Options", "Resume"));
    EXPECT_FALSE(app().paused);
    ASSERT_TRUE(driver.click("Options", "Pause"));
    EXPECT_TRUE(app().paused);
    EXPECT_FALSE(driver.find("Options", "Resume") == std::nullopt);

    // "Reset" puts the aircraft back and pauses, keeping the controls.
    app().paused = false;
    app().aircraft.controls.throttle = 0.7f;
    app().aircraft.place_body(glm::vec3(100.0f, 0.0f, 50.0f));
    ASSERT_TRUE(driver.click("Options", "Reset"));
    EXPECT_TRUE(app().paused);
    EXPECT_FLOAT_EQ(0.7f, app().aircraft.controls.throttle);
    EXPECT_NEAR(0.0f, app().aircraft.position().x, 1e-3f);
    EXPECT_NEAR(0.0f, app().aircraft.position().z, 1e-3f);

    // "Switch Camera" alternates 0, 1, 0.
    ASSERT_TRUE(driver.click("Options", "Camera"));
    app().camera_index = 0;
    for (uint64_t expected : {1u, 0u, 1u, 0u}) {
        ASSERT_TRUE(driver.click("Options", "Switch Camera"));
        EXPECT_EQ(expected, app().camera_index);
    }
    app().aircraft.controls.throttle = 0.0f;
}

TEST_F(OverlayTest, HiddenOverlayDrawsNoWindow)
{
    OverlayDriver driver(app());
    for (bool overlay : {true, false}) {
        for (bool help : {true, false}) {
            app().show_overlay = overlay;
            app().show_help = help;
            driver.frame(ImVec2(-1.0f, -1.0f), false);
            std::vector<std::string> shown;
            for (const char* name : {"Options", "Help", "Status Bar"}) {
                ImGuiWindow* window = ImGui::FindWindowByName(name);
                if (window != nullptr && window->Active)
                    shown.push_back(name);
            }
            std::vector<std::string> expected;
            if (overlay) {
                expected.push_back("Options");
                if (help)
                    expected.push_back("Help");
                expected.push_back("Status Bar");
            }
            EXPECT_EQ(expected, shown) << "show_overlay " << overlay << " show_help " << help;
        }
    }
    app().show_overlay = true;
    app().show_help = false;
}

TEST_F(OverlayTest, TerrainAndAtmosphereSectionsEditTheRendererInPlace)
{
    ASSERT_TRUE(app().terrain);
    TerrainRenderer& terrain = *app().terrain;
    OverlayDriver driver(app());
    driver.settle();
    OverlayDriver::enlarge("Options", ImVec2(420.0f, 710.0f));
    driver.settle();

    ASSERT_TRUE(driver.click("Options", "Terrain"));
    struct Flag {
        const char* label;
        bool* field;
    };
    const Flag flags[] = {
        {"Render Terrain", &terrain.render_terrain},   {"Render Atmosphere", &terrain.render_atmosphere},
        {"Wireframe", &terrain.wireframe},             {"Smart LOD Center", &terrain.smart_lod_center},
        {"Visualize LOD", &terrain.visualize_lod},     {"Visualize Normals", &terrain.visualize_normals},
        {"Frustum Culling", &terrain.frustum_culling}, {"Enable Shading", &terrain.shading},
        {"Enable Fallback", &terrain.fallback},        {"Misc Debug Toggle", &terrain.misc_debug},
    };
    for (const Flag& flag : flags) {
        const bool before = *flag.field;
        ASSERT_TRUE(driver.click("Options", flag.label)) << flag.label;
        EXPECT_EQ(!before, *flag.field) << flag.label;
        ASSERT_TRUE(driver.click("Options", flag.label)) << flag.label;
        EXPECT_EQ(before, *flag.field) << flag.label;
    }

    ASSERT_TRUE(driver.drag_to_x("Options", "Max Horizon", 5000.0f));
    EXPECT_DOUBLE_EQ(30000.0, terrain.max_horizon);
    ASSERT_TRUE(driver.drag_to_x("Options", "LOD selection", -5000.0f));
    EXPECT_DOUBLE_EQ(0.0, terrain.lod_selection);
    ASSERT_TRUE(driver.drag_to_x("Options", "Split Factor", 5000.0f));
    EXPECT_DOUBLE_EQ(5.0, terrain.split_factor);

    // The zoom sliders exist only with manual zoom.
    const bool manual = terrain.manual_zoom;
    ASSERT_FALSE(manual);
    EXPECT_FALSE(driver.find("Options", "Min Zoom"));
    ASSERT_TRUE(driver.click("Options", "Manual Zoom"));
    EXPECT_TRUE(terrain.manual_zoom);
    ASSERT_TRUE(driver.drag_to_x("Options", "Max Zoom", -5000.0f));
    EXPECT_EQ(7u, terrain.max_zoom);
    ASSERT_TRUE(driver.drag_to_x("Options", "Min Zoom", 5000.0f));
    EXPECT_EQ(17u, terrain.min_zoom);
    terrain.manual_zoom = false;
    terrain.min_zoom = 7;
    terrain.max_zoom = 17;
    terrain.max_horizon = 20000.0;
    terrain.lod_selection = 0.1;
    terrain.split_factor = 1.0;

    // Atmosphere: close Terrain first so everything fits.
    ASSERT_TRUE(driver.click("Options", "Terrain"));
    ASSERT_TRUE(driver.click("Options", "Atmosphere"));
    Atmosphere& atmosphere = terrain.atmosphere;
    ASSERT_TRUE(driver.click("Options", "Enable Scattering"));
    EXPECT_FALSE(atmosphere.scattering);
    ASSERT_TRUE(driver.click("Options", "Always compute"));
    EXPECT_TRUE(atmosphere.always_compute);
    ASSERT_TRUE(driver.drag_to_x("Options", "Sun Azimuth", 5000.0f));
    EXPECT_DOUBLE_EQ(360.0, atmosphere.sun_azimuth);
    ASSERT_TRUE(driver.drag_to_x("Options", "Sun Elevation", -5000.0f));
    EXPECT_DOUBLE_EQ(0.0, atmosphere.sun_elevation);
    ASSERT_TRUE(driver.drag_to_x("Options", "View Samples", -5000.0f));
    EXPECT_EQ(1, atmosphere.view_samples);
    ASSERT_TRUE(driver.drag_to_x("Options", "Light Samples", 5000.0f));
    EXPECT_EQ(32, atmosphere.light_samples);
}

TEST_F(OverlayTest, WindowsShowTheirLabelsAndReadouts)
{
    app().camera_index = 0;
    app().select_start_position(0);
    app().show_overlay = true;
    app().show_help = true;
    app().fps = 42;
    app().aircraft.controls.aileron = 0.25f;
    app().aircraft.controls.elevator = -0.5f;
    app().aircraft.controls.rudder = 0.125f;
    app().aircraft.controls.throttle = 0.75f;
    OverlayDriver driver(app());
    driver.settle();
    // Every header open, and room for everything.
    OverlayDriver::open_headers("Options", {"Camera", "Terrain", "Atmosphere", "FlightModel", "Landing Gear",
                                            "Wheel_0", "Wheel_1", "Wheel_2"});
    OverlayDriver::enlarge("Options", ImVec2(600.0f, 3000.0f));
    driver.settle();
    const std::string text = driver.capture_text([&] { app().draw_options_window(); }) +
                             driver.capture_text([&] { app().draw_help_window(); }) +
                             driver.capture_text([&] { app().draw_status_bar(); });
    const std::string config_path = (s_world->base / "assets/config/Windhollow.json").string();
    const std::vector<std::string> expected_lines = {
        "FPS: 42",
        "Camera Index: 0",
        "Position: [0.00, 150.00, 0.00]",
        // 150 world units at the single-precision scale 0.05000000074505806.
        "Lat: 47.257600, Lon: 11.351300, Alt: 2999.99995",
        "Heading 90",
        "Zoom Level Range: [7, 17] (10)",
        "GPU Cache Size: ",
        "Min Zoom: 7, Max Zoom: 17",
        "{ 0.750 } Throttle",
        "Speed: 0.000 km/h",
        "Aileron: 0.250, Elevator: -0.500, Rudder: 0.125",
        "Offset: 0.000000",
        // Help
        "Move the camera by holding down and dragging the mouse and using the WASD keys.",
        "Press space to go up, left ctrl to go down.",
        "You can jump to different places by selecting a location from the Options dropdown.",
        "If the program is very slow, try to reduce scattering and optical depth samples:",
        "Options > Terrain > Atmosphere",
        "Press 'H' to toggle this help screen",
        "Press 'N' to switch between cameras",
        "Press 'P' to pause",
        "Press 'I' to toggle the UI",
        "Press 'R' to reload shaders",
        "To change the startup parameters edit the config file:",
        config_path,
        "This file can be used to configure alternate tile data sources.",
        // Status bar
        "Windhollow flight simulator. Press 'H' to get help. Data Attribution: " +
            app().config.elevation_server.attribution + ", " + app().config.texture_server.attribution + ". FPS: 42",
    };
    for (const std::string& line : expected_lines)
        EXPECT_NE(std::string::npos, text.find(line)) << "missing \"" << line << "\" in:\n" << text;
    // Labels of the widgets, in the order they are drawn.
    const std::vector<std::string> labels = {
        "Camera", "Switch Camera", "Camera Near", "Camera Far", "FPV Camera Speed", "Terrain", "Center Tile: z=",
        "Center Coord: lat=", "Terrain Elevation: ", "Render Terrain", "Render Atmosphere", "Wireframe",
        "Smart LOD Center", "Visualize LOD", "Visualize Normals", "Frustum Culling", "Enable Shading",
        "Enable Fallback", "Misc Debug Toggle", "Max Horizon", "LOD selection", "Split Factor", "Manual Zoom",
        "Atmosphere", "Enable Scattering", "Always compute", "Sun Azimuth", "Sun Elevation", "View Samples",
        "Light Samples", "FlightModel", "Render Debug Geometry", "Throttle", "Landing Gear", "Wheel_0",
        "Wheel_0 Rest Length", "Wheel_0 Stiffness", "Wheel_0 Damping", "Wheel_1", "Wheel_2 Damping", "Reset",
        "Resume", "Toggle Fullscreen", "Reload Shaders"};
    size_t at = 0;
    for (const std::string& label : labels) {
        const size_t found = text.find(label, at);
        ASSERT_NE(std::string::npos, found) << "\"" << label << "\" missing or out of order in:\n" << text;
        at = found + 1;
    }
    app().show_help = false;
    app().aircraft.controls = ControlInputs{};
}

TEST_F(OverlayTest, ChoosingAPlaceInTheComboMovesTheFreeCamera)
{
    app().camera_index = 1;
    app().select_start_position(0);
    OverlayDriver driver(app());
    driver.settle();
    ASSERT_TRUE(driver.click("Options", "Select Position"));
    driver.settle();
    // The list is ImGui's combo popup; each row has its index pushed as ID.
    ImGuiWindow* popup = ImGui::FindWindowByName("##Combo_00");
    ASSERT_NE(nullptr, popup) << "the combo did not open";
    const int row = 3;
    const ImGuiID id = ImHashStr(start_positions[row].name, 0, ImHashData(&row, sizeof(row), popup->ID));
    ASSERT_TRUE(driver.click_id("##Combo_00", id));
    EXPECT_EQ(static_cast<uint32_t>(row), app().start_position_index);
    const glm::vec3 expected = start_position_world(start_positions[row], app().world_frame());
    EXPECT_EQ(expected, app().cameras[0]->get_position());
    EXPECT_EQ(1u, app().camera_index);
    app().select_start_position(0);
    app().camera_index = 0;
}
