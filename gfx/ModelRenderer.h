#pragma once

// A glTF model on the GPU: per mesh one vertex array with its buffers for each material, per
// texture one GL texture, all owned here (move-only wrappers) and released with it. Draws a
// posed model lit by the scene's sun and shadowed by its shadow map, as the other scene
// drawables are, and into the shadow map from the sun.
//
// Render thread only; build it with the GL context current and destroy it before the context.

#include <vector>

#include <glm/glm.hpp>

#include "gfx/Model.h"
#include "gfx/ModelRig.h"
#include "gfx/gl/Buffer.h"
#include "gfx/gl/Texture.h"
#include "gfx/gl/VertexArray.h"

namespace gfx {

class Camera;
class ShaderSet;

// The sun and shadow inputs of the scene shaders (scene_lighting.glsl).
struct SceneLighting {
    glm::vec3 sun_direction{0.0f, 1.0f, 0.0f}; // towards the sun, unit
    bool shadows = false;                      // the shadow map is bound at texture unit 3
    glm::mat4 light_space{1.0f};               // world to the shadow map's clip space
};

// Which materials a draw takes: the opaque (and alpha-masked) ones may go before the terrain,
// so that its fragments hidden behind the aircraft are dropped by the depth test; the
// translucent ones must come after whatever shows through them.
enum class ModelLayers { All, Opaque, Translucent };

class ModelRenderer {
public:
    explicit ModelRenderer(const Model& model);
    ~ModelRenderer();

    ModelRenderer(const ModelRenderer&) = delete;
    ModelRenderer& operator=(const ModelRenderer&) = delete;
    ModelRenderer(ModelRenderer&&) noexcept;
    ModelRenderer& operator=(ModelRenderer&&) noexcept;

    // Every visible node of the pose with the gltf program, placed by model_matrix (model frame
    // to world) times the node's matrix, seen by camera: opaque and masked materials first, then
    // the blended ones without depth writes (as layers asks). Face culling follows each
    // material's double_sided. Leaves the program in use; restores culling (switch and face),
    // depth writes and the front face.
    void draw(const ShaderSet& shaders, const Camera& camera, const SceneLighting& lighting, const glm::mat4& model_matrix,
              const ModelPose& pose, ModelLayers layers = ModelLayers::All) const;
    // The same nodes' opaque and masked materials into the bound depth target with the depth
    // program, seen from light_camera: what casts a shadow. Blended materials cast none. Only
    // the faces turned away from the light are drawn (single-sided materials): half the work,
    // and a lit surface is never shadowed by itself.
    void draw_depth(const ShaderSet& shaders, const Camera& light_camera, const glm::mat4& model_matrix, const ModelPose& pose) const;

    // Draw calls one draw() makes for the pose (for benchmarks and tests).
    size_t draw_calls(const ModelPose& pose) const;

private:
    struct Primitive {
        VertexArray vertex_array{NoCreate};
        Buffer vertices{NoCreate};
        Buffer indices{NoCreate};
        GLsizei count = 0;
        int material = -1;
    };
    struct Mesh {
        std::vector<Primitive> primitives;
    };

    const ModelMaterial& material(int index) const;
    // Calls draw(primitive, node matrix) for every primitive of a visible node that passes.
    template <typename Filter, typename Draw>
    void for_each(const glm::mat4& model_matrix, const ModelPose& pose, Filter filter, Draw draw) const;

    std::vector<Mesh> m_meshes;
    std::vector<int> m_node_mesh;
    std::vector<ModelMaterial> m_materials;
    std::vector<Texture> m_textures;
    ModelMaterial m_default_material;
};

} // namespace gfx
