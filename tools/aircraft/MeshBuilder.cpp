#include "tools/aircraft/MeshBuilder.h"

#include <algorithm>
#include <cmath>

namespace aircraft {
namespace {

int step_of(float value, float step) { return int(std::lround(double(value) / double(step))); }

glm::vec3 safe_normalize(const glm::vec3& v, const glm::vec3& fallback)
{
    const float length = glm::length(v);
    return length > 1e-12f ? v / length : fallback;
}

} // namespace

void MeshBuilder::set_transform(const glm::mat4& transform)
{
    m_transform = transform;
    m_normal_transform = glm::transpose(glm::inverse(glm::mat3(transform)));
}

uint32_t MeshBuilder::index_of(Surface& surface, const Vertex& vertex, int material)
{
    const auto key = std::make_tuple(material, step_of(vertex.position.x, POSITION_STEP), step_of(vertex.position.y, POSITION_STEP),
                                     step_of(vertex.position.z, POSITION_STEP), step_of(vertex.normal.x, NORMAL_STEP),
                                     step_of(vertex.normal.y, NORMAL_STEP), step_of(vertex.normal.z, NORMAL_STEP));
    auto [found, added] = m_index.try_emplace(key, uint32_t(surface.vertices.size()));
    if (added) {
        const auto [m, px, py, pz, nx, ny, nz] = key;
        surface.vertices.push_back({glm::vec3(float(px), float(py), float(pz)) * POSITION_STEP,
                                    glm::vec3(float(nx), float(ny), float(nz)) * NORMAL_STEP});
    }
    return found->second;
}

void MeshBuilder::triangle(int material, Vertex a, Vertex b, Vertex c)
{
    for (Vertex* v : {&a, &b, &c}) {
        v->position = glm::vec3(m_transform * glm::vec4(v->position, 1.0f));
        v->normal = safe_normalize(m_normal_transform * v->normal, glm::vec3(0.0f, 1.0f, 0.0f));
    }
    const glm::vec3 face = glm::cross(b.position - a.position, c.position - a.position);
    if (glm::length(face) < 1e-9f)
        return;
    if (glm::dot(face, a.normal + b.normal + c.normal) < 0.0f)
        std::swap(b, c);
    Surface& surface = m_surfaces[material];
    const uint32_t ia = index_of(surface, a, material), ib = index_of(surface, b, material), ic = index_of(surface, c, material);
    // Rounding can merge corners of a sliver.
    if (ia == ib || ib == ic || ia == ic)
        return;
    surface.indices.insert(surface.indices.end(), {ia, ib, ic});
}

void MeshBuilder::polygon(int material, const std::vector<glm::vec3>& points, const glm::vec3& normal)
{
    for (size_t i = 1; i + 1 < points.size(); ++i)
        triangle(material, {points[0], normal}, {points[i], normal}, {points[i + 1], normal});
}

void MeshBuilder::loft(const std::vector<std::vector<glm::vec3>>& rings, const std::vector<size_t>& sharp, bool closed, bool caps,
                       const std::function<int(size_t, size_t)>& material)
{
    const size_t count = rings.size(), points = rings.front().size();
    const auto at = [&](size_t i, long j) -> const glm::vec3& {
        const long n = long(points);
        return rings[i][size_t(closed ? ((j % n) + n) % n : std::clamp(j, 0L, n - 1))];
    };
    const auto is_sharp = [&](size_t j) { return std::find(sharp.begin(), sharp.end(), j) != sharp.end(); };
    const auto centroid = [&](size_t i) {
        glm::vec3 sum(0.0f);
        for (const glm::vec3& p : rings[i])
            sum += p;
        return sum / float(points);
    };
    // Along the loft, smooth: central differences (one-sided at the ends).
    const auto along = [&](size_t i, size_t j) {
        return rings[std::min(i + 1, count - 1)][j] - rings[i == 0 ? 0 : i - 1][j];
    };
    // Around the ring: across a sharp point the side of the patch in hand alone counts.
    const auto around = [&](size_t i, size_t j, long side) {
        if (is_sharp(j) || (!closed && (j == 0 || j + 1 == points)))
            return side > 0 ? at(i, long(j) + 1) - at(i, long(j)) : at(i, long(j)) - at(i, long(j) - 1);
        return at(i, long(j) + 1) - at(i, long(j) - 1);
    };
    // Which way is out: decided once, where a ring reaches farthest from its centre.
    size_t far_ring = count / 2, far_point = 0;
    float far = -1.0f;
    for (size_t j = 0; j < points; ++j) {
        const float d = glm::length(rings[far_ring][j] - centroid(far_ring));
        if (d > far) {
            far = d;
            far_point = j;
        }
    }
    const glm::vec3 probe = glm::cross(around(far_ring, far_point, 1), along(far_ring, far_point));
    const float sign = glm::dot(probe, rings[far_ring][far_point] - centroid(far_ring)) < 0.0f ? -1.0f : 1.0f;
    const auto normal = [&](size_t i, size_t j, long side) {
        return safe_normalize(sign * glm::cross(around(i, j, side), along(i, j)), glm::vec3(0.0f, 1.0f, 0.0f));
    };

    const size_t patches = closed ? points : points - 1;
    for (size_t i = 0; i + 1 < count; ++i) {
        for (size_t j = 0; j < patches; ++j) {
            const size_t k = (j + 1) % points;
            const Vertex a{rings[i][j], normal(i, j, 1)}, b{rings[i][k], normal(i, k, -1)};
            const Vertex c{rings[i + 1][k], normal(i + 1, k, -1)}, d{rings[i + 1][j], normal(i + 1, j, 1)};
            const int m = material(i, j);
            triangle(m, a, b, c);
            triangle(m, a, c, d);
        }
    }
    if (!caps)
        return;
    for (const size_t i : {size_t(0), count - 1}) {
        const size_t other = i == 0 ? 1 : count - 2;
        const glm::vec3 outward = safe_normalize(centroid(i) - centroid(other), glm::vec3(1.0f, 0.0f, 0.0f));
        const glm::vec3 middle = centroid(i);
        for (size_t j = 0; j < patches; ++j) {
            const size_t k = (j + 1) % points;
            triangle(material(i == 0 ? 0 : count - 2, j), {middle, outward}, {rings[i][j], outward}, {rings[i][k], outward});
        }
    }
}

void MeshBuilder::lathe(int material, const glm::vec3& centre, const glm::vec3& axis, const glm::vec3& start,
                        const std::vector<ProfilePoint>& outline, int segments)
{
    const glm::vec3 u = glm::normalize(start), w = glm::normalize(glm::cross(axis, u));
    const glm::vec3 a = glm::normalize(axis);
    const auto vertex = [&](const ProfilePoint& p, int s) {
        const double angle = 2.0 * M_PI * double(s) / double(segments);
        const glm::vec3 radial = u * float(std::cos(angle)) + w * float(std::sin(angle));
        return Vertex{centre + a * p.along + radial * p.radius, a * p.normal.x + radial * p.normal.y};
    };
    for (size_t k = 0; k + 1 < outline.size(); ++k) {
        // A point listed twice in a row (a sharp edge with two normals) joins nothing to itself.
        if (outline[k].along == outline[k + 1].along && outline[k].radius == outline[k + 1].radius)
            continue;
        for (int s = 0; s < segments; ++s) {
            const Vertex p = vertex(outline[k], s), q = vertex(outline[k], s + 1);
            const Vertex r = vertex(outline[k + 1], s + 1), t = vertex(outline[k + 1], s);
            triangle(material, p, q, r);
            triangle(material, p, r, t);
        }
    }
}

void MeshBuilder::box(int material, const glm::vec3& centre, const glm::vec3& half, const glm::mat3& rotation)
{
    for (int axis = 0; axis < 3; ++axis) {
        for (const float side : {-1.0f, 1.0f}) {
            glm::vec3 n(0.0f);
            n[axis] = side;
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            std::vector<glm::vec3> corners;
            for (const auto& [su, sv] : {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}}) {
                glm::vec3 p = n * half[axis];
                p[u] = su * half[u];
                p[v] = sv * half[v];
                corners.push_back(centre + rotation * p);
            }
            polygon(material, corners, rotation * n);
        }
    }
}

size_t MeshBuilder::triangle_count() const
{
    size_t count = 0;
    for (const auto& [material, surface] : m_surfaces)
        count += surface.indices.size() / 3;
    return count;
}

} // namespace aircraft
