#include "app/InputDevices.h"

#include <cstdlib>

#include "console/Console.h"

namespace {

// Only the first device SDL lists is ever used.
constexpr int DEVICE_INDEX = 0;

} // namespace

InputMode open_input_device(SDL_GameController*& gamepad, SDL_Joystick*& joystick)
{
    gamepad = nullptr;
    joystick = nullptr;
    if (SDL_NumJoysticks() <= 0)
        return InputMode::None;

    // A device with a controller mapping has a known stick layout, so its axes can be bound
    // by meaning (left stick, right stick) rather than by raw index.
    if (SDL_IsGameController(DEVICE_INDEX) == SDL_TRUE) {
        gamepad = SDL_GameControllerOpen(DEVICE_INDEX);
        console::print("Joystick {} is a game controller.\n", DEVICE_INDEX);
        if (gamepad != nullptr)
            return InputMode::Gamepad;
        console::print("Could not open game controller {}: {}\n", DEVICE_INDEX, SDL_GetError());
    }

    joystick = SDL_JoystickOpen(DEVICE_INDEX);
    console::print("Joystick {} is a joystick.\n", DEVICE_INDEX);
    if (joystick == nullptr) {
        console::print("Could not open joystick {}: {}\n", DEVICE_INDEX, SDL_GetError());
        return InputMode::None;
    }
    return InputMode::Joystick;
}

void close_input_device(SDL_GameController*& gamepad, SDL_Joystick*& joystick)
{
    if (joystick != nullptr) {
        SDL_JoystickClose(joystick);
        joystick = nullptr;
    }
    if (gamepad != nullptr) {
        SDL_GameControllerClose(gamepad);
        gamepad = nullptr;
    }
}

bool handle_axis_event(InputMode mode, const SDL_Event& event, ControlInputs& controls)
{
    if (event.type == SDL_JOYAXISMOTION && mode == InputMode::Joystick)
        return apply_joystick_axis(controls, event.jaxis.axis, event.jaxis.value);
    if (event.type == SDL_CONTROLLERAXISMOTION && mode == InputMode::Gamepad) {
        const int32_t value = event.caxis.value;
        if (std::abs(value) <= GAMEPAD_DEAD_ZONE)
            return false;
        console::print("Gamepad axis {} moved to {}\n", static_cast<int>(event.caxis.axis), value);
        return apply_gamepad_axis(controls, event.caxis.axis, value);
    }
    return false;
}
