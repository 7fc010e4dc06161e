#pragma once

#include "gfx/Camera.h"

namespace gfx {

// The shadow pass's light camera. Its projection does not depend on the window, so
// set_aspect_ratio leaves it alone.
class OrthoCamera : public Camera {
public:
    // Near 0.1, far 1000, left -2, right 2, bottom -2, top 2.
    OrthoCamera();
    OrthoCamera(float left, float right, float bottom, float top, float near_plane, float far_plane);
    ~OrthoCamera() override;

    OrthoCamera(const OrthoCamera&) = default;
    OrthoCamera& operator=(const OrthoCamera&) = default;

    void update_projection() override;

protected:
    float m_left = -2.0f;
    float m_right = 2.0f;
    float m_bottom = -2.0f;
    float m_top = 2.0f;
};

} // namespace gfx
