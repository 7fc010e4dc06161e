#include "gfx/Vector.h"

#include "gfx/Camera.h"
#include "gfx/ShaderSet.h"
#include "gfx/Transform.h"

namespace gfx {

// No attributes: core profile still needs a vertex array bound to draw.
Vector::Vector() : m_vertex_array(std::make_unique<VertexArray>()) {}

Vector::~Vector() = default;

void Vector::draw(const Transform& transform, const ShaderSet& shaders, const Camera& camera) const
{
    const Shader& shader = shaders.vector();
    shader.use();
    shader.set_vec3("u_color", color);
    shader.set_vec3("u_vector", vector);
    shader.set_mat4("u_model", transform.get_matrix());
    shader.set_mat4("u_view", camera.get_view());
    shader.set_mat4("u_proj", camera.get_projection());
    m_vertex_array->bind();
    glDrawArrays(GL_LINES, 0, 2);
}

} // namespace gfx
