#include "app/Controls.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <SDL_scancode.h>

namespace {

// Keys move a control across its whole range in about a third of a second's worth of rate.
constexpr float KEY_RATE_PER_SECOND = 3.0f;

bool held(const uint8_t* keyboard_state, SDL_Scancode key)
{
    return keyboard_state != nullptr && keyboard_state[key] != 0;
}

// A stick control pulled toward the end of its first held key (the first of the pair wins),
// else returning to the centre.
float steer(float value, bool first_held, float first_end, bool second_held, float rate, float return_rate)
{
    if (first_held)
        return approach(value, first_end, rate);
    if (second_held)
        return approach(value, -first_end, rate);
    return approach(value, 0.0f, return_rate);
}

} // namespace

float axis_curve(int32_t value)
{
    const float f = static_cast<float>(value) / 32767.0f;
    if (f == 0.0f)
        return 0.0f;
    const float magnitude = std::fabs(f);
    return std::copysign(magnitude * magnitude * magnitude, f);
}

float approach(float value, float target, float rate)
{
    const float remaining = target - value;
    const float step = remaining * rate;
    if (std::fabs(step) > std::fabs(remaining))
        return target;
    return value + step;
}

ControlKeys read_control_keys(const uint8_t* keyboard_state)
{
    ControlKeys keys;
    keys.aileron_left = held(keyboard_state, SDL_SCANCODE_A);
    keys.aileron_right = held(keyboard_state, SDL_SCANCODE_D);
    keys.elevator_up = held(keyboard_state, SDL_SCANCODE_W);
    keys.elevator_down = held(keyboard_state, SDL_SCANCODE_S);
    keys.rudder_left = held(keyboard_state, SDL_SCANCODE_Q);
    keys.rudder_right = held(keyboard_state, SDL_SCANCODE_E);
    keys.throttle_down = held(keyboard_state, SDL_SCANCODE_J);
    keys.throttle_up = held(keyboard_state, SDL_SCANCODE_K);
    return keys;
}

MoveKeys read_move_keys(const uint8_t* keyboard_state)
{
    MoveKeys keys;
    keys.forward = held(keyboard_state, SDL_SCANCODE_W);
    keys.backward = held(keyboard_state, SDL_SCANCODE_S);
    keys.left = held(keyboard_state, SDL_SCANCODE_A);
    keys.right = held(keyboard_state, SDL_SCANCODE_D);
    keys.up = held(keyboard_state, SDL_SCANCODE_SPACE);
    keys.down = held(keyboard_state, SDL_SCANCODE_LCTRL);
    return keys;
}

void smooth_keyboard_controls(ControlInputs& controls, const ControlKeys& keys, float dt)
{
    const float r = KEY_RATE_PER_SECOND * dt;
    controls.aileron = steer(controls.aileron, keys.aileron_left, -1.0f, keys.aileron_right, r, 2.0f * r);
    controls.elevator = steer(controls.elevator, keys.elevator_up, 1.0f, keys.elevator_down, r, 2.0f * r);
    // The rudder springs back more slowly than the stick axes.
    controls.rudder = steer(controls.rudder, keys.rudder_left, -1.0f, keys.rudder_right, r, r);
    if (keys.throttle_down)
        controls.throttle = approach(controls.throttle, 0.0f, r);
    else if (keys.throttle_up)
        controls.throttle = approach(controls.throttle, 1.0f, r);
}

// Every axis reaches its control's whole range at full deflection: there is no per-axis
// sensitivity factor on top of the cubic curve, which already keeps the centre fine. Scaling
// aileron and elevator by a half, or the rudder by a quarter, would leave the ends of their
// ranges out of reach with any stick.
bool apply_joystick_axis(ControlInputs& controls, int32_t axis, int32_t value)
{
    // A reading of exactly 0 is what some drivers report when an axis is not really there;
    // it keeps the control where it was rather than snapping it to the centre.
    if (value == 0)
        return false;
    switch (axis) {
    case 0:
        controls.aileron = axis_curve(value);
        return true;
    case 1:
        controls.elevator = -axis_curve(value);
        return true;
    case 3:
        // A throttle lever: pushed fully forward (-32767) is full power, pulled back is idle.
        controls.throttle = static_cast<float>(1.0 - (static_cast<double>(axis_curve(value)) + 1.0) * 0.5);
        return true;
    case 4:
        controls.rudder = axis_curve(value);
        return true;
    default:
        return false;
    }
}

bool apply_gamepad_axis(ControlInputs& controls, int32_t axis, int32_t value)
{
    if (std::abs(value) <= GAMEPAD_DEAD_ZONE)
        return false;
    switch (axis) {
    case 3: // right stick vertical
        controls.elevator = -axis_curve(value);
        return true;
    case 2: // right stick horizontal
        controls.aileron = axis_curve(value);
        return true;
    case 0: // left stick horizontal
        controls.rudder = axis_curve(value);
        return true;
    case 1: // left stick vertical; SDL reports up as negative
        // Forward opens the throttle, as on a joystick's lever; the engine has no reverse,
        // so pulling back below the centre idles it instead of asking for negative power.
        controls.throttle = std::clamp(-axis_curve(value), 0.0f, 1.0f);
        return true;
    default:
        return false;
    }
}

glm::vec3 free_camera_step(const glm::vec3& position, const glm::vec3& x_axis, const glm::vec3& z_axis,
                           const MoveKeys& keys, float speed, float dt)
{
    const float distance = speed * dt;
    glm::vec3 p = position;
    if (keys.forward)
        p -= z_axis * distance;
    else if (keys.backward)
        p += z_axis * distance;
    if (keys.left)
        p -= x_axis * distance;
    else if (keys.right)
        p += x_axis * distance;
    if (keys.up)
        p.y += distance;
    else if (keys.down)
        p.y -= distance;
    return p;
}
