#include "physics/TerrainGround.h"

#include <algorithm>

#include <BulletCollision/CollisionShapes/btHeightfieldTerrainShape.h>
#include <btBulletDynamicsCommon.h>

#include "physics/PhysicsWorld.h"

TerrainGround::TerrainGround(PhysicsWorld& world)
    : m_world(&world)
{
}

TerrainGround::~TerrainGround()
{
    remove();
}

void TerrainGround::remove()
{
    if (m_body) {
        m_world->get_scene().removeRigidBody(m_body.get());
        m_body.reset();
    }
    m_shape.reset();
}

void TerrainGround::set_heights(double x0, double z0, double spacing, int size, std::vector<float> heights,
                                btRigidBody* rider, float reseat_height)
{
    std::optional<float> before;
    btVector3 at(0.0f, 0.0f, 0.0f);
    if (rider != nullptr) {
        at = rider->getWorldTransform().getOrigin();
        before = height_at(at.x(), at.z());
    }
    replace(x0, z0, spacing, size, std::move(heights));
    const std::optional<float> after = rider != nullptr ? height_at(at.x(), at.z()) : std::nullopt;
    if (before && after && at.y() - *before < reseat_height) {
        btTransform pose = rider->getWorldTransform();
        pose.setOrigin(at + btVector3(0.0f, *after - *before, 0.0f));
        rider->setWorldTransform(pose);
        rider->setInterpolationWorldTransform(pose);
    }
}

void TerrainGround::replace(double x0, double z0, double spacing, int size, std::vector<float> heights)
{
    remove();
    m_x0 = x0;
    m_z0 = z0;
    m_spacing = spacing;
    m_size = size;
    m_heights = std::move(heights);
    if (size < 2 || m_heights.size() != static_cast<size_t>(size) * static_cast<size_t>(size)) {
        m_size = 0;
        m_heights.clear();
        return;
    }
    const auto [lowest, highest] = std::minmax_element(m_heights.begin(), m_heights.end());
    // Bullet centres the shape on its bounding box: the body sits at the box's centre.
    const float bottom = *lowest;
    const float top = std::max(*highest, bottom + 1.0f);
    m_shape = std::make_unique<btHeightfieldTerrainShape>(size, size, m_heights.data(), btScalar(1.0), bottom, top, 1,
                                                          PHY_FLOAT, false);
    m_shape->setLocalScaling(btVector3(static_cast<float>(spacing), 1.0f, static_cast<float>(spacing)));
    m_shape->buildAccelerator();

    const double half = 0.5 * (size - 1) * spacing;
    btRigidBody::btRigidBodyConstructionInfo info(0.0f, nullptr, m_shape.get());
    info.m_startWorldTransform.setOrigin(
        btVector3(static_cast<float>(x0 + half), 0.5f * (bottom + top), static_cast<float>(z0 + half)));
    const PhysicsMaterial& material = m_world->get_material();
    info.m_friction = material.friction;
    info.m_restitution = material.restitution;
    m_body = std::make_unique<btRigidBody>(info);
    m_world->get_scene().addRigidBody(m_body.get());
}

bool TerrainGround::covers(double x, double z, double margin) const
{
    const double extent = (m_size - 1) * m_spacing;
    return m_size > 0 && x >= m_x0 + margin && x <= m_x0 + extent - margin && z >= m_z0 + margin &&
        z <= m_z0 + extent - margin;
}

std::optional<float> TerrainGround::height_at(double x, double z) const
{
    if (!covers(x, z, 0.0)) {
        return std::nullopt;
    }
    const auto [lowest, highest] = std::minmax_element(m_heights.begin(), m_heights.end());
    const btVector3 from(static_cast<float>(x), *highest + 10.0f, static_cast<float>(z));
    const btVector3 to(static_cast<float>(x), *lowest - 10.0f, static_cast<float>(z));
    btCollisionWorld::ClosestRayResultCallback hit(from, to);
    btTransform ray_from(btQuaternion::getIdentity(), from);
    btTransform ray_to(btQuaternion::getIdentity(), to);
    btCollisionWorld::rayTestSingle(ray_from, ray_to, m_body.get(), m_shape.get(), m_body->getWorldTransform(), hit);
    if (!hit.hasHit()) {
        return std::nullopt;
    }
    return from.y() + (to.y() - from.y()) * hit.m_closestHitFraction;
}
