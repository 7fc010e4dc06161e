#pragma once

// The camera that circles a target (the aircraft): dragged around it with the mouse, zoomed
// with the wheel, re-placed around the target's current position every frame. Given the
// target's pose each frame (follow), it is centred on that pose at once and, trailing, counts
// its yaw from behind the target, turning after the target's heading smoothly.

#include <glm/gtc/quaternion.hpp>

#include "app/BaseCamera.h"

class OrbitCamera : public BaseCamera {
public:
    // target is not owned and must outlive the camera.
    OrbitCamera(const gfx::Transform* orbit_target, float orbit_distance, float orbit_pitch = 15.0f,
                float orbit_yaw = 180.0f);
    ~OrbitCamera() override;

    // SDL_MOUSEMOTION drags (0.2 degrees per pixel; pitch kept in [-89, 89]); SDL_MOUSEWHEEL
    // zooms: y of 1 or more moves out by 1.2, anything else moves in by 1.2.
    void on_event(const SDL_Event& event) override;
    // Places the camera at distance from the target (the pose last given to follow, else the
    // target transform's position), pitch above its horizontal plane and yaw around it (counted
    // from trail_heading), looking at it. dt is not used.
    void on_update(float dt) override;

    // The target's pose this frame: position in world units, rotation of the target's body (its
    // nose along +X). With trail set, trail_heading moves toward the target's heading by
    // 1 - exp(-dt / TRAIL_SECONDS) of the way (the first call takes it whole), so the smoothing
    // is the same at any frame rate. Then places the camera as on_update does.
    void follow(const glm::vec3& position, const glm::quat& rotation, float dt);

    static constexpr float DRAG_DEGREES_PER_PIXEL = 0.2f;
    static constexpr float ZOOM_FACTOR = 1.2f;
    static constexpr float PITCH_LIMIT = 89.0f;
    static constexpr float TRAIL_SECONDS = 0.8f;

    float pitch;    // degrees
    float yaw;      // degrees, unbounded; 180 looks from behind a target heading trail_heading
    float distance; // world units
    const gfx::Transform* target;
    bool trail = true;
    // Degrees, 0 east, positive toward north (as the physics' yaw): the heading yaw counts from.
    float trail_heading = 0.0f;

    // A body rotation's heading in those degrees; fallback when its nose points straight up or
    // down.
    static float heading_of(const glm::quat& rotation, float fallback);

private:
    bool m_following = false;
    glm::vec3 m_followed{0.0f};
};
