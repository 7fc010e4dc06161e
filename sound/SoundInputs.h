#pragma once

// What the sound follows, handed to SoundScape::update once a frame. Positions and directions
// are in one right-handed frame with y up, in metres (the physics frame); the listener is the
// camera being drawn from.

#include <glm/vec3.hpp>

namespace sound {

struct SoundListener {
    glm::vec3 position{0.0f};
    glm::vec3 forward{0.0f, 0.0f, -1.0f}; // where the camera looks
    glm::vec3 up{0.0f, 1.0f, 0.0f};
};

struct SoundInputs {
    float throttle = 0.0f;          // 0..1
    float airspeed_m_s = 0.0f;      // true airspeed
    float vertical_speed_m_s = 0.0f; // up positive
    bool stall_warning = false;
    bool wheels_on_ground = false;  // any wheel touching the ground
    float ground_speed_m_s = 0.0f;  // speed over the ground
    float brake = 0.0f;             // 0..1, the wheel brakes applied
    bool crashed = false;           // true on the frame the aircraft crashed
    bool paused = false;
    // The listener in the cockpit hears the aircraft around it, muffled; outside, the sound
    // comes from aircraft_position and fades with the distance.
    bool in_cockpit = false;
    glm::vec3 aircraft_position{0.0f};
    SoundListener listener;
};

} // namespace sound
