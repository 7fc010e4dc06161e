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
    float y = (yaw - trail_heading) * DEG_TO_RAD_F;
    float p = pitch * DEG_TO_RAD_F;
    float d = distance;
    glm::vec3 t = m_following ? m_followed : target != nullptr ? target->get_world_position() : glm::vec3(0.0f);
    set_position(glm::vec3(t.x + std::cos(y) * std::cos(p) * d, t.y + std::sin(p) * d,
                           t.z + std::sin(y) * std::cos(p) * d));
    set_rotation(glm::vec3(-p, (90.0f - (yaw - trail_heading)) * DEG_TO_RAD_F, 0.0f));
}

void OrbitCamera::follow(const glm::vec3& position, const glm::quat& rotation, float dt)
{
    if (trail) {
        const float heading = heading_of(rotation, trail_heading);
        if (!m_following) {
            trail_heading = heading;
        } else {
            const float turn = std::remainder(heading - trail_heading, 360.0f);
            trail_heading = std::remainder(trail_heading + turn * (1.0f - std::exp(-std::max(dt, 0.0f) / TRAIL_SECONDS)), 360.0f);
        }
    }
    m_following = true;
    m_followed = position;
    on_update(dt);
}

float OrbitCamera::heading_of(const glm::quat& rotation, float fallback)
{
    const glm::vec3 nose = rotation * glm::vec3(1.0f, 0.0f, 0.0f);
    if (std::hypot(nose.x, nose.z) < 1e-3f)
        return fallback;
    return std::atan2(-nose.z, nose.x) * RAD_TO_DEG_F;
}
