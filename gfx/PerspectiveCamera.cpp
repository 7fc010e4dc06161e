#include "gfx/PerspectiveCamera.h"

#include <cmath>

namespace gfx {

PerspectiveCamera::PerspectiveCamera() : Camera(0.1f, 1000.0f) { update_projection(); }

PerspectiveCamera::~PerspectiveCamera() = default;

void PerspectiveCamera::set_perspective(float fov, float aspect, float near_plane, float far_plane)
{
    m_fov = fov;
    m_aspect = aspect;
    m_near = near_plane;
    m_far = far_plane;
    update_projection();
}

void PerspectiveCamera::set_aspect_ratio(float aspect)
{
    m_aspect = aspect;
    update_projection();
}

// Right-handed, clip depth -1 to +1 (the layout of glm::perspectiveRH_NO).
void PerspectiveCamera::update_projection()
{
    const float t = std::tan(m_fov / 2.0f);
    m_projection = glm::mat4(0.0f);
    m_projection[0][0] = 1.0f / (m_aspect * t);
    m_projection[1][1] = 1.0f / t;
    m_projection[2][2] = -(m_far + m_near) / (m_far - m_near);
    m_projection[2][3] = -1.0f;
    m_projection[3][2] = -(2.0f * m_far * m_near) / (m_far - m_near);
}

} // namespace gfx
