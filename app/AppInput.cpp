// App: input devices, mouse and joystick events, keyboard polling.

#include "app/App.h"

#include "app/Controls.h"
#include "app/InputDevices.h"

void App::open_input_devices()
{
    input_mode = open_input_device(gamepad, joystick);
}

void App::close_input_devices()
{
    close_input_device(gamepad, joystick);
}

void App::handle_input_event(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button == SDL_BUTTON_LEFT)
            mouse_look = true;
        break;
    case SDL_MOUSEBUTTONUP:
        if (event.button.button == SDL_BUTTON_LEFT)
            mouse_look = false;
        break;
    case SDL_MOUSEMOTION:
        // Asked again here: a drag that started in the scene and moved onto an overlay
        // window belongs to the window from then on.
        if (mouse_look && !overlay_owns_input() && !cameras.empty())
            active_camera().on_event(event);
        break;
    case SDL_MOUSEWHEEL:
        if (!cameras.empty())
            active_camera().on_event(event);
        break;
    case SDL_JOYAXISMOTION:
    case SDL_CONTROLLERAXISMOTION:
        handle_axis_event(input_mode, event, aircraft.controls);
        break;
    default:
        break;
    }
}

void App::handle_keyboard(const uint8_t* keys, float dt)
{
    // The free camera flies only while it is the one looked through.
    if (camera_index == 0 && !cameras.empty()) {
        BaseCamera& camera = *cameras[0];
        camera.set_position(free_camera_step(camera.get_position(), camera.get_x_axis(), camera.get_z_axis(),
                                             read_move_keys(keys), fpv_speed, dt));
    }
    // With a joystick or game controller the device alone flies the aircraft.
    if (input_mode == InputMode::None)
        smooth_keyboard_controls(aircraft.controls, read_control_keys(keys), dt);
    // The brakes are held on key B, whatever flies the aircraft, or on a game controller's
    // B button.
    const bool brake_button =
        gamepad != nullptr && SDL_GameControllerGetButton(gamepad, SDL_CONTROLLER_BUTTON_B) != 0;
    aircraft.controls.brake = (keys != nullptr && keys[SDL_SCANCODE_B] != 0) || brake_button ? 1.0f : 0.0f;
}
