// The application object in one process under a real X display: construction lines, the
// frame loop's routing of pushed SDL events, key bindings, window changes and capture mode.
// One App serves the whole suite (it owns the window and the process-wide physics world is
// built once); each test puts back what it changes.

#include "app/App.h"

#include <cmath>
#include <cstdlib>
#include <memory>

#include <glm/gtx/string_cast.hpp>
#include <gtest/gtest.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include "console/Console.h"
#include "app/OrbitCamera.h"
#include "gfx/Image.h"
#include "tests/support/BaseDir.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

SDL_Event key_down(SDL_Keycode key, SDL_Scancode scancode)
{
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    event.key.keysym.scancode = scancode;
    return event;
}

SDL_Event window_size_event(Uint8 kind, int width, int height)
{
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = kind;
    event.window.data1 = width;
    event.window.data2 = height;
    return event;
}

SDL_Event mouse_button(Uint32 type, Uint8 button)
{
    SDL_Event event{};
    event.type = type;
    event.button.button = button;
    event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    return event;
}

SDL_Event mouse_motion(int xrel, int yrel)
{
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.x = 640;
    event.motion.y = 600;
    event.motion.xrel = xrel;
    event.motion.yrel = yrel;
    return event;
}

SDL_Event mouse_wheel(int y)
{
    SDL_Event event{};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.y = y;
    return event;
}

class AppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<support::TempDir>("wh-app-gl");
        s_server = std::make_unique<support::TileServer>();
        std::filesystem::path base = support::make_base_dir(*s_dir, *s_server);
        setenv("XDG_DATA_HOME", (*s_dir / "data").c_str(), 1);
        console::Capture capture;
        Config config = load_config(base);
        s_app = std::make_unique<App>(config);
        s_construction_out = capture.out();
        s_construction_err = capture.err();
    }

    static void TearDownTestSuite()
    {
        s_app.reset();
        s_server.reset();
        s_dir.reset();
    }

    void SetUp() override
    {
        ASSERT_NE(s_app, nullptr);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        release_overlay_focus();
        app().quit = false;
        app().capture = {};
    }

    static App& app() { return *s_app; }

    // Runs exactly n frames of the real loop.
    static void run_frames(uint64_t n)
    {
        app().capture.exit_after_frames = n;
        app().run();
        app().capture.exit_after_frames.reset();
        EXPECT_EQ(app().frames_run, n);
    }

    static void push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }

    static void press(SDL_Keycode key, SDL_Scancode scancode)
    {
        push(key_down(key, scancode));
        run_frames(1);
    }

    // An ImGui frame of the test's own between two application frames, to give an ImGui
    // window the focus (or take it away): the overlay then owns the input.
    static void imgui_frame(bool focus_a_window)
    {
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
        if (focus_a_window) {
            ImGui::SetNextWindowPos(ImVec2(900, 400));
            ImGui::Begin("Test Window");
            ImGui::Text("focus holder");
            ImGui::End();
            ImGui::SetWindowFocus("Test Window");
        } else {
            ImGui::SetWindowFocus(nullptr);
        }
        ImGui::EndFrame();
    }

    static void release_overlay_focus() { imgui_frame(false); }

    static inline std::unique_ptr<support::TempDir> s_dir;
    static inline std::unique_ptr<support::TileServer> s_server;
    static inline std::unique_ptr<App> s_app;
    static inline std::string s_construction_out;
    static inline std::string s_construction_err;
};

TEST_F(AppTest, ConstructionPrintsItsLinesInOrderAndStartsPaused)
{
    const std::string& out = s_construction_out;
    const std::string base_line = "Base Path: " + console::quoted(app().config.base_path) + "\n";
    const std::string start_line = "Start Position: lat=47.257600, lon=11.351300\n";
    size_t pref = out.find("Get Pref Path: ");
    size_t base = out.find(base_line);
    size_t start = out.find(start_line);
    ASSERT_NE(pref, std::string::npos) << out;
    ASSERT_NE(base, std::string::npos) << out;
    ASSERT_NE(start, std::string::npos) << out;
    EXPECT_LT(pref, base) << out;
    EXPECT_EQ(start, base + base_line.size()) << "Start Position follows Base Path directly:\n" << out;
    EXPECT_EQ(out.find("Get Base Path: "), std::string::npos) << "a base was given:\n" << out;
    EXPECT_EQ(out.find("Joystick"), std::string::npos) << "no joystick under Xvfb:\n" << out;

    EXPECT_TRUE(app().paused);
    EXPECT_TRUE(app().show_overlay);
    EXPECT_FALSE(app().show_help);
    EXPECT_TRUE(app().render_debug_geometry);
    EXPECT_FALSE(app().fullscreen);
    EXPECT_EQ(app().fpv_speed, 200.0f);
    EXPECT_EQ(app().camera_index, 0u);
    EXPECT_EQ(app().start_position_index, 0u);
    ASSERT_EQ(app().cameras.size(), 2u);
}

TEST_F(AppTest, CamerasStartAboveTheOriginAndBehindTheAircraft)
{
    BaseCamera& first = *app().cameras[0];
    glm::vec3 position = first.get_world_position();
    EXPECT_NEAR(position.x, 0.0f, 1e-3) << glm::to_string(position);
    EXPECT_NEAR(position.y, 150.0f, 1e-3) << glm::to_string(position);
    EXPECT_NEAR(position.z, 0.0f, 1e-3) << glm::to_string(position);
    glm::vec3 forward = -first.get_z_axis();
    EXPECT_NEAR(forward.x, 1.0f, 1e-4) << "facing east: " << glm::to_string(forward);

    auto* orbit = dynamic_cast<OrbitCamera*>(app().cameras[1].get());
    ASSERT_NE(orbit, nullptr) << "camera 1 is the orbit camera";
    EXPECT_FLOAT_EQ(orbit->distance, 0.75f);
    EXPECT_EQ(orbit->target, &app().aircraft_transform);

    for (auto& camera : app().cameras) {
        EXPECT_FLOAT_EQ(camera->get_near(), 0.12f);
        EXPECT_FLOAT_EQ(camera->get_far(), 10000.0f);
        EXPECT_FLOAT_EQ(camera->get_fov(), 0.7853982f);
        EXPECT_FLOAT_EQ(camera->get_aspect_ratio(), app().aspect_ratio());
    }
}

TEST_F(AppTest, FirstFrameHasNoTimeLaterFramesDo)
{
    // The shared App may have run frames already; a fresh clock shows the first-frame rule.
    app().delta_time = 0.0f;
    run_frames(1);
    EXPECT_EQ(app().frame_dt, 0.0f) << "the first frame of a fresh clock";
    EXPECT_GT(app().delta_time, 0.0f) << "measured at the frame's end";
    run_frames(1);
    EXPECT_GT(app().frame_dt, 0.0f);
    EXPECT_GE(app().now_counter, app().last_counter);
}

TEST_F(AppTest, KeyBindings)
{
    press(SDLK_p, SDL_SCANCODE_P);
    EXPECT_FALSE(app().paused) << "P resumes";
    press(SDLK_p, SDL_SCANCODE_P);
    EXPECT_TRUE(app().paused) << "P pauses again";

    press(SDLK_n, SDL_SCANCODE_N);
    EXPECT_EQ(app().camera_index, 1u);
    press(SDLK_n, SDL_SCANCODE_N);
    EXPECT_EQ(app().camera_index, 0u) << "N wraps around";

    press(SDLK_h, SDL_SCANCODE_H);
    EXPECT_TRUE(app().show_help);
    press(SDLK_i, SDL_SCANCODE_I);
    EXPECT_FALSE(app().show_overlay);
    EXPECT_TRUE(app().show_help) << "I hides the overlay, the help switch stays";
    press(SDLK_h, SDL_SCANCODE_H);
    press(SDLK_i, SDL_SCANCODE_I);
    EXPECT_TRUE(app().show_overlay);
    EXPECT_FALSE(app().show_help);

    // X pauses whatever the state was.
    app().paused = false;
    press(SDLK_x, SDL_SCANCODE_X);
    EXPECT_TRUE(app().paused);

    // Other keys do nothing here.
    press(SDLK_q, SDL_SCANCODE_Q);
    press(SDLK_F1, SDL_SCANCODE_F1);
    EXPECT_TRUE(app().paused);
    EXPECT_EQ(app().camera_index, 0u);
    EXPECT_TRUE(app().show_overlay);
}

TEST_F(AppTest, SeveralEventsInOneFrameAreAllHandled)
{
    push(key_down(SDLK_n, SDL_SCANCODE_N));
    push(key_down(SDLK_n, SDL_SCANCODE_N));
    push(key_down(SDLK_n, SDL_SCANCODE_N));
    run_frames(1);
    EXPECT_EQ(app().camera_index, 1u);
    press(SDLK_n, SDL_SCANCODE_N);
    EXPECT_EQ(app().camera_index, 0u);
}

TEST_F(AppTest, KeysDoNotReachTheBindingsWhileAnOverlayWindowHasFocus)
{
    imgui_frame(true);
    ASSERT_TRUE(App::overlay_owns_input());
    push(key_down(SDLK_p, SDL_SCANCODE_P));
    push(key_down(SDLK_n, SDL_SCANCODE_N));
    run_frames(1);
    EXPECT_TRUE(app().paused) << "P was the overlay's";
    EXPECT_EQ(app().camera_index, 0u) << "N was the overlay's";

    release_overlay_focus();
    ASSERT_FALSE(App::overlay_owns_input());
    press(SDLK_n, SDL_SCANCODE_N);
    EXPECT_EQ(app().camera_index, 1u) << "with the focus gone the bindings work again";
    press(SDLK_n, SDL_SCANCODE_N);
}

TEST_F(AppTest, ResizeUpdatesWindowViewportAndBothCameras)
{
    const uint64_t width = app().width;
    const uint64_t height = app().height;
    for (Uint8 kind : {Uint8(SDL_WINDOWEVENT_RESIZED), Uint8(SDL_WINDOWEVENT_SIZE_CHANGED)}) {
        push(window_size_event(kind, 640, 480));
        run_frames(1);
        EXPECT_EQ(app().width, 640u);
        EXPECT_EQ(app().height, 480u);
        for (auto& camera : app().cameras)
            EXPECT_FLOAT_EQ(camera->get_aspect_ratio(), 640.0f / 480.0f);

        // A minimised window reporting height 0 leaves the cameras with a finite ratio.
        push(window_size_event(kind, 640, 0));
        run_frames(1);
        for (auto& camera : app().cameras)
            EXPECT_TRUE(std::isfinite(camera->get_aspect_ratio()));

        push(window_size_event(kind, int(width), int(height)));
        run_frames(1);
        EXPECT_EQ(app().width, width);
        for (auto& camera : app().cameras)
            EXPECT_FLOAT_EQ(camera->get_aspect_ratio(), float(width) / float(height));
    }
}

TEST_F(AppTest, MouseDragAndWheelReachTheActiveCameraOnly)
{
    auto* orbit = dynamic_cast<OrbitCamera*>(app().cameras[1].get());
    ASSERT_NE(orbit, nullptr);
    const float yaw = orbit->yaw;
    const float distance = orbit->distance;
    const glm::quat first_rotation = app().cameras[0]->get_rotation();

    app().camera_index = 1;
    push(mouse_motion(100, 0));
    run_frames(1);
    EXPECT_FLOAT_EQ(orbit->yaw, yaw) << "motion without the left button changes nothing";

    push(mouse_button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT));
    push(mouse_motion(100, 0));
    run_frames(1);
    EXPECT_TRUE(app().mouse_look);
    EXPECT_FLOAT_EQ(orbit->yaw, yaw + 20.0f) << "100 pixels right add 20 degrees";
    EXPECT_EQ(app().cameras[0]->get_rotation(), first_rotation) << "the inactive camera stays";

    push(mouse_button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT));
    push(mouse_motion(-100, 0));
    run_frames(1);
    EXPECT_FALSE(app().mouse_look);
    EXPECT_FLOAT_EQ(orbit->yaw, yaw + 20.0f);

    push(mouse_wheel(1));
    run_frames(1);
    EXPECT_FLOAT_EQ(orbit->distance, distance * 1.2f) << "wheel without a button held";
    push(mouse_wheel(-1));
    run_frames(1);
    EXPECT_FLOAT_EQ(orbit->distance, distance);

    orbit->yaw = yaw;
    app().camera_index = 0;
}

TEST_F(AppTest, FreeCameraKeysFirstKeyOfAPairWins)
{
    BaseCamera& camera = *app().cameras[0];
    const glm::vec3 start = camera.get_position();
    const glm::vec3 forward = -camera.get_z_axis();
    uint8_t keys[SDL_NUM_SCANCODES] = {};
    keys[SDL_SCANCODE_W] = 1;
    keys[SDL_SCANCODE_S] = 1;

    app().handle_keyboard(keys, 0.0f);
    EXPECT_EQ(camera.get_position(), start) << "dt 0 moves nothing";

    app().handle_keyboard(keys, 0.5f);
    glm::vec3 moved = camera.get_position() - start;
    EXPECT_NEAR(glm::dot(moved, forward), 100.0f, 1e-2) << "W wins over S: " << glm::to_string(moved);

    // Only while the first-person camera is active.
    camera.set_position(start);
    app().camera_index = 1;
    app().handle_keyboard(keys, 0.5f);
    EXPECT_EQ(camera.get_position(), start);
    app().camera_index = 0;
}

TEST_F(AppTest, SelectStartPositionMovesTheFirstPersonCameraWhicheverIsActive)
{
    app().camera_index = 1;
    app().select_start_position(10); // Thueringerberg, heading 180, 2000 m
    EXPECT_EQ(app().start_position_index, 10u);
    BaseCamera& first = *app().cameras[0];
    EXPECT_FLOAT_EQ(first.get_position().y, 100.0f);
    glm::vec3 forward = -first.get_z_axis();
    EXPECT_NEAR(forward.z, 1.0f, 1e-4) << "heading 180 faces south";

    app().select_start_position(99); // out of range: ignored
    EXPECT_EQ(app().start_position_index, 10u);

    app().select_start_position(0);
    EXPECT_NEAR(first.get_position().y, 150.0f, 1e-3);
    app().camera_index = 0;
}

TEST_F(AppTest, ShaderReloadFromTheOverlaySaysReloaded)
{
    console::Capture capture;
    app().reload_shaders_from_overlay();
    const std::string out = capture.out();
    ASSERT_GE(out.size(), std::string("Reloaded.\n").size());
    EXPECT_EQ(out.substr(out.size() - 10), "Reloaded.\n") << out;

    capture.clear();
    app().reload_shaders();
    EXPECT_EQ(capture.out().find("Reloaded.\n"), std::string::npos) << "key R prints no such line";
}

TEST_F(AppTest, FullscreenTwiceReturnsToAWindow)
{
    app().toggle_fullscreen();
    EXPECT_TRUE(app().fullscreen);
    run_frames(1);
    app().toggle_fullscreen();
    EXPECT_FALSE(app().fullscreen);
    run_frames(2);
    int w = 0, h = 0;
    SDL_GetWindowSize(app().sdl_window, &w, &h);
    EXPECT_EQ(app().width, uint64_t(w));
    EXPECT_EQ(app().height, uint64_t(h));
    EXPECT_EQ(SDL_GetWindowFlags(app().sdl_window) & SDL_WINDOW_FULLSCREEN, 0u);
}

TEST_F(AppTest, ScreenshotOfTheLastFrameAtTheWindowSize)
{
    std::filesystem::path file = *s_dir / "frame.png";
    app().capture.screenshot = file;
    console::Capture capture;
    run_frames(3);
    // Written once the loop has ended: the last line of the run.
    const std::string line = "Screenshot: " + console::quoted(file) + "\n";
    const std::string out = capture.out();
    ASSERT_GE(out.size(), line.size()) << out << capture.err();
    EXPECT_EQ(out.substr(out.size() - line.size()), line) << out << capture.err();

    gfx::Image image;
    ASSERT_TRUE(image.load(file, false)) << file;
    EXPECT_EQ(uint64_t(image.width), app().width);
    EXPECT_EQ(uint64_t(image.height), app().height);
    bool any_lit = false;
    for (size_t i = 0; i < size_t(image.width) * size_t(image.height) * 3 && !any_lit; ++i)
        any_lit = image.data[i] != 0;
    EXPECT_TRUE(any_lit) << "the frame is not black";
}

TEST_F(AppTest, UnwritableScreenshotIsReportedAsAFailure)
{
    app().capture_failed = false;
    app().capture.screenshot = *s_dir / "missing" / "frame.png";
    console::Capture capture;
    run_frames(1);
    EXPECT_TRUE(app().capture_failed);
    // Tile errors of a loaded machine may come first; the screenshot's line is one of its own.
    const std::string err = capture.err();
    const size_t line = err.find("Could not write the screenshot ");
    ASSERT_NE(line, std::string::npos) << err;
    EXPECT_TRUE(line == 0 || err[line - 1] == '\n') << err;
    app().capture_failed = false;
}

TEST_F(AppTest, QuitFinishesTheFrameAndLeavesLaterEventsQueued)
{
    push(key_down(SDLK_n, SDL_SCANCODE_N));
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    push(quit);
    push(key_down(SDLK_p, SDL_SCANCODE_P));
    app().capture.exit_after_frames = 10;
    app().run();
    EXPECT_TRUE(app().quit);
    EXPECT_EQ(app().frames_run, 1u) << "the frame in which quit was set is completed, no more";
    EXPECT_EQ(app().camera_index, 1u) << "events before the quit were handled";
    EXPECT_TRUE(app().paused) << "the P behind the quit was not";
    SDL_Event queued{};
    ASSERT_EQ(SDL_PeepEvents(&queued, 1, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN), 1);
    EXPECT_EQ(queued.key.keysym.sym, SDLK_p);

    // run() returns at once while quit stays set.
    app().run();
    EXPECT_EQ(app().frames_run, 0u);
    app().quit = false;
    app().camera_index = 0;
}

} // namespace
