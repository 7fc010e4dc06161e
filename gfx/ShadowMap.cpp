#include "gfx/ShadowMap.h"

#include <algorithm>
#include <cmath>

#include <GL/glew.h>
#include <glm/geometric.hpp>

#include "console/Console.h"

namespace gfx {

namespace {

// Only the aircraft casts shadows (the terrain does not), so the map covers just it, along
// the sun down to the ground below, up to this many world units (2 km); farther down the
// shadow is too far off to see.
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

} // namespace

LightBox fit_light_box(const std::vector<ShadowCaster>& casters, const glm::vec3& sun, const glm::vec3& camera,
                       float ground_y)
{
    LightBox box;
    if (casters.empty()) {
        box.centre = camera;
        return box;
    }
    for (const ShadowCaster& caster : casters)
        box.centre += caster.position;
    box.centre /= float(casters.size());
    float radius = 0.0f;
    for (const ShadowCaster& caster : casters)
        radius = std::max(radius, glm::length(caster.position - box.centre) +
                                      (caster.reach > 0.0f ? caster.reach : 0.5f * glm::length(caster.scale)));
    box.radius = std::max(radius * 1.1f, 0.01f);
    const float above_ground = std::max(box.centre.y - ground_y, 0.0f);
    const float reach = std::min(above_ground / std::max(sun.y, 0.05f), MAX_SHADOW_REACH);
    box.depth = 2.0f * box.radius + reach;
    return box;
}

ShadowMap::ShadowMap(int32_t size)
    : m_size(size)
{
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer.id());
    m_texture.bind();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, size, size, 0, GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
    Texture::set_parameter(GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    Texture::set_parameter(GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    Texture::set_parameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    Texture::set_parameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
    // Lookups outside the map read depth 1.0: lit.
    const float border[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, m_texture.id(), 0);
    glDrawBuffer(GL_NONE);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        console::err("Shadowbuffer is not complete!\n");
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

bool ShadowMap::aim(const std::vector<ShadowCaster>& casters, const glm::vec3& sun, const glm::vec3& camera,
                    float ground_y, const std::vector<float>& shape_key)
{
    const LightBox box = fit_light_box(casters, sun, camera, ground_y);
    m_light_camera = OrthoCamera(-box.radius, box.radius, -box.radius, box.radius, 0.0f, box.depth);
    m_light_camera.look_at(box.centre + box.radius * sun, box.centre, light_up(sun));
    m_bias = SHADOW_BIAS / box.depth;

    // The map holds only the casters seen from the sun: unless they or the light moved, the
    // map drawn last is still right.
    std::vector<float> key;
    const glm::mat4 light = light_space();
    key.insert(key.end(), &light[0][0], &light[0][0] + 16);
    for (const ShadowCaster& c : casters) {
        key.insert(key.end(), {c.position.x, c.position.y, c.position.z, c.rotation.x, c.rotation.y, c.rotation.z,
                               c.rotation.w, c.scale.x, c.scale.y, c.scale.z, c.reach});
    }
    key.insert(key.end(), shape_key.begin(), shape_key.end());
    if (key == m_key)
        return false;
    m_key = std::move(key);
    return true;
}

void ShadowMap::begin_pass() const
{
    glViewport(0, 0, m_size, m_size);
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer.id());
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
}

void ShadowMap::end_pass() const
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

} // namespace gfx
