#include "terrain/Frustum.h"

#include <cmath>

#include <glm/geometric.hpp>
#include <glm/matrix.hpp>

Frustum::Frustum(const glm::mat4& view_projection)
{
    // Rows of the matrix (glm is column-major: m[column][row]).
    const glm::mat4 t = glm::transpose(view_projection);
    const glm::vec4 x = t[0];
    const glm::vec4 y = t[1];
    const glm::vec4 z = t[2];
    const glm::vec4 w = t[3];
    m_planes = {w + x, w - x, w + y, w - y, w + z, w - z};
    for (glm::vec4& plane : m_planes) {
        const float length = glm::length(glm::vec3(plane));
        if (length > 0.0f) {
            plane /= length;
        }
    }
}

bool Frustum::box_outside(const glm::vec3& min, const glm::vec3& max) const
{
    for (const glm::vec4& plane : m_planes) {
        // The box corner farthest along the plane's normal: if even it is outside, all are.
        const glm::vec3 corner(plane.x >= 0.0f ? max.x : min.x, plane.y >= 0.0f ? max.y : min.y,
                               plane.z >= 0.0f ? max.z : min.z);
        if (plane.x * corner.x + plane.y * corner.y + plane.z * corner.z + plane.w < 0.0f) {
            return true;
        }
    }
    return false;
}
