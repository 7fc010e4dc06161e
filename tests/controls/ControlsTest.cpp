// The pure input logic: the axis response curve, the axis mappings of joystick and game
// controller, the keyboard's smoothed ramps and the free camera's keyboard motion.

#include "app/Controls.h"

#include <array>
#include <cmath>
#include <vector>

#include <SDL_scancode.h>
#include <gtest/gtest.h>

namespace {

ControlInputs make_controls(float elevator, float aileron, float rudder, float throttle)
{
    ControlInputs c;
    c.elevator = elevator;
    c.aileron = aileron;
    c.rudder = rudder;
    c.throttle = throttle;
    return c;
}

void expect_controls(const ControlInputs& expected, const ControlInputs& actual, float tolerance = 1e-6f)
{
    EXPECT_NEAR(expected.elevator, actual.elevator, tolerance) << "elevator";
    EXPECT_NEAR(expected.aileron, actual.aileron, tolerance) << "aileron";
    EXPECT_NEAR(expected.rudder, actual.rudder, tolerance) << "rudder";
    EXPECT_NEAR(expected.throttle, actual.throttle, tolerance) << "throttle";
}

// Runs frames of keyboard flying with the same keys held.
void fly(ControlInputs& controls, const ControlKeys& keys, int frames, float dt)
{
    for (int i = 0; i < frames; ++i)
        smooth_keyboard_controls(controls, keys, dt);
}

} // namespace

TEST(AxisCurve, MapsReadingsCubically)
{
    struct Case {
        int32_t value;
        float expected;
        float tolerance;
    };
    const std::vector<Case> cases = {
        {0, 0.0f, 0.0f},
        {32767, 1.0f, 0.0f},
        {-32767, -1.0f, 0.0f},
        {-32768, -1.0000916f, 1e-7f},
        {16384, 0.125f, 1e-4f},
        {-16384, -0.125f, 1e-4f},
        {1, 1.0f / (32767.0f * 32767.0f * 32767.0f), 1e-19f},
        {3277, 0.001f, 1e-5f},
    };
    for (const Case& c : cases) {
        const float actual = axis_curve(c.value);
        EXPECT_NEAR(c.expected, actual, c.tolerance) << "axis_curve(" << c.value << ")";
        EXPECT_EQ(axis_curve(c.value) >= 0.0f, c.value >= 0) << "sign of axis_curve(" << c.value << ")";
    }
}

TEST(Approach, StepsTowardTargetWithoutOvershoot)
{
    struct Case {
        float value, target, rate, expected;
    };
    const std::vector<Case> cases = {
        {0.0f, 1.0f, 0.05f, 0.05f},   // ordinary step
        {0.5f, 0.0f, 0.1f, 0.45f},    // down toward zero
        {-1.0f, 0.0f, 0.5f, -0.5f},   // from the other side
        {0.0f, 1.0f, 1.0f, 1.0f},     // a rate of 1 lands on the target
        {0.0f, 1.0f, 3.0f, 1.0f},     // a long frame would overshoot: clamped to the target
        {0.9f, -1.0f, 7.5f, -1.0f},   // overshoot the other way
        {0.3f, 0.3f, 0.5f, 0.3f},     // already there
        {0.2f, 1.0f, 0.0f, 0.2f},     // dt 0: nothing moves
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(c.expected, approach(c.value, c.target, c.rate))
            << "approach(" << c.value << ", " << c.target << ", " << c.rate << ")";
}

TEST(JoystickAxis, SetsTheMappedControl)
{
    struct Case {
        int32_t axis;
        int32_t value;
        ControlInputs expected; // starting from 0.2, -0.3, 0.4, 0.6
        bool written;
    };
    const ControlInputs start = make_controls(0.2f, -0.3f, 0.4f, 0.6f);
    const std::vector<Case> cases = {
        {0, 32767, make_controls(0.2f, 1.0f, 0.4f, 0.6f), true},
        {0, -32768, make_controls(0.2f, -1.0000916f, 0.4f, 0.6f), true},
        {1, 16384, make_controls(-0.125f, -0.3f, 0.4f, 0.6f), true},
        {1, 32767, make_controls(-1.0f, -0.3f, 0.4f, 0.6f), true},
        {1, -32767, make_controls(1.0f, -0.3f, 0.4f, 0.6f), true},
        {3, -32767, make_controls(0.2f, -0.3f, 0.4f, 1.0f), true},
        {3, 32767, make_controls(0.2f, -0.3f, 0.4f, 0.0f), true},
        {3, 1, make_controls(0.2f, -0.3f, 0.4f, 0.5f), true},
        {4, -16384, make_controls(0.2f, -0.3f, -0.125f, 0.6f), true},
        // A zero reading keeps every control, whatever the axis.
        {0, 0, start, false},
        {1, 0, start, false},
        {3, 0, start, false},
        {4, 0, start, false},
        // Axes without a control.
        {2, 32767, start, false},
        {5, -32767, start, false},
        {-1, 1000, start, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "axis " << c.axis << " value " << c.value);
        ControlInputs controls = start;
        EXPECT_EQ(c.written, apply_joystick_axis(controls, c.axis, c.value));
        expect_controls(c.expected, controls, 1e-4f);
    }
}

TEST(JoystickAxis, ThrottleLeverCoversZeroToOne)
{
    // Every reading from one end to the other gives a throttle in [0, 1] that falls as the
    // lever is pulled back, except -32768, which the curve maps just past full power.
    float previous = 2.0f;
    for (int32_t v = -32767; v <= 32767; v += 97) {
        ControlInputs controls;
        if (v == 0)
            continue;
        apply_joystick_axis(controls, 3, v);
        ASSERT_GE(controls.throttle, 0.0f) << "value " << v;
        ASSERT_LE(controls.throttle, 1.0f) << "value " << v;
        ASSERT_LE(controls.throttle, previous) << "value " << v;
        previous = controls.throttle;
    }
}

TEST(GamepadAxis, SetsTheMappedControlOutsideTheDeadZone)
{
    struct Case {
        int32_t axis;
        int32_t value;
        ControlInputs expected; // starting from 0.2, -0.3, 0.4, 0.6
        bool written;
    };
    const ControlInputs start = make_controls(0.2f, -0.3f, 0.4f, 0.6f);
    const std::vector<Case> cases = {
        {3, 32767, make_controls(-1.0f, -0.3f, 0.4f, 0.6f), true},  // right stick pulled back
        {3, -16384, make_controls(0.125f, -0.3f, 0.4f, 0.6f), true}, // right stick pushed
        {2, 16384, make_controls(0.2f, 0.125f, 0.4f, 0.6f), true},
        {0, -32767, make_controls(0.2f, -0.3f, -1.0f, 0.6f), true},
        {1, -32767, make_controls(0.2f, -0.3f, 0.4f, 1.0f), true},   // left stick forward: full power
        {1, -16384, make_controls(0.2f, -0.3f, 0.4f, 0.125f), true},
        {1, 32767, make_controls(0.2f, -0.3f, 0.4f, 0.0f), true},    // pulled back: idle, never negative
        {1, -32768, make_controls(0.2f, -0.3f, 0.4f, 1.0f), true},   // held at 1, not 1.0000916
        {3, 8001, make_controls(-0.014558f, -0.3f, 0.4f, 0.6f), true}, // just outside the dead zone
        // Inside the dead zone (inclusive) nothing changes.
        {3, 8000, start, false},
        {2, -8000, start, false},
        {0, 0, start, false},
        {1, 7999, start, false},
        // The triggers and unknown axes.
        {4, 32767, start, false},
        {5, 32767, start, false},
        {6, -32767, start, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "axis " << c.axis << " value " << c.value);
        ControlInputs controls = start;
        EXPECT_EQ(c.written, apply_gamepad_axis(controls, c.axis, c.value));
        expect_controls(c.expected, controls, 1e-4f);
    }
}

TEST(KeyboardControls, HoldingWForOneSecondAt60FpsNearlyFullElevator)
{
    ControlInputs controls;
    ControlKeys keys;
    keys.elevator_up = true;
    fly(controls, keys, 60, 1.0f / 60.0f);
    // 1 - 0.95^60
    EXPECT_NEAR(0.954f, controls.elevator, 0.002f);
    expect_controls(make_controls(controls.elevator, 0.0f, 0.0f, 0.0f), controls);

    // Released, it returns twice as fast: after half a second it is nearer zero than a
    // pressed key gets from zero toward one in a whole second.
    const float held = controls.elevator;
    ControlInputs released = controls;
    fly(released, ControlKeys{}, 30, 1.0f / 60.0f);
    EXPECT_NEAR(held * std::pow(0.9f, 30.0f), released.elevator, 1e-4f);
    EXPECT_LT(released.elevator, 0.05f);
}

TEST(KeyboardControls, EachKeyPullsItsControlTowardItsEnd)
{
    struct Case {
        const char* name;
        bool ControlKeys::*key;
        float ControlInputs::*control;
        float end;
    };
    const std::vector<Case> cases = {
        {"A", &ControlKeys::aileron_left, &ControlInputs::aileron, -1.0f},
        {"D", &ControlKeys::aileron_right, &ControlInputs::aileron, 1.0f},
        {"W", &ControlKeys::elevator_up, &ControlInputs::elevator, 1.0f},
        {"S", &ControlKeys::elevator_down, &ControlInputs::elevator, -1.0f},
        {"Q", &ControlKeys::rudder_left, &ControlInputs::rudder, -1.0f},
        {"E", &ControlKeys::rudder_right, &ControlInputs::rudder, 1.0f},
        {"K", &ControlKeys::throttle_up, &ControlInputs::throttle, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControlInputs controls;
        ControlKeys keys;
        keys.*c.key = true;
        smooth_keyboard_controls(controls, keys, 0.1f); // r = 0.3
        EXPECT_NEAR(0.3f * c.end, controls.*c.control, 1e-6f);
        fly(controls, keys, 200, 0.1f);
        EXPECT_NEAR(c.end, controls.*c.control, 1e-5f);
    }
}

TEST(KeyboardControls, FirstKeyOfAPairWins)
{
    ControlKeys keys;
    keys.aileron_left = keys.aileron_right = true;
    keys.elevator_up = keys.elevator_down = true;
    keys.rudder_left = keys.rudder_right = true;
    keys.throttle_down = keys.throttle_up = true;
    ControlInputs controls = make_controls(0.0f, 0.0f, 0.0f, 0.5f);
    smooth_keyboard_controls(controls, keys, 0.1f);
    expect_controls(make_controls(0.3f, -0.3f, -0.3f, 0.35f), controls);
}

TEST(KeyboardControls, ReleasedControlsReturnAtTheirOwnRates)
{
    // Aileron and elevator return at 2r, the rudder at r, the throttle stays.
    ControlInputs controls = make_controls(0.8f, -0.8f, 0.8f, 0.7f);
    smooth_keyboard_controls(controls, ControlKeys{}, 0.1f); // r = 0.3, 2r = 0.6
    expect_controls(make_controls(0.8f * 0.4f, -0.8f * 0.4f, 0.8f * 0.7f, 0.7f), controls);

    // A frame long enough that the step would pass zero lands on zero.
    smooth_keyboard_controls(controls, ControlKeys{}, 1.0f);
    expect_controls(make_controls(0.0f, 0.0f, 0.0f, 0.7f), controls);
}

TEST(KeyboardControls, ThrottleWithJAndK)
{
    ControlInputs controls;
    ControlKeys up;
    up.throttle_up = true;
    fly(controls, up, 60, 1.0f / 60.0f);
    EXPECT_NEAR(0.954f, controls.throttle, 0.002f);

    // Released, it stays where it is.
    fly(controls, ControlKeys{}, 120, 1.0f / 60.0f);
    EXPECT_NEAR(0.954f, controls.throttle, 0.002f);

    ControlKeys down;
    down.throttle_down = true;
    fly(controls, down, 600, 1.0f / 60.0f);
    EXPECT_GE(controls.throttle, 0.0f);
    EXPECT_LT(controls.throttle, 1e-6f);
}

TEST(KeyboardControls, ZeroDtMovesNothing)
{
    ControlKeys all;
    all.aileron_left = all.elevator_up = all.rudder_right = all.throttle_up = true;
    ControlInputs controls = make_controls(0.1f, 0.2f, -0.3f, 0.4f);
    smooth_keyboard_controls(controls, all, 0.0f);
    smooth_keyboard_controls(controls, ControlKeys{}, 0.0f);
    expect_controls(make_controls(0.1f, 0.2f, -0.3f, 0.4f), controls);
}

TEST(KeyState, ReadsPhysicalKeysByScancode)
{
    std::array<uint8_t, SDL_NUM_SCANCODES> state{};
    EXPECT_FALSE(read_control_keys(state.data()).elevator_up);
    EXPECT_FALSE(read_move_keys(nullptr).forward);

    const std::vector<std::pair<SDL_Scancode, const char*>> keys = {
        {SDL_SCANCODE_A, "A"}, {SDL_SCANCODE_D, "D"}, {SDL_SCANCODE_W, "W"},     {SDL_SCANCODE_S, "S"},
        {SDL_SCANCODE_Q, "Q"}, {SDL_SCANCODE_E, "E"}, {SDL_SCANCODE_J, "J"},     {SDL_SCANCODE_K, "K"},
        {SDL_SCANCODE_SPACE, "Space"}, {SDL_SCANCODE_LCTRL, "LCtrl"},
    };
    for (const auto& [code, name] : keys) {
        state.fill(0);
        state[code] = 1;
        const ControlKeys c = read_control_keys(state.data());
        const MoveKeys m = read_move_keys(state.data());
        const std::string n = name;
        EXPECT_EQ(n == "A", c.aileron_left) << name;
        EXPECT_EQ(n == "D", c.aileron_right) << name;
        EXPECT_EQ(n == "W", c.elevator_up) << name;
        EXPECT_EQ(n == "S", c.elevator_down) << name;
        EXPECT_EQ(n == "Q", c.rudder_left) << name;
        EXPECT_EQ(n == "E", c.rudder_right) << name;
        EXPECT_EQ(n == "J", c.throttle_down) << name;
        EXPECT_EQ(n == "K", c.throttle_up) << name;
        EXPECT_EQ(n == "W", m.forward) << name;
        EXPECT_EQ(n == "S", m.backward) << name;
        EXPECT_EQ(n == "A", m.left) << name;
        EXPECT_EQ(n == "D", m.right) << name;
        EXPECT_EQ(n == "Space", m.up) << name;
        EXPECT_EQ(n == "LCtrl", m.down) << name;
    }
}

TEST(FreeCamera, MovesAlongItsAxesAtItsSpeed)
{
    const glm::vec3 start(10.0f, 150.0f, -5.0f);
    // A camera turned to face east: its local +Z points west, +X south.
    const glm::vec3 x_axis(0.0f, 0.0f, 1.0f);
    const glm::vec3 z_axis(-1.0f, 0.0f, 0.0f);
    struct Case {
        const char* name;
        MoveKeys keys;
        glm::vec3 expected_offset; // for speed 200 and dt 0.5
    };
    auto keys = [](bool f, bool b, bool l, bool r, bool u, bool d) {
        MoveKeys k;
        k.forward = f;
        k.backward = b;
        k.left = l;
        k.right = r;
        k.up = u;
        k.down = d;
        return k;
    };
    const std::vector<Case> cases = {
        {"nothing", keys(false, false, false, false, false, false), {0, 0, 0}},
        {"W: forward, east", keys(true, false, false, false, false, false), {100, 0, 0}},
        {"S: back, west", keys(false, true, false, false, false, false), {-100, 0, 0}},
        {"W and S: W wins", keys(true, true, false, false, false, false), {100, 0, 0}},
        {"A: left, north", keys(false, false, true, false, false, false), {0, 0, -100}},
        {"D: right, south", keys(false, false, false, true, false, false), {0, 0, 100}},
        {"A and D: A wins", keys(false, false, true, true, false, false), {0, 0, -100}},
        {"Space: up", keys(false, false, false, false, true, false), {0, 100, 0}},
        {"Ctrl: down", keys(false, false, false, false, false, true), {0, -100, 0}},
        {"Space and Ctrl: Space wins", keys(false, false, false, false, true, true), {0, 100, 0}},
        {"all at once", keys(true, false, false, true, true, false), {100, 100, 100}},
    };
    for (const Case& c : cases) {
        const glm::vec3 p = free_camera_step(start, x_axis, z_axis, c.keys, 200.0f, 0.5f);
        const glm::vec3 expected = start + c.expected_offset;
        EXPECT_NEAR(expected.x, p.x, 1e-4f) << c.name;
        EXPECT_NEAR(expected.y, p.y, 1e-4f) << c.name;
        EXPECT_NEAR(expected.z, p.z, 1e-4f) << c.name;
    }
    // The first frame has dt 0 and moves nothing.
    const glm::vec3 still = free_camera_step(start, x_axis, z_axis, keys(true, false, true, false, true, false), 200.0f, 0.0f);
    EXPECT_EQ(start, still);
}
