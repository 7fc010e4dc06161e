#include "physics/DebugGeometry.h"

#include "physics/Aircraft.h"
#include "physics/SceneShapes.h"

namespace {

// parent * child, for a parent of scale 1: the child's position turns and moves with the
// parent, its rotation follows, its scale stays its own.
BoxPlacement compose(const BoxPlacement& parent, const glm::vec3& position, const glm::quat& rotation, const glm::vec3& scale)
{
    BoxPlacement child;
    child.position = parent.position + parent.rotation * position;
    child.rotation = parent.rotation * rotation;
    child.scale = scale;
    child.actor = parent.actor;
    return child;
}

} // namespace

BoxPlacement body_placement(const glm::vec3& position, const glm::quat& rotation, float s)
{
    BoxPlacement placement;
    placement.position = position * s;
    placement.rotation = rotation;
    return placement;
}

std::vector<BoxPlacement> scene_box_placements(const btCollisionWorld& scene, float s)
{
    std::vector<BoxPlacement> placements;
    for (const ShapeBox& box : collect_shape_boxes(scene)) {
        BoxPlacement actor = body_placement(box.actor_position, box.actor_rotation, s);
        actor.actor = box.actor;
        placements.push_back(compose(actor, box.local_position * s, box.local_rotation, box.size * s));
    }
    return placements;
}

std::vector<BoxPlacement> flight_model_placements(const Aircraft& aircraft, float s)
{
    std::vector<BoxPlacement> placements;
    if (!aircraft.body) {
        return placements;
    }
    const BoxPlacement body = body_placement(aircraft.position(), aircraft.rotation(), s);
    for (const Wing& wing : aircraft.wings) {
        placements.push_back(compose(body, wing.position * s, wing.orientation,
            glm::vec3(wing.chord_length * s, 0.1f * s, wing.wingspan * s)));
    }
    for (const Wheel& wheel : aircraft.wheels) {
        placements.push_back(compose(body, wheel.draw_center() * s, wheel.orientation, glm::vec3(0.25f * s)));
    }
    return placements;
}
