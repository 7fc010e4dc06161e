#include "physics/Wheel.h"

#include <algorithm>

#include <btBulletDynamicsCommon.h>

#include "physics/BulletMath.h"

namespace {

// The mass a force along direction at arm (from the centre of mass, world frame) meets: the
// body's mass and the share of its inertia that turning about the centre adds.
float effective_mass(const btRigidBody& body, const btVector3& arm, const btVector3& direction)
{
    // Computed from the current pose, so a pose just set (not yet stepped) counts.
    const btQuaternion rotation = body.getWorldTransform().getRotation();
    const btVector3 lever = quatRotate(rotation.inverse(), arm.cross(direction));
    const btVector3 inverse_inertia = body.getInvInertiaDiagLocal();
    const float inverse = body.getInvMass() + lever.x() * lever.x() * inverse_inertia.x() +
        lever.y() * lever.y() * inverse_inertia.y() + lever.z() * lever.z() * inverse_inertia.z();
    return inverse > 0.0f ? 1.0f / inverse : 0.0f;
}

} // namespace

Wheel Wheel::attached_at(const glm::vec3& attachment, float spring_stiffness, float damper)
{
    Wheel wheel;
    wheel.rest_length = 0.0f - attachment.y;
    wheel.stiffness = spring_stiffness;
    wheel.damping = damper;
    wheel.position = attachment;
    return wheel;
}

void Wheel::step(btRigidBody& body, const btCollisionWorld& world, float h, float share)
{
    // A zero or negative length has no ray to cast; a ray of length 0 starting inside a shape
    // could otherwise report a hit and turn the damper into a pushing force.
    if (!(rest_length > 0.0f)) {
        return;
    }

    const btTransform& pose = body.getWorldTransform();
    const btQuaternion rotation = pose.getRotation();
    const btQuaternion wheel_rotation = rotation * physics::to_bt(orientation);

    // The attachment point relative to the centre of mass, turned into the world frame. Both
    // the ray origin and the point whose velocity drives the damper are this real point.
    const btVector3 arm = quatRotate(rotation, physics::to_bt(position));
    const btVector3 origin = pose.getOrigin() + arm;
    const btVector3 end = origin - btVector3(0.0f, rest_length, 0.0f);

    btCollisionWorld::ClosestRayResultCallback hit(origin, end);
    world.rayTest(origin, end, hit);
    if (!hit.hasHit()) {
        return;
    }

    const btVector3 up = quatRotate(wheel_rotation, btVector3(0.0f, 1.0f, 0.0f));
    const float speed_along_up = up.dot(body.getVelocityInLocalPoint(arm));
    offset = rest_length - hit.m_closestHitFraction * rest_length;
    const float stopping_damping = h > 0.0f ? share * effective_mass(body, arm, up) / h : damping;
    const float force = offset * stiffness - speed_along_up * std::min(damping, stopping_damping);

    body.applyForce(up * force, arm);
    body.activate();
}
