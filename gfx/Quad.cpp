#include "gfx/Quad.h"

#include <vector>

#include "gfx/Camera.h"
#include "gfx/ShaderSet.h"
#include "gfx/Transform.h"

namespace gfx {

// The top face of the unit cube.
const std::array<glm::vec3, 6> Quad::VERTICES{{
    {0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, -0.5f},
    {-0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, -0.5f},
    {-0.5f, 0.5f, -0.5f},
    {-0.5f, 0.5f, 0.5f},
}};

Quad::Quad() : m_vertex_array(std::make_unique<VertexArray>()), m_vertex_buffer(std::make_unique<Buffer>())
{
    m_vertex_array->bind();
    m_vertex_buffer->bind();
    m_vertex_buffer->set_data(std::vector<glm::vec3>(VERTICES.begin(), VERTICES.end()), GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(glm::vec3), nullptr);
    glEnableVertexAttribArray(0);
    VertexArray::unbind();
}

Quad::~Quad() = default;

void Quad::draw(const Transform& transform, const ShaderSet& shaders, const Camera& camera) const
{
    use_model_shader(transform, shaders, camera);
    m_vertex_array->bind();
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(VERTICES.size()));
}

} // namespace gfx
