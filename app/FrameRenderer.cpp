#include "app/FrameRenderer.h"

#include <optional>

#include <GL/glew.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include "app/FrameCapture.h"
#include "app/Window.h"
#include "console/Console.h"

namespace {

// The clear colour of the main pass: shows wherever neither terrain nor sky was drawn.
constexpr float CLEAR_COLOR[4] = {0.2f, 0.29803923f, 0.29803923f, 1.0f};

gfx::Transform to_transform(const BoxPlacement& placement)
{
    return gfx::Transform(placement.position, placement.rotation, placement.scale);
}

} // namespace

FrameRenderer::FrameRenderer(const FrameRendererSettings& settings, HeightStore& heights)
    : msaa_samples(settings.msaa_samples)
    , m_shaders(settings.shader_dir)
    , m_terrain(std::make_unique<TerrainRenderer>(settings.terrain, heights))
    , m_shadow_map(settings.shadow_map_size)
{
}

void FrameRenderer::begin(const gfx::Camera& camera, float viewport_height)
{
    using namespace gfx::frame;
    gfx::PassProfiler* p = profiler.get();
    if (p)
        p->begin_frame();
    m_terrain->profiler = p;
    {
        gfx::CpuScope ui(p, UI);
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
    }
    // Everything that renders into textures (uploads, the scattering table) before the passes.
    m_terrain->prepare(camera, viewport_height);
}

void FrameRenderer::render_shadow_map(const FrameScene& scene)
{
    std::vector<gfx::ShadowCaster> casters;
    for (const BoxPlacement& box : scene.bodies)
        casters.push_back({box.position, box.rotation, box.scale});
    const glm::vec3 camera = scene.camera->get_world_position();
    // A sun that lights nothing casts no shadow to see: the map keeps its last drawing, and
    // the sun, having moved when it lights something again, has it drawn anew.
    if (sun_lights_nothing(m_terrain->get_sun_direction(), m_terrain->camera_altitude()))
        return;
    if (!m_shadow_map.aim(casters, m_terrain->get_sun_direction(), camera, scene.ground_y))
        return;
    m_shadow_map.begin_pass();
    for (const BoxPlacement& box : scene.bodies)
        m_cuboid.draw_depth(to_transform(box), m_shaders, m_shadow_map.light_camera());
    m_shadow_map.end_pass();
}

void FrameRenderer::render(const FrameScene& scene, const Window& window)
{
    using namespace gfx::frame;
    gfx::PassProfiler* p = profiler.get();
    BaseCamera& camera = *scene.camera;

    // Shadow pass: the bodies into the depth map, seen from the sun.
    std::optional<gfx::GpuScope> pass;
    pass.emplace(p, SHADOW);
    render_shadow_map(scene);
    pass.reset();

    // Main pass.
    scene_target.configure(int(window.width), int(window.height), msaa_samples);
    // What the driver granted, which the overlay then shows.
    msaa_samples = scene_target.samples();
    scene_target.bind();
    glViewport(0, 0, GLsizei(window.width), GLsizei(window.height));
    glClearColor(CLEAR_COLOR[0], CLEAR_COLOR[1], CLEAR_COLOR[2], CLEAR_COLOR[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    m_shadow_map.texture().bind(3);
    const glm::mat4 light_space = m_shadow_map.light_space();
    m_terrain->shadow_bias = m_shadow_map.bias();
    m_terrain->render(camera, light_space);

    pass.emplace(p, SCENE);
    // The aircraft is lit by the same sun as the ground and shadowed by the same map.
    const gfx::Shader& model = m_shaders.model();
    model.use();
    model.set_vec3("u_sun_direction", m_terrain->get_sun_direction());
    model.set_int("u_shadows_enabled", m_terrain->shading ? 1 : 0);
    model.set_mat4("u_light_space_matrix", light_space);
    m_shadow_map.texture().bind(3);
    for (const BoxPlacement& box : scene.bodies)
        m_cuboid.draw(to_transform(box), m_shaders, camera);

    // Debug geometry as wireframes, visible through everything.
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glDisable(GL_DEPTH_TEST);
    for (const BoxPlacement& box : scene.wireframes)
        m_cuboid.draw(to_transform(box), m_shaders, camera);
    glEnable(GL_DEPTH_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    scene_target.resolve();
}

// Ends with the swap; the capture reads the finished frame just before it.
void FrameRenderer::end(const std::function<void()>& draw_overlay, Window& window, FrameCapture& capture,
                        bool quitting, uint64_t frames_run)
{
    using namespace gfx::frame;
    gfx::PassProfiler* p = profiler.get();
    {
        gfx::CpuScope ui(p, UI);
        draw_overlay();
        ImGui::Render();
    }
    {
        gfx::GpuScope pass(p, OVERLAY);
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    }
    gfx::CpuScope swap(p, SWAP);
    capture.before_swap(window, m_terrain->frame_complete(), quitting, frames_run);
    SDL_GL_SwapWindow(window.sdl_window);
}

void FrameRenderer::reload_shaders()
{
    m_shaders.reload_all();
    m_terrain->reload_shaders();
}

void FrameRenderer::reload_shaders_reporting()
{
    m_terrain->reload_shaders();
    m_shaders.reload_all();
    console::out("Reloaded.\n");
}
