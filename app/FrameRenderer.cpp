#include "app/FrameRenderer.h"

#include <optional>

#include <GL/glew.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include "app/FrameCapture.h"
#include "app/Window.h"
#include "console/Console.h"
#include "gfx/PerspectiveCamera.h"

namespace {

// The clear colour of the main pass: shows wherever neither terrain nor sky was drawn.
constexpr float CLEAR_COLOR[4] = {0.2f, 0.29803923f, 0.29803923f, 1.0f};

// From the cockpit the model takes this front share of the depth range, the terrain and sky
// the rest: nothing outside comes between the eye and the aircraft around it.
constexpr float COCKPIT_DEPTH_SLICE = 0.01f;
// The terrain's near plane in the cockpit view, metres: the ground below the nose is farther
// away than that along the view while the aircraft stands on its wheels.
constexpr float COCKPIT_TERRAIN_NEAR_METRES = 2.0f;

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
    , m_runway_index(settings.runways)
    , m_runway_end_heights(settings.runway_end_heights)
{
    if (m_runway_index != nullptr && !m_runway_index->empty())
        m_runways = std::make_unique<RunwayRenderer>(settings.shader_dir);
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
    if (m_runways) {
        // Counted with the terrain's selection: a look-up in the runways' index.
        gfx::CpuScope cpu(p, SELECTION);
        const WorldFrame frame = m_terrain->world_frame();
        const glm::vec3 eye = camera.get_world_position();
        m_runways->prepare(*m_runway_index, frame.world_to_latlon(eye.x, eye.z), m_runway_end_heights,
                           RunwayWorld{frame.origin_x, frame.origin_y, frame.scaling_factor});
    }
}

void FrameRenderer::render_runways(const gfx::PerspectiveCamera& camera, const glm::mat4& light_space)
{
    TerrainRenderer& terrain = *m_terrain;
    if (!m_runways || !terrain.render_terrain || terrain.wireframe)
        return;
    gfx::GpuScope pass(profiler.get(), gfx::frame::TERRAIN);
    RunwayFrame frame;
    frame.view = camera.get_view();
    frame.projection = terrain.drawn_projection();
    frame.camera_position = camera.get_world_position();
    frame.camera_far = camera.get_far();
    frame.camera_altitude_m = static_cast<float>(terrain.camera_altitude());
    frame.height_correction = terrain.height_correction();
    frame.scaling_factor = static_cast<float>(terrain.scaling_factor);
    frame.sun_direction = terrain.get_sun_direction();
    frame.atmosphere = terrain.atmosphere.scattering;
    frame.scattering_table = terrain.atmosphere.get_precomputed_texture().id();
    frame.sky_light = terrain.atmosphere.get_sky_light_texture().id();
    if (terrain.shading) {
        frame.shadow_map = m_shadow_map.texture().id();
        frame.light_space = light_space;
        frame.shadow_bias = m_shadow_map.bias();
    }
    m_runways->draw(frame);
}

void FrameRenderer::set_model(const gfx::Model& model)
{
    m_model.emplace(model);
}

const SceneModel* FrameRenderer::drawn_model(const FrameScene& scene) const
{
    return m_model && scene.model && scene.model->pose ? &*scene.model : nullptr;
}

void FrameRenderer::render_shadow_map(const FrameScene& scene)
{
    std::vector<gfx::ShadowCaster> casters;
    for (const BoxPlacement& box : scene.bodies)
        casters.push_back({box.position, box.rotation, box.scale});
    // The model by its reach: the wings span far beyond the physics' box.
    const SceneModel* model = drawn_model(scene);
    if (model)
        casters.push_back({model->centre, model->rotation, glm::vec3(1.0f), model->reach});
    const glm::vec3 camera = scene.camera->get_world_position();
    // A sun that lights nothing casts no shadow to see: the map keeps its last drawing, and
    // the sun, having moved when it lights something again, has it drawn anew.
    if (sun_lights_nothing(m_terrain->get_sun_direction(), m_terrain->camera_altitude()))
        return;
    if (!m_shadow_map.aim(casters, m_terrain->get_sun_direction(), camera, scene.ground_y,
                          model ? model->shadow_key : std::vector<float>{}))
        return;
    m_shadow_map.begin_pass();
    for (const BoxPlacement& box : scene.bodies)
        m_cuboid.draw_depth(to_transform(box), m_shaders, m_shadow_map.light_camera());
    if (model)
        m_model->draw_depth(m_shaders, m_shadow_map.light_camera(), model->matrix, *model->pose);
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
    // The aircraft is lit by the same sun as the ground and shadowed by the same map.
    const gfx::SceneLighting lighting{m_terrain->get_sun_direction(), m_terrain->shading, light_space};

    // The model and the terrain share the depth buffer, so they are drawn with one near plane:
    // the terrain's lifted one only while the whole model lies beyond it. From the cockpit the
    // model has the front of the depth range to itself, drawn with the camera's close near
    // plane, and the terrain keeps a farther one for its distant ground (never the lifted one,
    // which would cut away the ground before the nose).
    const SceneModel* model = drawn_model(scene);
    const bool cockpit = model && scene.cockpit_view;
    gfx::PerspectiveCamera model_camera = camera;
    gfx::PerspectiveCamera terrain_camera = camera;
    m_terrain->may_lift_near = !model || glm::length(camera.get_world_position() - model->centre) - model->reach > LIFTED_NEAR;
    if (cockpit)
        terrain_camera.set_near(std::max(camera.get_near(), COCKPIT_TERRAIN_NEAR_METRES * float(m_terrain->scaling_factor)));
    else if (model)
        model_camera.set_near(m_terrain->near_plane(camera));
    // The opaque model first: the terrain hidden behind it fails the depth test unshaded.
    if (model) {
        pass.emplace(p, SCENE);
        if (cockpit)
            glDepthRange(0.0, COCKPIT_DEPTH_SLICE);
        m_model->draw(m_shaders, model_camera, lighting, model->matrix, *model->pose, gfx::ModelLayers::Opaque);
        if (cockpit)
            glDepthRange(COCKPIT_DEPTH_SLICE, 1.0);
        pass.reset();
    }
    m_terrain->render(terrain_camera, light_space);
    render_runways(terrain_camera, light_space);

    pass.emplace(p, SCENE);
    // The translucent parts over the terrain and sky they show.
    if (model && !cockpit)
        m_model->draw(m_shaders, model_camera, lighting, model->matrix, *model->pose, gfx::ModelLayers::Translucent);
    const gfx::Shader& boxes = m_shaders.model();
    boxes.use();
    boxes.set_vec3("u_sun_direction", lighting.sun_direction);
    boxes.set_int("u_shadows_enabled", lighting.shadows ? 1 : 0);
    boxes.set_mat4("u_light_space_matrix", light_space);
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
    glDepthRange(0.0, 1.0);
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
    if (m_runways)
        m_runways->reload_shaders();
}

void FrameRenderer::reload_shaders_reporting()
{
    m_terrain->reload_shaders();
    if (m_runways)
        m_runways->reload_shaders();
    m_shaders.reload_all();
    console::out("Reloaded.\n");
}
