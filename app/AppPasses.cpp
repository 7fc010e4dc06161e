// App: terrain creation, shadow map set-up and the frame's drawing passes.

#include "app/App.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <GL/glew.h>
#include <btBulletDynamicsCommon.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include "console/Console.h"
#include "physics/DebugGeometry.h"
#include "physics/PhysicsWorld.h"

namespace {

// The clear colour of the main pass: shows wherever neither terrain nor sky was drawn.
constexpr float CLEAR_COLOR[4] = {0.2f, 0.29803923f, 0.29803923f, 1.0f};

// Only the physics shapes cast shadows (the terrain does not), so the shadow map covers just
// them: a box around them, long enough along the sun to reach the ground below, up to this
// many world units (2 km); farther down the shadow is too far off to see.
constexpr float MAX_SHADOW_REACH = 100.0f;
// Depth offset of the terrain's shadow test, world units (20 cm): no more, or the shadow of an
// aircraft standing on its wheels would come loose from it.
constexpr float SHADOW_BIAS = 0.01f;

// The up vector for the light camera's look_at: world up, unless the sun stands so close to
// the zenith that up and the viewing direction are parallel and the view matrix would be
// undefined (NaN); then north.
glm::vec3 light_up(const glm::vec3& sun)
{
    return std::abs(sun.y) > 0.999f ? glm::vec3(0.0f, 0.0f, -1.0f) : glm::vec3(0.0f, 1.0f, 0.0f);
}

struct LightBox {
    glm::vec3 centre{0.0f};
    float radius = 1.0f; // half the box's width and height
    float depth = 2.0f;  // from the light camera's eye, which stands radius towards the sun
};

// The box, along the sun, around every shape that casts a shadow (or around the camera when
// there is none). ground_y: the terrain's height under the shapes, world units.
LightBox fit_light_box(const std::vector<BoxPlacement>& boxes, const glm::vec3& sun, const glm::vec3& camera,
                       float ground_y)
{
    LightBox box;
    if (boxes.empty()) {
        box.centre = camera;
        return box;
    }
    for (const BoxPlacement& placement : boxes)
        box.centre += placement.position;
    box.centre /= float(boxes.size());
    float radius = 0.0f;
    for (const BoxPlacement& placement : boxes)
        radius = std::max(radius, glm::length(placement.position - box.centre) + 0.5f * glm::length(placement.scale));
    box.radius = std::max(radius * 1.1f, 0.01f);
    const float above_ground = std::max(box.centre.y - ground_y, 0.0f);
    const float reach = std::min(above_ground / std::max(sun.y, 0.05f), MAX_SHADOW_REACH);
    box.depth = 2.0f * box.radius + reach;
    return box;
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
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, shadow_width, shadow_height, 0, GL_DEPTH_COMPONENT, GL_FLOAT,
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

void App::render_shadow_map()
{
    const std::vector<BoxPlacement> boxes = scene_box_placements(PhysicsWorld::instance().get_scene(), SCALING_FACTOR);
    const glm::vec3 sun = terrain ? terrain->get_sun_direction() : glm::vec3(0.0f, 1.0f, 0.0f);
    const glm::vec3 camera = active_camera().get_world_position();
    float ground_y = 0.0f;
    if (terrain && !boxes.empty()) {
        const glm::vec3 first = boxes.front().position;
        ground_y = float(terrain->get_elevation(first.x, first.z, false) * SCALING_FACTOR);
    }
    const LightBox box = fit_light_box(boxes, sun, camera, ground_y);
    light_camera = gfx::OrthoCamera(-box.radius, box.radius, -box.radius, box.radius, 0.0f, box.depth);
    light_camera.look_at(box.centre + box.radius * sun, box.centre, light_up(sun));
    shadow_bias = SHADOW_BIAS / box.depth;

    // The map holds only the shapes seen from the sun: unless they or the light moved, last
    // frame's map is still right.
    std::vector<float> key;
    const glm::mat4 light_space = light_camera.get_view_projection();
    key.insert(key.end(), &light_space[0][0], &light_space[0][0] + 16);
    for (const BoxPlacement& placement : boxes) {
        key.insert(key.end(), {placement.position.x, placement.position.y, placement.position.z, placement.rotation.x,
                               placement.rotation.y, placement.rotation.z, placement.rotation.w, placement.scale.x,
                               placement.scale.y, placement.scale.z});
    }
    if (key == m_shadow_key)
        return;
    m_shadow_key = std::move(key);
    glViewport(0, 0, shadow_width, shadow_height);
    glBindFramebuffer(GL_FRAMEBUFFER, shadow_framebuffer.id());
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    draw_physics_scene(true);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
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

    // Everything that renders into textures (uploads, the scattering table) before the passes.
    if (terrain)
        terrain->prepare(active_camera(), float(height));

    // Shadow pass: the physics shapes into the depth map, seen from the sun.
    std::optional<gfx::GpuScope> pass;
    pass.emplace(p, SHADOW);
    render_shadow_map();
    pass.reset();

    // Main pass.
    scene_target.configure(int(width), int(height), msaa_samples);
    // What the driver granted, which the overlay then shows.
    msaa_samples = scene_target.samples();
    scene_target.bind();
    glViewport(0, 0, GLsizei(width), GLsizei(height));
    glClearColor(CLEAR_COLOR[0], CLEAR_COLOR[1], CLEAR_COLOR[2], CLEAR_COLOR[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    shadow_map.bind(3);
    const glm::mat4 light_space = light_camera.get_view_projection();
    if (terrain) {
        terrain->shadow_bias = shadow_bias;
        terrain->render(active_camera(), light_space);
    }

    pass.emplace(p, SCENE);
    // The aircraft is lit by the same sun as the ground and shadowed by the same map.
    const gfx::Shader& model = shaders.model();
    model.use();
    model.set_vec3("u_sun_direction", terrain ? terrain->get_sun_direction() : glm::vec3(0.0f, 1.0f, 0.0f));
    model.set_int("u_shadows_enabled", terrain && terrain->shading ? 1 : 0);
    model.set_mat4("u_light_space_matrix", light_space);
    shadow_map.bind(3);
    draw_physics_scene(false);

    // Debug geometry as wireframes, visible through everything.
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glDisable(GL_DEPTH_TEST);
    draw_flight_model();
    glEnable(GL_DEPTH_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    scene_target.resolve();
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
