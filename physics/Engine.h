#pragma once

#include <glm/vec3.hpp>

// One engine: its full-throttle force and where on the body it pushes.
struct Engine {
    float thrust = 0.0f;         // newtons at throttle 1
    glm::vec3 position{0.0f};    // point of application, body coordinates
    // Unit direction of the thrust in body coordinates; used by the aerodynamic model only
    // (without it thrust pushes along world +X).
    glm::vec3 direction{1.0f, 0.0f, 0.0f};
    // A propeller's thrust falls as the air comes faster: linearly from full at rest to none
    // at this true airspeed along the engine's axis, m/s. 0: the same thrust at any speed.
    // Aerodynamic model only.
    float max_speed = 0.0f;
};
