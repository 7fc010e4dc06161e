#include "app/App.h"

#include <algorithm>

#include <GL/glew.h>
#include <imgui.h>
#include <backends/imgui_impl_sdl.h>

#include "app/CockpitCamera.h"
#include "app/KeyBindings.h"
#include "console/Console.h"
#include "gfx/SceneTarget.h"
#include "terrain/UtcTime.h"
#include "tiles/WebMercator.h"

namespace {

// The terrain's coarsest tiles (also those of the last-resort stand-in) and its zoom range.
constexpr uint32_t TERRAIN_MIN_ZOOM = 7;
constexpr uint32_t TERRAIN_ZOOM_RANGE = 10;

FrameRendererSettings renderer_settings(const Config& config, Runways& runways, HeightStore& heights)
{
    FrameRendererSettings settings;
    settings.shader_dir = config.base_path / SHADER_DIR;
    settings.shadow_map_size = config.shadow_map_size;
    settings.msaa_samples =
        config.msaa_samples == Config::AUTOMATIC_SAMPLES
            ? gfx::automatic_samples(reinterpret_cast<const char*>(glGetString(GL_RENDERER)))
            : std::max(config.msaa_samples, 1);
    settings.terrain.scaling_factor = App::SCALING_FACTOR;
    settings.terrain.origin = config.start_position;
    settings.terrain.min_zoom = TERRAIN_MIN_ZOOM;
    settings.terrain.zoom_range = TERRAIN_ZOOM_RANGE;
    settings.terrain.chunk_vertex_count = static_cast<uint32_t>(std::max(config.chunk_vertex_count, 2));
    settings.terrain.shader_dir = settings.shader_dir;
    settings.terrain.imagery_server = config.texture_server;
    settings.runways = &runways.index();
    settings.runway_end_heights = runways.end_heights_for_drawing(heights);
    return settings;
}

FlightSettings flight_settings(const Config& config, const Runways& runways)
{
    FlightSettings settings;
    settings.flight_model_file = config.base_path / FLIGHT_MODEL_FILE;
    settings.assets_dir = config.base_path / "assets";
    settings.terrain_ground = config.terrain_ground;
    settings.log_flight = config.log_flight;
    settings.log_directory = config.pref_path;
    settings.start = config.start_position;
    settings.start_yaw = runways.start_yaw();
    settings.scaling_factor = App::SCALING_FACTOR;
    settings.wind = config.wind;
    return settings;
}

} // namespace

App::App(const Config& config)
    : m_runways(std::make_unique<Runways>(config))
    , m_window(config.window_width, config.window_height, "Windhollow")
    , m_config(config)
    , m_sky(config.time_utc_seconds, sky::system_utc_seconds())
{
    if (m_runways->start())
        m_config.start_position = m_runways->start()->position;
    // The input devices first: their lines come before everything the world prints.
    m_input = std::make_unique<Input>();
    console::print("Base Path: {}\n", console::quoted(m_config.base_path));
    console::print("Start Position: {}\n", to_string(m_config.start_position));
    // The sound before the height store: opening the audio device may set environment
    // variables, which the tile services' download threads read.
    m_sound = std::make_unique<AircraftSound>(sound::SoundSettings{.enabled = m_config.sound}, SCALING_FACTOR);
    m_heights = std::make_unique<HeightStore>(HeightStoreSettings{
        .server = m_config.elevation_server, .encoding = m_config.elevation_encoding, .modifier = m_runways->height_modifier()});
    m_renderer = std::make_unique<FrameRenderer>(renderer_settings(m_config, *m_runways, *m_heights), *m_heights);
    m_cameras = std::make_unique<CameraRig>(world_frame(), m_config.start_position, m_window.aspect_ratio());
    m_flight = std::make_unique<Flight>(flight_settings(m_config, *m_runways), *m_heights);
    m_cameras->cockpit().eye = m_flight->aircraft.eye;
    m_cameras->follow(m_flight->pose(), 0.0f);
    // A model shows the aircraft; the debug geometry then waits for the Options switch.
    if (m_flight->model) {
        m_renderer->set_model(m_flight->model->model());
        m_renderer->render_debug_geometry = false;
    }
    m_overlay = std::make_unique<Overlay>(
        OverlayParts{*this, *m_cameras, *m_flight, *m_renderer, *m_heights, *m_sound, m_config, m_time, world_frame(), m_sky,
                     &m_runways->index()});
}

// The parts go in reverse order of construction; the window, with the GL context they needed,
// goes last.
App::~App()
{
    m_overlay.reset();
    m_flight.reset();
    m_cameras.reset();
    m_renderer.reset();
    m_heights.reset();
    m_sound.reset();
    m_input.reset();
}

WorldFrame App::world_frame() const
{
    return WorldFrame::centred_on(m_config.start_position, double(SCALING_FACTOR));
}

bool App::overlay_owns_input()
{
    return ImGui::IsWindowHovered(ImGuiHoveredFlags_AnyWindow) || ImGui::IsWindowFocused(ImGuiFocusedFlags_AnyWindow);
}

void App::run()
{
    m_frames_run = 0;
    m_capture.start_run();
    m_now_counter = SDL_GetPerformanceCounter();

    bool end_loop = false;
    while (!quit && !end_loop) {
        const float dt = m_time.delta_time;

        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            ImGui_ImplSDL2_ProcessEvent(&event);
            if (event.type == SDL_QUIT) {
                // Events behind it stay queued; this frame is still completed.
                quit = true;
                break;
            }
            // Stick axes are nobody's pointer or keys: the overlay under the mouse must not
            // freeze the controls of a pilot flying with a joystick.
            const bool device_axis = event.type == SDL_JOYAXISMOTION || event.type == SDL_CONTROLLERAXISMOTION;
            // The window's own changes (resize, close) concern the whole program, wherever
            // the pointer or the focus is.
            const bool window_event = event.type == SDL_WINDOWEVENT;
            if (device_axis || window_event || !overlay_owns_input())
                handle_event(event);
        }

        m_input->handle_keyboard(SDL_GetKeyboardState(nullptr), dt, *m_cameras, m_flight->aircraft.controls);
        if (m_replay)
            m_replay->update(dt, *m_flight);
        else
            m_flight->update(dt);
        // A replay's time is the flight's: the sun moves with it.
        m_sky.follow_flight(m_replay ? m_replay->elapsed() : m_flight->simulation().clock());
        // The orbit and cockpit cameras take the pose of this frame, after the flight stepped.
        m_cameras->follow(m_flight->pose(), dt);
        m_cameras->update(dt);
        keep_free_camera_above_ground();
        // Heard from where the frame is drawn from.
        m_sound->update(*m_flight, *m_cameras, dt);
        // Before the terrain prepares: the scattering table, the light and the shadow follow.
        place_sun();
        render_frame();
        ++m_frames_run;

        measure_frame_time();
        m_capture.frame_done(m_time.delta_time, [this] { return frame_figures(); });
        end_loop = m_capture.ends_loop(m_frames_run);
    }
    m_capture.finish();
}

void App::keep_free_camera_above_ground()
{
    BaseCamera& camera = m_cameras->free_camera();
    glm::vec3 eye = camera.get_position();
    const float s = SCALING_FACTOR;
    if (const std::optional<float> h = m_flight->ground().held_height(eye.x / s, eye.z / s)) {
        if (eye.y < *h * s + CAMERA_CLEARANCE) {
            eye.y = *h * s + CAMERA_CLEARANCE;
            camera.set_position(eye);
        }
    }
}

void App::place_sun()
{
    const glm::vec3 eye = m_cameras->free_camera().get_world_position();
    if (const std::optional<sky::AtmosphereSun> sun = m_sky.sun_at(world_frame().world_to_latlon(eye.x, eye.z))) {
        Atmosphere& atmosphere = m_renderer->terrain().atmosphere;
        atmosphere.sun_elevation = sun->elevation_deg;
        atmosphere.sun_azimuth = sun->azimuth_deg;
    }
}

FrameScene App::frame_scene()
{
    FrameScene scene;
    scene.camera = &m_cameras->active();
    const bool debug = m_renderer->render_debug_geometry;
    const gfx::Transform pose = m_flight->pose();
    if (const std::optional<AircraftModel>& model = m_flight->model) {
        SceneModel& drawn = scene.model.emplace();
        drawn.pose = &model->pose();
        drawn.centre = pose.get_world_position();
        drawn.rotation = pose.get_world_rotation();
        drawn.matrix = model->world_matrix(drawn.centre, drawn.rotation, SCALING_FACTOR);
        drawn.reach = model->reach() * SCALING_FACTOR;
        drawn.shadow_key = model->shadow_key();
        scene.cockpit_view = m_cameras->cockpit_active();
        // The physics' shapes would hide the model: outlined with the debug geometry only.
        if (debug)
            scene.wireframes = m_flight->scene_boxes();
    } else {
        scene.bodies = m_flight->scene_boxes();
    }
    if (debug) {
        const std::vector<BoxPlacement> boxes = m_flight->flight_model_boxes();
        scene.wireframes.insert(scene.wireframes.end(), boxes.begin(), boxes.end());
    }
    const glm::vec3 aircraft = pose.get_world_position();
    const LatLon below = world_frame().world_to_latlon(aircraft.x, aircraft.z);
    if (const std::optional<HeightSample> ground = m_heights->height_at(below, m_heights->max_zoom()))
        scene.ground_y = mercator_height(ground->metres, below.lat) * SCALING_FACTOR;
    return scene;
}

void App::render_frame()
{
    BaseCamera& camera = m_cameras->active();
    m_renderer->begin(camera, float(m_window.height));
    // After the view's own requests of the frame, which come first. A camera of the aircraft's
    // goes where the replay goes.
    const bool follows_replay = m_replay && !m_cameras->free_camera_active();
    m_streaming.update(camera, follows_replay ? &m_replay->timeline() : nullptr, terrain());
    m_renderer->render(frame_scene(), m_window);
    m_renderer->end(
        [this] {
            draw_hud();
            m_overlay->draw();
        },
        m_window, m_capture, quit, m_frames_run);
}

void App::draw_hud()
{
    // Behind the overlay's windows, over the view from the cockpit only.
    if (!show_hud || !m_cameras->cockpit_active())
        return;
    const hud::View view{float(m_window.width), float(m_window.height), m_cameras->cockpit().get_fov()};
    hud.draw(*ImGui::GetBackgroundDrawList(), m_flight->data(), view);
}

FrameCapture::FrameFigures App::frame_figures()
{
    const TerrainFrameStats& stats = terrain().last_frame_stats();
    const TextureCache& cache = terrain().texture_cache;
    return {stats.drawn, stats.coverage.share(),
            cache.service_stats(TileKind::TEXTURE).pending + cache.service_stats(TileKind::ELEVATION).pending};
}

void App::start_replay(FlightRecording recording)
{
    m_replay = std::make_unique<ReplayPlayer>(std::move(recording));
    m_replay->update(0.0f, *m_flight);
    m_cameras->follow(m_flight->pose(), 0.0f);
    m_cameras->active_index = CameraRig::ORBIT;
}

void App::measure_frame_time()
{
    m_last_counter = m_now_counter;
    m_now_counter = SDL_GetPerformanceCounter();
    advance_frame_time(m_time, m_last_counter, m_now_counter, SDL_GetPerformanceFrequency());
}

void App::handle_event(const SDL_Event& event)
{
    if (event.type == SDL_WINDOWEVENT &&
        (event.window.event == SDL_WINDOWEVENT_RESIZED || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)) {
        m_window.resize(uint64_t(std::max(event.window.data1, 0)), uint64_t(std::max(event.window.data2, 0)));
        m_cameras->set_aspect_ratio(m_window.aspect_ratio());
    } else if (event.type == SDL_KEYDOWN) {
        run_key_binding(*this, event.key.keysym.sym);
    }
    m_input->handle_event(event, *m_cameras, m_flight->aircraft.controls, overlay_owns_input());
}

void App::toggle_help()
{
    m_overlay->show_help = !m_overlay->show_help;
}

void App::toggle_overlay()
{
    m_overlay->visible = !m_overlay->visible;
}

void App::switch_camera()
{
    m_cameras->switch_next();
}

void App::toggle_hud()
{
    show_hud = !show_hud;
}

void App::toggle_pause()
{
    if (m_replay)
        m_replay->timeline().toggle_paused();
    else
        m_flight->paused = !m_flight->paused;
}

void App::reload_shaders()
{
    m_renderer->reload_shaders();
}

void App::reset_and_pause()
{
    if (m_replay) {
        m_replay->restart(); // the replay's reset
        return;
    }
    m_flight->reset();
    m_flight->paused = true;
}

void App::place_aircraft_at_camera()
{
    if (m_replay)
        return; // the replay places the aircraft
    BaseCamera& camera = m_cameras->free_camera();
    const glm::vec3 eye = camera.get_world_position() / SCALING_FACTOR;
    // The nose where the camera looks, levelled; straight up or down keeps it east.
    const glm::vec3 look = -camera.get_z_axis();
    const float yaw = std::hypot(look.x, look.z) > 1e-4f ? std::atan2(-look.z, look.x) : 0.0f;
    m_flight->place_at(eye.x, eye.z, yaw);
}

void App::reload_shaders_from_overlay()
{
    m_renderer->reload_shaders_reporting();
}

void App::toggle_fullscreen()
{
    SDL_SetWindowFullscreen(m_window.sdl_window, m_fullscreen ? 0 : SDL_WINDOW_FULLSCREEN);
    m_fullscreen = !m_fullscreen;
    int new_width = 0;
    int new_height = 0;
    SDL_GetWindowSize(m_window.sdl_window, &new_width, &new_height);
    m_window.resize(uint64_t(std::max(new_width, 0)), uint64_t(std::max(new_height, 0)));
    // The window event for the change follows later; the projections should not wait for it.
    m_cameras->set_aspect_ratio(m_window.aspect_ratio());
}

void App::select_start_position(uint32_t index)
{
    m_cameras->select_start_position(index);
}

void App::replay_back()
{
    if (m_replay)
        m_replay->back();
}

void App::replay_forward()
{
    if (m_replay)
        m_replay->forward();
}

void App::replay_faster()
{
    if (m_replay)
        m_replay->faster();
}

void App::replay_slower()
{
    if (m_replay)
        m_replay->slower();
}

void App::place_aircraft_on_runway(uint32_t runway, int end)
{
    if (m_replay)
        return; // the replay places the aircraft
    if (const std::optional<RunwayPlacement> at = m_runways->placement(runway, end, world_frame()))
        m_flight->place_at(at->x, at->z, at->yaw);
}
