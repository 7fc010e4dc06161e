#pragma once

// The aircraft's glTF model as the flight shows it: read from the file its flight model names,
// its moving parts set from the controls and the engine each frame, and placed on the body.
// Pure logic on the CPU; gfx::ModelRenderer draws what it holds.

#include <filesystem>
#include <optional>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include "gfx/Model.h"
#include "gfx/ModelRig.h"
#include "physics/ControlInputs.h"
#include "physics/ModelDescription.h"

class AircraftModel {
public:
    // Reads assets_dir / description.file. A file that cannot be used prints
    //   Could not load the aircraft model "<path>": <reason>
    // on standard error and gives nothing (the debug geometry stands in). Each part naming a
    // node the model lacks prints
    //   The aircraft model "<path>" has no node "<node>" for its <part>; it stays still
    // and that part is left where it is.
    static std::optional<AircraftModel> load(const ModelDescription& description, const std::filesystem::path& assets_dir);

    const gfx::Model& model() const { return m_model; }
    const ModelDescription& description() const { return m_description; }

    // The controls deflect the surfaces and steer the nose wheel at once; the engine's speed
    // runs toward the throttle's (idle to full rpm) over about SPOOL_SECONDS and the propeller
    // turns on by dt at it. dt 0 (paused) turns nothing.
    void update(const ControlInputs& controls, float dt);
    // The engine stopped and the propeller back at rest (a reset aircraft).
    void reset();

    // Every node's matrix in the model's frame and which are drawn: above the propeller's
    // disc_rpm its disc instead of its blades.
    const gfx::ModelPose& pose() const { return m_pose; }
    float propeller_rpm() const { return m_rpm; }
    // Radians each part is turned by now, in PartKind order (0 for parts the file leaves out).
    const std::vector<float>& part_angles() const { return m_angles; }
    // What the shadow depends on besides the body's pose: the angles of the parts that cast one
    // (the propeller only while its blades are drawn). Equal keys, equal shadows.
    std::vector<float> shadow_key() const;

    // The model's frame to the world: the body at body_position (world units) turned by
    // body_rotation, units_per_metre world units to the body's metre, the model placed on the
    // body by the description's offset, rotation and scale.
    glm::mat4 world_matrix(const glm::vec3& body_position, const glm::quat& body_rotation, float units_per_metre) const;
    // The distance from the body's origin (metres) within which the whole model lies at rest.
    float reach() const { return m_reach; }

    static constexpr float SPOOL_SECONDS = 0.8f;

private:
    AircraftModel(gfx::Model model, const ModelDescription& description, std::vector<gfx::Hinge> hinges);
    void apply();

    gfx::Model m_model;
    ModelDescription m_description;
    gfx::ModelRig m_rig;
    gfx::ModelPose m_pose;
    std::vector<float> m_angles;
    int m_propeller_node = -1;
    int m_disc_node = -1;
    float m_rpm = 0.0f;
    float m_reach = 0.0f;
};
