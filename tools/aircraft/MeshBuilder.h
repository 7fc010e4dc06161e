#pragma once

// Triangles for one node of a generated model, sorted by material, with the few shapes an
// aircraft is made of: lofts through cross-sections, bodies of revolution, boxes and flat
// polygons. Positions and normals are rounded to fixed steps as they come in, so the file
// written from them does not change with the last bits of the maths library's sin and cos.

#include <cstdint>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

#include <glm/glm.hpp>

namespace aircraft {

struct Vertex {
    glm::vec3 position{0.0f};
    glm::vec3 normal{0.0f, 1.0f, 0.0f};
};

// The vertices and triangles of one material.
struct Surface {
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;
};

// A point of a body of revolution's outline: distance along the axis, radius, and the
// outline's outward normal in that (along, radius) plane.
struct ProfilePoint {
    float along = 0.0f;
    float radius = 0.0f;
    glm::vec2 normal{0.0f, 1.0f};
};

class MeshBuilder {
public:
    // Everything added afterwards is moved by transform (normals turned with it) until the
    // next call; the identity to begin with.
    void set_transform(const glm::mat4& transform);

    // One triangle; the winding is chosen to face where the vertex normals point. Triangles
    // without area are left out.
    void triangle(int material, Vertex a, Vertex b, Vertex c);
    // The flat polygon (convex, any winding) fanned from its first point, facing normal.
    void polygon(int material, const std::vector<glm::vec3>& points, const glm::vec3& normal);

    // A surface through the rings (each the same number of points, in the same order around):
    // ring i to ring i + 1. Normals are smooth around a ring except at the indices in sharp,
    // where the two sides meet at an edge, and smooth along the loft. closed: the last point
    // of a ring joins its first. caps: the first and last rings are closed by flat polygons.
    // material(i, j): the material of the patch between rings i, i+1 and points j, j+1.
    void loft(const std::vector<std::vector<glm::vec3>>& rings, const std::vector<size_t>& sharp, bool closed, bool caps,
              const std::function<int(size_t ring, size_t point)>& material);

    // A body of revolution about the axis through centre along direction: the outline
    // turned in segments steps, starting from the direction start (perpendicular to axis).
    void lathe(int material, const glm::vec3& centre, const glm::vec3& axis, const glm::vec3& start,
               const std::vector<ProfilePoint>& outline, int segments);

    // A box of the given half extents around centre, its axes turned by rotation.
    void box(int material, const glm::vec3& centre, const glm::vec3& half, const glm::mat3& rotation = glm::mat3(1.0f));

    const std::map<int, Surface>& surfaces() const { return m_surfaces; }
    size_t triangle_count() const;

private:
    uint32_t index_of(Surface& surface, const Vertex& vertex, int material);

    glm::mat4 m_transform{1.0f};
    glm::mat3 m_normal_transform{1.0f};
    std::map<int, Surface> m_surfaces;
    std::map<std::tuple<int, int, int, int, int, int, int>, uint32_t> m_index;
};

// The step positions are rounded to (metres) and normals to.
inline constexpr float POSITION_STEP = 1.0f / 4096.0f;
inline constexpr float NORMAL_STEP = 1.0f / 16384.0f;

} // namespace aircraft
