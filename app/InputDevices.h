#pragma once

// Device 0 of SDL's joystick list, opened once at start-up, and its axis events. SDL calls but
// no window: SDL's joystick and game-controller subsystems must be running.

#include <SDL.h>

#include "app/Controls.h"

// When SDL lists a device: opens device 0 as a game controller if SDL knows a controller
// mapping for it ("Joystick 0 is a game controller."), otherwise, or if that open fails, as a
// joystick ("Joystick 0 is a joystick.", and "Could not open joystick 0: <SDL's error>" when
// the open fails). Leaves the opened handle in gamepad or joystick (the other stays null) and
// returns the mode: Gamepad, Joystick, or None when nothing could be opened. Devices connected
// later are never opened.
InputMode open_input_device(SDL_GameController*& gamepad, SDL_Joystick*& joystick);

// Closes whichever handle is held and nulls it.
void close_input_device(SDL_GameController*& gamepad, SDL_Joystick*& joystick);

// A joystick axis event (only in Joystick mode) or game-controller axis event (only in Gamepad
// mode, where a reading outside the dead zone prints "Gamepad axis <axis> moved to <value>")
// applied to the controls. Every other event, and axis events of the other mode, change
// nothing. Returns whether a control was written.
bool handle_axis_event(InputMode mode, const SDL_Event& event, ControlInputs& controls);
