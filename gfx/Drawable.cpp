#include "gfx/Drawable.h"

#include "gfx/Camera.h"
#include "gfx/ShaderSet.h"
#include "gfx/Transform.h"

namespace gfx {

Drawable::~Drawable() = default;

void Drawable::use_model_shader(const Transform& transform, const ShaderSet& shaders, const Camera& camera) const
{
    const Shader& shader = shaders.model();
    shader.use();
    shader.set_vec3("u_color", color);
    shader.set_mat4("u_model", transform.get_matrix());
    shader.set_mat4("u_view", camera.get_view());
    shader.set_mat4("u_proj", camera.get_projection());
}

void Drawable::draw_depth(const Transform& /*transform*/, const ShaderSet& /*shaders*/, const Camera& /*light_camera*/) const {}

} // namespace gfx
