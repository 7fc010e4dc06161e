// How stick readings and held keys become the aircraft's controls, the overlay's compass heading,
// and the input device's mode. (Which keys move the free camera, and how fast, is AppGlTest's.)

#include "app/Controls.h"
#include "app/InputDevices.h"
#include "app/KeyBindings.h"
#include "app/OverlayMath.h"

#include <algorithm>
#include <cmath>

#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include "console/Console.h"

namespace {

ControlInputs controls(float elevator, float aileron, float rudder, float throttle)
{
    return {elevator, aileron, rudder, throttle};
}

::testing::AssertionResult same(const ControlInputs& a, const ControlInputs& b, float tolerance = 1e-4f)
{
    const glm::vec4 d(a.elevator - b.elevator, a.aileron - b.aileron, a.rudder - b.rudder, a.throttle - b.throttle);
    return glm::all(glm::lessThanEqual(glm::abs(d), glm::vec4(tolerance)))
               ? ::testing::AssertionSuccess()
               : ::testing::AssertionFailure() << "off by " << d.x << ", " << d.y << ", " << d.z << ", " << d.w;
}

TEST(Controls, StickReadingsFollowACubicCurveAndSetTheirControlsAndRampsNeverOvershoot)
{
    const std::pair<int32_t, float> curve[] = {{0, 0.0f}, {32767, 1.0f}, {-32767, -1.0f}, {-32768, -1.0000916f}, {16384, 0.1250114f},
                                               {-16384, -0.1250114f}, {3277, 0.0010003f}};
    for (const auto& [value, expected] : curve)
        EXPECT_NEAR(axis_curve(value), expected, 1e-6f) << value;
    EXPECT_GT(axis_curve(1), 0.0f);
    const float ramps[][4] = {{0.0f, 1.0f, 0.05f, 0.05f}, {-1.0f, 0.0f, 0.5f, -0.5f}, {0.0f, 1.0f, 3.0f, 1.0f}, {0.9f, -1.0f, 7.5f, -1.0f},
                              {0.2f, 1.0f, 0.0f, 0.2f}}; // value, target, rate, result
    for (const auto& c : ramps)
        EXPECT_FLOAT_EQ(approach(c[0], c[1], c[2]), c[3]) << c[0] << " toward " << c[1] << " at " << c[2];
    // Joystick: axis 0 aileron, 1 elevator (pulled back: down), 3 a throttle lever (forward: full),
    // 4 rudder; a reading of 0 and other axes change nothing. Game controller: right stick
    // elevator and aileron, left stick rudder and throttle (forward: full, back: idle), nothing
    // within the dead zone or from the triggers.
    const ControlInputs start = controls(0.2f, -0.3f, 0.4f, 0.6f);
    struct Case { bool gamepad; int32_t axis, value; ControlInputs expected; };
    const Case cases[] = {
        {false, 0, 32767, controls(0.2f, 1.0f, 0.4f, 0.6f)},      {false, 1, 16384, controls(-0.125f, -0.3f, 0.4f, 0.6f)},
        {false, 3, -32767, controls(0.2f, -0.3f, 0.4f, 1.0f)},    {false, 3, 32767, controls(0.2f, -0.3f, 0.4f, 0.0f)},
        {false, 3, 16384, controls(0.2f, -0.3f, 0.4f, 0.4375f)},  {false, 4, -16384, controls(0.2f, -0.3f, -0.125f, 0.6f)},
        {false, 3, 0, start}, {false, 2, 32767, start},
        {true, 3, 32767, controls(-1.0f, -0.3f, 0.4f, 0.6f)},     {true, 2, 16384, controls(0.2f, 0.125f, 0.4f, 0.6f)},
        {true, 0, -32767, controls(0.2f, -0.3f, -1.0f, 0.6f)},    {true, 1, -16384, controls(0.2f, -0.3f, 0.4f, 0.125f)},
        {true, 1, 32767, controls(0.2f, -0.3f, 0.4f, 0.0f)},      {true, 3, 8001, controls(-0.014558f, -0.3f, 0.4f, 0.6f)},
        {true, 3, 8000, start}, {true, 2, -8000, start}, {true, 4, 32767, start},
    };
    for (const Case& c : cases) {
        ControlInputs actual = start;
        const bool written = c.gamepad ? apply_gamepad_axis(actual, c.axis, c.value)
                                       : apply_joystick_axis(actual, c.axis, c.value);
        EXPECT_TRUE(same(actual, c.expected)) << (c.gamepad ? "gamepad" : "joystick") << " axis " << c.axis << " " << c.value;
        EXPECT_EQ(written, !same(c.expected, start, 0.0f)) << c.axis << " " << c.value;
    }
}

// Held keys pull their controls toward their ends at 3 per second of dt (the first key of a
// pair wins); released, aileron and elevator return twice as fast, the rudder at the same rate,
// and the throttle stays.
TEST(Controls, HeldKeysRampTheControlsAndReleasedOnesReturn)
{
    const std::pair<bool ControlKeys::*, ControlInputs> cases[] = {
        {&ControlKeys::aileron_left, controls(0, -1, 0, 0)},  {&ControlKeys::aileron_right, controls(0, 1, 0, 0)},
        {&ControlKeys::elevator_up, controls(1, 0, 0, 0)},    {&ControlKeys::elevator_down, controls(-1, 0, 0, 0)},
        {&ControlKeys::rudder_left, controls(0, 0, -1, 0)},   {&ControlKeys::rudder_right, controls(0, 0, 1, 0)},
        {&ControlKeys::throttle_up, controls(0, 0, 0, 1)},
    };
    for (const auto& [key, end] : cases) {
        ControlInputs actual;
        ControlKeys keys;
        keys.*key = true;
        smooth_keyboard_controls(actual, keys, 0.1f);
        EXPECT_TRUE(same(actual, controls(0.3f * end.elevator, 0.3f * end.aileron, 0.3f * end.rudder, 0.3f * end.throttle)));
        for (int i = 0; i < 200; ++i)
            smooth_keyboard_controls(actual, keys, 0.1f);
        EXPECT_TRUE(same(actual, end));
    }
    ControlKeys all{true, true, true, true, true, true, true, true};
    ControlInputs actual = controls(0.0f, 0.0f, 0.0f, 0.5f);
    smooth_keyboard_controls(actual, all, 0.1f);
    EXPECT_TRUE(same(actual, controls(0.3f, -0.3f, -0.3f, 0.35f))) << "the first key of each pair wins";
    actual = controls(0.8f, -0.8f, 0.8f, 0.7f);
    smooth_keyboard_controls(actual, ControlKeys{}, 0.1f);
    EXPECT_TRUE(same(actual, controls(0.32f, -0.32f, 0.56f, 0.7f)));
    smooth_keyboard_controls(actual, ControlKeys{}, 1.0f);
    EXPECT_TRUE(same(actual, controls(0.0f, 0.0f, 0.0f, 0.7f), 0.0f)) << "a long frame lands on the centre";
    smooth_keyboard_controls(actual, all, 0.0f);
    EXPECT_TRUE(same(actual, controls(0.0f, 0.0f, 0.0f, 0.7f), 0.0f)) << "no time, no change";
}

TEST(Controls, CompassHeadingIsClockwiseFromNorthAndAlwaysZeroTo359)
{
    const std::pair<glm::vec3, int32_t> cases[] = {
        {{0, 0, -1}, 0}, {{1, 0, 0}, 90}, {{0, 0, 1}, 180}, {{-1, 0, -1}, 315}, {{-0.001f, 0, -1}, 0}, {{0.3f, -0.95f, 0}, 90},
        {{0, -1, 0}, 0}, {{NAN, 0, 0}, 0}, {{INFINITY, 0, INFINITY}, 0},
    };
    for (const auto& [view, heading] : cases)
        EXPECT_EQ(compass_heading(-view), heading) << view.x << "," << view.y << "," << view.z;
}

// Device 0 is opened in its own mode, here a game controller (SDL's virtual one; the App's tests
// fly a flight stick).
TEST(InputDevices, AGameControllerOpensAsAGamepad)
{
    ASSERT_EQ(SDL_Init(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    ASSERT_EQ(SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0), 0) << SDL_GetError();
    console::Capture output;
    SDL_GameController* gamepad = nullptr;
    SDL_Joystick* joystick = nullptr;
    const InputMode mode = open_input_device(gamepad, joystick);
    EXPECT_EQ(std::tuple(mode, bool(gamepad), joystick), std::tuple(InputMode::Gamepad, true, nullptr));
    EXPECT_EQ(output.out(), "Joystick 0 is a game controller.\n");
    close_input_device(gamepad, joystick);
    SDL_JoystickDetachVirtual(0);
    SDL_Quit();
}

// One table drives the key handler and the Help lines: every pressed key runs exactly its own
// command and has its line; every held key named there is one the controls or the free camera
// read.
TEST(KeyBindings, EachKeyRunsItsCommandAndHasItsHelpLineAndHeldKeysAreRead)
{
    struct Recorder : Commands {
        std::string ran;
        void toggle_help() override { ran += "help "; }
        void toggle_overlay() override { ran += "overlay "; }
        void switch_camera() override { ran += "camera "; }
        void toggle_hud() override { ran += "hud "; }
        void toggle_pause() override { ran += "pause "; }
        void reload_shaders() override { ran += "reload "; }
        void reset_and_pause() override { ran += "reset "; }
        void place_aircraft_at_camera() override { ran += "place "; }
        void replay_back() override { ran += "back "; }
        void replay_forward() override { ran += "forward "; }
        void replay_faster() override { ran += "faster "; }
        void replay_slower() override { ran += "slower "; }
        void reload_shaders_from_overlay() override { ran += "?"; }
        void toggle_fullscreen() override { ran += "?"; }
        void select_start_position(uint32_t) override { ran += "?"; }
        void place_aircraft_on_runway(uint32_t, int) override { ran += "?"; }
    } commands;
    for (SDL_Keycode key : {SDLK_h, SDLK_i, SDLK_n, SDLK_u, SDLK_p, SDLK_r, SDLK_x, SDLK_t, SDLK_LEFT, SDLK_RIGHT, SDLK_UP, SDLK_DOWN})
        EXPECT_TRUE(run_key_binding(commands, key)) << SDL_GetKeyName(key);
    EXPECT_FALSE(run_key_binding(commands, SDLK_F1));
    EXPECT_EQ(commands.ran, "help overlay camera hud pause reload reset place back forward faster slower ");

    const std::vector<std::string> lines = key_help_lines();
    for (const std::string start : {"H: ", "I: ", "N: ", "U: ", "P: ", "R: ", "X: ", "T: ", "Left: ", "Down: ", "W / S: ", "K / J: ", "B: "})
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(start); }), 1)
            << start;
    for (const HeldKeys& held : held_keys()) {
        for (SDL_Scancode code : held.scancodes) {
            uint8_t state[SDL_NUM_SCANCODES] = {};
            state[code] = 1;
            ControlInputs moved = controls(0.0f, 0.0f, 0.0f, 0.5f);
            smooth_keyboard_controls(moved, read_control_keys(state), 0.1f);
            const bool flies = !same(moved, controls(0.0f, 0.0f, 0.0f, 0.5f));
            const glm::vec3 step = free_camera_step(glm::vec3(0.0f), {1, 0, 0}, {0, 0, 1}, read_move_keys(state), 1.0f, 1.0f);
            EXPECT_TRUE(flies || step != glm::vec3(0.0f) || code == SDL_SCANCODE_B) << SDL_GetScancodeName(code) << " does nothing";
        }
    }
}

} // namespace
