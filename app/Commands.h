#pragma once

// What the user can ask of the program, by key or by overlay button. App carries the commands
// out; the key-binding table and the overlay only name them.

#include <cstdint>

class Commands {
public:
    // Key H: the help window on or off.
    virtual void toggle_help() = 0;
    // Key I: every overlay window on or off.
    virtual void toggle_overlay() = 0;
    // Key N / "Switch Camera": the next camera, wrapping around.
    virtual void switch_camera() = 0;
    // Key U: the head-up display over the cockpit view on or off.
    virtual void toggle_hud() = 0;
    // Key P / "Pause" / "Resume".
    virtual void toggle_pause() = 0;
    // Key R: the scene shaders first, then the terrain's.
    virtual void reload_shaders() = 0;
    // Key X / "Reset": the aircraft back at the start position at rest, then paused.
    virtual void reset_and_pause() = 0;
    // Key T / "Place Aircraft Here": the aircraft on the ground under the free camera,
    // heading where the camera looks, paused.
    virtual void place_aircraft_at_camera() = 0;
    // Keys Left / Right: a replay 10 s back / forward; Up / Down: its rate up / down a step.
    // Outside a replay they do nothing.
    virtual void replay_back() = 0;
    virtual void replay_forward() = 0;
    virtual void replay_faster() = 0;
    virtual void replay_slower() = 0;
    // "Reload Shaders": the terrain's first, then the scene shaders, then "Reloaded.".
    virtual void reload_shaders_from_overlay() = 0;
    // "Toggle Fullscreen".
    virtual void toggle_fullscreen() = 0;
    // "Select Position": the free camera to the named place's position and heading.
    virtual void select_start_position(uint32_t index) = 0;
    // Options' runway list: the aircraft at the threshold of that end (LOW_END, HIGH_END) of the
    // runway (its index among the runways), heading along the runway, paused, placed as key T
    // places it.
    virtual void place_aircraft_on_runway(uint32_t runway, int end) = 0;

protected:
    ~Commands() = default;
};
