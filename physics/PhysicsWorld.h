#pragma once

// A physics world: Bullet's collision configuration, dispatcher, broadphase, solver and
// dynamics world, the single material every shape uses, and the bodies and shapes living in
// it. Whoever builds it owns it (the flight, a test); it releases everything in reverse order
// of creation. Frame: X east, Y up, Z south, in unscaled Mercator metres; seconds.

#include <memory>
#include <vector>

#include <glm/vec3.hpp>

class btBroadphaseInterface;
class btCollisionDispatcher;
class btCollisionObject;
class btCollisionShape;
class btDefaultCollisionConfiguration;
class btDiscreteDynamicsWorld;
class btRigidBody;
class btSequentialImpulseConstraintSolver;

// Contact properties of every shape. Bullet keeps one friction coefficient, used for both the
// static and the sliding case.
struct PhysicsMaterial {
    float friction = 0.5f;
    float restitution = 0.6f;
};

class PhysicsWorld {
public:
    // The longest step the world takes: a frame longer than this slows simulated time down
    // instead of taking a step the solver and the suspension cannot follow.
    static constexpr float max_step = 1.0f / 60.0f;
    static constexpr float gravity = -9.81f;
    // Every dynamic body's angular damping (its linear damping is 0).
    static constexpr float angular_damping = 0.05f;
    // Approach speed below which a contact does not bounce, m/s.
    static constexpr float bounce_threshold = 2.0f;

    PhysicsWorld();
    ~PhysicsWorld();
    PhysicsWorld(const PhysicsWorld&) = delete;
    PhysicsWorld& operator=(const PhysicsWorld&) = delete;

    // Advances the world once by min(dt, max_step), without substeps. A dt that is not
    // positive advances nothing.
    void step(float dt);

    // Adds a static infinite plane through point with the given unit normal, solid on the side
    // opposite to the normal. Returns its body (owned by the world).
    btRigidBody* add_ground_plane(const glm::vec3& point, const glm::vec3& normal);

    // Adds a dynamic body of the given mass whose inertia comes from its shape, at position
    // with the identity rotation, using the world's material and angular_damping. It never
    // falls asleep: forces are applied to it every frame. The world owns body and shape.
    btRigidBody* add_dynamic_body(std::unique_ptr<btCollisionShape> shape, float mass, const glm::vec3& position);

    // Takes a body out of the world and frees it with its shape. Unknown bodies are ignored.
    void remove_body(btRigidBody* body);

    // Empties the world of every body; the world itself (configuration, solver, material)
    // stays as built.
    void remove_all_bodies();

    btDiscreteDynamicsWorld& get_scene() { return *scene; }
    const btDiscreteDynamicsWorld& get_scene() const { return *scene; }
    const PhysicsMaterial& get_material() const { return material; }

private:
    btRigidBody* add_body(std::unique_ptr<btCollisionShape> shape, float mass, const glm::vec3& position);

    struct OwnedBody;

    // Declared in order of creation, so that the members are destroyed in reverse.
    std::unique_ptr<btDefaultCollisionConfiguration> collision_configuration;
    std::unique_ptr<btCollisionDispatcher> dispatcher;
    std::unique_ptr<btBroadphaseInterface> broadphase;
    std::unique_ptr<btSequentialImpulseConstraintSolver> solver;
    std::unique_ptr<btDiscreteDynamicsWorld> scene;
    PhysicsMaterial material;
    std::vector<OwnedBody> bodies;
};
