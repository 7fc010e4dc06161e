#include "app/App.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <GL/glew.h>
#include <imgui.h>
#include <backends/imgui_impl_sdl.h>

#include "console/Console.h"
#include "app/FirstPersonCamera.h"
#include "app/FrameTiming.h"
#include "app/OrbitCamera.h"
#include "app/StartPositions.h"
#include "gfx/Image.h"

namespace {
constexpr float FIELD_OF_VIEW = 0.7853982f; // 45 degrees
// Where the first-person camera starts above the start position: metres, degrees from north.
constexpr float START_ALTITUDE = 3000.0f;
constexpr float START_HEADING = 90.0f;
}

App::App(const Config& loaded_config)
    : Window(loaded_config.window_width, loaded_config.window_height, "Windhollow")
    , config(loaded_config)
    , shaders(open_devices_then_shader_dir())
    , shadow_framebuffer()
    , shadow_map()
    , light_camera()
{
    console::print("Base Path: {}\n", console::quoted(config.base_path));
    console::print("Start Position: {}\n", to_string(config.start_position));
    create_terrain();
    create_cameras();
    shadow_width = shadow_height = config.shadow_map_size;
    msaa_samples = config.msaa_samples == Config::AUTOMATIC_SAMPLES
                       ? gfx::automatic_samples(reinterpret_cast<const char*>(glGetString(GL_RENDERER)))
                       : std::max(config.msaa_samples, 1);
    setup_shadow_map();
    setup_physics();
}

std::filesystem::path App::open_devices_then_shader_dir()
{
    // The input devices are opened after the switches are set and before the shaders are
    // built, so their console lines come before the shader lines.
    open_input_devices();
    return config.base_path / SHADER_DIR;
}

App::~App()
{
    // Cameras first, in list order; the orbit camera points at aircraft_transform.
    for (std::unique_ptr<BaseCamera>& camera : cameras)
        camera.reset();
    close_input_devices();
    // The other members go in reverse declaration order (cuboid, terrain, light camera,
    // shadow map, shadow framebuffer, aircraft transform, shaders, aircraft, camera list,
    // configuration), then the Window base with the GL context they needed.
}

WorldFrame App::world_frame() const
{
    return WorldFrame::centred_on(config.start_position, double(SCALING_FACTOR));
}

void App::create_cameras()
{
    const float aspect = aspect_ratio();
    const WorldFrame frame = world_frame();

    auto first_person = std::make_unique<FirstPersonCamera>(0.2f);
    first_person->set_perspective(FIELD_OF_VIEW, aspect, camera_near, camera_far);
    // Above the configured start position, which is the world's origin, looking east.
    const StartPosition start{"", config.start_position.lat, config.start_position.lon, START_HEADING, START_ALTITUDE};
    place_at_start_position(*first_person, start, frame);
    cameras.push_back(std::move(first_person));

    auto orbit = std::make_unique<OrbitCamera>(&aircraft_transform, 15.0f * float(frame.scaling_factor));
    orbit->on_update(0.0f);
    cameras.push_back(std::move(orbit));
    cameras.back()->set_perspective(FIELD_OF_VIEW, aspect, camera_near, camera_far);
}

bool App::overlay_owns_input()
{
    return ImGui::IsWindowHovered(ImGuiHoveredFlags_AnyWindow) || ImGui::IsWindowFocused(ImGuiFocusedFlags_AnyWindow);
}

void App::run()
{
    frames_run = 0;
    m_end_loop = false;
    m_settled_frames = 0;
    m_last_frame.reset();
    m_frame_times.clear();
    now_counter = SDL_GetPerformanceCounter();

    while (!quit && !m_end_loop) {
        const float dt = delta_time;
        frame_dt = dt;

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

        handle_keyboard(SDL_GetKeyboardState(nullptr), dt);
        for (std::unique_ptr<BaseCamera>& camera : cameras)
            camera->on_update(dt);
        update_ground(dt);
        if (!paused)
            step_simulation(dt);
        render_frame(dt);
        ++frames_run;

        measure_frame_time();
        if (!capture.frame_times.empty())
            m_frame_times.push_back(delta_time);
        if (capture_limit_reached())
            m_end_loop = true;
    }

    if (!capture.screenshot.empty() && !write_screenshot())
        capture_failed = true;
    if (!capture.frame_times.empty() && !write_frame_times())
        capture_failed = true;
}

bool App::write_frame_times()
{
    std::string text;
    for (float seconds : m_frame_times)
        text += fmt::format("{:.3f}\n", double(seconds) * 1000.0);
    std::ofstream file(capture.frame_times, std::ios::binary | std::ios::trunc);
    file.write(text.data(), std::streamsize(text.size()));
    file.close();
    if (!file) {
        console::eprint("Could not write the frame times {}: the file cannot be written\n",
                        console::quoted(capture.frame_times));
        return false;
    }
    return true;
}

void App::measure_frame_time()
{
    last_counter = now_counter;
    now_counter = SDL_GetPerformanceCounter();
    FrameTime time{delta_time, fps_accumulator, fps, fps_first_frames, fps_first_seconds};
    advance_frame_time(time, last_counter, now_counter, SDL_GetPerformanceFrequency());
    delta_time = time.delta_time;
    fps_accumulator = time.fps_accumulator;
    fps = time.fps;
    fps_first_frames = time.first_second_frames;
    fps_first_seconds = time.first_second_seconds;
}

bool App::capture_limit_reached() const
{
    if (capture.exit_after_frames && frames_run >= *capture.exit_after_frames)
        return true;
    return capture.exit_when_settled && m_settled_frames >= CaptureSettings::SETTLED_FRAMES;
}

void App::swap_buffers()
{
    if (capture.exit_when_settled)
        m_settled_frames = capture_settled() ? m_settled_frames + 1 : 0;

    // The frame being finished is the loop's last when quit is already set (it is checked
    // before the next frame) or the capture settings end the loop after it (frames_run is
    // incremented once this frame is done).
    const bool last_frame =
        quit || (capture.exit_after_frames && frames_run + 1 >= *capture.exit_after_frames) ||
        (capture.exit_when_settled && m_settled_frames >= CaptureSettings::SETTLED_FRAMES);
    if (last_frame && !capture.screenshot.empty() && width > 0 && height > 0) {
        // Read before the swap: the back buffer holds the finished frame, the front buffer's
        // content after a swap is not defined.
        std::vector<unsigned char> pixels(size_t(width) * size_t(height) * 3);
        GLint pack_alignment = 4;
        glGetIntegerv(GL_PACK_ALIGNMENT, &pack_alignment);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        glPixelStorei(GL_PACK_ALIGNMENT, pack_alignment);
        // GL rows run bottom-up; images top-down.
        const size_t row = size_t(width) * 3;
        std::vector<unsigned char> flipped(pixels.size());
        for (size_t y = 0; y < size_t(height); ++y)
            std::memcpy(flipped.data() + y * row, pixels.data() + (size_t(height) - 1 - y) * row, row);
        m_last_frame = std::move(flipped);
        m_last_frame_width = width;
        m_last_frame_height = height;
    }
    SDL_GL_SwapWindow(sdl_window);
}

bool App::write_screenshot()
{
    if (!m_last_frame) {
        console::eprint("Could not write the screenshot {}: no frame was drawn\n", console::quoted(capture.screenshot));
        return false;
    }
    const size_t size = m_last_frame->size();
    auto* pixels = static_cast<unsigned char*>(std::malloc(size));
    if (pixels == nullptr) {
        console::eprint("Could not write the screenshot {}: out of memory\n", console::quoted(capture.screenshot));
        return false;
    }
    std::memcpy(pixels, m_last_frame->data(), size);
    gfx::Image image = gfx::Image::from_pixels(pixels, int32_t(m_last_frame_width), int32_t(m_last_frame_height), 3);
    std::vector<unsigned char> png = gfx::encode_png(image);
    if (png.empty()) {
        console::eprint("Could not write the screenshot {}: PNG encoding failed\n", console::quoted(capture.screenshot));
        return false;
    }
    std::ofstream file(capture.screenshot, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    file.close();
    if (!file) {
        console::eprint("Could not write the screenshot {}: the file cannot be written\n",
                        console::quoted(capture.screenshot));
        return false;
    }
    console::print("Screenshot: {}\n", console::quoted(capture.screenshot));
    return true;
}

void App::handle_event(const SDL_Event& event)
{
    if (event.type == SDL_WINDOWEVENT &&
        (event.window.event == SDL_WINDOWEVENT_RESIZED || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)) {
        resize(uint64_t(std::max(event.window.data1, 0)), uint64_t(std::max(event.window.data2, 0)));
        for (std::unique_ptr<BaseCamera>& camera : cameras)
            camera->set_aspect_ratio(aspect_ratio());
    } else if (event.type == SDL_KEYDOWN) {
        switch (event.key.keysym.sym) {
        case SDLK_h:
            show_help = !show_help;
            break;
        case SDLK_i:
            show_overlay = !show_overlay;
            break;
        case SDLK_n:
            switch_camera();
            break;
        case SDLK_p:
            paused = !paused;
            break;
        case SDLK_r:
            reload_shaders();
            break;
        case SDLK_x:
            reset_and_pause();
            break;
        case SDLK_t:
            place_aircraft_at_camera();
            break;
        default:
            break;
        }
    }
    handle_input_event(event);
}

void App::switch_camera()
{
    if (!cameras.empty())
        camera_index = (camera_index + 1) % cameras.size();
}

void App::reset_and_pause()
{
    reset();
    paused = true;
}

void App::reload_shaders()
{
    shaders.reload_all();
    reload_terrain_shaders();
}

void App::reload_shaders_from_overlay()
{
    reload_terrain_shaders();
    shaders.reload_all();
    console::out("Reloaded.\n");
}

void App::toggle_fullscreen()
{
    SDL_SetWindowFullscreen(sdl_window, fullscreen ? 0 : SDL_WINDOW_FULLSCREEN);
    fullscreen = !fullscreen;
    int new_width = 0;
    int new_height = 0;
    SDL_GetWindowSize(sdl_window, &new_width, &new_height);
    resize(uint64_t(std::max(new_width, 0)), uint64_t(std::max(new_height, 0)));
    // The window event for the change follows later; the projections should not wait for it.
    for (std::unique_ptr<BaseCamera>& camera : cameras)
        camera->set_aspect_ratio(aspect_ratio());
}

void App::select_start_position(uint32_t index)
{
    if (index >= start_positions.size() || cameras.empty())
        return;
    start_position_index = index;
    place_at_start_position(*cameras[0], start_positions[index], world_frame());
}
