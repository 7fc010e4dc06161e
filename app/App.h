#pragma once

// The one application object: owns every subsystem object of the running program and runs
// the frame loop (events, keyboard, cameras, simulation, drawing, timing).
//
// Its methods are spread over a few files by concern:
//   App.cpp            construction and teardown order, the frame loop, event routing, key
//                      bindings, window changes, shader reload actions, cameras, capture mode
//   AppPasses.cpp      terrain creation, shadow map set-up, render_frame and its passes
//   AppSimulation.cpp  physics set-up, reset, the simulation step and the physics draw passes
//   AppInput.cpp       input devices, mouse/joystick events, keyboard polling
//   Overlay.cpp        the overlay windows

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include <SDL.h>

#include "app/BaseCamera.h"
#include "app/CaptureSettings.h"
#include "app/Config.h"
#include "app/Controls.h"
#include "app/Window.h"
#include "gfx/Cuboid.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PassProfiler.h"
#include "gfx/SceneTarget.h"
#include "gfx/ShaderSet.h"
#include "gfx/Transform.h"
#include "gfx/gl/Framebuffer.h"
#include "gfx/gl/Texture.h"
#include "physics/Aircraft.h"
#include "physics/FlightLog.h"
#include "physics/FlightSimulation.h"
#include "physics/TerrainGround.h"
#include "terrain/GroundHeights.h"
#include "terrain/TerrainRenderer.h"
#include "terrain/WorldFrame.h"

class App : public Window {
public:
    // Opens the window and builds everything in the order the subsystems depend on. Throws
    // WindowError when no window or GL 4.3 context can be had.
    explicit App(const Config& loaded_config);
    ~App() override;

    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The frame loop; returns once quit is set (SDL_QUIT: the window closed, SIGINT or
    // SIGTERM) or the capture settings end it. May be called again (tests run a few frames
    // at a time); the frame limit counts from each call.
    void run();

    // One SDL event that the overlay does not own: window size changes and key bindings
    // here, mouse and joystick in handle_input_event.
    void handle_event(const SDL_Event& event);

    // --- Actions shared by key bindings and overlay buttons --------------------------------
    // Key N / "Switch Camera": the next camera in the list, wrapping around.
    void switch_camera();
    // Key X / "Reset": the aircraft back at the start position at rest, then paused.
    void reset_and_pause();
    // Key R: the scene shaders first, then the terrain's.
    void reload_shaders();
    // "Reload Shaders": the terrain's first, then the scene shaders, then "Reloaded.".
    void reload_shaders_from_overlay();
    // "Toggle Fullscreen": switches the mode, then resizes to what SDL reports.
    void toggle_fullscreen();
    // "Select Position": moves cameras[0] (whichever camera is active) to the row's place
    // and heading and remembers the row.
    void select_start_position(uint32_t index);

    // Whether an ImGui window is hovered or focused: the overlay then owns mouse and keys.
    static bool overlay_owns_input();

    // The camera drawn from and receiving mouse input.
    BaseCamera& active_camera() { return *cameras[camera_index]; }

    // x east, y up, z south in world units: the start position scaled by SCALING_FACTOR.
    // The same values the terrain renderer is built with.
    WorldFrame world_frame() const;

    // Ends render_frame: takes the frame for the capture if it is the loop's last, then
    // SDL_GL_SwapWindow. render_frame must call it instead of swapping itself.
    void swap_buffers();

    // World units per metre, passed as a single-precision value (0.05f widened to double).
    static constexpr float SCALING_FACTOR = 0.05f;

    // --- Fields, in the order of construction ----------------------------------------------
    Config config;
    bool quit = false;
    bool paused = true;
    bool mouse_look = false;
    bool show_overlay = true;
    bool show_help = false;
    bool render_debug_geometry = true;
    bool fullscreen = false;
    float fpv_speed = 200.0f;
    float camera_near = 0.12f;
    float camera_far = 10000.0f;
    int32_t shadow_width = 2048;
    int32_t shadow_height = 2048;
    // Samples per pixel of the scene (1: none); the Options window changes it.
    int32_t msaa_samples = 1;
    // Input devices (AppInput.cpp): device 0 of SDL's list, opened at start-up.
    InputMode input_mode = InputMode::None;
    SDL_GameController* gamepad = nullptr;
    SDL_Joystick* joystick = nullptr;
    uint64_t last_counter = 0;
    uint64_t now_counter = 0;
    float delta_time = 0.0f;
    float fps_accumulator = 0.0f;
    int32_t fps = 0;
    int32_t fps_first_frames = 0;      // see FrameTime
    float fps_first_seconds = 0.0f;
    uint64_t camera_index = 0;
    std::vector<std::unique_ptr<BaseCamera>> cameras;
    Aircraft aircraft;
    gfx::ShaderSet shaders;
    gfx::Transform aircraft_transform;
    gfx::Framebuffer shadow_framebuffer;
    gfx::Texture shadow_map;
    gfx::OrthoCamera light_camera;
    // Depth offset of the terrain's shadow test in the light's depth units.
    float shadow_bias = 0.001f;
    std::unique_ptr<TerrainRenderer> terrain; // terrain and sky (AppPasses.cpp)
    // The row of start_positions last chosen in Select Position; NO_START_POSITION until the
    // user picks one (the view starts above the configured start position).
    static constexpr uint32_t NO_START_POSITION = UINT32_MAX;
    uint32_t start_position_index = NO_START_POSITION;
    gfx::Cuboid cuboid;
    gfx::SceneTarget scene_target;

    // Per-pass timings of every frame; null unless a benchmark asks for them.
    std::unique_ptr<gfx::PassProfiler> profiler;

    // Capture mode (environment variables read by main; tests set them directly).
    CaptureSettings capture;
    // The dt handed to the keyboard, cameras, simulation and drawing in the current frame.
    float frame_dt = 0.0f;
    // Frames completed by the current run() call.
    uint64_t frames_run = 0;
    // A screenshot was asked for and could not be written (the run then ends with a
    // failure status: an unattended capture must not look like a success).
    bool capture_failed = false;

    // The flight (AppSimulation.cpp): stepping, crashes and flight data, and the flight log
    // when the configuration asks for one.
    std::unique_ptr<FlightSimulation> flight;
    std::unique_ptr<FlightLog> flight_log;
    // With config.terrain_ground: the heightfield around the aircraft, the time since it was
    // last sampled, and the height given to samples no elevation tile holds yet.
    std::unique_ptr<TerrainGround> ground;
    float ground_age = 0.0f;
    float ground_fill = 0.0f;
    // Without it: the flat ground plane's height.
    float ground_plane_height = 0.0f;
    // Key T / "Place Aircraft Here" waiting for elevation data under the camera.
    struct Placement {
        float x = 0.0f; // physics metres
        float z = 0.0f;
        float yaw = 0.0f; // radians, 0 nose east, positive toward north
        bool announced = false;
    };
    std::optional<Placement> pending_placement;

    // --- Parts of construction, the frame and teardown, by file -----------------------------
    // AppPasses.cpp
    void create_terrain();
    void setup_shadow_map();
    // Fits the light camera around the shapes that cast shadows and redraws the map when
    // they or the sun moved.
    void render_shadow_map();
    void render_frame(float dt);
    void reload_terrain_shaders();
    // Whether the frame just drawn is complete: no tile request pending, nothing drawn
    // from a fallback. Read by the capture mode's settled exit.
    bool capture_settled() const;

    // AppSimulation.cpp
    void setup_physics();
    void reset();
    // Advances the flight by one frame of dt seconds, whether paused or not (the frame loop
    // calls it only while running); a crash pauses.
    void step_simulation(float dt);
    // Once a frame, paused or not: the terrain ground follows the aircraft and takes finer
    // heights as they arrive, a waiting placement is carried out once its heights are there,
    // and the free camera is kept above the ground.
    void update_ground(float dt);
    // Key T / "Place Aircraft Here": the aircraft on the ground under the free camera,
    // heading where the camera looks, paused.
    void place_aircraft_at_camera();
    // The ground sampler over the texture cache's resident elevation tiles.
    GroundSampler ground_sampler();
    // Samples the heightfield around (x, z) (physics metres); an aircraft standing on the
    // ground moves with it by the height the ground changed under it.
    void rebuild_ground(float x, float z);
    // The ground's height under (x, z): the heightfield's, else the flat plane's.
    float ground_height(float x, float z);
    // The physics shapes as boxes: into the shadow map from light_camera (depth_pass) or into
    // the view from the active camera. Keeps aircraft_transform on the aircraft's body.
    void draw_physics_scene(bool depth_pass);
    // Wings and wheels as boxes (the frame draws them as wireframes); nothing unless
    // render_debug_geometry is set.
    void draw_flight_model();

    // AppInput.cpp
    void open_input_devices();
    void close_input_devices();
    void handle_input_event(const SDL_Event& event);
    void handle_keyboard(const uint8_t* keys, float dt);

    // Overlay.cpp: "Options" (with its sections), "Help" while show_help, "Status Bar"; none
    // of them while show_overlay is cleared.
    void draw_overlay();
    void draw_options_window();
    void draw_terrain_section();
    void draw_atmosphere_section();
    void draw_flight_model_section();
    void draw_help_window();
    void draw_status_bar();
    // The small always-shown flight readout at the top right; and its lines, also shown in
    // the FlightModel section.
    void draw_instruments_window();
    void draw_instrument_lines();
    // "Camera Near" / "Camera Far": a value equal to the active camera's plane changes
    // nothing; another one is set and recomputes the projection. Returns whether it was set.
    bool set_active_camera_near(float near_plane);
    bool set_active_camera_far(float far_plane);
    // The "Heading" readout of the active camera: degrees clockwise from north, 0 to 359.
    int32_t active_camera_heading();
    // The program's own line at the start of the status bar.
    static constexpr const char* PROGRAM_ATTRIBUTION = "Windhollow flight simulator";

    // App.cpp
    void create_cameras();
    void measure_frame_time();
    bool capture_limit_reached() const;
    bool write_screenshot();
    bool write_frame_times();
    std::filesystem::path open_devices_then_shader_dir();

private:
    bool m_end_loop = false;          // the capture settings end the loop after this frame
    uint32_t m_settled_frames = 0;    // consecutive settled frames
    std::optional<std::vector<unsigned char>> m_last_frame; // RGB rows, top row first
    std::vector<float> m_shadow_key; // what the shadow map was last drawn for
    std::vector<float> m_frame_times; // seconds per frame of this run() call, for the capture
    uint64_t m_last_frame_width = 0;
    uint64_t m_last_frame_height = 0;
};
