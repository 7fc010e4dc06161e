#pragma once

// The flown vehicle: the pilot's controls, one rigid body in the physics world, and the
// engines, wings and wheels read from the flight-model file. Before each physics step,
// update() applies the engines' thrust and the wheels' suspension forces and, when the file
// switches the aerodynamic model on, the wings' lift and drag and the tyres' forces.

#include <filesystem>
#include <optional>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

#include "physics/ControlInputs.h"
#include "physics/Engine.h"
#include "physics/ModelDescription.h"
#include "physics/Wheel.h"
#include "physics/Wing.h"

class PhysicsWorld;
class btRigidBody;
class btVector3;

class Aircraft {
public:
    // An aircraft without a body yet, in world, which must outlive it.
    explicit Aircraft(PhysicsWorld& world);
    // Takes its body out of the world.
    ~Aircraft();
    Aircraft(const Aircraft&) = delete;
    Aircraft& operator=(const Aircraft&) = delete;

    // Half extents of the body's box (X along the fuselage, Y up, Z across) and its density:
    // a 6 x 1 x 1 box of 480 kg with the inertia of a uniform box, centred on the body origin.
    static constexpr glm::vec3 body_half_extents{3.0f, 0.5f, 0.5f};
    static constexpr float body_density = 80.0f;

    ControlInputs controls;
    btRigidBody* body = nullptr; // owned by the physics world, which outlives the aircraft
    // The air's own motion where the aircraft flies (the wind), true metres per second in the
    // world's axes (x east, y up, z south). Still air unless someone sets it.
    glm::vec3 air_motion{0.0f};
    std::vector<Engine> engines;
    std::vector<Wing> wings;
    std::vector<Wheel> wheels;
    // The flight-model file's "aerodynamics": lift, drag, thrust along the body, tyres, and
    // true units. Off, the aircraft does what it always did: thrust along world +X, wheels that
    // only carry, wings only drawn.
    bool aerodynamic = false;
    // The file's "inertia": moments of inertia about the body's X, Y and Z axes through the
    // centre of mass, kg m^2, for the aerodynamic model (the wings reach far beyond the box, and
    // so does their mass). Zero: the box's own.
    glm::vec3 inertia{0.0f};
    // The file's "model": what draws the aircraft. None: the debug geometry does.
    std::optional<ModelDescription> model;
    // The file's "eye": where the pilot looks from, body coordinates.
    static constexpr glm::vec3 default_eye{0.0f, 1.0f, 0.0f};
    glm::vec3 eye = default_eye;

    // Replaces engines, wheels and wings (and the aerodynamic switch, the model and the eye)
    // with the file's contents.
    // A file that cannot be opened changes nothing ("Could not open " line on standard error);
    // a JSON error ends the reading where it happens, printing the quoted path, ": " and the
    // library's message, and keeps what was read.
    void load_flight_model(const std::filesystem::path& path);

    // Creates the body at position (physics coordinates, identity rotation) and adds it to the
    // physics world. A body created earlier is taken out of the world first.
    void create_body(const glm::vec3& position);

    // Puts the body at position with the identity rotation and no linear or angular velocity,
    // awake. Does nothing without a body.
    void place_body(const glm::vec3& position);
    // The same, turned about the vertical by yaw radians (0: nose east, positive toward north).
    void place_body(const glm::vec3& position, float yaw);
    // A pose the body did not fly into (a replay): at position, turned by rotation (body to
    // world), moving with velocity (physics units per second) without turning, awake. Does
    // nothing without a body.
    void set_pose(const glm::vec3& position, const glm::quat& rotation, const glm::vec3& velocity);

    // The physics frame is in Mercator metres, which at latitude phi are 1 / |cos phi| true
    // metres. The aerodynamic model works in true metres; this is where it learns the factor,
    // from the latitude of the world's origin (the start position). Default: the equator.
    void set_latitude(double latitude_degrees);
    // Mercator metres per true metre.
    float true_scale() const { return m_true_scale; }

    // Applies the forces for the next physics step of h seconds. Does nothing without a body.
    void update(float h = Wheel::default_step);

    // Magnitude of the body's linear velocity, physics units per second (0 without a body).
    float speed() const;
    // The centre of mass's velocity relative to the air, true metres per second in the world's
    // axes, and its magnitude, the true airspeed (0 without a body). Everything that asks how
    // fast the aircraft flies through the air asks here.
    glm::vec3 air_velocity() const;
    float airspeed() const;

    PhysicsWorld& world() const { return *m_world; }

    // Body pose in physics coordinates (origin and identity without a body).
    glm::vec3 position() const;
    glm::quat rotation() const;

    // Whether any main wing (see stall_warning in the README) is within a few degrees of its
    // stall angle or past it while the aircraft moves. Always false without the aerodynamic
    // model.
    bool stall_warning() const;
    // Degrees before the stall angle at which the warning starts.
    static constexpr float stall_warning_margin = 3.0f;

private:
    // The velocity relative to the air of the point arm (world axes, from the centre of mass),
    // true metres per second.
    btVector3 air_velocity_at(const btVector3& arm) const;
    // Gravity and inertia for the current model and scale (see set_latitude).
    void apply_body_settings();
    void apply_thrust();
    void apply_aerodynamics();

    PhysicsWorld* m_world;
    float m_true_scale = 1.0f;
};
