#include "app/Input.h"

#include "app/InputDevices.h"

Input::Input()
{
    mode = open_input_device(gamepad, joystick);
}

Input::~Input()
{
    close_input_device(gamepad, joystick);
}

void Input::handle_event(const SDL_Event& event, CameraRig& cameras, ControlInputs& controls, bool overlay_owns_input)
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
        if (mouse_look && !overlay_owns_input)
            cameras.active().on_event(event);
        break;
    case SDL_MOUSEWHEEL:
        cameras.active().on_event(event);
        break;
    case SDL_JOYAXISMOTION:
    case SDL_CONTROLLERAXISMOTION:
        handle_axis_event(mode, event, controls);
        break;
    default:
        break;
    }
}

void Input::handle_keyboard(const uint8_t* keys, float dt, CameraRig& cameras, ControlInputs& controls)
{
    if (cameras.free_camera_active()) {
        BaseCamera& camera = cameras.free_camera();
        camera.set_position(free_camera_step(camera.get_position(), camera.get_x_axis(), camera.get_z_axis(),
                                             read_move_keys(keys), cameras.free_camera_speed, dt));
    }
    // With a joystick or game controller the device alone flies the aircraft.
    if (mode == InputMode::None)
        smooth_keyboard_controls(controls, read_control_keys(keys), dt);
    const bool brake_button =
        gamepad != nullptr && SDL_GameControllerGetButton(gamepad, SDL_CONTROLLER_BUTTON_B) != 0;
    controls.brake = (keys != nullptr && keys[SDL_SCANCODE_B] != 0) || brake_button ? 1.0f : 0.0f;
}
