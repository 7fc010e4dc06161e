#pragma once

// The box- and sphere-shaped collision shapes of a physics scene, as boxes to draw: what the
// scene pass needs, without any graphics. Planes and every other kind of shape are left out.

#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

class btCollisionObject;
class btCollisionWorld;

struct ShapeBox {
    const btCollisionObject* actor = nullptr; // the body the shape belongs to
    glm::vec3 actor_position{0.0f};           // body pose, physics coordinates
    glm::quat actor_rotation{1.0f, 0.0f, 0.0f, 0.0f};
    glm::vec3 local_position{0.0f};           // shape pose relative to the body
    glm::quat local_rotation{1.0f, 0.0f, 0.0f, 0.0f};
    glm::vec3 size{0.0f};                     // full edge lengths: 2 x half extents, or 2 x radius
};

// One entry per box or sphere, in the order of the scene's collision objects; a compound
// shape contributes its box and sphere children with their local poses.
std::vector<ShapeBox> collect_shape_boxes(const btCollisionWorld& scene);
