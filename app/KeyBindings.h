#pragma once

// The one table of what the keyboard and the mouse do. The key handler runs the pressed keys'
// commands from it and the Help window prints its lines from it, so the two cannot drift apart.
// Held keys are read every frame by scancode (app/Controls.h); their rows name the same
// scancodes.

#include <span>
#include <string>
#include <vector>

#include <SDL.h>

#include "app/Commands.h"

// A key that runs a command once per press, by the letter it carries on the user's layout.
struct KeyBinding {
    SDL_Keycode key;
    void (Commands::*command)();
    const char* help;
};

// Keys that act while held, by physical position, and what they do.
struct HeldKeys {
    std::vector<SDL_Scancode> scancodes;
    const char* help;
};

std::span<const KeyBinding> key_bindings();
std::span<const HeldKeys> held_keys();

// Runs the command bound to key; whether one was.
bool run_key_binding(Commands& commands, SDL_Keycode key);

// The Help window's lines: every binding, then every held key, then the mouse.
std::vector<std::string> key_help_lines();
