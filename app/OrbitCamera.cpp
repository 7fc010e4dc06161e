#include "app/OrbitCamera.h"

#include <algorithm>
#include <cmath>

#include "core/Units.h"

OrbitCamera::OrbitCamera(const gfx::Transform* orbit_target, float orbit_distance, float orbit_pitch, float orbit_yaw)
    : pitch(orbit_pitch)
    , yaw(orbit_yaw)
    , distance(orbit_distance)
    , target(orbit_target)
{
}

OrbitCamera::~OrbitCamera() = default;

void OrbitCamera::on_event(const SDL_Event& event)
{
    if (event.type == SDL_MOUSEMOTION) {
        yaw += float(event.motion.xrel) * DRAG_DEGREES_PER_PIXEL;
        pitch = std::clamp(pitch - float(event.motion.yrel) * DRAG_DEGREES_PER_PIXEL, -PITCH_LIMIT, PITCH_LIMIT);
    } else if (event.type == SDL_MOUSEWHEEL) {
        if (event.wheel.y < 1)
            distance /= ZOOM_FACTOR;
        else
            distance *= ZOOM_FACTOR;
    }
}

void OrbitCamera::on_update(float)
{
    float y = yaw * DEG_TO_RAD_F;
    float p = pitch * DEG_TO_RAD_F;
    float d = distance;
    glm::vec3 t = target != nullptr ? target->get_world_position() : glm::vec3(0.0f);
    set_position(glm::vec3(t.x + std::cos(y) * std::cos(p) * d, t.y + std::sin(p) * d,
                           t.z + std::sin(y) * std::cos(p) * d));
    set_rotation(glm::vec3(-p, (90.0f - yaw) * DEG_TO_RAD_F, 0.0f));
}
