#pragma once

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

// A lifting surface as read from the flight model. Without the aerodynamic model wings are only
// drawn; with it each one makes lift and drag from the air flowing past its centre.
//
// The wing's own frame: X along the chord (the body's X), Y its normal (up for a horizontal
// wing), Z along the span; orientation turns the body frame into it.
struct Wing {
    float wingspan = 0.0f;     // extent along the wing's own Z axis
    float chord_length = 0.0f; // extent along the body's X axis
    glm::quat orientation{1.0f, 0.0f, 0.0f, 0.0f}; // roll about the body's X axis
    glm::vec3 position{0.0f};  // centre, body coordinates

    // Aerodynamic properties (radians for angles).
    float incidence = 0.0f;      // added to the angle of attack: leading edge up is positive
    float aspect_ratio = 0.0f;   // 0: wingspan / chord_length
    float lift_slope = 0.0f;     // lift coefficient per radian; 0: 2 pi AR / (AR + 2)
    float stall_angle = 0.2617994f; // 15 degrees
    float zero_lift_drag = 0.02f;
    float efficiency = 0.8f;     // span efficiency of the induced drag
    // Angle of attack added per unit of each control: the control surface's effect.
    float elevator = 0.0f;
    float aileron = 0.0f;
    float rudder = 0.0f;

    // Written by each aerodynamic step, for the instruments.
    float angle_of_attack = 0.0f; // effective, with incidence and controls
    float stalled = 0.0f;         // 0 attached flow ... 1 fully separated

    // Rotation about the body's X axis by a whole number of degrees, computed in single
    // precision: (sin(a), 0, 0, cos(a)) with a = degrees * 0.017453292 * 0.5.
    static glm::quat roll_orientation(int degrees);

    float area() const { return wingspan * chord_length; }
    float effective_aspect_ratio() const;
    float effective_lift_slope() const;
};
