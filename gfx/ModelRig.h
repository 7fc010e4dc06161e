#pragma once

// The moving parts of a model: nodes that turn about a hinge through their own origin, on top
// of their own local transform (a control surface whose node sits on its hinge line, a
// propeller whose node sits on its shaft). Pure arithmetic on a copy of the hierarchy; no GL.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "gfx/Model.h"

namespace gfx {

struct Hinge {
    std::string node;                 // the model's node name
    glm::vec3 axis{0.0f, 0.0f, 1.0f}; // unit, in the node's own frame
};

// Every node's matrix in the model's frame, and whether it is drawn.
struct ModelPose {
    std::vector<glm::mat4> matrices;
    std::vector<uint8_t> visible; // 1: drawn
};

class ModelRig {
public:
    ModelRig(const Model& model, std::vector<Hinge> hinges);

    size_t hinge_count() const { return m_hinges.size(); }
    const Hinge& hinge(size_t i) const { return m_hinges[i]; }
    // The node hinge i turns; -1 when the model has no node of that name or the name is empty
    // (it then turns nothing).
    int node_of(size_t i) const { return m_nodes[i]; }

    // The model at rest with hinge i turned by angles[i] radians (right-hand rule about its
    // axis); hinges without an angle stay at rest. Every node visible.
    void pose(std::span<const float> angles, ModelPose& out) const;

private:
    std::vector<glm::mat4> m_local;
    std::vector<int> m_parent;
    std::vector<Hinge> m_hinges;
    std::vector<int> m_nodes;
};

} // namespace gfx
