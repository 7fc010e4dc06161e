#pragma once

// The free camera: turned by mouse look, moved by the keyboard (App's keyboard polling, only
// while it is the active camera). No pitch limit: it can turn over.

#include "app/BaseCamera.h"
#include "app/StartPositions.h"
#include "terrain/WorldFrame.h"

class FirstPersonCamera : public BaseCamera {
public:
    explicit FirstPersonCamera(float sensitivity = 0.2f);
    ~FirstPersonCamera() override;

    // SDL_MOUSEMOTION: right turns the view right (about world up), down tilts it down
    // (about the camera's own right axis). Every other event is ignored.
    void on_event(const SDL_Event& event) override;
    void on_update(float dt) override;

    // Degrees of rotation per pixel of mouse motion.
    float mouse_sensitivity;
};

// Where a start position puts the free camera: world (x, altitude · s, z), the altitude taken
// as plain metres.
glm::vec3 start_position_world(const StartPosition& row, const WorldFrame& frame);

// Heading in degrees clockwise from north as Euler angles: 90 turns the view from -z to +x.
glm::vec3 heading_euler(float heading);

// Moves and turns the camera to the row: position first, then rotation.
void place_at_start_position(gfx::Transform& camera, const StartPosition& row, const WorldFrame& frame);
