#include "app/KeyBindings.h"

#include <fmt/format.h>

namespace {

const KeyBinding BINDINGS[] = {
    {SDLK_h, &Commands::toggle_help, "toggle this help window"},
    {SDLK_i, &Commands::toggle_overlay, "toggle all overlay windows"},
    {SDLK_n, &Commands::switch_camera, "switch camera (first-person, orbit around the aircraft, cockpit)"},
    {SDLK_u, &Commands::toggle_hud, "toggle the head-up display of the cockpit view"},
    {SDLK_p, &Commands::toggle_pause, "pause / resume the simulation or the replay"},
    {SDLK_r, &Commands::reload_shaders, "reload shaders"},
    {SDLK_x, &Commands::reset_and_pause, "reset the aircraft to the start position and pause"},
    {SDLK_t, &Commands::place_aircraft_at_camera, "put the aircraft on the ground under the first-person camera"},
    {SDLK_LEFT, &Commands::replay_back, "replay: 10 s back"},
    {SDLK_RIGHT, &Commands::replay_forward, "replay: 10 s forward"},
    {SDLK_UP, &Commands::replay_faster, "replay: faster (up to 4x)"},
    {SDLK_DOWN, &Commands::replay_slower, "replay: slower (down to 0.25x)"},
};

const HeldKeys HELD[] = {
    {{SDL_SCANCODE_W, SDL_SCANCODE_S}, "elevator up / down; first-person camera forward / back"},
    {{SDL_SCANCODE_A, SDL_SCANCODE_D}, "aileron left / right; first-person camera left / right"},
    {{SDL_SCANCODE_Q, SDL_SCANCODE_E}, "rudder left / right"},
    {{SDL_SCANCODE_K, SDL_SCANCODE_J}, "throttle up / down"},
    {{SDL_SCANCODE_SPACE, SDL_SCANCODE_LCTRL}, "first-person camera up / down"},
    {{SDL_SCANCODE_B}, "wheel brakes (hold)"},
};

} // namespace

std::span<const KeyBinding> key_bindings()
{
    return BINDINGS;
}

std::span<const HeldKeys> held_keys()
{
    return HELD;
}

bool run_key_binding(Commands& commands, SDL_Keycode key)
{
    for (const KeyBinding& binding : BINDINGS) {
        if (binding.key == key) {
            (commands.*binding.command)();
            return true;
        }
    }
    return false;
}

std::vector<std::string> key_help_lines()
{
    std::vector<std::string> lines;
    for (const KeyBinding& binding : BINDINGS)
        lines.push_back(fmt::format("{}: {}", SDL_GetKeyName(binding.key), binding.help));
    for (const HeldKeys& held : HELD) {
        std::string names;
        for (SDL_Scancode code : held.scancodes)
            names += (names.empty() ? "" : " / ") + std::string(SDL_GetScancodeName(code));
        lines.push_back(fmt::format("{}: {}", names, held.help));
    }
    lines.emplace_back("Left mouse button + drag: turn the first-person camera / circle the orbit camera");
    lines.emplace_back("Mouse wheel: orbit camera out / in");
    return lines;
}
