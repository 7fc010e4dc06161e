#pragma once

// The pilot's view: at the eye point of the flight model (body coordinates), looking along the
// nose with the aircraft's up as its up, placed anew each frame from the body's pose. The mouse
// does not turn it: what is drawn over it (the head-up display) is fixed to the aircraft.

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

#include "app/BaseCamera.h"

class CockpitCamera : public BaseCamera {
public:
    // eye: body coordinates in metres; units_per_metre: world units per body metre. The near
    // plane starts at NEAR_METRES: the panel and the windscreen are closer than the other
    // cameras' near planes.
    CockpitCamera(const glm::vec3& eye, float units_per_metre);
    ~CockpitCamera() override;

    void on_event(const SDL_Event& event) override;
    void on_update(float dt) override;

    // The body's pose this frame (position in world units, rotation body to world); places the
    // camera at once.
    void follow(const glm::vec3& body_position, const glm::quat& body_rotation);

    glm::vec3 eye;
    float units_per_metre;

    static constexpr float NEAR_METRES = 0.1f;

    // The camera looks along its -Z with +Y up; turned by this it looks along the body's +X (the
    // nose) with the body's +Y up and its +X along the body's +Z (the right wing).
    static glm::quat looking_along_nose();
};
