#pragma once

// The camera that circles a target (the aircraft): dragged around it with the mouse, zoomed
// with the wheel, re-placed around the target's current position every frame.

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
    // Places the camera at distance from the target, pitch above its horizontal plane and
    // yaw around it, looking at it. dt is not used.
    void on_update(float dt) override;

    static constexpr float DRAG_DEGREES_PER_PIXEL = 0.2f;
    static constexpr float ZOOM_FACTOR = 1.2f;
    static constexpr float PITCH_LIMIT = 89.0f;

    float pitch;    // degrees
    float yaw;      // degrees, unbounded
    float distance; // world units
    const gfx::Transform* target;
};
