#pragma once

// How the flight-model file dresses the aircraft: which glTF model draws it, how that model
// sits on the body, and which of its nodes move with the controls and the engine. Plain data
// read with the rest of the file; the drawing side gives it meaning.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

// The moving parts a model may name, in the order the file's "parts" object is documented.
enum class PartKind { Elevator, AileronLeft, AileronRight, Rudder, Propeller, NoseWheel };
inline constexpr std::array<PartKind, 6> ALL_PART_KINDS{PartKind::Elevator, PartKind::AileronLeft, PartKind::AileronRight,
                                                        PartKind::Rudder, PartKind::Propeller, PartKind::NoseWheel};

// The member name of the part in the file.
inline std::string_view part_name(PartKind kind)
{
    switch (kind) {
    case PartKind::Elevator: return "elevator";
    case PartKind::AileronLeft: return "aileron_left";
    case PartKind::AileronRight: return "aileron_right";
    case PartKind::Rudder: return "rudder";
    case PartKind::Propeller: return "propeller";
    case PartKind::NoseWheel: return "nose_wheel";
    }
    return "";
}

// One node of the model that turns about a hinge through its own origin.
struct ModelPart {
    std::string node;
    glm::vec3 axis{0.0f, 0.0f, 1.0f}; // unit, in the node's own frame
    // Control surfaces and the nose wheel: radians about axis (right-hand rule) at full
    // deflection (+1) of their control; -1 turns the other way.
    float max_angle = 0.0f;
    // The propeller: revolutions per minute at idle and at full throttle, and optionally a node
    // (a translucent disc) shown instead of the blades once they turn faster than disc_rpm.
    float idle_rpm = 700.0f;
    float full_rpm = 2400.0f;
    std::string disc;
    float disc_rpm = 300.0f;
};

struct ModelDescription {
    std::string file;                 // glTF (.glb or .gltf), relative to the assets directory
    glm::vec3 offset{0.0f};           // where the model's origin sits, body coordinates (metres)
    float scale = 1.0f;               // metres per model unit
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f}; // model frame to body frame
    std::array<std::optional<ModelPart>, ALL_PART_KINDS.size()> parts{};

    const std::optional<ModelPart>& part(PartKind kind) const { return parts[static_cast<size_t>(kind)]; }
    std::optional<ModelPart>& part(PartKind kind) { return parts[static_cast<size_t>(kind)]; }
};
