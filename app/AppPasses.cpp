// App: terrain creation, shadow map set-up and the frame's drawing passes.

#include "app/App.h"

#include <cmath>
#include <optional>

#include <GL/glew.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include "console/Console.h"

namespace {

// The clear colour of the main pass: shows wherever neither terrain nor sky was drawn.
constexpr float CLEAR_COLOR[4] = {0.2f, 0.29803923f, 0.29803923f, 1.0f};

// How far the light camera stands back from the active camera towards the sun, world units.
constexpr float LIGHT_DISTANCE = 3.0f;

// The up vector for the light camera's look_at: world up, unless the sun stands so close to
// the zenith that up and the viewing direction are parallel and the view matrix would be
// undefined (NaN); then north.
glm::vec3 light_up(const glm::vec3& sun)
{
    return std::abs(sun.y) > 0.999f ? glm::vec3(0.0f, 0.0f, -1.0f) : glm::vec3(0.0f, 1.0f, 0.0f);
}

} // namespace

void App::create_terrain()
{
    // The start position becomes the world origin; the minimum zoom is 7 with a range of 10.
    terrain = std::make_unique<TerrainRenderer>(SCALING_FACTOR, 7, 10, config, config.start_position);
}

void App::setup_shadow_map()
{
    glBindFramebuffer(GL_FRAMEBUFFER, shadow_framebuffer.id());
    shadow_map.bind();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, shadow_width, shadow_height, 0, GL_DEPTH_COMPONENT, GL_FLOAT,
                 nullptr);
    gfx::Texture::set_parameter(GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gfx::Texture::set_parameter(GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gfx::Texture::set_parameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    gfx::Texture::set_parameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
    // Lookups outside the map read depth 1.0: lit.
    const float border[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, shadow_map.id(), 0);
    glDrawBuffer(GL_NONE);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        console::err("Shadowbuffer is not complete!\n");
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void App::reload_terrain_shaders()
{
    if (terrain)
        terrain->reload_shaders();
}

// Capture mode (WINDHOLLOW_EXIT_WHEN_SETTLED) ends the loop once this has held for a few
// frames in a row. Asked from swap_buffers, after the frame's terrain was drawn. The frame is
// complete when every visible leaf was drawn with its own imagery and heights: a leaf whose
// tile is still queued or being fetched has no texture yet and is drawn from a fallback, so
// this also means that no request of the view is pending.
bool App::capture_settled() const
{
    return terrain != nullptr && terrain->frame_complete();
}

// Ends with swap_buffers(), never a bare SDL_GL_SwapWindow: the capture mode reads the last
// frame there, before the swap.
void App::render_frame(float)
{
    using namespace gfx::frame;
    gfx::PassProfiler* p = profiler.get();
    if (p)
        p->begin_frame();
    if (terrain)
        terrain->profiler = p;
    {
        gfx::CpuScope ui(p, UI);
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
    }

    // Shadow pass: the physics shapes into the depth map, seen from the sun.
    std::optional<gfx::GpuScope> pass;
    pass.emplace(p, SHADOW);
    glViewport(0, 0, shadow_width, shadow_height);
    glBindFramebuffer(GL_FRAMEBUFFER, shadow_framebuffer.id());
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);

    light_camera = gfx::OrthoCamera(-1.0f, 1.0f, -1.0f, 1.0f, 0.01f, 15.0f);
    const glm::vec3 eye_target = active_camera().get_world_position();
    const glm::vec3 sun = terrain ? terrain->get_sun_direction() : glm::vec3(0.0f, 1.0f, 0.0f);
    light_camera.look_at(eye_target + LIGHT_DISTANCE * sun, eye_target, light_up(sun));
    draw_physics_scene(true);
    pass.reset();

    // Main pass.
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, GLsizei(width), GLsizei(height));
    glClearColor(CLEAR_COLOR[0], CLEAR_COLOR[1], CLEAR_COLOR[2], CLEAR_COLOR[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    shadow_map.bind(3);
    if (terrain)
        terrain->render(active_camera(), light_camera.get_view_projection());

    pass.emplace(p, SCENE);
    draw_physics_scene(false);

    // Debug geometry as wireframes, visible through everything.
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glDisable(GL_DEPTH_TEST);
    draw_flight_model();
    glEnable(GL_DEPTH_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    pass.reset();

    {
        gfx::CpuScope ui(p, UI);
        if (show_overlay)
            draw_overlay();
        ImGui::Render();
    }
    pass.emplace(p, OVERLAY);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    pass.reset();
    gfx::CpuScope swap(p, SWAP);
    swap_buffers();
}
