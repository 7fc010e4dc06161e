#include "gfx/Camera.h"

namespace gfx {

Camera::Camera(float near_plane, float far_plane) : m_near(near_plane), m_far(far_plane) {}

Camera::~Camera() = default;

void Camera::set_aspect_ratio(float /*aspect*/) {}

void Camera::set_near(float near_plane)
{
    m_near = near_plane;
    update_projection();
}

void Camera::set_far(float far_plane)
{
    m_far = far_plane;
    update_projection();
}

glm::mat4 Camera::get_view() const { return glm::inverse(get_matrix()); }

glm::mat4 Camera::get_view_projection() const { return m_projection * get_view(); }

} // namespace gfx
