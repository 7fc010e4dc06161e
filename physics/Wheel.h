#pragma once

// One wheel of the landing gear: a ray-cast spring and damper that pushes the body along its
// up axis at the wheel's attachment point, and, with the aerodynamic model, a tyre that rolls
// along the ground, grips sideways, brakes and steers.

#include <optional>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

class btCollisionWorld;
class btRigidBody;

// What the pilot asks of the tyres in one step.
struct Traction {
    float steering = 0.0f; // -1 .. 1 of each wheel's steering angle, positive turning right
    float brake = 0.0f;    // 0 .. 1 of the braking grip
};

// A tyre on the ground in one step: where it touches (relative to the centre of mass, world
// frame), which way it rolls and slides, and how hard the ground may push along it.
struct TyreContact {
    glm::vec3 arm{0.0f};
    glm::vec3 forward{1.0f, 0.0f, 0.0f}; // rolling direction, in the ground's plane
    glm::vec3 side{0.0f, 0.0f, 1.0f};    // across it, in the ground's plane
    float rolling_limit = 0.0f;          // force the tyre can take along forward
    float side_limit = 0.0f;             // and along side
};

struct Wheel {
    float rest_length = 0.0f; // length of the suspension ray; the wheel sits this far below its attachment point
    float stiffness = 30000.0f; // force per unit of compression
    float damping = 1000.0f;    // force per unit of speed along the body's up axis
    float offset = 0.0f;        // compression found by the last step whose ray hit
    glm::quat orientation{1.0f, 0.0f, 0.0f, 0.0f}; // relative to the body; always the identity
    glm::vec3 position{0.0f};   // attachment point, body coordinates

    // The tyre (aerodynamic model only).
    float steering_angle = 0.0f;     // radians at full steering; 0 for a wheel that does not steer
    bool brakes = false;
    float rolling_resistance = 0.02f; // of the load, against rolling
    float grip = 0.8f;               // friction coefficient sideways and under full braking
    bool touching = false;           // whether the last step's ray reached the ground

    // A wheel attached at position: the suspension reaches down to the body's origin height
    // mirrored below the attachment point, so rest_length = -position.y.
    static Wheel attached_at(const glm::vec3& position, float stiffness, float damping);

    // Casts the suspension ray straight down from the attachment point and, on a hit within
    // rest_length, applies the spring and damper force (compression x stiffness - speed of the
    // attachment point along up x damping; negative values pull the body down) to body and
    // records the compression in offset. With no hit, or no suspension to speak of
    // (rest_length 0 or less), nothing changes. Called on the main thread between physics
    // steps.
    //
    // The damper is explicit: over a step of h seconds a large damping constant would reverse
    // the attachment point's motion instead of stopping it, and the body would rock with a
    // growing amplitude. Its force is therefore held to what stops that point's motion along
    // up within one step, times share (the wheel's part when several wheels act on the body
    // at once), whatever the damping constant.
    //
    // With traction (the aerodynamic model) the ray follows the strut (the body's down axis),
    // the spring and damper push at the contact point along the ground's normal, and the
    // tyre's contact is returned for the tyre forces (see apply_tyre_forces): against rolling
    // up to rolling_resistance x load, plus grip x brake x load on a braked wheel, and against
    // sliding sideways up to grip x load.
    std::optional<TyreContact> step(btRigidBody& body, const btCollisionWorld& world, float h = default_step,
                                    float share = 1.0f, const Traction* traction = nullptr);

    // The longest physics step (seconds) the damper limit is made for when none is given.
    static constexpr float default_step = 1.0f / 60.0f;

    // Where the wheel is drawn, in body coordinates: rest_length below its attachment point,
    // raised by the current compression.
    glm::vec3 draw_center() const { return {position.x, position.y - rest_length + offset, position.z}; }
};

// The forces of the tyres on the ground over the next step of h seconds, applied to body
// after every other force of the step: each tyre holds its contact point still along the
// ground up to its limits (static friction), or slides or rolls against them.
void apply_tyre_forces(btRigidBody& body, const std::vector<TyreContact>& tyres, float h);
