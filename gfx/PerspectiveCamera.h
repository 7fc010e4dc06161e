#pragma once

#include "gfx/Camera.h"

namespace gfx {

class PerspectiveCamera : public Camera {
public:
    // Near 0.1, far 1000, vertical field of view π/4, aspect 16/9.
    PerspectiveCamera();
    ~PerspectiveCamera() override;

    PerspectiveCamera(const PerspectiveCamera&) = default;
    PerspectiveCamera& operator=(const PerspectiveCamera&) = default;

    // fov: vertical field of view in radians; aspect: width / height.
    void set_perspective(float fov, float aspect, float near_plane, float far_plane);
    void update_projection() override;
    void set_aspect_ratio(float aspect) override;

    float get_fov() const { return m_fov; }
    float get_aspect_ratio() const { return m_aspect; }

protected:
    float m_fov = 0.7853982f;
    float m_aspect = 16.0f / 9.0f;
};

} // namespace gfx
