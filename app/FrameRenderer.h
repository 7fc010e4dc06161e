#pragma once

// Draws a frame: begin (the overlay's new frame, the terrain's selection, uploads and
// scattering table, the runways near the camera), render (the shadow pass, then the aircraft's
// opaque model, the terrain, sky, runways, the model's translucent parts and the physics' boxes
// into the scene target), end (the overlay, the capture's read of the finished frame, the
// swap). It reads the scene it is given and changes nothing in it.
//
// Render thread only.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <glm/gtc/quaternion.hpp>

#include "app/BaseCamera.h"
#include "gfx/Cuboid.h"
#include "gfx/Model.h"
#include "gfx/ModelRenderer.h"
#include "gfx/PassProfiler.h"
#include "gfx/SceneTarget.h"
#include "gfx/ShaderSet.h"
#include "gfx/ShadowMap.h"
#include "physics/DebugGeometry.h"
#include "terrain/HeightStore.h"
#include "terrain/RunwayRenderer.h"
#include "terrain/TerrainRenderer.h"

class FrameCapture;
class Window;

struct FrameRendererSettings {
    std::filesystem::path shader_dir;
    int32_t msaa_samples = 1; // asked for; 1 or less: none
    int32_t shadow_map_size = 2048;
    TerrainSettings terrain;
    // The runways drawn over the terrain (none: null; it must outlive the renderer) and the
    // heights of their ends that the data lacks, as the height store's tiles were laid with.
    const RunwayIndex* runways = nullptr;
    TerrainHeightAt runway_end_heights;
};

// The aircraft's model as one frame shows it, world units, worked out by the caller.
struct SceneModel {
    const gfx::ModelPose* pose = nullptr; // every node's matrix in the model's frame, and which are drawn
    glm::mat4 matrix{1.0f};               // the model's frame to the world
    glm::vec3 centre{0.0f};               // the body's origin
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f}; // the body's
    float reach = 0.0f;                   // the whole model lies within this distance of centre
    std::vector<float> shadow_key;        // what else changes its shadow (the parts' angles)
};

// What one frame shows, world units.
struct FrameScene {
    BaseCamera* camera = nullptr;         // looked through
    std::vector<BoxPlacement> bodies;     // the physics shapes, lit, shadowed and casting shadows
    std::vector<BoxPlacement> wireframes; // drawn as wireframes through everything
    float ground_y = 0.0f;                // the terrain's height under the bodies (or the model)
    // Drawn (once set_model has been given its model), lit, shadowed and casting its shadow.
    std::optional<SceneModel> model;
    // The camera sits in the model, at the pilot's eye: the model is in front of everything
    // else, and its translucent parts (the propeller's disc, right before the eye) are left out.
    bool cockpit_view = false;
};

class FrameRenderer {
public:
    // The scene shaders are built from settings.shader_dir (printing "Shader Dir: …") before the
    // terrain; heights must outlive the renderer.
    FrameRenderer(const FrameRendererSettings& settings, HeightStore& heights);
    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;

    void begin(const gfx::Camera& camera, float viewport_height);
    void render(const FrameScene& scene, const Window& window);
    // draw_overlay makes the frame's ImGui windows; the capture sees the finished frame before
    // the swap (quitting: the loop ends after it; frames_run: frames completed before it).
    void end(const std::function<void()>& draw_overlay, Window& window, FrameCapture& capture, bool quitting,
             uint64_t frames_run);

    // The model the scene's model is drawn with, uploaded now (GL context current).
    void set_model(const gfx::Model& model);

    // Scene shaders first, then the terrain's and the runways' (key R).
    void reload_shaders();
    // Terrain's and the runways' first, then the scene shaders, then "Reloaded." (the
    // overlay's button).
    void reload_shaders_reporting();

    TerrainRenderer& terrain() { return *m_terrain; }
    const TerrainRenderer& terrain() const { return *m_terrain; }
    const gfx::ShadowMap& shadow_map() const { return m_shadow_map; }

    // The flight model's wings and wheels drawn as wireframes (the frame's scene lists them).
    bool render_debug_geometry = true;
    // Samples per pixel of the scene: asked for, then what the driver granted.
    int32_t msaa_samples = 1;
    // Per-pass timings of every frame; null unless a benchmark asks for them.
    std::unique_ptr<gfx::PassProfiler> profiler;
    gfx::SceneTarget scene_target;

private:
    void render_shadow_map(const FrameScene& scene);
    // The runways over the terrain just drawn, with its matrices, light and air.
    void render_runways(const gfx::PerspectiveCamera& camera, const glm::mat4& light_space);
    // The scene's model, if there is one to draw with.
    const SceneModel* drawn_model(const FrameScene& scene) const;

    gfx::ShaderSet m_shaders;
    std::unique_ptr<TerrainRenderer> m_terrain;
    gfx::ShadowMap m_shadow_map;
    gfx::Cuboid m_cuboid;
    const RunwayIndex* m_runway_index;
    TerrainHeightAt m_runway_end_heights;
    std::unique_ptr<RunwayRenderer> m_runways;
    std::optional<gfx::ModelRenderer> m_model;
};
