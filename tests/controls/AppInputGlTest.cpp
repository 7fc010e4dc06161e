// The App's input handling in its two modes: keyboard flying when no device is present, and a
// joystick (an SDL virtual joystick attached before the App starts) that takes the controls
// over from the keyboard while the keyboard still flies the free camera.

#include <memory>
#include <string>

#include <SDL.h>
#include <gtest/gtest.h>

#include "console/Console.h"
#include "app/OrbitCamera.h"
#include "tests/controls/AppFixture.h"

using controls_test::AppWorld;

namespace {

// SDL's keyboard state array with the given scancodes held.
struct Keys {
    uint8_t state[SDL_NUM_SCANCODES] = {};
    Keys(std::initializer_list<SDL_Scancode> held)
    {
        for (SDL_Scancode code : held)
            state[code] = 1;
    }
};

// Runs one frame of the App's loop (events, keyboard, cameras, drawing).
void run_one_frame(App& app)
{
    app.capture.exit_after_frames = 1;
    app.run();
}

void push_mouse_button(Uint32 type, Uint8 button)
{
    SDL_Event event{};
    event.type = type;
    event.button.button = button;
    event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.button.x = 900;
    event.button.y = 500;
    SDL_PushEvent(&event);
}

void push_mouse_motion(int xrel, int yrel)
{
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.x = 900;
    event.motion.y = 500;
    event.motion.xrel = xrel;
    event.motion.yrel = yrel;
    SDL_PushEvent(&event);
}

class KeyboardModeTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_capture = std::make_unique<console::Capture>();
        s_world = std::make_unique<AppWorld>();
        s_startup = s_capture->out();
        s_capture.reset();
    }
    static void TearDownTestSuite() { s_world.reset(); }

    App& app() { return *s_world->app; }

    static std::unique_ptr<console::Capture> s_capture;
    static std::unique_ptr<AppWorld> s_world;
    static std::string s_startup;
};

std::unique_ptr<console::Capture> KeyboardModeTest::s_capture;
std::unique_ptr<AppWorld> KeyboardModeTest::s_world;
std::string KeyboardModeTest::s_startup;

class JoystickModeTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_capture = std::make_unique<console::Capture>();
        s_world = std::make_unique<AppWorld>([] {
            // The GL tests share one X server and run side by side, so another test's window
            // may hold the keyboard focus; SDL drops stick motion of unfocused programs.
            SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
            ASSERT_EQ(0, SDL_InitSubSystem(SDL_INIT_JOYSTICK)) << SDL_GetError();
            ASSERT_EQ(0, SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 6, 4, 0)) << SDL_GetError();
        });
        s_startup = s_capture->out();
        s_capture.reset();
    }
    static void TearDownTestSuite() { s_world.reset(); }

    App& app() { return *s_world->app; }

    void move_axis(int axis, Sint16 value)
    {
        ASSERT_NE(nullptr, app().joystick);
        ASSERT_EQ(0, SDL_JoystickSetVirtualAxis(app().joystick, axis, value)) << SDL_GetError();
        run_one_frame(app());
    }

    static std::unique_ptr<console::Capture> s_capture;
    static std::unique_ptr<AppWorld> s_world;
    static std::string s_startup;
};

std::unique_ptr<console::Capture> JoystickModeTest::s_capture;
std::unique_ptr<AppWorld> JoystickModeTest::s_world;
std::string JoystickModeTest::s_startup;

} // namespace

TEST_F(KeyboardModeTest, NothingIsSaidAboutJoysticks)
{
    EXPECT_EQ(InputMode::None, app().input_mode);
    EXPECT_EQ(nullptr, app().joystick);
    EXPECT_EQ(nullptr, app().gamepad);
    EXPECT_EQ(std::string::npos, s_startup.find("Joystick")) << s_startup;
    EXPECT_NE(std::string::npos, s_startup.find("Base Path: ")) << s_startup;
}

TEST_F(KeyboardModeTest, KeyBindingsAndMouseReachTheAppFromTheStart)
{
    // No window is focused by itself: the overlay does not take the first key presses.
    run_one_frame(app());
    run_one_frame(app());
    EXPECT_FALSE(App::overlay_owns_input());
    const bool paused = app().paused;
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_p;
    key.key.keysym.scancode = SDL_SCANCODE_P;
    SDL_PushEvent(&key);
    run_one_frame(app());
    EXPECT_EQ(!paused, app().paused);
    app().paused = paused;
}

TEST_F(KeyboardModeTest, WFliesTheAircraftAndTheFreeCamera)
{
    app().camera_index = 0;
    app().aircraft.controls = ControlInputs{};
    BaseCamera& camera = *app().cameras[0];
    const glm::vec3 start = camera.get_position();
    const glm::vec3 forward = -camera.get_z_axis();

    const Keys w{SDL_SCANCODE_W};
    for (int i = 0; i < 60; ++i)
        app().handle_keyboard(w.state, 1.0f / 60.0f);
    EXPECT_NEAR(0.954f, app().aircraft.controls.elevator, 0.002f);
    // One second at the default 200 world units per second, straight ahead.
    const glm::vec3 moved = camera.get_position() - start;
    EXPECT_NEAR(200.0f, glm::dot(moved, forward), 0.05f);
    EXPECT_NEAR(200.0f, glm::length(moved), 0.05f);

    // Released, twice as fast back toward the centre.
    const Keys none{};
    for (int i = 0; i < 30; ++i)
        app().handle_keyboard(none.state, 1.0f / 60.0f);
    EXPECT_LT(app().aircraft.controls.elevator, 0.05f);
    camera.set_position(start);
    app().aircraft.controls = ControlInputs{};
}

TEST_F(KeyboardModeTest, TheOrbitCameraIsNotFlownByTheKeyboard)
{
    app().camera_index = 1;
    const glm::vec3 free_before = app().cameras[0]->get_position();
    const Keys keys{SDL_SCANCODE_W, SDL_SCANCODE_D, SDL_SCANCODE_SPACE, SDL_SCANCODE_K};
    app().aircraft.controls = ControlInputs{};
    app().handle_keyboard(keys.state, 0.1f);
    EXPECT_EQ(free_before, app().cameras[0]->get_position());
    // The controls still follow the keys.
    EXPECT_NEAR(0.3f, app().aircraft.controls.elevator, 1e-6f);
    EXPECT_NEAR(0.3f, app().aircraft.controls.aileron, 1e-6f);
    EXPECT_NEAR(0.3f, app().aircraft.controls.throttle, 1e-6f);
    app().camera_index = 0;
    app().aircraft.controls = ControlInputs{};
}

TEST_F(KeyboardModeTest, LeftDragTurnsTheActiveCameraAndTheWheelZooms)
{
    app().camera_index = 1;
    auto& orbit = dynamic_cast<OrbitCamera&>(*app().cameras[1]);
    const float yaw = orbit.yaw;
    const float distance = orbit.distance;

    // Motion without the button turns nothing.
    push_mouse_motion(100, 0);
    run_one_frame(app());
    EXPECT_FLOAT_EQ(yaw, orbit.yaw);
    EXPECT_FALSE(app().mouse_look);

    // A right-button drag neither.
    push_mouse_button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT);
    push_mouse_motion(100, 0);
    run_one_frame(app());
    EXPECT_FALSE(app().mouse_look);
    EXPECT_FLOAT_EQ(yaw, orbit.yaw);
    push_mouse_button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT);

    // 100 pixels to the right with the left button held: 20 degrees.
    push_mouse_button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    push_mouse_motion(100, 0);
    run_one_frame(app());
    EXPECT_TRUE(app().mouse_look);
    EXPECT_NEAR(yaw + 20.0f, orbit.yaw, 1e-3f);
    push_mouse_button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
    push_mouse_motion(100, 0);
    run_one_frame(app());
    EXPECT_FALSE(app().mouse_look);
    EXPECT_NEAR(yaw + 20.0f, orbit.yaw, 1e-3f);

    // The wheel reaches the active camera, button or not: away from the user moves out.
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = 1;
    SDL_PushEvent(&wheel);
    run_one_frame(app());
    EXPECT_NEAR(distance * 1.2f, orbit.distance, 1e-5f);

    // The free camera turns with a drag while it is the active one.
    app().camera_index = 0;
    BaseCamera& free_camera = *app().cameras[0];
    const glm::vec3 view_before = -free_camera.get_z_axis();
    push_mouse_button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    push_mouse_motion(450, 0); // 90 degrees to the right
    push_mouse_button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
    run_one_frame(app());
    const glm::vec3 view_after = -free_camera.get_z_axis();
    const glm::vec3 right_of_before = glm::normalize(glm::cross(view_before, glm::vec3(0.0f, 1.0f, 0.0f)));
    EXPECT_NEAR(1.0f, glm::dot(glm::normalize(glm::vec3(view_after.x, 0.0f, view_after.z)), right_of_before), 1e-3f);
}

TEST_F(JoystickModeTest, StartupSaysSoBeforeTheBasePath)
{
    EXPECT_EQ(InputMode::Joystick, app().input_mode);
    EXPECT_NE(nullptr, app().joystick);
    EXPECT_EQ(nullptr, app().gamepad);
    const size_t joystick_line = s_startup.find("Joystick 0 is a joystick.\n");
    const size_t base_line = s_startup.find("Base Path: ");
    ASSERT_NE(std::string::npos, joystick_line) << s_startup;
    ASSERT_NE(std::string::npos, base_line) << s_startup;
    EXPECT_LT(joystick_line, base_line) << s_startup;
    EXPECT_EQ(std::string::npos, s_startup.find("Could not open")) << s_startup;
}

TEST_F(JoystickModeTest, KeyboardNoLongerMovesTheControlsButStillFliesTheCamera)
{
    app().camera_index = 0;
    ControlInputs set;
    set.elevator = 0.25f;
    set.aileron = -0.5f;
    set.rudder = 0.75f;
    set.throttle = 0.4f;
    app().aircraft.controls = set;
    BaseCamera& camera = *app().cameras[0];
    const glm::vec3 start = camera.get_position();

    const Keys keys{SDL_SCANCODE_W, SDL_SCANCODE_A, SDL_SCANCODE_Q, SDL_SCANCODE_K};
    for (int i = 0; i < 30; ++i)
        app().handle_keyboard(keys.state, 1.0f / 60.0f);
    // Nothing held either: no return to the centre.
    const Keys none{};
    app().handle_keyboard(none.state, 0.5f);

    EXPECT_FLOAT_EQ(0.25f, app().aircraft.controls.elevator);
    EXPECT_FLOAT_EQ(-0.5f, app().aircraft.controls.aileron);
    EXPECT_FLOAT_EQ(0.75f, app().aircraft.controls.rudder);
    EXPECT_FLOAT_EQ(0.4f, app().aircraft.controls.throttle);

    // Half a second of W and A: forward and to the left, 100 world units each way.
    const glm::vec3 moved = camera.get_position() - start;
    EXPECT_NEAR(100.0f, glm::dot(moved, -camera.get_z_axis()), 0.05f);
    EXPECT_NEAR(-100.0f, glm::dot(moved, camera.get_x_axis()), 0.05f);
    camera.set_position(start);
}

TEST_F(JoystickModeTest, AxisEventsSetTheControls)
{
    app().aircraft.controls = ControlInputs{};
    struct Step {
        int axis;
        Sint16 value;
        float ControlInputs::*control;
        float expected;
    };
    const Step steps[] = {
        {3, -32767, &ControlInputs::throttle, 1.0f},
        {0, 16384, &ControlInputs::aileron, 0.125f},
        {1, 32767, &ControlInputs::elevator, -1.0f},
        {4, -32767, &ControlInputs::rudder, -1.0f},
        {3, 1, &ControlInputs::throttle, 0.5f},
        {3, 0, &ControlInputs::throttle, 0.5f}, // back at the centre: ignored
        {0, -32768, &ControlInputs::aileron, -1.0000916f},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "axis " << step.axis << " value " << step.value);
        move_axis(step.axis, step.value);
        EXPECT_NEAR(step.expected, app().aircraft.controls.*step.control, 1e-4f);
    }
    app().aircraft.controls = ControlInputs{};
}

TEST_F(JoystickModeTest, TheStickStillFliesWhileTheOverlayHasTheFocus)
{
    app().aircraft.controls = ControlInputs{};
    run_one_frame(app());
    ImGui::SetWindowFocus("Options");
    ASSERT_TRUE(App::overlay_owns_input());
    move_axis(0, 32767);
    EXPECT_FLOAT_EQ(1.0f, app().aircraft.controls.aileron);
    ImGui::SetWindowFocus(nullptr);
    app().aircraft.controls = ControlInputs{};
}

namespace {

class GamepadModeTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_capture = std::make_unique<console::Capture>();
        s_world = std::make_unique<AppWorld>([] {
            // The GL tests share one X server and run side by side, so another test's window
            // may hold the keyboard focus; SDL drops stick motion of unfocused programs.
            SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
            ASSERT_EQ(0, SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER)) << SDL_GetError();
            ASSERT_EQ(0, SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0)) << SDL_GetError();
        });
        s_startup = s_capture->out();
        s_capture.reset();
    }
    static void TearDownTestSuite() { s_world.reset(); }

    App& app() { return *s_world->app; }

    static std::unique_ptr<console::Capture> s_capture;
    static std::unique_ptr<AppWorld> s_world;
    static std::string s_startup;
};

std::unique_ptr<console::Capture> GamepadModeTest::s_capture;
std::unique_ptr<AppWorld> GamepadModeTest::s_world;
std::string GamepadModeTest::s_startup;

} // namespace

TEST_F(GamepadModeTest, ControllerOpensAsGamepadAndItsSticksFly)
{
    EXPECT_EQ(InputMode::Gamepad, app().input_mode);
    ASSERT_NE(nullptr, app().gamepad);
    EXPECT_EQ(nullptr, app().joystick);
    EXPECT_NE(std::string::npos, s_startup.find("Joystick 0 is a game controller.\n")) << s_startup;
    EXPECT_EQ(std::string::npos, s_startup.find("is a joystick")) << s_startup;

    app().aircraft.controls = ControlInputs{};
    run_one_frame(app()); // the rest values reported on opening
    SDL_Joystick* device = SDL_GameControllerGetJoystick(app().gamepad);
    console::Capture capture;
    ASSERT_EQ(0, SDL_JoystickSetVirtualAxis(device, SDL_CONTROLLER_AXIS_RIGHTY, 32767)) << SDL_GetError();
    ASSERT_EQ(0, SDL_JoystickSetVirtualAxis(device, SDL_CONTROLLER_AXIS_LEFTY, -32767)) << SDL_GetError();
    run_one_frame(app());
    EXPECT_FLOAT_EQ(-1.0f, app().aircraft.controls.elevator);
    EXPECT_FLOAT_EQ(1.0f, app().aircraft.controls.throttle);
    EXPECT_NE(std::string::npos, capture.out().find("Gamepad axis 3 moved to 32767\n")) << capture.out();
    EXPECT_NE(std::string::npos, capture.out().find("Gamepad axis 1 moved to -32767\n")) << capture.out();

    // The keyboard leaves the controls to the controller.
    const Keys keys{SDL_SCANCODE_S, SDL_SCANCODE_J};
    app().handle_keyboard(keys.state, 0.5f);
    EXPECT_FLOAT_EQ(-1.0f, app().aircraft.controls.elevator);
    EXPECT_FLOAT_EQ(1.0f, app().aircraft.controls.throttle);
    app().aircraft.controls = ControlInputs{};
}
