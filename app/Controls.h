#pragma once

// How device readings become the aircraft's four control inputs and the free camera's motion.
// Pure functions on values, no SDL calls: the keyboard state is a plain array indexed by
// scancode, axis readings are plain integers, so tests need neither a window nor a device.

#include <cstdint>

#include <glm/vec3.hpp>

#include "physics/ControlInputs.h"

// Which device drives the controls; fixed when the application starts.
enum class InputMode : int32_t {
    None = 0,     // keyboard, with smoothed key ramps
    Joystick = 1, // joystick device 0 through its axes
    Gamepad = 2,  // device 0 opened as a game controller
};

// Game-controller axis readings at or below this magnitude are stick noise around the centre
// and leave the controls as they are.
inline constexpr int32_t GAMEPAD_DEAD_ZONE = 8000;

// Signed 16-bit axis reading to [-1, 1]: the cube of v / 32767 keeps small stick movements
// fine and reaches exactly 1 at 32767 (-32768 gives -1.0000916).
float axis_curve(int32_t value);

// Moves value toward target by (target - value) * rate, landing on target instead of
// overshooting it when the step would pass it (rate above 1, a long frame).
float approach(float value, float target, float rate);

// The keys that steer the aircraft, read by physical position (scancodes A, D, W, S, Q, E, J, K).
struct ControlKeys {
    bool aileron_left = false;  // A
    bool aileron_right = false; // D
    bool elevator_up = false;   // W
    bool elevator_down = false; // S
    bool rudder_left = false;   // Q
    bool rudder_right = false;  // E
    bool throttle_down = false; // J
    bool throttle_up = false;   // K
};

// The keys that fly the free camera (scancodes W, S, A, D, Space, left Ctrl).
struct MoveKeys {
    bool forward = false;  // W
    bool backward = false; // S
    bool left = false;     // A
    bool right = false;    // D
    bool up = false;       // Space
    bool down = false;     // left Ctrl
};

// keyboard_state is SDL's array of key states indexed by scancode; null reads as nothing held.
ControlKeys read_control_keys(const uint8_t* keyboard_state);
MoveKeys read_move_keys(const uint8_t* keyboard_state);

// One frame of keyboard flying: each held key pulls its control toward its end at 3 per
// second of dt (the first key of a pair wins); released, the stick controls return to 0,
// aileron and elevator twice as fast, the rudder at the same rate; the throttle stays put.
void smooth_keyboard_controls(ControlInputs& controls, const ControlKeys& keys, float dt);

// A joystick axis event: axis 0 aileron, 1 elevator (inverted), 3 throttle (one end 1, the
// other 0), 4 rudder. A value of 0 and any other axis change nothing. Returns whether a
// control was written.
bool apply_joystick_axis(ControlInputs& controls, int32_t axis, int32_t value);

// A game-controller axis event (SDL's axis order): right stick vertical (3) elevator
// (inverted), right stick horizontal (2) aileron, left stick horizontal (0) rudder, left stick
// vertical (1) throttle, pushed forward for more power and held in [0, 1]. Readings within
// the dead zone and the triggers change nothing. Returns whether a control was written.
bool apply_gamepad_axis(ControlInputs& controls, int32_t axis, int32_t value);

// Where the free camera moves in one frame: along -z for forward, along x for right, along
// world y for up, at speed world units per second. The first key of each pair wins.
glm::vec3 free_camera_step(const glm::vec3& position, const glm::vec3& x_axis, const glm::vec3& z_axis,
                           const MoveKeys& keys, float speed, float dt);
