#include "gfx/OrthoCamera.h"

namespace gfx {

OrthoCamera::OrthoCamera() : Camera(0.1f, 1000.0f) { update_projection(); }

OrthoCamera::OrthoCamera(float left, float right, float bottom, float top, float near_plane, float far_plane)
    : Camera(near_plane, far_plane), m_left(left), m_right(right), m_bottom(bottom), m_top(top)
{
    update_projection();
}

OrthoCamera::~OrthoCamera() = default;

// Right-handed, clip depth -1 to +1 (the layout of glm::orthoRH_NO).
void OrthoCamera::update_projection()
{
    m_projection = glm::mat4(0.0f);
    m_projection[0][0] = 2.0f / (m_right - m_left);
    m_projection[1][1] = 2.0f / (m_top - m_bottom);
    m_projection[2][2] = -2.0f / (m_far - m_near);
    m_projection[3][0] = -(m_right + m_left) / (m_right - m_left);
    m_projection[3][1] = -(m_top + m_bottom) / (m_top - m_bottom);
    m_projection[3][2] = -(m_far + m_near) / (m_far - m_near);
    m_projection[3][3] = 1.0f;
}

} // namespace gfx
