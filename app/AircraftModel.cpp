#include "app/AircraftModel.h"

#include <algorithm>
#include <cmath>

#include <glm/gtc/matrix_transform.hpp>

#include "console/Console.h"

namespace {

constexpr float TWO_PI = 6.2831853f;

glm::mat4 placement(const ModelDescription& d)
{
    return glm::translate(glm::mat4(1.0f), d.offset) * glm::mat4_cast(d.rotation) * glm::scale(glm::mat4(1.0f), glm::vec3(d.scale));
}

} // namespace

std::optional<AircraftModel> AircraftModel::load(const ModelDescription& description, const std::filesystem::path& assets_dir)
{
    const std::filesystem::path path = assets_dir / description.file;
    gfx::ModelLoad loaded = gfx::load_model(path);
    if (!loaded.model) {
        console::eprint("Could not load the aircraft model {}: {}\n", console::quoted(path), loaded.error);
        return std::nullopt;
    }
    // One hinge per part kind, present or not, so angles and hinges share PartKind's order.
    std::vector<gfx::Hinge> hinges;
    for (const PartKind kind : ALL_PART_KINDS) {
        const std::optional<ModelPart>& part = description.part(kind);
        if (!part) {
            hinges.push_back({});
            continue;
        }
        hinges.push_back({part->node, part->axis});
        std::vector<std::string> names{part->node};
        if (kind == PartKind::Propeller && !part->disc.empty())
            names.push_back(part->disc);
        for (const std::string& name : names)
            if (loaded.model->find_node(name) < 0)
                console::eprint("The aircraft model {} has no node {} for its {}; it stays still\n", console::quoted(path),
                                console::quoted(std::string_view(name)), part_name(kind));
    }
    return AircraftModel(std::move(*loaded.model), description, std::move(hinges));
}

AircraftModel::AircraftModel(gfx::Model model, const ModelDescription& description, std::vector<gfx::Hinge> hinges)
    : m_model(std::move(model))
    , m_description(description)
    , m_rig(m_model, std::move(hinges))
    , m_angles(ALL_PART_KINDS.size(), 0.0f)
{
    if (const std::optional<ModelPart>& propeller = description.part(PartKind::Propeller)) {
        m_propeller_node = m_model.find_node(propeller->node);
        m_disc_node = propeller->disc.empty() ? -1 : m_model.find_node(propeller->disc);
    }
    const auto [low, high] = m_model.bounds();
    const glm::mat4 to_body = placement(description);
    for (int corner = 0; corner < 8; ++corner) {
        const glm::vec3 p((corner & 1) ? high.x : low.x, (corner & 2) ? high.y : low.y, (corner & 4) ? high.z : low.z);
        m_reach = std::max(m_reach, glm::length(glm::vec3(to_body * glm::vec4(p, 1.0f))));
    }
    apply();
}

void AircraftModel::update(const ControlInputs& controls, float dt)
{
    const auto deflect = [&](PartKind kind, float control) {
        const std::optional<ModelPart>& part = m_description.part(kind);
        m_angles[size_t(kind)] = part ? std::clamp(control, -1.0f, 1.0f) * part->max_angle : 0.0f;
    };
    deflect(PartKind::Elevator, controls.elevator);
    deflect(PartKind::AileronLeft, controls.aileron);
    deflect(PartKind::AileronRight, controls.aileron);
    deflect(PartKind::Rudder, controls.rudder);
    deflect(PartKind::NoseWheel, controls.rudder);
    if (const std::optional<ModelPart>& propeller = m_description.part(PartKind::Propeller); propeller && dt > 0.0f) {
        const float throttle = std::clamp(controls.throttle, 0.0f, 1.0f);
        const float wanted = propeller->idle_rpm + (propeller->full_rpm - propeller->idle_rpm) * throttle;
        m_rpm += (wanted - m_rpm) * (1.0f - std::exp(-dt / SPOOL_SECONDS));
        float& angle = m_angles[size_t(PartKind::Propeller)];
        angle = std::fmod(angle + m_rpm / 60.0f * TWO_PI * dt, TWO_PI);
    }
    apply();
}

void AircraftModel::reset()
{
    m_rpm = 0.0f;
    std::fill(m_angles.begin(), m_angles.end(), 0.0f);
    apply();
}

void AircraftModel::apply()
{
    m_rig.pose(m_angles, m_pose);
    const std::optional<ModelPart>& propeller = m_description.part(PartKind::Propeller);
    if (propeller && m_disc_node >= 0) {
        const bool disc = m_rpm > propeller->disc_rpm;
        m_pose.visible[size_t(m_disc_node)] = disc ? 1 : 0;
        if (m_propeller_node >= 0)
            m_pose.visible[size_t(m_propeller_node)] = disc ? 0 : 1;
    }
}

std::vector<float> AircraftModel::shadow_key() const
{
    std::vector<float> key = m_angles;
    const bool blades = m_propeller_node >= 0 && m_pose.visible[size_t(m_propeller_node)];
    if (!blades)
        key[size_t(PartKind::Propeller)] = 0.0f;
    return key;
}

glm::mat4 AircraftModel::world_matrix(const glm::vec3& body_position, const glm::quat& body_rotation, float units_per_metre) const
{
    return glm::translate(glm::mat4(1.0f), body_position) * glm::mat4_cast(body_rotation) *
           glm::scale(glm::mat4(1.0f), glm::vec3(units_per_metre)) * placement(m_description);
}
