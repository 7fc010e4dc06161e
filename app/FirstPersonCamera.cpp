#include "app/FirstPersonCamera.h"

#include <cmath>

#include "core/Units.h"
#include "tiles/WebMercator.h"

FirstPersonCamera::FirstPersonCamera(float sensitivity)
    : mouse_sensitivity(sensitivity)
{
}

FirstPersonCamera::~FirstPersonCamera() = default;

void FirstPersonCamera::on_event(const SDL_Event& event)
{
    if (event.type != SDL_MOUSEMOTION)
        return;
    glm::quat q = get_rotation();
    glm::vec3 right = glm::normalize(q * glm::vec3(1.0f, 0.0f, 0.0f));
    float yaw = -float(event.motion.xrel) * mouse_sensitivity * DEG_TO_RAD_F;
    float pitch = -float(event.motion.yrel) * mouse_sensitivity * DEG_TO_RAD_F;
    glm::quat q_yaw = glm::angleAxis(yaw, glm::vec3(0.0f, 1.0f, 0.0f));
    glm::quat q_pitch = glm::angleAxis(pitch, right);
    q = q_yaw * (q_pitch * q);
    // Renormalised every time so rounding does not build up over long sessions.
    float length = glm::length(q);
    q = length > 0.0f && std::isfinite(length) ? q / length : glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
    set_rotation(q);
}

void FirstPersonCamera::on_update(float) {}

glm::vec3 start_position_world(const StartPosition& row, const WorldFrame& frame)
{
    WorldXZ xz = latlon_to_world(LatLon{row.lat, row.lon}, frame.origin_x, frame.origin_y, frame.scaling_factor);
    return glm::vec3(float(xz.x), float(double(row.altitude) * frame.scaling_factor), float(xz.z));
}

glm::vec3 heading_euler(float heading)
{
    return glm::vec3(0.0f, -heading * DEG_TO_RAD_F, 0.0f);
}

void place_at_start_position(gfx::Transform& camera, const StartPosition& row, const WorldFrame& frame)
{
    camera.set_position(start_position_world(row, frame));
    camera.set_rotation(heading_euler(row.heading));
}
