#include "app/CockpitCamera.h"

CockpitCamera::CockpitCamera(const glm::vec3& eye_point, float scale)
    : eye(eye_point)
    , units_per_metre(scale)
{
    set_perspective(get_fov(), get_aspect_ratio(), NEAR_METRES * units_per_metre, get_far());
    set_rotation(looking_along_nose());
}

CockpitCamera::~CockpitCamera() = default;

void CockpitCamera::on_event(const SDL_Event&) {}

void CockpitCamera::on_update(float) {}

void CockpitCamera::follow(const glm::vec3& body_position, const glm::quat& body_rotation)
{
    set_position(body_position + body_rotation * (eye * units_per_metre));
    set_rotation(body_rotation * looking_along_nose());
}

glm::quat CockpitCamera::looking_along_nose()
{
    // A quarter turn clockwise about up (seen from above): -Z onto +X, +X onto +Z.
    return glm::angleAxis(-1.5707963f, glm::vec3(0.0f, 1.0f, 0.0f));
}
