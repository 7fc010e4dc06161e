#pragma once

// The application: holds the parts and runs the frame loop. Each part has one job: the window
// with its GL context, the height store, the frame renderer (terrain, sky, shadow, aircraft,
// overlay, swap), the cameras, the flight (aircraft, physics, ground, log), the aircraft's
// sound, the input devices, the overlay, the capture mode and the sky's clock. App wires them:
// it routes events to the key bindings and the input, steps the flight, moves the clock on with
// it and puts the sun where the clock says, hands the flight's pose to the cameras, builds the
// frame's scene and carries out the commands that keys and buttons name.

#include <cstdint>
#include <memory>

#include <SDL.h>

#include "app/AircraftSound.h"
#include "app/CameraRig.h"
#include "app/Commands.h"
#include "app/Config.h"
#include "app/Flight.h"
#include "app/FrameCapture.h"
#include "app/FrameRenderer.h"
#include "app/FrameTiming.h"
#include "app/Hud.h"
#include "app/Input.h"
#include "app/Overlay.h"
#include "app/ReplayPlayer.h"
#include "app/StreamingAhead.h"
#include "app/Runways.h"
#include "app/SkyClock.h"
#include "app/Window.h"
#include "terrain/HeightStore.h"
#include "terrain/WorldFrame.h"

class App : public Commands {
public:
    // World units per metre, passed as a single-precision value (0.05f widened to double).
    static constexpr float SCALING_FACTOR = 0.05f;

    // Opens the window and builds the parts in the order they depend on each other. Throws
    // WindowError when no window or GL 4.3 context can be had.
    explicit App(const Config& config);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The frame loop; returns once quit is set (SDL_QUIT: the window closed, SIGINT or
    // SIGTERM) or the capture settings end it. May be called again (tests run a few frames at
    // a time); the frame limit counts from each call.
    void run();
    // One frame's drawing, ending with the swap (benchmarks draw frames of their own).
    void render_frame();
    // One SDL event that the overlay does not own: window size changes, key bindings, mouse
    // and stick.
    void handle_event(const SDL_Event& event);
    // Whether an ImGui window is hovered or focused: the overlay then owns mouse and keys.
    static bool overlay_owns_input();

    // From now on the flight plays the recording instead of being flown (windhollow --replay),
    // looked at through the orbit camera.
    void start_replay(FlightRecording recording);

    // x east, y up, z south in world units: the start position scaled by SCALING_FACTOR.
    WorldFrame world_frame() const;

    // Commands, by key or button.
    void toggle_help() override;
    void toggle_overlay() override;
    void switch_camera() override;
    void toggle_hud() override;
    void toggle_pause() override;
    void reload_shaders() override;
    void reset_and_pause() override;
    void place_aircraft_at_camera() override;
    void reload_shaders_from_overlay() override;
    void toggle_fullscreen() override;
    void select_start_position(uint32_t index) override;
    void replay_back() override;
    void replay_forward() override;
    void replay_faster() override;
    void replay_slower() override;
    void place_aircraft_on_runway(uint32_t runway, int end) override;

    // The parts, in the order of construction.
    const Runways& runways() const { return *m_runways; }
    Window& window() { return m_window; }
    const Config& config() const { return m_config; }
    Input& input() { return *m_input; }
    AircraftSound& sound() { return *m_sound; }
    HeightStore& heights() { return *m_heights; }
    FrameRenderer& renderer() { return *m_renderer; }
    TerrainRenderer& terrain() { return m_renderer->terrain(); }
    CameraRig& cameras() { return *m_cameras; }
    Flight& flight() { return *m_flight; }
    Overlay& overlay() { return *m_overlay; }
    FrameCapture& capture() { return m_capture; }
    FrameTime& frame_time() { return m_time; }
    // The replay being played, or null.
    ReplayPlayer* replay() { return m_replay.get(); }
    StreamingAhead& streaming_ahead() { return m_streaming; }
    SkyClock& sky_clock() { return m_sky; }
    // Frames completed by the current run() call.
    uint64_t frames_run() const { return m_frames_run; }

    bool quit = false;
    // The head-up display over the cockpit view (key U).
    Hud hud;
    bool show_hud = true;

private:
    // The free camera kept this far above the ground under it, world units (10 m).
    static constexpr float CAMERA_CLEARANCE = 0.5f;

    void keep_free_camera_above_ground();
    // While the clock holds the sun: the Atmosphere's sun as seen from the first-person camera.
    void place_sun();
    FrameScene frame_scene();
    void draw_hud();
    void measure_frame_time();
    FrameCapture::FrameFigures frame_figures();

    // Built in this order (the constructor says why), torn down in reverse.
    // Before the window: a start runway the file lacks ends the program before it opens one.
    // It holds no GL and outlives the height store, which lays its tiles with it.
    std::unique_ptr<Runways> m_runways;
    Window m_window; // the GL context outlives every part built after it
    Config m_config;
    SkyClock m_sky;
    std::unique_ptr<Input> m_input;
    std::unique_ptr<AircraftSound> m_sound;
    std::unique_ptr<HeightStore> m_heights;
    std::unique_ptr<FrameRenderer> m_renderer;
    std::unique_ptr<CameraRig> m_cameras;
    std::unique_ptr<Flight> m_flight;
    std::unique_ptr<Overlay> m_overlay;
    FrameCapture m_capture;
    std::unique_ptr<ReplayPlayer> m_replay;
    StreamingAhead m_streaming;
    bool m_fullscreen = false;
    FrameTime m_time;
    uint64_t m_last_counter = 0;
    uint64_t m_now_counter = 0;
    uint64_t m_frames_run = 0;
};
