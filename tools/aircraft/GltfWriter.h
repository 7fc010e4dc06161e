#pragma once

// Generated nodes and materials as one glTF binary (.glb): every node's surfaces become one
// primitive per material in a single buffer.

#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include "tools/aircraft/MeshBuilder.h"

namespace aircraft {

struct MaterialLook {
    std::string name;
    glm::vec4 color{1.0f}; // as shown (sRGB) and alpha; stored as glTF's linear factor
    bool blend = false;
    bool double_sided = false;
};

struct NodePlan {
    std::string name;
    int parent = -1; // index into the node list, which lists parents first; -1: a root
    glm::vec3 translation{0.0f};
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
    const MeshBuilder* mesh = nullptr; // none: a node without a mesh
};

// The file's bytes. The same input gives the same bytes.
std::string write_glb(const std::vector<MaterialLook>& materials, const std::vector<NodePlan>& nodes, const std::string& generator);

} // namespace aircraft
