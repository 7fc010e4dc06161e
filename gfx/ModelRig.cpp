#include "gfx/ModelRig.h"

#include <glm/gtc/matrix_transform.hpp>

namespace gfx {

ModelRig::ModelRig(const Model& model, std::vector<Hinge> hinges)
    : m_hinges(std::move(hinges))
{
    m_local.reserve(model.nodes.size());
    m_parent.reserve(model.nodes.size());
    for (const ModelNode& node : model.nodes) {
        m_local.push_back(node.local);
        m_parent.push_back(node.parent);
    }
    for (const Hinge& hinge : m_hinges)
        m_nodes.push_back(hinge.node.empty() ? -1 : model.find_node(hinge.node));
}

void ModelRig::pose(std::span<const float> angles, ModelPose& out) const
{
    const size_t count = m_local.size();
    std::vector<glm::mat4> local = m_local;
    for (size_t i = 0; i < m_hinges.size() && i < angles.size(); ++i)
        if (m_nodes[i] >= 0 && angles[i] != 0.0f)
            local[size_t(m_nodes[i])] = glm::rotate(local[size_t(m_nodes[i])], angles[i], m_hinges[i].axis);
    out.matrices.resize(count);
    for (size_t i = 0; i < count; ++i)
        out.matrices[i] = m_parent[i] >= 0 ? out.matrices[size_t(m_parent[i])] * local[i] : local[i];
    out.visible.assign(count, 1);
}

} // namespace gfx
