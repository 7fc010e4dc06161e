#pragma once

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

// A wing as read from the flight model. Wings are drawn but produce no forces.
struct Wing {
    float wingspan = 0.0f;     // extent along the wing's own Z axis
    float chord_length = 0.0f; // extent along the body's X axis
    glm::quat orientation{1.0f, 0.0f, 0.0f, 0.0f}; // roll about the body's X axis
    glm::vec3 position{0.0f};  // centre, body coordinates

    // Rotation about the body's X axis by a whole number of degrees, computed in single
    // precision: (sin(a), 0, 0, cos(a)) with a = degrees * 0.017453292 * 0.5.
    static glm::quat roll_orientation(int degrees);
};
