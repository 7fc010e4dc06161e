#include "physics/Wheel.h"

#include <algorithm>
#include <cmath>

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

// A force against speed along direction, no larger than limit nor than what stops the motion
// within the step (the share of it that is this wheel's).
float stopping_force(const btRigidBody& body, const btVector3& arm, const btVector3& direction, float speed,
                     float limit, float h, float share)
{
    const float stop = share * effective_mass(body, arm, direction) * std::fabs(speed) / h;
    return -std::copysign(std::min(limit, stop), speed);
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

void Wheel::step(btRigidBody& body, const btCollisionWorld& world, float h, float share, const Traction* traction)
{
    touching = false;
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
    touching = true;

    // The strut pushes along the body's up axis. A tyre on the ground is pushed along the
    // ground's normal instead, the tyre forces below taking the part along the ground: a strut
    // force along a tilted body would drive a parked aircraft across level ground.
    const btVector3 normal = hit.m_hitNormalWorld.normalized();
    const btVector3 up = traction != nullptr ? normal : quatRotate(wheel_rotation, btVector3(0.0f, 1.0f, 0.0f));
    const float speed_along_up = up.dot(body.getVelocityInLocalPoint(arm));
    offset = rest_length - hit.m_closestHitFraction * rest_length;
    const float stopping_damping = h > 0.0f ? share * effective_mass(body, arm, up) / h : damping;
    const float force = offset * stiffness - speed_along_up * std::min(damping, stopping_damping);

    body.applyForce(up * force, arm);
    body.activate();

    if (traction == nullptr || !(h > 0.0f) || !(force > 0.0f)) {
        return;
    }

    // The tyre on the ground: its rolling direction is the body's X turned by the steering
    // about the body's up axis, laid onto the ground plane.
    const float steer = std::clamp(traction->steering, -1.0f, 1.0f) * steering_angle;
    const btVector3 heading = quatRotate(wheel_rotation, btVector3(std::cos(steer), 0.0f, std::sin(steer)));
    btVector3 forward = heading - normal * heading.dot(normal);
    if (forward.length2() < 1e-6f) {
        return; // the wheel points straight into the ground: no rolling direction
    }
    forward.normalize();
    const btVector3 side = forward.cross(normal);

    const btVector3 contact = hit.m_hitPointWorld - pose.getOrigin();
    const btVector3 velocity = body.getVelocityInLocalPoint(contact);
    const float load = force;
    const float brake = brakes ? std::clamp(traction->brake, 0.0f, 1.0f) : 0.0f;
    const float rolling_limit = (rolling_resistance + grip * brake) * load;
    float along = stopping_force(body, contact, forward, velocity.dot(forward), rolling_limit, h, share);
    float across = stopping_force(body, contact, side, velocity.dot(side), grip * load, h, share);
    // The tyre cannot push harder than its grip in all directions together.
    const float total = std::sqrt(along * along + across * across);
    const float most = std::max(grip, rolling_limit / std::max(load, 1e-6f)) * load;
    if (total > most) {
        along *= most / total;
        across *= most / total;
    }
    body.applyForce(forward * along + side * across, contact);
}
