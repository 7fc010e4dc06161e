// The application under a real X display: construction, the frame loop's routing of SDL
// events, key bindings, window changes, capture mode and the overlay's readouts. One App,
// started with a virtual flight stick attached, serves every test; each puts back what it
// changes.

#include <btBulletDynamicsCommon.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <gtest/gtest.h>

#include "app/OrbitCamera.h"
#include "physics/PhysicsWorld.h"
#include "tests/support/AppFixture.h"

namespace {

SDL_Event event_of(Uint32 type, Sint32 value = 0, Uint8 button = SDL_BUTTON_LEFT)
{
    SDL_Event event{};
    event.type = type;
    if (type == SDL_KEYDOWN)
        event.key.keysym = {SDL_GetScancodeFromKey(value), value, 0, 0};
    else if (type == SDL_MOUSEMOTION)
        event.motion = {type, 0, 0, 0, 0, 900, 500, value, 0}; // over the scene, away from the overlay
    else if (type == SDL_MOUSEWHEEL)
        event.wheel.y = value;
    else
        event.button = {type, 0, 0, 0, button, 0, 1, 0, 900, 500};
    return event;
}

glm::vec3 forward(const gfx::Transform& camera) { return -camera.get_z_axis(); }

class AppTest : public ::testing::Test {
protected:
    static support::AppWorld& world()
    {
        static support::AppWorld instance([] {
            SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1"); // another window may have the focus
            SDL_InitSubSystem(SDL_INIT_JOYSTICK);
            SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 6, 4, 0);
        });
        return instance;
    }
    static App& app() { return *world().app; }
    void SetUp() override
    {
        app().quit = false;
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        focus_overlay(false);
        app().capture = {};
    }
    static void frames(uint64_t n, std::initializer_list<SDL_Event> events = {})
    {
        for (SDL_Event event : events)
            SDL_PushEvent(&event);
        app().capture.exit_after_frames = n;
        app().run();
        app().capture.exit_after_frames.reset();
    }
    static void press(SDL_Keycode key) { frames(1, {event_of(SDL_KEYDOWN, key)}); }
    // An ImGui frame of the test's own between frames of the App that gives a window the
    // keyboard focus (the overlay then owns the input) or takes it away.
    static void focus_overlay(bool focused)
    {
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
        ImGui::Begin("Test Window");
        ImGui::End();
        ImGui::SetWindowFocus(focused ? "Test Window" : nullptr);
        ImGui::EndFrame();
    }
    static glm::vec3 spawn() { return {0.0f, float(app().terrain->get_elevation(0.0, 0.0, true)) + 5.0f, 0.0f}; }
};

TEST_F(AppTest, StartsPausedAboveTheStartWithEverythingInPlace)
{
    const std::string& out = world().startup;
    const std::string base = "Base Path: " + console::quoted(world().base) + "\nStart Position: lat=47.257600, lon=11.351300\n";
    EXPECT_TRUE(out.find("Get Pref Path: ") < out.find("Joystick 0 is a joystick.\n") &&
                out.find("Joystick 0 is a joystick.\n") < out.find(base) && out.find(base) != std::string::npos) << out;
    EXPECT_NE(out.find("Read flightmodel config from "), std::string::npos) << out;
    EXPECT_TRUE(app().paused && app().show_overlay && !app().show_help && app().camera_index == 0);
    GLint cull = 0, viewport[4] = {};
    glGetIntegerv(GL_CULL_FACE_MODE, &cull);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::tuple(glIsEnabled(GL_DEPTH_TEST), cull, uint64_t(viewport[2]), uint64_t(viewport[3])),
              std::tuple(GLboolean(GL_TRUE), GL_FRONT, app().width, app().height));
    ASSERT_EQ(app().cameras.size(), 2u);
    EXPECT_LT(glm::length(app().cameras[0]->get_world_position() - glm::vec3(0.0f, 150.0f, 0.0f)), 1e-3f) << "3000 m up";
    EXPECT_LT(glm::length(forward(*app().cameras[0]) - glm::vec3(1.0f, 0.0f, 0.0f)), 1e-4f) << "looking east";
    const auto& orbit = dynamic_cast<const OrbitCamera&>(*app().cameras[1]);
    EXPECT_EQ(std::pair(orbit.distance, orbit.target), std::pair(0.75f, static_cast<const gfx::Transform*>(&app().aircraft_transform)));
    for (const auto& camera : app().cameras)
        EXPECT_EQ(std::tuple(camera->get_near(), camera->get_far(), camera->get_fov(), camera->get_aspect_ratio()),
                  std::tuple(0.12f, 10000.0f, 0.7853982f, app().aspect_ratio()));
    EXPECT_GT(spawn().y, 6.0f) << "the start lies above the sea";
    EXPECT_EQ(PhysicsWorld::instance().get_scene().getNumCollisionObjects(), 2) << "the aircraft and the ground plane";
    app().delta_time = 0.0f; // a fresh clock: the first frame takes no time, the next ones do
    frames(1);
    EXPECT_EQ(app().frame_dt, 0.0f);
    frames(2);
    EXPECT_GT(app().frame_dt, 0.0f);
    EXPECT_LT(glm::length(app().aircraft.position() - spawn()), 1e-3f) << "hanging 5 m above the ground, paused";
}

TEST_F(AppTest, KeyBindingsActUnlessAnOverlayWindowHasTheFocus)
{
    press(SDLK_p);
    EXPECT_FALSE(app().paused);
    press(SDLK_p);
    frames(1, {event_of(SDL_KEYDOWN, SDLK_n), event_of(SDL_KEYDOWN, SDLK_n), event_of(SDL_KEYDOWN, SDLK_n)});
    EXPECT_TRUE(app().paused && app().camera_index == 1) << "every event of a frame is handled";
    press(SDLK_n);
    press(SDLK_h);
    press(SDLK_i);
    EXPECT_TRUE(app().camera_index == 0 && app().show_help && !app().show_overlay) << "N wraps; I keeps the help switch";
    press(SDLK_h);
    press(SDLK_i);
    press(SDLK_F1);
    EXPECT_TRUE(!app().show_help && app().show_overlay);

    app().paused = false; // X: back at the start, at rest and paused, the controls kept
    app().aircraft.controls.throttle = 1.0f;
    app().aircraft.body->setWorldTransform(btTransform(btQuaternion(btVector3(0, 1, 0), 1.0f), btVector3(90, 20, 5)));
    app().aircraft.body->setLinearVelocity(btVector3(10, 0, 0));
    press(SDLK_x);
    EXPECT_EQ(std::tuple(app().paused, app().aircraft.rotation(), app().aircraft.speed(), app().aircraft.controls.throttle),
              std::tuple(true, glm::quat(1, 0, 0, 0), 0.0f, 1.0f));
    EXPECT_LT(glm::length(app().aircraft.position() - spawn()), 1e-3f);
    app().aircraft.controls.throttle = 0.0f;

    console::Capture capture;
    press(SDLK_r);
    EXPECT_TRUE(capture.out().find("Reloaded all shaders!\n") < capture.out().find("Reloaded terrain shaders!\n")) << capture.out();
    EXPECT_EQ(capture.out().find("Reloaded.\n"), std::string::npos) << "that line is the overlay button's";
    focus_overlay(true);
    frames(1, {event_of(SDL_KEYDOWN, SDLK_p), event_of(SDL_KEYDOWN, SDLK_n)});
    EXPECT_TRUE(app().paused && app().camera_index == 0) << "the keys were the overlay's";
}

TEST_F(AppTest, WindowChangesReachTheViewportAndBothCameras)
{
    const uint64_t width = app().width, height = app().height;
    for (Uint8 kind : {Uint8(SDL_WINDOWEVENT_RESIZED), Uint8(SDL_WINDOWEVENT_SIZE_CHANGED)})
        for (const auto& [w, h] : {std::pair{640, 480}, std::pair{640, 0}, std::pair{int(width), int(height)}}) {
            SDL_Event event = event_of(SDL_WINDOWEVENT);
            event.window = {SDL_WINDOWEVENT, 0, 0, kind, 0, 0, 0, w, h};
            frames(1, {event});
            EXPECT_EQ(std::pair(app().width, app().height), std::pair(uint64_t(w), uint64_t(h)));
            for (const auto& camera : app().cameras)
                EXPECT_FLOAT_EQ(camera->get_aspect_ratio(), float(w) / float(std::max(h, 1))) << "finite when minimised";
        }
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::pair(uint64_t(viewport[2]), uint64_t(viewport[3])), std::pair(width, height));
    app().toggle_fullscreen();
    frames(1);
    app().toggle_fullscreen();
    frames(2);
    int w = 0, h = 0;
    SDL_GetWindowSize(app().sdl_window, &w, &h);
    EXPECT_EQ(std::tuple(app().width, app().height, SDL_GetWindowFlags(app().sdl_window) & SDL_WINDOW_FULLSCREEN),
              std::tuple(uint64_t(w), uint64_t(h), 0u));
}

TEST_F(AppTest, TheMouseTurnsAndZoomsTheActiveCameraOnly)
{
    auto& orbit = dynamic_cast<OrbitCamera&>(*app().cameras[1]);
    const float yaw = orbit.yaw, distance = orbit.distance;
    const glm::quat free_rotation = app().cameras[0]->get_rotation();
    app().camera_index = 1;
    for (Uint8 button : {SDL_BUTTON_RIGHT, SDL_BUTTON_LEFT}) // motion counts only while the left button is held
        frames(1, {event_of(SDL_MOUSEMOTION, 100), event_of(SDL_MOUSEBUTTONDOWN, 0, button), event_of(SDL_MOUSEMOTION, 100),
                   event_of(SDL_MOUSEBUTTONUP, 0, button), event_of(SDL_MOUSEMOTION, 100)});
    EXPECT_EQ(std::tuple(orbit.yaw, app().mouse_look, app().cameras[0]->get_rotation()), std::tuple(yaw + 20.0f, false, free_rotation));
    frames(1, {event_of(SDL_MOUSEWHEEL, 1)});
    EXPECT_FLOAT_EQ(orbit.distance, distance * 1.2f);
    frames(1, {event_of(SDL_MOUSEWHEEL, -1)});
    EXPECT_FLOAT_EQ(orbit.distance, distance);
    orbit.yaw = yaw;
    app().camera_index = 0;
    const glm::vec3 ahead = forward(*app().cameras[0]);
    frames(1, {event_of(SDL_MOUSEBUTTONDOWN), event_of(SDL_MOUSEMOTION, 450), event_of(SDL_MOUSEBUTTONUP)}); // 90 degrees
    EXPECT_LT(glm::length(forward(*app().cameras[0]) - glm::cross(ahead, glm::vec3(0.0f, 1.0f, 0.0f))), 1e-3f) << "turned right";
    app().cameras[0]->set_rotation(free_rotation);
}

// The keys fly the free camera while it is the one looked through; they move the controls only
// while no stick is in use (the App started with one).
TEST_F(AppTest, HeldKeysFlyTheFreeCameraAndWithoutAStickTheAircraft)
{
    BaseCamera& camera = *app().cameras[0];
    const glm::vec3 start = camera.get_position(), ahead = forward(camera), right = camera.get_x_axis();
    const auto hold = [&](std::initializer_list<SDL_Scancode> held, uint64_t active_camera) {
        uint8_t state[SDL_NUM_SCANCODES] = {};
        for (SDL_Scancode code : held)
            state[code] = 1;
        camera.set_position(start);
        app().camera_index = active_camera;
        for (int i = 0; i < 60; ++i)
            app().handle_keyboard(state, 1.0f / 60.0f);
        app().camera_index = 0;
        const glm::vec3 moved = camera.get_position() - start; // in a second, along forward, right, up
        return glm::round(glm::vec3(glm::dot(moved, ahead), glm::dot(moved, right), moved.y));
    };
    app().aircraft.controls = {0.25f, -0.5f, 0.75f, 0.4f};
    EXPECT_EQ(hold({SDL_SCANCODE_W, SDL_SCANCODE_A, SDL_SCANCODE_SPACE, SDL_SCANCODE_K}, 0), glm::vec3(200, -200, 200));
    EXPECT_EQ(std::pair(app().aircraft.controls.elevator, app().aircraft.controls.throttle), std::pair(0.25f, 0.4f));
    app().input_mode = InputMode::None;
    app().aircraft.controls = {};
    EXPECT_EQ(hold({SDL_SCANCODE_W, SDL_SCANCODE_A, SDL_SCANCODE_Q, SDL_SCANCODE_K}, 0), glm::vec3(200, -200, 0));
    const ControlInputs up = app().aircraft.controls;
    EXPECT_TRUE(up.elevator > 0.95f && up.aileron < -0.95f && up.rudder < -0.95f && up.throttle > 0.95f);
    app().aircraft.controls = {};
    EXPECT_EQ(hold({SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_E, SDL_SCANCODE_LCTRL}, 1), glm::vec3(0)) << "not looked through";
    const ControlInputs down = app().aircraft.controls;
    EXPECT_TRUE(down.elevator < -0.95f && down.aileron > 0.95f && down.rudder > 0.95f);
    EXPECT_EQ(hold({SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_LCTRL}, 0), glm::vec3(-200, 200, -200));
    app().input_mode = InputMode::Joystick;
    app().aircraft.controls = {};
    camera.set_position(start);
}

TEST_F(AppTest, SticksFlyEvenWhileTheOverlayOwnsTheInput)
{
    frames(1); // the rest values reported on opening
    focus_overlay(true);
    ASSERT_TRUE(App::overlay_owns_input());
    ASSERT_EQ(SDL_JoystickSetVirtualAxis(app().joystick, 0, 32767), 0) << SDL_GetError();
    frames(1);
    EXPECT_EQ(app().aircraft.controls.aileron, 1.0f);
    app().input_mode = InputMode::Gamepad;
    SDL_Event axis = event_of(SDL_CONTROLLERAXISMOTION);
    axis.caxis = {SDL_CONTROLLERAXISMOTION, 0, 0, SDL_CONTROLLER_AXIS_RIGHTY, 0, 0, 0, 32767, 0};
    console::Capture capture;
    frames(1, {axis});
    app().input_mode = InputMode::Joystick;
    EXPECT_EQ(std::pair(app().aircraft.controls.elevator, capture.out().find("Gamepad axis 3 moved to 32767\n") != std::string::npos),
              std::pair(-1.0f, true)) << capture.out();
    SDL_JoystickSetVirtualAxis(app().joystick, 0, 0);
    app().aircraft.controls = {};
}

TEST_F(AppTest, TheLastFrameIsCapturedAndAQuitEndsTheLoopAfterItsFrame)
{
    app().capture.screenshot = world().dir / "frame.png";
    console::Capture capture;
    frames(3);
    EXPECT_TRUE(capture.out().ends_with("Screenshot: " + console::quoted(app().capture.screenshot) + "\n")) << capture.out();
    gfx::Image image;
    ASSERT_TRUE(image.load(app().capture.screenshot, false));
    EXPECT_EQ(std::pair(uint64_t(image.width), uint64_t(image.height)), std::pair(app().width, app().height));
    EXPECT_TRUE(std::any_of(image.data, image.data + image.width * image.height * 3, [](unsigned char c) { return c > 0; }));
    app().capture.screenshot = world().dir / "missing/frame.png";
    frames(1);
    const size_t failure = capture.err().find("Could not write the screenshot " + console::quoted(app().capture.screenshot));
    EXPECT_TRUE(app().capture_failed && failure != std::string::npos && (failure == 0 || capture.err()[failure - 1] == '\n'));
    app().capture_failed = false;
    app().capture.screenshot.clear();

    app().paused = true;
    frames(10, {event_of(SDL_KEYDOWN, SDLK_n), event_of(SDL_QUIT), event_of(SDL_KEYDOWN, SDLK_p)});
    EXPECT_EQ(std::tuple(app().quit, app().frames_run, app().camera_index, app().paused), std::tuple(true, uint64_t(1), uint64_t(1), true))
        << "the frame of the quit is completed, the events after it stay queued";
    SDL_Event queued{};
    ASSERT_EQ(SDL_PeepEvents(&queued, 1, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN), 1);
    EXPECT_EQ(queued.key.keysym.sym, SDLK_p);
    frames(10);
    EXPECT_EQ(app().frames_run, 0u) << "no frame while quit is set";
    app().camera_index = 0;
}

TEST_F(AppTest, TheOverlayShowsItsWindowsAndReadouts)
{
    support::OverlayDriver driver(app());
    for (const auto& [overlay, help, shown] : {std::tuple(true, true, "OHS"), std::tuple(true, false, "OS"), std::tuple(false, true, "")}) {
        app().show_overlay = overlay;
        app().show_help = help;
        driver.frame();
        std::string windows;
        for (const char* name : {"Options", "Help", "Status Bar"})
            if (const ImGuiWindow* window = ImGui::FindWindowByName(name); window && window->Active)
                windows += name[0];
        EXPECT_EQ(windows, shown) << overlay << help;
    }
    app().show_overlay = true;
    app().fps = 42;
    app().aircraft.controls = {-0.5f, 0.25f, 0.125f, 0.75f};
    driver.open({"Camera", "Terrain", "FlightModel"});
    const std::string text = driver.text([] { app().draw_options_window(); }) + driver.text([] { app().draw_help_window(); }) +
                             driver.text([] { app().draw_status_bar(); });
    const std::string lines[] = {"FPS: 42", "Camera Index: 0", "Position: [0.00, 150.00, 0.00]",
                                    "Lat: 47.257600, Lon: 11.351300, Alt: 2999.99995", "Heading 90", "Zoom Level Range: [7, 17] (10)",
                                    "{ 0.750 } Throttle", "Speed: 0.000 km/h", "Aileron: 0.250, Elevator: -0.500, Rudder: 0.125",
                                    "Press 'H' to toggle this help screen", "Press 'N' to switch between cameras",
                                    "Press 'P' to pause", "Press 'I' to toggle the UI", "Press 'R' to reload shaders",
                                    (world().base / support::CONFIG_FILE_PATH).string(),
                                    "Windhollow flight simulator. Press 'H' to get help. Data Attribution: " +
                                        app().config.elevation_server.attribution + ", " + app().config.texture_server.attribution +
                                        ". FPS: 42"};
    for (const std::string& line : lines)
        EXPECT_NE(text.find(line), std::string::npos) << "missing \"" << line << "\" in:\n" << text;
    app().aircraft.controls = {};

    // "Reload Shaders" says "Reloaded." last, even when the rebuilds fail.
    std::vector<std::pair<std::filesystem::path, std::string>> saved;
    for (const auto& entry : std::filesystem::directory_iterator(world().base / "assets/shaders"))
        if (entry.path().extension() == ".frag")
            saved.emplace_back(entry.path(), support::read_file(entry.path()));
    for (const auto& [path, source] : saved)
        support::write_file(path, "#version 430 core\nthis is not glsl;\n");
    console::Capture capture;
    app().reload_shaders_from_overlay();
    EXPECT_TRUE(capture.out().ends_with("Reloaded.\n") && !capture.err().empty()) << capture.out();
    for (const auto& [path, source] : saved)
        support::write_file(path, source);
    capture.clear();
    app().reload_shaders_from_overlay();
    EXPECT_TRUE(capture.out().ends_with("Reloaded.\n") && capture.err().empty()) << capture.err();
}

TEST_F(AppTest, TheOrbitCameraFollowsTheAircraftAsDrawn)
{
    app().aircraft.body->setWorldTransform(btTransform(btQuaternion(btVector3(0, 1, 0), 0.4f), btVector3(40, 700, -20)));
    while (glGetError() != GL_NO_ERROR) {
    }
    for (bool depth_pass : {true, false}) {
        app().aircraft_transform = gfx::Transform();
        app().draw_physics_scene(depth_pass);
        EXPECT_LT(glm::length(app().aircraft_transform.get_world_position() - glm::vec3(2.0f, 35.0f, -1.0f)), 1e-4f);
        EXPECT_NEAR(glm::dot(app().aircraft_transform.get_world_rotation(), app().aircraft.rotation()), 1.0f, 1e-6f);
    }
    app().draw_flight_model();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    app().reset();
}

} // namespace
