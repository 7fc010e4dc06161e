#include "tools/aircraft/GltfWriter.h"

#include <cmath>
#include <cstring>
#include <sstream>

#include <tiny_gltf.h>

#include "tools/aircraft/GltfBuffers.h"

namespace aircraft {
namespace {

double linear_from_srgb(float srgb)
{
    const double c = srgb;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

tinygltf::Primitive primitive_of(tinygltf::Model& gltf, int material, const Surface& surface)
{
    std::vector<float> positions, normals;
    glm::vec3 low(INFINITY), high(-INFINITY);
    for (const Vertex& v : surface.vertices) {
        positions.insert(positions.end(), {v.position.x, v.position.y, v.position.z});
        normals.insert(normals.end(), {v.normal.x, v.normal.y, v.normal.z});
        low = glm::min(low, v.position);
        high = glm::max(high, v.position);
    }
    tinygltf::Primitive primitive;
    primitive.mode = TINYGLTF_MODE_TRIANGLES;
    primitive.material = material;
    const size_t count = surface.vertices.size();
    primitive.attributes["POSITION"] =
        append(gltf, positions, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, count, TINYGLTF_TARGET_ARRAY_BUFFER);
    // glTF asks for the bounds of every position accessor.
    gltf.accessors.back().minValues = {low.x, low.y, low.z};
    gltf.accessors.back().maxValues = {high.x, high.y, high.z};
    primitive.attributes["NORMAL"] =
        append(gltf, normals, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, count, TINYGLTF_TARGET_ARRAY_BUFFER);
    if (count <= 65536) {
        const std::vector<uint16_t> indices(surface.indices.begin(), surface.indices.end());
        primitive.indices = append(gltf, indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_SCALAR, indices.size(),
                                   TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    } else {
        primitive.indices = append(gltf, surface.indices, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR,
                                   surface.indices.size(), TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    }
    return primitive;
}

} // namespace

std::string write_glb(const std::vector<MaterialLook>& materials, const std::vector<NodePlan>& nodes, const std::string& generator)
{
    tinygltf::Model gltf;
    gltf.asset.version = "2.0";
    gltf.asset.generator = generator;
    gltf.buffers.resize(1);
    for (const MaterialLook& look : materials) {
        tinygltf::Material material;
        material.name = look.name;
        material.pbrMetallicRoughness.baseColorFactor = {linear_from_srgb(look.color.r), linear_from_srgb(look.color.g),
                                                         linear_from_srgb(look.color.b), look.color.a};
        material.pbrMetallicRoughness.metallicFactor = 0.0;
        material.pbrMetallicRoughness.roughnessFactor = 0.7;
        material.alphaMode = look.blend ? "BLEND" : "OPAQUE";
        material.doubleSided = look.double_sided;
        gltf.materials.push_back(material);
    }
    tinygltf::Scene scene;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const NodePlan& plan = nodes[i];
        tinygltf::Node node;
        node.name = plan.name;
        if (plan.translation != glm::vec3(0.0f))
            node.translation = {plan.translation.x, plan.translation.y, plan.translation.z};
        if (plan.rotation != glm::quat(1.0f, 0.0f, 0.0f, 0.0f))
            node.rotation = {plan.rotation.x, plan.rotation.y, plan.rotation.z, plan.rotation.w};
        if (plan.mesh && !plan.mesh->surfaces().empty()) {
            tinygltf::Mesh mesh;
            mesh.name = plan.name;
            for (const auto& [material, surface] : plan.mesh->surfaces())
                mesh.primitives.push_back(primitive_of(gltf, material, surface));
            gltf.meshes.push_back(mesh);
            node.mesh = int(gltf.meshes.size() - 1);
        }
        gltf.nodes.push_back(node);
        if (plan.parent < 0)
            scene.nodes.push_back(int(i));
        else
            gltf.nodes[size_t(plan.parent)].children.push_back(int(i));
    }
    gltf.scenes.push_back(scene);
    gltf.defaultScene = 0;

    std::ostringstream stream;
    tinygltf::TinyGLTF writer;
    writer.WriteGltfSceneToStream(&gltf, stream, false, true);
    return stream.str();
}

} // namespace aircraft
