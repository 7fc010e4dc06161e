#pragma once

// Where the unit cube goes, in world units, to show the physics scene and the aircraft's
// flight model: pure placement arithmetic, so the drawing passes only turn each placement
// into a transform and draw. s is the world units per physics metre (0.05).

#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

class Aircraft;
class btCollisionObject;
class btCollisionWorld;

struct BoxPlacement {
    glm::vec3 position{0.0f};
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
    glm::vec3 scale{1.0f};
    const btCollisionObject* actor = nullptr; // the body it belongs to (scene boxes only)
};

// A body's pose in the world frame: position times s, rotation kept, scale 1.
BoxPlacement body_placement(const glm::vec3& position, const glm::quat& rotation, float s);

// Every box and sphere of the scene, in scene order: the body's placement composed with the
// shape's local pose (its position times s), scaled to the shape's full size times s.
std::vector<BoxPlacement> scene_box_placements(const btCollisionWorld& scene, float s);

// The aircraft's wings (chord_length x 0.1 x wingspan) and then its wheels (cubes of 0.25 at
// their drawn centre), each relative to the body's current pose, all lengths times s. Empty
// without a body.
std::vector<BoxPlacement> flight_model_placements(const Aircraft& aircraft, float s);
