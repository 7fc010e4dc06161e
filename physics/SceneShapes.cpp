#include "physics/SceneShapes.h"

#include <btBulletDynamicsCommon.h>

#include "physics/BulletMath.h"

namespace {

void add_shape(std::vector<ShapeBox>& boxes, const ShapeBox& actor, const btCollisionShape& shape, const btTransform& local)
{
    ShapeBox box = actor;
    box.local_position = physics::to_glm(local.getOrigin());
    box.local_rotation = physics::to_glm(local.getRotation());
    switch (shape.getShapeType()) {
    case BOX_SHAPE_PROXYTYPE:
        box.size = 2.0f * physics::to_glm(static_cast<const btBoxShape&>(shape).getHalfExtentsWithMargin());
        boxes.push_back(box);
        break;
    case SPHERE_SHAPE_PROXYTYPE:
        box.size = glm::vec3(2.0f * static_cast<const btSphereShape&>(shape).getRadius());
        boxes.push_back(box);
        break;
    case COMPOUND_SHAPE_PROXYTYPE: {
        const auto& compound = static_cast<const btCompoundShape&>(shape);
        for (int i = 0; i < compound.getNumChildShapes(); ++i) {
            add_shape(boxes, actor, *compound.getChildShape(i), local * compound.getChildTransform(i));
        }
        break;
    }
    default:
        break; // planes, capsules, meshes, height fields: not drawn
    }
}

} // namespace

std::vector<ShapeBox> collect_shape_boxes(const btCollisionWorld& scene)
{
    std::vector<ShapeBox> boxes;
    const btCollisionObjectArray& objects = scene.getCollisionObjectArray();
    for (int i = 0; i < objects.size(); ++i) {
        const btCollisionObject* object = objects[i];
        ShapeBox actor;
        actor.actor = object;
        actor.actor_position = physics::to_glm(object->getWorldTransform().getOrigin());
        actor.actor_rotation = physics::to_glm(object->getWorldTransform().getRotation());
        add_shape(boxes, actor, *object->getCollisionShape(), btTransform::getIdentity());
    }
    return boxes;
}
