#pragma once

// A transform with a projection. Cameras look along their local -Z with +Y up; the view matrix
// is the inverse of the world matrix. Matrices are right-handed with clip depth -1 to +1.

#include "gfx/Transform.h"

namespace gfx {

class Camera : public Transform {
public:
    // Default transform, the given planes, an all-zero projection until a subclass computes it.
    Camera(float near_plane, float far_plane);
    ~Camera() override;

    virtual void update_projection() = 0;
    // Only cameras whose projection depends on the aspect ratio react.
    virtual void set_aspect_ratio(float aspect);

    float get_near() const { return m_near; }
    float get_far() const { return m_far; }
    void set_near(float near_plane);
    void set_far(float far_plane);

    const glm::mat4& get_projection() const { return m_projection; }
    // Inverse of the world matrix, computed on every call.
    glm::mat4 get_view() const;
    // Projection × view.
    glm::mat4 get_view_projection() const;

protected:
    Camera(const Camera&) = default;
    Camera& operator=(const Camera&) = default;

    float m_near;
    float m_far;
    glm::mat4 m_projection{0.0f};
};

} // namespace gfx
