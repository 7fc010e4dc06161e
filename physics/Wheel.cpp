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

std::optional<TyreContact> Wheel::step(btRigidBody& body, const btCollisionWorld& world, float h, float share,
                                       const Traction* traction)
{
    touching = false;
    // A zero or negative length has no ray to cast; a ray of length 0 starting inside a shape
    // could otherwise report a hit and turn the damper into a pushing force.
    if (!(rest_length > 0.0f)) {
        return std::nullopt;
    }

    const btTransform& pose = body.getWorldTransform();
    const btQuaternion rotation = pose.getRotation();
    const btQuaternion wheel_rotation = rotation * physics::to_bt(orientation);

    // The attachment point relative to the centre of mass, turned into the world frame. Both
    // the ray origin and the point whose velocity drives the damper are this real point (for
    // a tyre, the damper follows the point where it touches the ground).
    const btVector3 arm = quatRotate(rotation, physics::to_bt(position));
    const btVector3 origin = pose.getOrigin() + arm;
    // The ray goes straight down; a tyre's (the aerodynamic model's) goes down its strut, along
    // the body's down axis, so that on a slope the wheels stand where the struts put them
    // and the uphill ones do not carry more for being nearer the ground.
    const btVector3 down = traction != nullptr ? quatRotate(wheel_rotation, btVector3(0.0f, -1.0f, 0.0f))
                                               : btVector3(0.0f, -1.0f, 0.0f);
    const btVector3 end = origin + down * rest_length;

    btCollisionWorld::ClosestRayResultCallback hit(origin, end);
    world.rayTest(origin, end, hit);
    if (!hit.hasHit()) {
        return std::nullopt;
    }
    touching = true;

    // The strut pushes along the body's up axis at the attachment point. A tyre is pushed by
    // the ground where it touches, along the ground's normal, the tyre forces below taking the
    // part along the ground: a strut force along a tilted body would drive a parked aircraft
    // across level ground, and one along the normal but at the attachment point would tip it
    // over on a slope.
    const btVector3 normal = hit.m_hitNormalWorld.normalized();
    const btVector3 contact = hit.m_hitPointWorld - pose.getOrigin();
    const btVector3 up = traction != nullptr ? normal : quatRotate(wheel_rotation, btVector3(0.0f, 1.0f, 0.0f));
    const btVector3 at = traction != nullptr ? contact : arm;
    const float speed_along_up = up.dot(body.getVelocityInLocalPoint(at));
    offset = rest_length - hit.m_closestHitFraction * rest_length;
    const float stopping_damping = h > 0.0f ? share * effective_mass(body, at, up) / h : damping;
    const float force = offset * stiffness - speed_along_up * std::min(damping, stopping_damping);

    body.applyForce(up * force, at);
    body.activate();

    if (traction == nullptr || !(force > 0.0f)) {
        return std::nullopt;
    }

    // The tyre on the ground: its rolling direction is the body's X turned by the steering
    // about the body's up axis, laid onto the ground plane.
    const float steer = std::clamp(traction->steering, -1.0f, 1.0f) * steering_angle;
    const btVector3 heading = quatRotate(wheel_rotation, btVector3(std::cos(steer), 0.0f, std::sin(steer)));
    btVector3 forward = heading - normal * heading.dot(normal);
    if (forward.length2() < 1e-6f) {
        return std::nullopt; // the wheel points straight into the ground: no rolling direction
    }
    forward.normalize();
    const float brake = brakes ? std::clamp(traction->brake, 0.0f, 1.0f) : 0.0f;
    TyreContact tyre;
    tyre.arm = physics::to_glm(contact);
    tyre.forward = physics::to_glm(forward);
    tyre.side = physics::to_glm(forward.cross(normal));
    tyre.rolling_limit = (rolling_resistance + grip * brake) * force;
    tyre.side_limit = grip * force;
    return tyre;
}

void apply_tyre_forces(btRigidBody& body, const std::vector<TyreContact>& tyres, float h)
{
    if (tyres.empty() || !(h > 0.0f) || body.getInvMass() <= 0.0f) {
        return;
    }
    // The tyres together, as a contact solver treats friction: impulses over the step that
    // bring each contact point to rest along the ground as far as its limits allow, found by
    // sweeping over the tyres a few times, each sweep seeing what the others already do. The
    // body's motion at the end of the step without them includes gravity and every force
    // applied so far, so a parked aircraft holds on a slope instead of creeping down it.
    const float inverse_mass = body.getInvMass();
    const btQuaternion rotation = body.getWorldTransform().getRotation();
    const btMatrix3x3 basis(rotation);
    const btVector3 inverse_diagonal = body.getInvInertiaDiagLocal();
    const btMatrix3x3 inverse_inertia = basis.scaled(inverse_diagonal) * basis.transpose();
    btVector3 linear = body.getLinearVelocity() + (body.getTotalForce() * inverse_mass + body.getGravity()) * h;
    btVector3 angular = body.getAngularVelocity() + inverse_inertia * body.getTotalTorque() * h;

    struct Row {
        btVector3 arm;
        btVector3 direction;
        btVector3 turn; // change of the angular velocity per unit of impulse
        float inverse_effective_mass;
        float limit;
        float impulse = 0.0f;
    };
    std::vector<Row> rows;
    for (const TyreContact& tyre : tyres) {
        for (const auto& [direction, limit] : {std::pair{tyre.forward, tyre.rolling_limit}, std::pair{tyre.side, tyre.side_limit}}) {
            Row row;
            row.arm = physics::to_bt(tyre.arm);
            row.direction = physics::to_bt(direction);
            row.turn = inverse_inertia * row.arm.cross(row.direction);
            row.inverse_effective_mass = inverse_mass + row.arm.cross(row.direction).dot(row.turn);
            row.limit = limit * h;
            rows.push_back(row);
        }
    }
    for (int sweep = 0; sweep < 12; ++sweep) {
        for (Row& row : rows) {
            const float speed = (linear + angular.cross(row.arm)).dot(row.direction);
            const float wanted = std::clamp(row.impulse - speed / row.inverse_effective_mass, -row.limit, row.limit);
            const float change = wanted - row.impulse;
            row.impulse = wanted;
            linear += row.direction * (change * inverse_mass);
            angular += row.turn * change;
        }
    }
    for (const Row& row : rows) {
        body.applyForce(row.direction * (row.impulse / h), row.arm);
    }
}
