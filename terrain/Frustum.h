#pragma once

// The six planes of a view frustum, taken from a projection × view matrix, and the test
// whether an axis-aligned box lies entirely outside them. Pure arithmetic, no GL.

#include <array>

#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>
#include <glm/vec4.hpp>

class Frustum {
public:
    // Planes (a, b, c, d) with a·x + b·y + c·z + d ≥ 0 inside: left, right, bottom, top, near,
    // far, for clip depth −1 to +1.
    explicit Frustum(const glm::mat4& view_projection);

    // True when the box (min ≤ max per axis) lies entirely on the outer side of at least one
    // plane: then nothing of it can be on screen. Boxes that straddle a corner outside the
    // frustum may still count as inside (conservative).
    bool box_outside(const glm::vec3& min, const glm::vec3& max) const;

    const std::array<glm::vec4, 6>& planes() const { return m_planes; }

private:
    std::array<glm::vec4, 6> m_planes;
};
