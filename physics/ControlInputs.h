#pragma once

// The pilot's controls. Without the aerodynamic model only the throttle reaches the physics;
// with it the elevator (+1 full nose up), aileron (+1 full right roll), rudder (+1 full right
// yaw, also steering the nose wheel) and the wheel brakes act too.
struct ControlInputs {
    float elevator = 0.0f; // [-1, 1]
    float aileron = 0.0f;  // [-1, 1]
    float rudder = 0.0f;   // [-1, 1]
    float throttle = 0.0f; // [0, 1]
    float brake = 0.0f;    // [0, 1]
};
