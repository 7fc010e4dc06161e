#pragma once

// The flown vehicle: the pilot's controls, one rigid body in the physics world, and the
// engines, wings and wheels read from the flight-model file. Once per frame, before the
// physics step, update() applies the engines' thrust and the wheels' suspension forces.

#include <filesystem>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

#include "physics/ControlInputs.h"
#include "physics/Engine.h"
#include "physics/Wheel.h"
#include "physics/Wing.h"

class btRigidBody;

class Aircraft {
public:
    // Half extents of the body's box (X along the fuselage, Y up, Z across) and its density:
    // a 6 x 1 x 1 box of 480 kg with the inertia of a uniform box, centred on the body origin.
    static constexpr glm::vec3 body_half_extents{3.0f, 0.5f, 0.5f};
    static constexpr float body_density = 80.0f;

    ControlInputs controls;
    btRigidBody* body = nullptr; // owned by the physics world, which outlives the aircraft
    std::vector<Engine> engines;
    std::vector<Wing> wings;
    std::vector<Wheel> wheels;

    // Replaces engines, wheels and wings with the file's contents. A file that cannot be
    // opened changes nothing ("Could not open " line on standard error); a JSON error ends the
    // reading where it happens, printing the quoted path, ": " and the library's message, and
    // keeps what was read.
    void load_flight_model(const std::filesystem::path& path);

    // Creates the body at position (physics coordinates, identity rotation) and adds it to the
    // physics world. A body created earlier is taken out of the world first.
    void create_body(const glm::vec3& position);

    // Puts the body at position with the identity rotation and no linear or angular velocity,
    // awake. Does nothing without a body.
    void place_body(const glm::vec3& position);

    // Applies the engine and wheel forces for the next physics step of h seconds. Does
    // nothing without a body.
    void update(float h = Wheel::default_step);

    // Magnitude of the body's linear velocity, physics units per second (0 without a body).
    float speed() const;

    // Body pose in physics coordinates (origin and identity without a body).
    glm::vec3 position() const;
    glm::quat rotation() const;
};
