#pragma once

#include <glm/vec3.hpp>

// One engine: its full-throttle force and where on the body it pushes.
struct Engine {
    float thrust = 0.0f;         // newtons at throttle 1
    glm::vec3 position{0.0f};    // point of application, body coordinates
};
