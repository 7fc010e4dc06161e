#include "gfx/Cuboid.h"

#include <vector>

#include "gfx/Camera.h"
#include "gfx/ShaderSet.h"
#include "gfx/Transform.h"

namespace gfx {

const std::array<glm::vec3, 8> Cuboid::VERTICES{{
    {-0.5f, -0.5f, 0.5f},
    {0.5f, -0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f},
    {-0.5f, 0.5f, 0.5f},
    {-0.5f, -0.5f, -0.5f},
    {0.5f, -0.5f, -0.5f},
    {0.5f, 0.5f, -0.5f},
    {-0.5f, 0.5f, -0.5f},
}};

const std::array<uint32_t, 36> Cuboid::INDICES{
    0, 1, 2, 2, 3, 0, // +Z
    1, 5, 6, 6, 2, 1, // +X
    7, 6, 5, 5, 4, 7, // -Z
    4, 0, 3, 3, 7, 4, // -X
    4, 5, 1, 1, 0, 4, // -Y
    3, 2, 6, 6, 7, 3, // +Y
};

Cuboid::Cuboid()
    : m_vertex_array(std::make_unique<VertexArray>()),
      m_vertex_buffer(std::make_unique<Buffer>()),
      m_index_buffer(std::make_unique<Buffer>())
{
    m_index_buffer->target = GL_ELEMENT_ARRAY_BUFFER;

    m_vertex_array->bind();
    m_vertex_buffer->bind();
    m_vertex_buffer->set_data(std::vector<glm::vec3>(VERTICES.begin(), VERTICES.end()), GL_STATIC_DRAW);
    // The element buffer binding is recorded in the vertex array.
    m_index_buffer->bind();
    m_index_buffer->set_data(std::vector<uint32_t>(INDICES.begin(), INDICES.end()), GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(glm::vec3), nullptr);
    glEnableVertexAttribArray(0);
    VertexArray::unbind();
}

Cuboid::~Cuboid() = default;

void Cuboid::draw(const Transform& transform, const ShaderSet& shaders, const Camera& camera) const
{
    use_model_shader(transform, shaders, camera);
    m_vertex_array->bind();
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(INDICES.size()), GL_UNSIGNED_INT, nullptr);
}

void Cuboid::draw_depth(const Transform& transform, const ShaderSet& shaders, const Camera& light_camera) const
{
    if (!cast_shadow)
        return;
    const Shader& shader = shaders.depth();
    shader.use();
    shader.set_mat4("u_model", transform.get_matrix());
    shader.set_mat4("u_light_space_matrix", light_camera.get_view_projection());
    m_vertex_array->bind();
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(INDICES.size()), GL_UNSIGNED_INT, nullptr);
}

} // namespace gfx
