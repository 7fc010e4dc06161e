// The application under a real X display: construction, the frame loop's routing of SDL
// events, key bindings, the mouse, the terrain frame's GL state and the overlay's readouts. One App, built
// against a tile server of its own in a throw-away base directory and started with a virtual
// flight stick attached, serves every test; each puts back what it changes.

#include <btBulletDynamicsCommon.h>
#include <fmt/format.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <gtest/gtest.h>
#include <imgui_internal.h>

#include "app/App.h"
#include "app/CockpitCamera.h"
#include "app/OrbitCamera.h"
#include "console/Console.h"
#include "physics/PhysicsWorld.h"
#include "terrain/UtcTime.h"
#include "tests/support/Picture.h"
#include "tests/support/Support.h"

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

struct World {
    support::TempDir dir{"wh-app"};
    support::TileServer server;
    // Started elsewhere than the first named place (Innsbruck), so the view must come from the
    // configuration: 3000 m above Salzburg.
    std::filesystem::path base = support::make_base_dir(
        dir, server, [](nlohmann::json& config) { config["start_position"] = {{"lat", 47.8014}, {"lon", 13.0448}}; });
    std::string startup; // what construction printed
    std::unique_ptr<App> app;
    World()
    {
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        setenv("ALSOFT_DRIVERS", "null", 1); // sound that plays to nowhere, on any machine
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1"); // another window may have the focus
        SDL_InitSubSystem(SDL_INIT_JOYSTICK);
        SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 6, 4, 0);
        console::Capture capture;
        app = std::make_unique<App>(load_config(base));
        startup = capture.out();
    }
};

class AppTest : public ::testing::Test {
protected:
    static World& world()
    {
        static World instance;
        return instance;
    }
    static App& app() { return *world().app; }
    void SetUp() override
    {
        app().quit = false;
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        focus_overlay(false);
    }
    static void frames(uint64_t n, std::initializer_list<SDL_Event> events = {})
    {
        for (SDL_Event event : events)
            SDL_PushEvent(&event);
        app().capture().settings.exit_after_frames = n;
        app().run();
    }
    static void press(SDL_Keycode key) { frames(1, {event_of(SDL_KEYDOWN, key)}); }
    // Frames until the view has settled (600 at most).
    static void settle()
    {
        app().capture().settings.exit_when_settled = true;
        frames(600);
        app().capture().settings.exit_when_settled = false;
    }
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
    // Two frames; the picture of the second, as the capture mode writes it.
    static gfx::Image shot()
    {
        const std::filesystem::path file = world().dir / "shot.png";
        app().capture().settings.screenshot = file;
        frames(2);
        app().capture().settings.screenshot.clear();
        gfx::Image picture;
        EXPECT_TRUE(picture.load(file, false));
        return picture;
    }
    // 5 m above the ground the physics knows under the start (the terrain, as shipped).
    static glm::vec3 spawn() { return {0.0f, app().flight().ground().height(0.0f, 0.0f) + 5.0f, 0.0f}; }
};

TEST_F(AppTest, StartsPausedAboveTheStartWithEverythingInPlace)
{
    const std::string& out = world().startup;
    EXPECT_LT(out.find("Joystick 0 is a joystick.\n"), out.find("Base Path: " + console::quoted(world().base) + "\n")) << out;
    EXPECT_TRUE(app().flight().paused && app().overlay().visible && !app().overlay().show_help && app().cameras().active_index == 0);
    EXPECT_TRUE(app().sound().scape().active()) << out;
    EXPECT_LT(glm::length(app().cameras().cameras[0]->get_world_position() - glm::vec3(0.0f, 150.0f, 0.0f)), 1e-3f) << "3000 m up";
    EXPECT_LT(glm::length(forward(*app().cameras().cameras[0]) - glm::vec3(1.0f, 0.0f, 0.0f)), 1e-4f) << "looking east";
    EXPECT_EQ(app().cameras().start_position_index, CameraRig::NO_START_POSITION) << "no named place chosen yet";
    const auto& orbit = dynamic_cast<const OrbitCamera&>(*app().cameras().cameras[1]);
    EXPECT_EQ(std::pair(orbit.distance, orbit.target), std::pair(0.75f, static_cast<const gfx::Transform*>(&app().cameras().target)));
    ASSERT_EQ(app().cameras().cameras.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const BaseCamera& camera = *app().cameras().cameras[i];
        const float near = i == CameraRig::COCKPIT ? CockpitCamera::NEAR_METRES * App::SCALING_FACTOR : 0.12f;
        EXPECT_EQ(std::tuple(camera.get_near(), camera.get_far(), camera.get_fov(), camera.get_aspect_ratio()),
                  std::tuple(near, 10000.0f, 0.7853982f, 1280.0f / 720.0f)) << "camera " << i;
    }
    EXPECT_TRUE(app().flight().model.has_value() && !app().renderer().render_debug_geometry) << "the model shows the aircraft";
    EXPECT_EQ(app().flight().world.get_scene().getNumCollisionObjects(), 2) << "the aircraft and the ground";
    EXPECT_LT(glm::length(app().flight().aircraft.position() - spawn()), 1e-3f) << "hanging 5 m above the ground, paused";
    // A terrain frame, in wireframe or not, leaves fill mode and no sampler; the sky sets its
    // state whatever came before; culled leaves are not drawn; the near plane, moved out high
    // up, is put back.
    app().terrain().frustum_culling = true;
    for (bool wireframe : {true, false}) {
        app().terrain().wireframe = wireframe;
        glCullFace(GL_BACK);
        glDepthFunc(GL_ALWAYS);
        app().terrain().render(app().cameras().active(), app().renderer().shadow_map().light_space());
        GLint mode[2] = {}, sampler = -1, cull = 0, depth = 0;
        glGetIntegerv(GL_POLYGON_MODE, mode);
        glGetIntegerv(GL_SAMPLER_BINDING, &sampler);
        glGetIntegerv(GL_CULL_FACE_MODE, &cull);
        glGetIntegerv(GL_DEPTH_FUNC, &depth);
        const TerrainFrameStats& stats = app().terrain().last_frame_stats();
        EXPECT_EQ(std::tuple(mode[0], sampler, cull == GL_FRONT && depth == GL_LESS, stats.sky_drawn, stats.drawn > 0),
                  std::tuple(GL_FILL, 0, !wireframe, !wireframe, true)) << "wireframe " << wireframe;
        EXPECT_EQ(std::tuple(stats.culled > 0, stats.culled + stats.drawn, app().cameras().active().get_near()),
                  std::tuple(true, stats.leaves, 0.12f));
    }
    app().terrain().frustum_culling = false;
}

TEST_F(AppTest, KeyBindingsActUnlessAnOverlayWindowHasTheFocus)
{
    press(SDLK_p);
    EXPECT_FALSE(app().flight().paused);
    press(SDLK_p);
    frames(1, {event_of(SDL_KEYDOWN, SDLK_n), event_of(SDL_KEYDOWN, SDLK_n)});
    EXPECT_TRUE(app().flight().paused && app().cameras().listener_in_cockpit())
        << "every event of a frame is handled: free, orbit, cockpit";
    for (SDL_Keycode key : {SDLK_n, SDLK_h, SDLK_i})
        press(key);
    EXPECT_TRUE(app().cameras().active_index == 0 && app().overlay().show_help && !app().overlay().visible) << "N wraps; I keeps the help switch";
    for (SDL_Keycode key : {SDLK_h, SDLK_i, SDLK_F1})
        press(key);
    EXPECT_TRUE(!app().overlay().show_help && app().overlay().visible);

    app().flight().paused = false; // X: back at the start, at rest, its engine stopped and paused, the controls kept
    app().flight().aircraft.controls.throttle = 1.0f;
    frames(2);
    const float running = app().flight().model->propeller_rpm();
    app().flight().aircraft.body->setWorldTransform(btTransform(btQuaternion(btVector3(0, 1, 0), 1.0f), btVector3(90, 20, 5)));
    app().flight().aircraft.body->setLinearVelocity(btVector3(10, 0, 0));
    press(SDLK_x);
    EXPECT_GT(running, 0.0f);
    EXPECT_EQ(std::tuple(app().flight().paused, app().flight().aircraft.rotation(), app().flight().aircraft.speed(), app().flight().aircraft.controls.throttle,
                         app().flight().model->propeller_rpm()),
              std::tuple(true, glm::quat(1, 0, 0, 0), 0.0f, 1.0f, 0.0f));
    EXPECT_LT(glm::length(app().flight().aircraft.position() - spawn()), 1e-3f);
    app().flight().aircraft.controls.throttle = 0.0f;
    // A state that stopped being finite is said once, and the aircraft is back at the start,
    // paused, with finite instruments.
    app().flight().paused = false;
    app().flight().aircraft.body->setLinearVelocity(btVector3(std::nanf(""), 0, 0));
    {
        console::Capture diverged;
        frames(1);
        EXPECT_NE(diverged.out().find("The flight went out of bounds"), std::string::npos) << diverged.out();
    }
    EXPECT_TRUE(app().flight().paused && std::isfinite(app().flight().data().airspeed_m_s));
    EXPECT_LT(glm::length(app().flight().aircraft.position() - spawn()), 1e-3f);

    // A window minimised to 640 x 0 reaches both cameras with a finite aspect ratio; a quit
    // completes its frame and leaves the events after it queued.
    SDL_Event resize = event_of(SDL_WINDOWEVENT), queued{};
    resize.window = {SDL_WINDOWEVENT, 0, 0, SDL_WINDOWEVENT_SIZE_CHANGED, 0, 0, 0, 640, 0};
    frames(10, {resize, event_of(SDL_KEYDOWN, SDLK_n), event_of(SDL_QUIT), event_of(SDL_KEYDOWN, SDLK_p)});
    EXPECT_EQ(std::tuple(app().window().height, app().cameras().cameras[0]->get_aspect_ratio(), app().cameras().cameras[1]->get_aspect_ratio(), app().quit,
                         app().frames_run(), app().cameras().active_index, SDL_PeepEvents(&queued, 1, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN)),
              std::tuple(uint64_t(0), 640.0f, 640.0f, true, uint64_t(1), uint64_t(1), 1));
    EXPECT_EQ(queued.key.keysym.sym, SDLK_p);
    app().quit = false;
    resize.window.data1 = 1280;
    resize.window.data2 = 720;
    frames(1, {resize, event_of(SDL_KEYDOWN, SDLK_n), event_of(SDL_KEYDOWN, SDLK_n), event_of(SDL_KEYDOWN, SDLK_p)}); // camera 0, and paused after two Ps
    console::Capture capture;
    press(SDLK_r);
    EXPECT_TRUE(capture.out().find("Reloaded all shaders!\n") < capture.out().find("Reloaded terrain shaders!\n")) << capture.out();
    focus_overlay(true);
    frames(1, {event_of(SDL_KEYDOWN, SDLK_p), event_of(SDL_KEYDOWN, SDLK_n)});
    EXPECT_TRUE(app().flight().paused && app().cameras().active_index == 0) << "the keys were the overlay's";
    // The window's own changes are the application's, whatever has the focus.
    for (const auto& [w, h] : {std::pair(800, 600), std::pair(1280, 720)}) {
        SDL_Event resized{};
        resized.window = {SDL_WINDOWEVENT, 0, 0, SDL_WINDOWEVENT_SIZE_CHANGED, 0, 0, 0, w, h};
        frames(1, {resized});
        EXPECT_EQ(std::tuple(app().window().width, app().window().height, app().cameras().active().get_aspect_ratio()),
                  std::tuple(uint64_t(w), uint64_t(h), float(w) / float(h)));
    }
}

// However far down it is moved, the free camera is held just above the ground; T puts the
// aircraft, paused, on the ground under it once the finest heights there are on hand.
TEST_F(AppTest, TheFreeCameraStaysAboveTheGroundAndTPutsTheAircraftUnderIt)
{
    BaseCamera& camera = *app().cameras().cameras[0];
    const glm::vec3 start = camera.get_position();
    const float s = App::SCALING_FACTOR;
    const auto ground = [&](glm::vec3 p) { return app().flight().ground().height(p.x / s, p.z / s) * s; };
    camera.set_position({10.0f, -100.0f, 10.0f});
    frames(1);
    const glm::vec3 held = camera.get_position();
    EXPECT_TRUE(held.y > ground(held) && held.y < ground(held) + 1.0f) << held.y << " " << ground(held);

    console::Capture capture;
    app().flight().paused = false;
    press(SDLK_t);
    for (int i = 0; i < 300 && capture.out().find("Aircraft placed at") == std::string::npos; ++i)
        frames(1);
    EXPECT_NE(capture.out().find("Aircraft placed at"), std::string::npos) << capture.out();
    const glm::vec3 placed = app().flight().aircraft.position();
    EXPECT_TRUE(app().flight().paused);
    EXPECT_LT(glm::length(glm::vec2(placed.x, placed.z) - glm::vec2(held.x, held.z) / s), 1e-2f);
    EXPECT_NEAR(placed.y, app().flight().ground().height(placed.x, placed.z) + 5.0f, 1e-2f);
    camera.set_position(start);
    press(SDLK_x);
}
TEST_F(AppTest, TheMouseTurnsAndZoomsTheActiveCameraOnlyAndTheOrbitCameraFollowsTheAircraftAsDrawn)
{
    auto& orbit = dynamic_cast<OrbitCamera&>(*app().cameras().cameras[1]);
    const float yaw = orbit.yaw, distance = orbit.distance;
    const glm::quat free_rotation = app().cameras().cameras[0]->get_rotation();
    app().cameras().active_index = 1;
    for (Uint8 button : {SDL_BUTTON_RIGHT, SDL_BUTTON_LEFT}) // motion counts only while the left button is held
        frames(1, {event_of(SDL_MOUSEMOTION, 100), event_of(SDL_MOUSEBUTTONDOWN, 0, button), event_of(SDL_MOUSEMOTION, 100),
                   event_of(SDL_MOUSEBUTTONUP, 0, button), event_of(SDL_MOUSEMOTION, 100)});
    EXPECT_EQ(std::tuple(orbit.yaw, app().input().mouse_look, app().cameras().cameras[0]->get_rotation()), std::tuple(yaw + 20.0f, false, free_rotation));
    frames(1, {event_of(SDL_MOUSEWHEEL, 1)});
    EXPECT_FLOAT_EQ(orbit.distance, distance * 1.2f) << "out, away from the user";
    frames(1, {event_of(SDL_MOUSEWHEEL, -1)});
    EXPECT_FLOAT_EQ(orbit.distance, distance);
    orbit.yaw = yaw;
    app().cameras().active_index = 0;
    const glm::vec3 ahead = forward(*app().cameras().cameras[0]);
    frames(1, {event_of(SDL_MOUSEBUTTONDOWN), event_of(SDL_MOUSEMOTION, 450), event_of(SDL_MOUSEBUTTONUP)}); // 90 degrees
    EXPECT_LT(glm::length(forward(*app().cameras().cameras[0]) - glm::cross(ahead, glm::vec3(0.0f, 1.0f, 0.0f))), 1e-3f) << "turned right";
    app().cameras().cameras[0]->set_rotation(free_rotation);
}

// The keys fly the free camera at 200 units a second while it is the one looked through (the first
// key of a pair wins); they move the controls only while no stick is in use (the App started with
// one).
TEST_F(AppTest, HeldKeysFlyTheFreeCameraAndWithoutAStickTheAircraftAndTheStickFliesWhateverOwnsTheInput)
{
    BaseCamera& camera = *app().cameras().cameras[0];
    const glm::vec3 start = camera.get_position(), ahead = forward(camera), right = camera.get_x_axis();
    const auto hold = [&](std::initializer_list<SDL_Scancode> held, uint64_t active_camera) {
        uint8_t state[SDL_NUM_SCANCODES] = {};
        for (SDL_Scancode code : held)
            state[code] = 1;
        camera.set_position(start);
        app().cameras().active_index = active_camera;
        app().flight().aircraft.controls = {};
        for (int i = 0; i < 60; ++i)
            app().input().handle_keyboard(state, 1.0f / 60.0f, app().cameras(), app().flight().aircraft.controls);
        app().cameras().active_index = 0;
        const glm::vec3 moved = camera.get_position() - start; // in a second, along forward, right, up
        return glm::round(glm::vec3(glm::dot(moved, ahead), glm::dot(moved, right), moved.y));
    };
    const ControlInputs& c = app().flight().aircraft.controls;
    EXPECT_EQ(hold({SDL_SCANCODE_W, SDL_SCANCODE_S, SDL_SCANCODE_A, SDL_SCANCODE_SPACE, SDL_SCANCODE_K}, 0), glm::vec3(200, -200, 200));
    EXPECT_TRUE(c.elevator == 0.0f && c.throttle == 0.0f);
    app().input().mode = InputMode::None;
    EXPECT_EQ(hold({SDL_SCANCODE_W, SDL_SCANCODE_A, SDL_SCANCODE_Q, SDL_SCANCODE_K}, 0), glm::vec3(200, -200, 0));
    EXPECT_TRUE(c.elevator > 0.95f && c.aileron < -0.95f && c.rudder < -0.95f && c.throttle > 0.95f);
    EXPECT_EQ(hold({SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_E, SDL_SCANCODE_LCTRL}, 1), glm::vec3(0)) << "not looked through";
    EXPECT_TRUE(c.elevator < -0.95f && c.aileron > 0.95f && c.rudder > 0.95f);
    EXPECT_EQ(hold({SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_LCTRL}, 0), glm::vec3(-200, 200, -200)) << "D right, Ctrl down";
    app().input().mode = InputMode::Joystick;
    app().flight().aircraft.controls = {};
    camera.set_position(start);
    frames(1); // the rest values reported on opening
    focus_overlay(true);
    ASSERT_TRUE(App::overlay_owns_input());
    ASSERT_EQ(SDL_JoystickSetVirtualAxis(app().input().joystick, 0, 32767), 0) << SDL_GetError();
    frames(1);
    EXPECT_EQ(app().flight().aircraft.controls.aileron, 1.0f);
    SDL_JoystickSetVirtualAxis(app().input().joystick, 0, 0);
    app().flight().aircraft.controls = {};
}

// Overlay frames of the test's own (no scene) read the text the windows draw, as ImGui logs it
// through its clipboard hook; the Options window's headers are opened as clicks would.
// Settings that take work away still draw sky above the ground: multisampling (on, where
// software renderers have it off), the sun's shading with the shadow, the scattering; and
// grids drawn as dense as the configuration allows draw more triangles than the screen needs.
TEST_F(AppTest, SettingsThatChangeTheWorkStillDrawSkyAboveGround)
{
    TerrainRenderer& t = app().terrain();
    settle();
    ASSERT_TRUE(t.frame_complete());
    // Settled, all the terrain on screen is sharp (the ground is about half the picture); leaves
    // finer than the settled view's are drawn from stand-ins until their tiles arrive.
    const SharpShare settled = t.last_frame_stats().coverage;
    EXPECT_TRUE(settled.share() == 1.0 && settled.terrain_px > 0.3 * double(app().window().width * app().window().height))
        << settled.sharp_px << " of " << settled.terrain_px << " px";
    t.manual_zoom = true;
    t.max_zoom += 1;
    frames(1);
    t.manual_zoom = false;
    const SharpShare finer = t.last_frame_stats().coverage;
    EXPECT_TRUE(finer.share() < 1.0 && finer.terrain_px > 0.3 * double(app().window().width * app().window().height))
        << finer.sharp_px << " of " << finer.terrain_px << " px";
    settle();
    const int samples = app().renderer().msaa_samples;
    const std::pair<const char*, std::function<void(bool)>> settings[] = {
        {"4 samples", [&](bool on) { app().renderer().msaa_samples = on ? 4 : samples; }},
        {"no shading", [&](bool on) { t.shading = !on; }},
        {"no scattering", [&](bool on) { t.atmosphere.scattering = !on; }}};
    for (const auto& [name, set] : settings) {
        set(true);
        const gfx::Image picture = shot();
        set(false);
        EXPECT_TRUE(support::sky_over_ground(picture)) << name;
    }
    uint64_t triangles[2] = {};
    for (int i = 0; i < 2; ++i) {
        t.grid_pixels = i == 0 ? 2.0 : 32.0;
        frames(1);
        triangles[i] = t.last_frame_stats().triangles;
    }
    t.grid_pixels = 16.0;
    EXPECT_GT(triangles[0], triangles[1] * 3 / 2) << "quads of 2 against 32 pixels";
}

// The aircraft, drawn by its model, is lit by the sun of the Atmosphere settings, as the ground
// is: the tops of its wings, seen from behind, are bright under a sun at the zenith and dim under one low in the
// west behind the camera, which only grazes them. Its shadow darkens the ground: drawn again
// with a depth offset too large for anything to be in shadow, part of the ground is brighter.
TEST_F(AppTest, TheAircraftIsLitByTheSun)
{
    Atmosphere& atmosphere = app().terrain().atmosphere;
    const double elevation = atmosphere.sun_elevation, azimuth = atmosphere.sun_azimuth;
    settle(); // the ground around the aircraft at its finest
    app().switch_camera();
    double brightness[2] = {};
    for (int i = 0; i < 2; ++i) {
        atmosphere.sun_elevation = i == 0 ? 90.0 : 10.0;
        atmosphere.sun_azimuth = 180.0;
        const gfx::Image picture = shot();
        EXPECT_EQ(support::mean(picture, support::SCENE_LEFT, 0, 1280, support::STATUS_BAR_TOP, support::magenta), 0.0) << "no debug geometry";
        for (const int x : {420, 800}) // a stretch of each wing half-way out
            brightness[i] += 0.5 * support::mean(picture, x, 318, x + 60, 326, [](support::Pixel p) { return double(p[0]); });
    }
    atmosphere.sun_elevation = 45.0; // higher than the camera looks down, or the aircraft hides its shadow
    frames(1);
    std::vector<float> ground[2];
    for (int i = 0; i < 2; ++i) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        app().terrain().shadow_bias = i == 0 ? app().renderer().shadow_map().bias() : 10.0f;
        app().terrain().render(app().cameras().active(), app().renderer().shadow_map().light_space());
        ground[i].resize(1280 * 720);
        glReadPixels(0, 0, 1280, 720, GL_RED, GL_FLOAT, ground[i].data());
    }
    int shadowed = 0;
    for (size_t at = 0; at < ground[0].size(); ++at)
        shadowed += ground[1][at] > ground[0][at] + 0.1f;
    EXPECT_GT(shadowed, 200) << "pixels of ground in the aircraft's shadow";
    // The map covers the model's wing tips, 5.5 m out, far beyond the physics' 6 x 1 x 1 m box.
    const gfx::Transform& body = app().cameras().target;
    for (float side : {-1.0f, 1.0f}) {
        const glm::vec3 tip = body.get_world_position() + body.get_world_rotation() * glm::vec3(-0.23f, 0.9f, 5.5f * side) * App::SCALING_FACTOR;
        const glm::vec4 clip = app().renderer().shadow_map().light_space() * glm::vec4(tip, 1.0f);
        EXPECT_TRUE(std::abs(clip.x) < 1.0f && std::abs(clip.y) < 1.0f) << "wing tip " << side << " at " << clip.x << ", " << clip.y;
    }
    app().switch_camera();
    atmosphere.sun_elevation = elevation;
    atmosphere.sun_azimuth = azimuth;
    EXPECT_GT(brightness[0], brightness[1] + 50.0) << brightness[0] << " " << brightness[1];
}

// From the cockpit the horizon lies across the view, sky above and ground below, turned
// against the aircraft's roll (right wing down: it rises to the right); key U takes the head-up
// display away and brings it back.
TEST_F(AppTest, TheCockpitViewShowsTheHorizonTurnedByTheRoll)
{
    const auto sky = [](support::Pixel p) { return double(p[2] > 90 && p[2] > p[0] + 20); };
    const auto hud = [](support::Pixel p) { return double(p[1] > 180 && p[0] < 140 && p[2] < 160); };
    settle();
    app().overlay().visible = false;
    app().cameras().choose(CameraChoice::Cockpit);
    const glm::vec3 at = spawn();
    // The rows of sky left of the propeller less those right of it (both clear of the display's
    // readouts): rolled 30 degrees, about 2 * 295 px * tan 30 more or less than level.
    double level = 0.0;
    for (const float roll : {0.0f, 30.0f, -30.0f}) {
        app().flight().aircraft.body->setWorldTransform(btTransform(btQuaternion(btVector3(1, 0, 0), glm::radians(roll)), btVector3(at.x, at.y, at.z)));
        const gfx::Image image = shot();
        const double tilt = 560.0 * (support::mean(image, 320, 0, 370, 560, sky) - support::mean(image, 910, 0, 960, 560, sky)) - level;
        EXPECT_EQ(support::mean(image, 0, 0, 1280, 720, hud) > 0.002, app().show_hud) << "roll " << roll;
        if (roll == 0.0f) {
            level = tilt;
            EXPECT_TRUE(support::mean(image, 0, 0, 1280, 40, sky) > 0.9 && support::mean(image, 360, 440, 600, 560, sky) < 0.05);
        } else {
            EXPECT_TRUE(tilt * roll / 30.0f > 220.0 && tilt * roll / 30.0f < 460.0) << "roll " << roll << ": " << tilt << " rows";
        }
        press(SDLK_u);
    }
    app().show_hud = true;
    app().cameras().choose(CameraChoice::Free);
    app().overlay().visible = true;
    press(SDLK_x);
}

// At a summer noon the clock's sun stands high; at 20:30 UTC, with the sun 10 degrees below the
// horizon, the sky is much darker than at noon but not black, and the ground, lit by the night
// sky alone, is dark but nowhere pure black. The clock places the sun over the first-person
// camera, before the frame is drawn.
TEST_F(AppTest, TheNightIsDarkButNotBlack)
{
    Atmosphere& atmosphere = app().terrain().atmosphere;
    const double elevation = atmosphere.sun_elevation, azimuth = atmosphere.sun_azimuth;
    settle();
    const glm::vec3 eye = app().cameras().free_camera().get_world_position();
    const LatLon below = app().world_frame().world_to_latlon(eye.x, eye.z);
    double sky[2] = {}, ground[2] = {}, black_ground = 1.0;
    for (int i = 0; i < 2; ++i) {
        const double time = *sky::parse_utc_time(i == 0 ? "2026-06-21T11:00:00Z" : "2026-06-21T20:30:00Z");
        app().sky_clock().set_utc_seconds(time);
        const gfx::Image picture = shot();
        const sky::AtmosphereSun sun = sky::atmosphere_sun(sky::solar_position(time, below.lat, below.lon));
        EXPECT_EQ(std::pair(atmosphere.sun_elevation, atmosphere.sun_azimuth), std::pair(sun.elevation_deg, sun.azimuth_deg));
        sky[i] = support::mean(picture, support::SCENE_LEFT, 0, 900, 40, support::luminance);
        ground[i] = support::mean(picture, 0, 480, 1280, support::STATUS_BAR_TOP, support::luminance);
        black_ground = support::mean(picture, 0, 480, 1280, support::STATUS_BAR_TOP,
                                     [](support::Pixel p) { return double(p[0] + p[1] + p[2] == 0); });
    }
    app().sky_clock().release_sun();
    atmosphere.sun_elevation = elevation;
    atmosphere.sun_azimuth = azimuth;
    EXPECT_TRUE(sky[1] < sky[0] / 5.0 && sky[1] > 4.0) << "sky luminance at noon " << sky[0] << ", at night " << sky[1];
    EXPECT_TRUE(ground[1] < ground[0] / 4.0 && ground[1] > 2.0)
        << "ground luminance at noon " << ground[0] << ", at night " << ground[1];
    EXPECT_LT(black_ground, 0.01) << "of the ground pure black at night";
}

TEST_F(AppTest, TheOverlayShowsItsWindowsAndReadouts)
{
    unsigned char* pixels = nullptr; // the font atlas, which the GL backend would build
    int width = 0, height = 0;
    ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    const auto frame = [](void (Overlay::*draw)(), bool log) { // logging follows one window
        ImGui::GetIO().DisplaySize = ImVec2(1280.0f, 720.0f);
        ImGui::NewFrame();
        if (log)
            ImGui::LogToClipboard();
        (app().overlay().*draw)();
        if (log)
            ImGui::LogFinish();
        ImGui::Render();
    };
    app().overlay().visible = app().overlay().show_help = true;
    frame(&Overlay::draw, false);
    app().frame_time().fps = 42;
    app().flight().paused = false;
    // Frames four times as long as the flight may catch up in; the first also drops whatever
    // part of a step earlier frames carried over, which would show as 24 % instead of 25 %.
    app().flight().update(1.0f);
    app().flight().update(1.0f);
    app().flight().paused = true;
    app().flight().aircraft.controls = {-0.5f, 0.25f, 0.125f, 0.75f};
    app().flight().aircraft.body->setLinearVelocity(btVector3(0, 0, -10));
    ImGuiWindow* options = ImGui::FindWindowByName("Options");
    app().sound().scape().set_settings({.volume = 0.4f, .muted = true});
    for (const char* label : {"Camera", "Terrain", "FlightModel", "Sound"})
        options->StateStorage.SetInt(ImHashStr(label, 0, options->ID), 1);
    ImGui::SetWindowSize("Options", {420, 710});
    static std::string text;
    ImGui::GetIO().SetClipboardTextFn = [](void*, const char* logged) { text += logged; };
    for (void (Overlay::*draw)() : {&Overlay::draw_options_window, &Overlay::draw_help_window, &Overlay::draw_status_bar})
        frame(draw, true);
    const std::string lines[] = {"FPS: 42", "Position: [0.00, 150.00, 0.00]", "Lat: 47.801400, Lon: 13.044800, Alt: 2999.99995",
                                 "Heading 90", "Zoom Level Range: [7, 17] (10)", "{ 0.750 } Throttle", "Speed: 36.000 km/h",
                                 "Wind calm, ground speed 24 km/h (13 kt)", // true units: 10 Mercator m/s at 47.8 degrees
                                 "Aileron: 0.250, Elevator: -0.500, Rudder: 0.125", (world().base / support::CONFIG_FILE_PATH).string(),
                                 "X: reset the aircraft to the start position and pause", "B: wheel brakes (hold)",
                                 "SLOW MOTION: the simulation runs at 2", // about a quarter "{ 40 % } Volume", "[x] Mute",
                                 fmt::format("Windhollow flight simulator. Press 'H' to get help. Data Attribution: {}, {}. FPS: 42",
                                             app().config().elevation_server.attribution, app().config().texture_server.attribution)};
    for (const std::string& line : lines)
        EXPECT_NE(text.find(line), std::string::npos) << "missing \"" << line << "\" in:\n" << text;
    app().flight().aircraft.controls = {};
    app().flight().aircraft.body->setLinearVelocity(btVector3(0, 0, 0));
    app().sound().scape().set_settings({});
    app().overlay().show_help = false;
    console::Capture capture;
    app().reload_shaders_from_overlay();
    EXPECT_TRUE(capture.out().ends_with("Reloaded.\n")) << capture.out();
    // The orbit camera's target is the pose of the frame it is drawn in, taken from the flight;
    // drawing a frame changes nothing.
    app().flight().aircraft.body->setWorldTransform(btTransform(btQuaternion(btVector3(0, 1, 0), 0.4f), btVector3(40, 700, -20)));
    while (glGetError() != GL_NO_ERROR) {
    }
    frames(1);
    const gfx::Transform& target = app().cameras().target;
    EXPECT_LT(glm::length(target.get_world_position() - glm::vec3(2.0f, 35.0f, -1.0f)), 1e-4f);
    EXPECT_NEAR(glm::dot(target.get_world_rotation(), app().flight().aircraft.rotation()), 1.0f, 1e-6f);
    app().cameras().target = gfx::Transform();
    app().render_frame();
    EXPECT_EQ(app().cameras().target.get_world_position(), glm::vec3(0.0f)) << "drawn, not moved";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    app().flight().reset();
}

} // namespace
