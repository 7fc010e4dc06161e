#include "physics/PhysicsWorld.h"

#include <algorithm>

#include <btBulletDynamicsCommon.h>

#include "physics/BulletMath.h"

namespace {

// Bullet multiplies the two bodies' coefficients by default; this world averages them, so a
// contact between two shapes of the one material has exactly that material's values.
btScalar average_friction(const btCollisionObject* body0, const btCollisionObject* body1)
{
    return (body0->getFriction() + body1->getFriction()) * btScalar(0.5);
}

btScalar average_restitution(const btCollisionObject* body0, const btCollisionObject* body1)
{
    return (body0->getRestitution() + body1->getRestitution()) * btScalar(0.5);
}

} // namespace

struct PhysicsWorld::OwnedBody {
    // Shape first: the body refers to it and goes before it.
    std::unique_ptr<btCollisionShape> shape;
    std::unique_ptr<btRigidBody> body;
};

PhysicsWorld::PhysicsWorld()
{
    gCalculateCombinedFrictionCallback = &average_friction;
    gCalculateCombinedRestitutionCallback = &average_restitution;

    collision_configuration = std::make_unique<btDefaultCollisionConfiguration>();
    dispatcher = std::make_unique<btCollisionDispatcher>(collision_configuration.get());
    broadphase = std::make_unique<btDbvtBroadphase>();
    solver = std::make_unique<btSequentialImpulseConstraintSolver>();
    scene = std::make_unique<btDiscreteDynamicsWorld>(
        dispatcher.get(), broadphase.get(), solver.get(), collision_configuration.get());
    scene->setGravity(btVector3(0.0f, gravity, 0.0f));
    // Contacts bounce only when they close faster than this; slower ones come to rest instead
    // of chattering (Bullet's own default is a tenth of it).
    scene->getSolverInfo().m_restitutionVelocityThreshold = bounce_threshold;
}

PhysicsWorld::~PhysicsWorld()
{
    remove_all_bodies();
    // The remaining members go in reverse order of declaration: dynamics world, solver,
    // broadphase, dispatcher, collision configuration.
}

void PhysicsWorld::step(float dt)
{
    if (!(dt > 0.0f)) {
        return;
    }
    const float h = std::min(dt, max_step);
    // maxSubSteps 0: one step of exactly h, no fixed-step accumulator.
    scene->stepSimulation(h, 0);
}

btRigidBody* PhysicsWorld::add_ground_plane(const glm::vec3& point, const glm::vec3& normal)
{
    // Bullet's plane is the set n . x = c, with its solid half on the side opposite to n.
    const btScalar plane_constant = physics::to_bt(normal).dot(physics::to_bt(point));
    return add_body(std::make_unique<btStaticPlaneShape>(physics::to_bt(normal), plane_constant), 0.0f, glm::vec3(0.0f));
}

btRigidBody* PhysicsWorld::add_dynamic_body(std::unique_ptr<btCollisionShape> shape, float mass, const glm::vec3& position)
{
    btRigidBody* body = add_body(std::move(shape), mass, position);
    body->setActivationState(DISABLE_DEACTIVATION);
    // A little angular damping, none on the linear motion: without it a spin on the ground,
    // where nothing else resists a yaw, would go on for ever. Bullet scales the angular
    // velocity by (1 - d) per second of simulated time.
    body->setDamping(0.0f, angular_damping);
    return body;
}

btRigidBody* PhysicsWorld::add_body(std::unique_ptr<btCollisionShape> shape, float mass, const glm::vec3& position)
{
    btVector3 inertia(0.0f, 0.0f, 0.0f);
    if (mass > 0.0f) {
        shape->calculateLocalInertia(mass, inertia);
    }
    // No motion state: the body's own world transform is its pose, uninterpolated.
    btRigidBody::btRigidBodyConstructionInfo info(mass, nullptr, shape.get(), inertia);
    info.m_startWorldTransform = btTransform(btQuaternion::getIdentity(), physics::to_bt(position));
    info.m_friction = material.friction;
    info.m_restitution = material.restitution;

    OwnedBody owned{std::move(shape), std::make_unique<btRigidBody>(info)};
    btRigidBody* body = owned.body.get();
    scene->addRigidBody(body);
    bodies.push_back(std::move(owned));
    return body;
}

void PhysicsWorld::remove_body(btRigidBody* body)
{
    const auto found = std::find_if(bodies.begin(), bodies.end(),
        [body](const OwnedBody& owned) { return owned.body.get() == body; });
    if (found == bodies.end()) {
        return;
    }
    scene->removeRigidBody(body);
    bodies.erase(found);
}

void PhysicsWorld::remove_all_bodies()
{
    // Newest first, the reverse of the order they were added in.
    while (!bodies.empty()) {
        scene->removeRigidBody(bodies.back().body.get());
        bodies.pop_back();
    }
}
