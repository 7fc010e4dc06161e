#pragma once

// A glTF 2.0 model on the CPU, as far as the program draws one: triangle meshes with normals,
// the metallic-roughness base colour (factor and texture), and the node hierarchy with names
// and local transforms. No GL: the tile workers' rule (decode off the render thread) holds for
// models too, and tests read models without a window.
//
// Loading never throws: a file that cannot be used gives an error value with the reason.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <glm/glm.hpp>

namespace gfx {

enum class AlphaMode { Opaque, Mask, Blend };

struct ModelMaterial {
    // Display (sRGB-encoded) colour and alpha: glTF's linear factor, encoded as the scene's
    // shaders expect their colours.
    glm::vec4 base_color{1.0f};
    int texture = -1; // index into Model::textures, multiplied into base_color; -1: none
    AlphaMode alpha_mode = AlphaMode::Opaque;
    float alpha_cutoff = 0.5f; // Mask only
    bool double_sided = false;
};

// Decoded RGBA, 8 bits a channel, rows from the top; repeat is whether the sampler wraps.
struct ModelTexture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
    bool repeat_s = true;
    bool repeat_t = true;
};

struct ModelVertex {
    glm::vec3 position{0.0f};
    glm::vec3 normal{0.0f, 1.0f, 0.0f};
    glm::vec2 uv{0.0f};
};

// All triangles of one mesh that share a material, as one indexed list.
struct ModelPrimitive {
    std::vector<ModelVertex> vertices;
    std::vector<uint32_t> indices; // three per triangle
    int material = -1;             // index into Model::materials; -1: glTF's default material
};

struct ModelMesh {
    std::string name;
    std::vector<ModelPrimitive> primitives; // one per material
};

struct ModelNode {
    std::string name;
    glm::mat4 local{1.0f}; // relative to the parent (TRS or matrix, as the file gives it)
    int mesh = -1;         // index into Model::meshes; -1: none
    int parent = -1;       // index into Model::nodes; -1: a root of the scene
};

struct Model {
    // The nodes of the scene shown (the file's default scene, else its first, else every root),
    // each after its parent, so one pass in order can compose world matrices.
    std::vector<ModelNode> nodes;
    std::vector<ModelMesh> meshes;
    std::vector<ModelMaterial> materials;
    std::vector<ModelTexture> textures;

    // The first node of that name, -1 when there is none.
    int find_node(std::string_view name) const;
    // Every node's matrix in the model's frame with the nodes' own local matrices.
    std::vector<glm::mat4> rest_matrices() const;
    size_t triangle_count() const;
    // Smallest and largest corner of the box around every drawn vertex at rest, model frame
    // (both 0 for a model without vertices).
    std::pair<glm::vec3, glm::vec3> bounds() const;
};

struct ModelLoad {
    std::optional<Model> model; // empty on failure
    std::string error;          // why, when empty: one line without its end
};

// Reads a .glb (binary) or .gltf (JSON, buffers and images beside it or embedded) file.
// Points and lines, sparse accessors and required extensions are refused; strips and fans are
// turned into triangle lists; missing normals are made flat, as glTF asks.
ModelLoad load_model(const std::filesystem::path& path);

} // namespace gfx
