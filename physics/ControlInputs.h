#pragma once

// The pilot's four controls. Only the throttle reaches the physics; the other three are held
// for the input handling and the overlay.
struct ControlInputs {
    float elevator = 0.0f; // [-1, 1]
    float aileron = 0.0f;  // [-1, 1]
    float rudder = 0.0f;   // [-1, 1]
    float throttle = 0.0f; // [0, 1]
};
