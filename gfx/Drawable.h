#pragma once

// Debug drawables: scene objects besides terrain and sky, drawn under a transform with the
// scene shaders, and into the shadow map where they cast shadows. Render thread only; create
// them after the GL context and the ShaderSet, destroy them before the context.

#include <glm/glm.hpp>

namespace gfx {

class Camera;
class ShaderSet;
class Transform;

class Drawable {
public:
    Drawable() = default;
    virtual ~Drawable();

    Drawable(const Drawable&) = delete;
    Drawable& operator=(const Drawable&) = delete;

    // Draws with transform's world matrix and camera's view and projection.
    virtual void draw(const Transform& transform, const ShaderSet& shaders, const Camera& camera) const = 0;
    // Draws into the bound shadow map from the light camera. Casts no shadow by default.
    virtual void draw_depth(const Transform& transform, const ShaderSet& shaders, const Camera& light_camera) const;

    bool cast_shadow = true;
    // Flat colour, passed as u_color; magenta by default so an unset colour stands out.
    glm::vec3 color{247.0f / 255.0f, 0.0f, 247.0f / 255.0f};

protected:
    // Binds the model shader with this drawable's colour, transform and camera matrices.
    void use_model_shader(const Transform& transform, const ShaderSet& shaders, const Camera& camera) const;
};

} // namespace gfx
