#pragma once

// The user's hands: device 0 of SDL's joystick list (opened at start-up, closed at the end),
// the mouse's drags and wheel for the active camera, stick axes and held keys for the
// aircraft's controls and the free camera. Key presses are the key bindings' (app/KeyBindings.h).

#include <cstdint>

#include <SDL.h>

#include "app/CameraRig.h"
#include "app/Controls.h"
#include "physics/ControlInputs.h"

class Input {
public:
    // Opens device 0, printing what it is.
    Input();
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // Mouse buttons, drags and the wheel for the active camera (a drag that moves onto an
    // overlay window is the window's from then on: overlay_owns_input), stick axes for the
    // controls. Other events change nothing.
    void handle_event(const SDL_Event& event, CameraRig& cameras, ControlInputs& controls, bool overlay_owns_input);
    // Held keys (keys: SDL's state by scancode; null reads as nothing held): the free camera
    // flies while it is looked through; without a stick the keys move the controls; key B or a
    // game controller's B button brakes, whatever flies the aircraft.
    void handle_keyboard(const uint8_t* keys, float dt, CameraRig& cameras, ControlInputs& controls);

    InputMode mode = InputMode::None;
    SDL_GameController* gamepad = nullptr;
    SDL_Joystick* joystick = nullptr;
    bool mouse_look = false; // the left button is held
};
