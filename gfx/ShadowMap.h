#pragma once

// The shadow map of the shapes that cast shadows (the aircraft): a depth texture drawn from
// the sun with an orthographic light camera fitted around the shapes, long enough along the
// sun to reach the ground below them. Redrawn only when the shapes or the sun moved.
//
// Render thread only.

#include <cstdint>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include "gfx/OrthoCamera.h"
#include "gfx/gl/Framebuffer.h"
#include "gfx/gl/Texture.h"

namespace gfx {

// A box that casts a shadow, world units; or, with a reach, a shape (a model) that lies within
// that distance of position.
struct ShadowCaster {
    glm::vec3 position{0.0f};
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
    glm::vec3 scale{1.0f};
    float reach = 0.0f; // 0: the box of scale
};

// The light camera's box: its centre, half its width and height, and its depth from the eye,
// which stands radius towards the sun.
struct LightBox {
    glm::vec3 centre{0.0f};
    float radius = 1.0f;
    float depth = 2.0f;
};

// The box, along the sun, around every caster (around the camera when there is none).
// ground_y: the terrain's height under the casters, world units.
LightBox fit_light_box(const std::vector<ShadowCaster>& casters, const glm::vec3& sun, const glm::vec3& camera,
                       float ground_y);

class ShadowMap {
public:
    // A square depth map of size texels per side, reading as lit outside.
    explicit ShadowMap(int32_t size);
    ShadowMap(const ShadowMap&) = delete;
    ShadowMap& operator=(const ShadowMap&) = delete;

    // Fits the light camera around the casters; whether the map must be drawn again (the
    // casters or the light moved since the last time it was drawn). shape_key: what else
    // changes the casters' shapes (the angles of a model's moving parts).
    bool aim(const std::vector<ShadowCaster>& casters, const glm::vec3& sun, const glm::vec3& camera, float ground_y,
             const std::vector<float>& shape_key = {});
    // Binds and clears the map for drawing, with the depth test on; end_pass binds the
    // window's framebuffer again.
    void begin_pass() const;
    void end_pass() const;

    const OrthoCamera& light_camera() const { return m_light_camera; }
    glm::mat4 light_space() const { return m_light_camera.get_view_projection(); }
    // Depth offset of the terrain's shadow test in the light's depth units.
    float bias() const { return m_bias; }
    const Texture& texture() const { return m_texture; }
    int32_t size() const { return m_size; }

private:
    int32_t m_size;
    Framebuffer m_framebuffer;
    Texture m_texture;
    OrthoCamera m_light_camera;
    float m_bias = 0.001f;
    std::vector<float> m_key; // what the map was last drawn for
};

} // namespace gfx
