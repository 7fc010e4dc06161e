#include "terrain/Chunk.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include <glm/ext/matrix_transform.hpp>
#include <glm/mat4x4.hpp>

#include "gfx/Shader.h"
#include "gfx/gl/gl.h"

ChunkMesh build_chunk_mesh(uint32_t n, float size)
{
    if (n < 2) {
        throw std::invalid_argument("chunk edge vertex count must be at least 2, got " + std::to_string(n));
    }
    const float step = size / static_cast<float>(n - 1);
    const float extent = static_cast<float>(n - 1) * step;
    const uint32_t w = n + 2;

    ChunkMesh mesh;
    mesh.vertices.reserve(static_cast<size_t>(w) * w);
    for (uint32_t r = 0; r < w; ++r) {
        for (uint32_t c = 0; c < w; ++c) {
            // The outer ring repeats the positions of the edge next to it.
            const uint32_t kc = std::clamp(c, 1u, n) - 1;
            const uint32_t kr = std::clamp(r, 1u, n) - 1;
            ChunkVertex vertex;
            vertex.x = static_cast<float>(kc) * step;
            vertex.z = static_cast<float>(kr) * step;
            vertex.u = static_cast<float>(kc) * step / extent;
            vertex.v = static_cast<float>(kr) * step / extent;
            const bool skirt = r == 0 || c == 0 || r == n + 1 || c == n + 1;
            if (skirt) {
                vertex.u = vertex.u * 1.2f - 0.1f;
                vertex.v = vertex.v * 1.2f - 0.1f;
            }
            mesh.vertices.push_back(vertex);
        }
    }

    mesh.indices.reserve(static_cast<size_t>(6) * (n + 1) * (n + 1));
    for (uint32_t q = 0; q <= n; ++q) {
        for (uint32_t j = 0; j <= n; ++j) {
            const uint32_t a = j * w + q;
            // Clockwise seen from above: the application culls front faces.
            mesh.indices.insert(mesh.indices.end(), {a, a + 1, a + w + 1, a + w + 1, a + w, a});
        }
    }
    return mesh;
}

Chunk::Chunk(uint32_t n, float size)
{
    // Validate before making any GL object, so a bad configuration leaves nothing half built.
    ChunkMesh mesh = build_chunk_mesh(n, size);

    m_vertex_array = std::make_unique<gfx::VertexArray>();
    m_vertex_buffer = std::make_unique<gfx::Buffer>();
    m_index_buffer = std::make_unique<gfx::Buffer>();
    m_index_buffer->target = GL_ELEMENT_ARRAY_BUFFER;
    index_count = 0;
    edge_vertex_count = n;

    index_count = static_cast<uint32_t>(mesh.indices.size());
    m_vertex_array->bind();
    m_vertex_buffer->bind();
    m_vertex_buffer->set_data(mesh.vertices, GL_STATIC_DRAW);
    m_index_buffer->bind();
    m_index_buffer->set_data(mesh.indices, GL_STATIC_DRAW);
    constexpr GLsizei stride = sizeof(ChunkVertex);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(0));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(12));
    glEnableVertexAttribArray(1);
    gfx::VertexArray::unbind();
}

Chunk::~Chunk() = default;

void Chunk::draw(gfx::Shader& shader, glm::vec2 min, glm::vec2 max) const
{
    shader.use();
    const float w = max.x - min.x;
    const glm::mat4 model =
        glm::scale(glm::translate(glm::mat4(1.0f), glm::vec3(min.x, 0.0f, min.y)), glm::vec3(w, w, w));
    shader.set_mat4("u_model", model);
    m_vertex_array->bind();
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(index_count), GL_UNSIGNED_INT, nullptr);
    gfx::VertexArray::unbind();
}
