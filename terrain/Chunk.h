#pragma once

// The one grid mesh that every terrain tile is drawn with. The surface is an n × n grid over
// the unit square in x and z (y = 0); the vertex shader lifts it by the tile's elevation.
// Around it runs a ring of "skirt" vertices that repeat the edge positions; the shader pulls
// them down, so the vertical strips they form hide the cracks between neighbouring tiles of
// different detail. Skirt vertices carry texture coordinates outside [0, 1], which is how the
// shader tells them apart.

#include <cstdint>
#include <memory>
#include <vector>

#include <glm/vec2.hpp>

namespace gfx {
class Buffer;
class Shader;
class VertexArray;
} // namespace gfx

// One vertex: position (x, y, z) then texture coordinate (u, v); 20 bytes, no padding.
struct ChunkVertex {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float u = 0.0f;
    float v = 0.0f;
};
static_assert(sizeof(ChunkVertex) == 20, "the vertex layout is five tightly packed floats");

// The mesh as plain data, built without GL so it can be checked on its own.
struct ChunkMesh {
    std::vector<ChunkVertex> vertices; // (n + 2)² in rows from north to south
    std::vector<uint32_t> indices;     // 6 × (n + 1)², two triangles per quad
};

// The grid of n vertices per edge spanning size × size, with its skirt ring. n must be at
// least 2 (the spacing divides by n − 1); smaller values throw std::invalid_argument.
ChunkMesh build_chunk_mesh(uint32_t n, float size);

// Whether a vertex belongs to the skirt ring (a texture coordinate outside [0, 1]).
inline bool is_skirt_vertex(const ChunkVertex& vertex)
{
    return vertex.u < 0.0f || vertex.u > 1.0f || vertex.v < 0.0f || vertex.v > 1.0f;
}

class Chunk {
public:
    // Builds the mesh and uploads it; needs the GL context. Throws std::invalid_argument for
    // n below 2, before any GL object is made.
    Chunk(uint32_t n, float size);
    ~Chunk();

    Chunk(const Chunk&) = delete;
    Chunk& operator=(const Chunk&) = delete;

    // Draws the mesh stretched over the world square min → max (x, z): "u_model" is the
    // translation to (min.x, 0, min.y) times a uniform scale by the square's width.
    void draw(gfx::Shader& shader, glm::vec2 min, glm::vec2 max) const;

    uint32_t index_count = 0;
    uint32_t edge_vertex_count = 0;

private:
    std::unique_ptr<gfx::VertexArray> m_vertex_array;
    std::unique_ptr<gfx::Buffer> m_vertex_buffer;
    std::unique_ptr<gfx::Buffer> m_index_buffer;
};
