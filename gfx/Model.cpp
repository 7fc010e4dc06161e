#include "gfx/Model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <fstream>
#include <map>
#include <utility>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <tiny_gltf.h>

#include "gfx/GltfAccessors.h"

namespace gfx {
namespace {

using gltf::read_indices;
using gltf::read_vec2;
using gltf::read_vec3;
using gltf::refuse;
using gltf::Refusal;

// The primitive's vertex indices as a triangle list.
std::vector<uint32_t> triangle_list(const std::vector<uint32_t>& strip, int mode, const std::string& what)
{
    std::vector<uint32_t> triangles;
    switch (mode) {
    case TINYGLTF_MODE_TRIANGLES:
        triangles.assign(strip.begin(), strip.begin() + std::ptrdiff_t(strip.size() / 3 * 3));
        break;
    case TINYGLTF_MODE_TRIANGLE_STRIP:
        // Every other triangle is flipped back so that all keep the strip's winding.
        for (size_t i = 0; i + 2 < strip.size(); ++i) {
            const bool odd = i % 2 == 1;
            triangles.insert(triangles.end(), {strip[odd ? i + 1 : i], strip[odd ? i : i + 1], strip[i + 2]});
        }
        break;
    case TINYGLTF_MODE_TRIANGLE_FAN:
        for (size_t i = 1; i + 1 < strip.size(); ++i)
            triangles.insert(triangles.end(), {strip[0], strip[i], strip[i + 1]});
        break;
    default: {
        const char* names[] = {"points", "lines", "line loops", "line strips"};
        refuse(what + " draws " + (mode >= 0 && mode <= 3 ? names[mode] : "in mode " + std::to_string(mode)) +
               ", which is not supported (triangles only)");
    }
    }
    return triangles;
}

// The triangles of one glTF primitive as vertices and indices of its own.
ModelPrimitive read_primitive(const tinygltf::Model& gltf, const tinygltf::Primitive& primitive, const std::string& what)
{
    const auto attribute = [&](const char* name) {
        const auto found = primitive.attributes.find(name);
        return found == primitive.attributes.end() ? -1 : found->second;
    };
    const int position_accessor = attribute("POSITION");
    if (position_accessor < 0)
        refuse(what + " has no POSITION");
    const std::vector<glm::vec3> positions = read_vec3(gltf, position_accessor, what + "'s POSITION");
    std::vector<glm::vec3> normals;
    if (const int normal = attribute("NORMAL"); normal >= 0)
        normals = read_vec3(gltf, normal, what + "'s NORMAL");
    std::vector<glm::vec2> uvs;
    if (const int uv = attribute("TEXCOORD_0"); uv >= 0)
        uvs = read_vec2(gltf, uv, what + "'s TEXCOORD_0");
    if ((!normals.empty() && normals.size() != positions.size()) || (!uvs.empty() && uvs.size() != positions.size()))
        refuse(what + "'s attributes differ in length");

    std::vector<uint32_t> order;
    if (primitive.indices >= 0) {
        order = read_indices(gltf, primitive.indices, what + "'s indices");
    } else {
        order.resize(positions.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = uint32_t(i);
    }
    const std::vector<uint32_t> triangles = triangle_list(order, primitive.mode, what);
    for (const uint32_t index : triangles)
        if (index >= positions.size())
            refuse(what + " has index " + std::to_string(index) + " beyond its " + std::to_string(positions.size()) + " vertices");

    ModelPrimitive result;
    result.material = primitive.material;
    const auto vertex = [&](uint32_t i) {
        ModelVertex v;
        v.position = positions[i];
        if (!uvs.empty())
            v.uv = uvs[i];
        return v;
    };
    if (!normals.empty()) {
        result.vertices.reserve(positions.size());
        for (uint32_t i = 0; i < positions.size(); ++i) {
            ModelVertex v = vertex(i);
            const float length = glm::length(normals[i]);
            v.normal = length > 0.0f && std::isfinite(length) ? normals[i] / length : glm::vec3(0.0f, 1.0f, 0.0f);
            result.vertices.push_back(v);
        }
        result.indices = triangles;
        return result;
    }
    // No normals: each triangle gets its own three vertices with the face's normal.
    result.vertices.reserve(triangles.size());
    result.indices.reserve(triangles.size());
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        ModelVertex corners[3] = {vertex(triangles[t]), vertex(triangles[t + 1]), vertex(triangles[t + 2])};
        const glm::vec3 n = glm::cross(corners[1].position - corners[0].position, corners[2].position - corners[0].position);
        const float length = glm::length(n);
        const glm::vec3 normal = length > 0.0f && std::isfinite(length) ? n / length : glm::vec3(0.0f, 1.0f, 0.0f);
        for (ModelVertex& corner : corners) {
            corner.normal = normal;
            result.indices.push_back(uint32_t(result.vertices.size()));
            result.vertices.push_back(corner);
        }
    }
    return result;
}

// The mesh's primitives merged by material (in order of first use), so a node costs one draw
// per material.
ModelMesh read_mesh(const tinygltf::Model& gltf, size_t index)
{
    const tinygltf::Mesh& mesh = gltf.meshes[index];
    ModelMesh result;
    result.name = mesh.name;
    for (size_t p = 0; p < mesh.primitives.size(); ++p) {
        const tinygltf::Primitive& source = mesh.primitives[p];
        if (source.material >= int(gltf.materials.size()))
            refuse("mesh " + std::to_string(index) + " names material " + std::to_string(source.material) + ", which does not exist");
        ModelPrimitive primitive =
            read_primitive(gltf, source, "mesh " + std::to_string(index) + " primitive " + std::to_string(p));
        auto same = std::find_if(result.primitives.begin(), result.primitives.end(),
                                 [&](const ModelPrimitive& merged) { return merged.material == primitive.material; });
        if (same == result.primitives.end()) {
            result.primitives.push_back(std::move(primitive));
            continue;
        }
        const uint32_t base = uint32_t(same->vertices.size());
        same->vertices.insert(same->vertices.end(), primitive.vertices.begin(), primitive.vertices.end());
        for (const uint32_t i : primitive.indices)
            same->indices.push_back(base + i);
    }
    return result;
}

float srgb_from_linear(double linear)
{
    const double c = std::clamp(linear, 0.0, 1.0);
    return float(c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055);
}

ModelTexture read_texture(const tinygltf::Model& gltf, int index)
{
    if (index < 0 || size_t(index) >= gltf.textures.size())
        refuse("texture " + std::to_string(index) + " does not exist");
    const tinygltf::Texture& texture = gltf.textures[size_t(index)];
    if (texture.source < 0 || size_t(texture.source) >= gltf.images.size())
        refuse("texture " + std::to_string(index) + " has no image");
    const tinygltf::Image& image = gltf.images[size_t(texture.source)];
    const std::string name = "image " + std::to_string(texture.source);
    const int bytes = image.bits == 16 ? 2 : 1;
    if (image.width <= 0 || image.height <= 0 || image.component < 1 || image.component > 4 ||
        (image.bits != 8 && image.bits != 16) ||
        image.image.size() < size_t(image.width) * size_t(image.height) * size_t(image.component) * size_t(bytes))
        refuse(name + " could not be decoded");
    ModelTexture result;
    result.width = image.width;
    result.height = image.height;
    const size_t pixels = size_t(image.width) * size_t(image.height);
    result.rgba.resize(pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        unsigned char channel[4] = {0, 0, 0, 255};
        for (int c = 0; c < image.component; ++c) {
            // 16-bit channels keep their high byte (stored little-endian).
            const size_t at = (i * size_t(image.component) + size_t(c)) * size_t(bytes);
            channel[c] = image.image[at + size_t(bytes - 1)];
        }
        if (image.component <= 2) { // grey, grey + alpha
            channel[3] = image.component == 2 ? channel[1] : 255;
            channel[1] = channel[2] = channel[0];
        }
        std::memcpy(&result.rgba[i * 4], channel, 4);
    }
    if (texture.sampler >= 0 && size_t(texture.sampler) < gltf.samplers.size()) {
        const tinygltf::Sampler& sampler = gltf.samplers[size_t(texture.sampler)];
        result.repeat_s = sampler.wrapS != TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE;
        result.repeat_t = sampler.wrapT != TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE;
    }
    return result;
}

ModelMaterial read_material(const tinygltf::Material& material, std::vector<ModelTexture>& textures,
                            std::map<int, int>& texture_slots, const tinygltf::Model& gltf)
{
    ModelMaterial result;
    const std::vector<double>& factor = material.pbrMetallicRoughness.baseColorFactor;
    if (factor.size() == 4)
        result.base_color = {srgb_from_linear(factor[0]), srgb_from_linear(factor[1]), srgb_from_linear(factor[2]),
                             float(std::clamp(factor[3], 0.0, 1.0))};
    const tinygltf::TextureInfo& info = material.pbrMetallicRoughness.baseColorTexture;
    // Only the first texture coordinate set is read; a texture on another set is left out.
    if (info.index >= 0 && info.texCoord == 0) {
        auto [slot, added] = texture_slots.try_emplace(info.index, int(textures.size()));
        if (added)
            textures.push_back(read_texture(gltf, info.index));
        result.texture = slot->second;
    }
    result.alpha_mode = material.alphaMode == "BLEND" ? AlphaMode::Blend
                        : material.alphaMode == "MASK" ? AlphaMode::Mask
                                                       : AlphaMode::Opaque;
    result.alpha_cutoff = float(material.alphaCutoff);
    result.double_sided = material.doubleSided;
    return result;
}

glm::mat4 local_matrix(const tinygltf::Node& node)
{
    if (node.matrix.size() == 16) {
        glm::dmat4 m;
        std::copy(node.matrix.begin(), node.matrix.end(), glm::value_ptr(m)); // both column-major
        return glm::mat4(m);
    }
    glm::dmat4 m(1.0);
    if (node.translation.size() == 3)
        m = glm::translate(m, glm::dvec3(node.translation[0], node.translation[1], node.translation[2]));
    if (node.rotation.size() == 4) // glTF stores x, y, z, w
        m *= glm::mat4_cast(glm::normalize(glm::dquat(node.rotation[3], node.rotation[0], node.rotation[1], node.rotation[2])));
    if (node.scale.size() == 3)
        m = glm::scale(m, glm::dvec3(node.scale[0], node.scale[1], node.scale[2]));
    return glm::mat4(m);
}

Model convert(const tinygltf::Model& gltf)
{
    if (!gltf.extensionsRequired.empty())
        refuse("it requires the extension " + gltf.extensionsRequired.front() + ", which is not supported");
    Model model;
    std::map<int, int> texture_slots;
    for (const tinygltf::Material& material : gltf.materials)
        model.materials.push_back(read_material(material, model.textures, texture_slots, gltf));
    for (size_t m = 0; m < gltf.meshes.size(); ++m)
        model.meshes.push_back(read_mesh(gltf, m));

    // The roots: the scene's, or every node nobody names as a child.
    std::vector<int> roots;
    const int scene = gltf.defaultScene >= 0 && size_t(gltf.defaultScene) < gltf.scenes.size() ? gltf.defaultScene
                      : gltf.scenes.empty()                                                      ? -1
                                                                                                 : 0;
    if (scene >= 0) {
        roots = gltf.scenes[size_t(scene)].nodes;
    } else {
        std::vector<bool> child(gltf.nodes.size(), false);
        for (const tinygltf::Node& node : gltf.nodes)
            for (const int c : node.children)
                if (c >= 0 && size_t(c) < child.size())
                    child[size_t(c)] = true;
        for (size_t n = 0; n < gltf.nodes.size(); ++n)
            if (!child[n])
                roots.push_back(int(n));
    }
    // Depth first, each node after its parent; a node reached twice (a cycle or a second
    // parent) makes the hierarchy no tree.
    std::vector<bool> seen(gltf.nodes.size(), false);
    std::vector<std::pair<int, int>> pending; // (node in the file, parent in the model)
    for (auto root = roots.rbegin(); root != roots.rend(); ++root)
        pending.emplace_back(*root, -1);
    while (!pending.empty()) {
        const auto [index, parent] = pending.back();
        pending.pop_back();
        if (index < 0 || size_t(index) >= gltf.nodes.size())
            refuse("node " + std::to_string(index) + " does not exist");
        if (seen[size_t(index)])
            refuse("node " + std::to_string(index) + " appears twice in the hierarchy");
        seen[size_t(index)] = true;
        const tinygltf::Node& source = gltf.nodes[size_t(index)];
        if (source.mesh >= int(gltf.meshes.size()))
            refuse("node " + std::to_string(index) + " names mesh " + std::to_string(source.mesh) + ", which does not exist");
        ModelNode node;
        node.name = source.name;
        node.local = local_matrix(source);
        node.mesh = source.mesh;
        node.parent = parent;
        const int self = int(model.nodes.size());
        model.nodes.push_back(std::move(node));
        for (auto child = source.children.rbegin(); child != source.children.rend(); ++child)
            pending.emplace_back(*child, self);
    }
    return model;
}

} // namespace

int Model::find_node(std::string_view name) const
{
    for (size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].name == name)
            return int(i);
    return -1;
}

std::vector<glm::mat4> Model::rest_matrices() const
{
    std::vector<glm::mat4> matrices(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i)
        matrices[i] = nodes[i].parent >= 0 ? matrices[size_t(nodes[i].parent)] * nodes[i].local : nodes[i].local;
    return matrices;
}

size_t Model::triangle_count() const
{
    size_t count = 0;
    for (const ModelNode& node : nodes)
        if (node.mesh >= 0)
            for (const ModelPrimitive& primitive : meshes[size_t(node.mesh)].primitives)
                count += primitive.indices.size() / 3;
    return count;
}

std::pair<glm::vec3, glm::vec3> Model::bounds() const
{
    const std::vector<glm::mat4> matrices = rest_matrices();
    glm::vec3 low(INFINITY), high(-INFINITY);
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].mesh < 0)
            continue;
        for (const ModelPrimitive& primitive : meshes[size_t(nodes[i].mesh)].primitives) {
            for (const ModelVertex& vertex : primitive.vertices) {
                const glm::vec3 p = glm::vec3(matrices[i] * glm::vec4(vertex.position, 1.0f));
                low = glm::min(low, p);
                high = glm::max(high, p);
            }
        }
    }
    if (low.x > high.x)
        return {glm::vec3(0.0f), glm::vec3(0.0f)};
    return {low, high};
}

ModelLoad load_model(const std::filesystem::path& path)
{
    ModelLoad result;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        result.error = std::filesystem::exists(path, error) ? "not a file" : "no such file";
        return result;
    }
    std::ifstream file(path, std::ios::binary);
    char magic[4] = {};
    if (!file.read(magic, 4)) {
        result.error = file.is_open() ? "not a glTF file (too short)" : "could not be opened";
        return result;
    }
    file.close();
    const bool binary = std::memcmp(magic, "glTF", 4) == 0;
    try {
        tinygltf::TinyGLTF reader;
        tinygltf::Model gltf;
        std::string message, warning;
        const bool loaded = binary ? reader.LoadBinaryFromFile(&gltf, &message, &warning, path.string())
                                   : reader.LoadASCIIFromFile(&gltf, &message, &warning, path.string());
        if (!loaded) {
            // The library's messages end in line breaks and may span several lines.
            std::replace(message.begin(), message.end(), '\n', ' ');
            while (!message.empty() && message.back() == ' ')
                message.pop_back();
            result.error = (binary ? "not a usable glTF binary: " : "not a glTF file: ") + message;
            return result;
        }
        result.model = convert(gltf);
    } catch (const Refusal& refusal) {
        result.error = refusal.reason;
    } catch (const std::exception& exception) {
        // The library is not written to throw, but what it calls may (allocation, JSON).
        result.error = std::string("could not be read: ") + exception.what();
    }
    return result;
}

} // namespace gfx
