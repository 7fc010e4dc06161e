#include "gfx/ModelRenderer.h"

#include <algorithm>
#include <cstddef>

#include "gfx/Camera.h"
#include "gfx/ShaderSet.h"
#include "gfx/gl/GlCheck.h"

namespace gfx {
namespace {

// The unit the base colour texture is bound to (the shadow map has 3).
constexpr GLuint BASE_COLOR_UNIT = 0;

Texture upload(const ModelTexture& source)
{
    Texture texture;
    texture.bind(BASE_COLOR_UNIT);
    // RGBA rows are whole words: the default unpack alignment of 4 fits.
    GL_CHECK(glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, source.width, source.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, source.rgba.data()));
    Texture::generate_mipmap();
    Texture::set_parameter(GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    Texture::set_parameter(GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    Texture::set_parameter(GL_TEXTURE_WRAP_S, source.repeat_s ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    Texture::set_parameter(GL_TEXTURE_WRAP_T, source.repeat_t ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    return texture;
}

// The face culling state a model draw changes, put back as it was when the draw ends.
class CullStateKeeper {
public:
    CullStateKeeper()
    {
        glGetBooleanv(GL_CULL_FACE, &m_culling);
        glGetIntegerv(GL_CULL_FACE_MODE, &m_cull_face);
        glGetIntegerv(GL_FRONT_FACE, &m_front_face);
    }
    ~CullStateKeeper()
    {
        glCullFace(GLenum(m_cull_face));
        glFrontFace(GLenum(m_front_face));
        if (m_culling)
            glEnable(GL_CULL_FACE);
        else
            glDisable(GL_CULL_FACE);
    }
    CullStateKeeper(const CullStateKeeper&) = delete;
    CullStateKeeper& operator=(const CullStateKeeper&) = delete;

private:
    GLboolean m_culling = GL_FALSE;
    GLint m_cull_face = GL_BACK;
    GLint m_front_face = GL_CCW;
};

// Culling as the primitive's material asks, and the winding its matrix gives (a mirroring
// matrix turns it over).
void set_culling(bool double_sided, const glm::mat4& matrix)
{
    if (double_sided)
        glDisable(GL_CULL_FACE);
    else
        glEnable(GL_CULL_FACE);
    glFrontFace(glm::determinant(glm::mat3(matrix)) < 0.0f ? GL_CW : GL_CCW);
}

} // namespace

ModelRenderer::ModelRenderer(const Model& model)
    : m_materials(model.materials)
{
    for (const ModelTexture& texture : model.textures)
        m_textures.push_back(upload(texture));
    Texture::unbind();
    for (const ModelMesh& source : model.meshes) {
        Mesh mesh;
        for (const ModelPrimitive& primitive : source.primitives) {
            Primitive gpu;
            gpu.vertex_array = VertexArray();
            gpu.vertices = Buffer();
            gpu.indices = Buffer();
            gpu.indices.target = GL_ELEMENT_ARRAY_BUFFER;
            gpu.count = GLsizei(primitive.indices.size());
            gpu.material = primitive.material;
            gpu.vertex_array.bind();
            gpu.vertices.bind();
            gpu.vertices.set_data(primitive.vertices, GL_STATIC_DRAW);
            gpu.indices.bind(); // recorded in the vertex array
            gpu.indices.set_data(primitive.indices, GL_STATIC_DRAW);
            const GLsizei stride = sizeof(ModelVertex);
            glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offsetof(ModelVertex, position)));
            glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offsetof(ModelVertex, normal)));
            glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offsetof(ModelVertex, uv)));
            for (GLuint attribute = 0; attribute < 3; ++attribute)
                glEnableVertexAttribArray(attribute);
            mesh.primitives.push_back(std::move(gpu));
        }
        m_meshes.push_back(std::move(mesh));
    }
    VertexArray::unbind();
    for (const ModelNode& node : model.nodes)
        m_node_mesh.push_back(node.mesh);
}

ModelRenderer::~ModelRenderer() = default;
ModelRenderer::ModelRenderer(ModelRenderer&&) noexcept = default;
ModelRenderer& ModelRenderer::operator=(ModelRenderer&&) noexcept = default;

const ModelMaterial& ModelRenderer::material(int index) const
{
    return index >= 0 && size_t(index) < m_materials.size() ? m_materials[size_t(index)] : m_default_material;
}

template <typename Filter, typename Draw>
void ModelRenderer::for_each(const glm::mat4& model_matrix, const ModelPose& pose, Filter filter, Draw draw) const
{
    const size_t nodes = std::min(m_node_mesh.size(), pose.matrices.size());
    for (size_t node = 0; node < nodes; ++node) {
        const int mesh = m_node_mesh[node];
        if (mesh < 0 || (node < pose.visible.size() && !pose.visible[node]))
            continue;
        bool placed = false;
        glm::mat4 matrix;
        for (const Primitive& primitive : m_meshes[size_t(mesh)].primitives) {
            if (primitive.count == 0 || !filter(material(primitive.material)))
                continue;
            if (!placed) {
                matrix = model_matrix * pose.matrices[node];
                placed = true;
            }
            draw(primitive, matrix);
        }
    }
}

void ModelRenderer::draw(const ShaderSet& shaders, const Camera& camera, const SceneLighting& lighting,
                         const glm::mat4& model_matrix, const ModelPose& pose, ModelLayers layers) const
{
    const Shader& shader = shaders.gltf();
    shader.use();
    shader.set_mat4("u_view", camera.get_view());
    shader.set_mat4("u_proj", camera.get_projection());
    shader.set_vec3("u_sun_direction", lighting.sun_direction);
    shader.set_int("u_shadows_enabled", lighting.shadows ? 1 : 0);
    shader.set_mat4("u_light_space_matrix", lighting.light_space);

    const CullStateKeeper kept_culling;
    GLboolean depth_writes = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depth_writes);
    glCullFace(GL_BACK);

    const auto draw_one = [&](const Primitive& primitive, const glm::mat4& matrix) {
        const ModelMaterial& m = material(primitive.material);
        shader.set_mat4("u_model", matrix);
        shader.set_mat4("u_normal_matrix", glm::mat4(glm::transpose(glm::inverse(glm::mat3(matrix)))));
        shader.set_vec4("u_base_color", m.base_color);
        shader.set_float("u_alpha_cutoff", m.alpha_mode == AlphaMode::Mask ? m.alpha_cutoff : 0.0f);
        const bool textured = m.texture >= 0 && size_t(m.texture) < m_textures.size();
        shader.set_int("u_has_texture", textured ? 1 : 0);
        if (textured)
            m_textures[size_t(m.texture)].bind(BASE_COLOR_UNIT);
        set_culling(m.double_sided, matrix);
        primitive.vertex_array.bind();
        glDrawElements(GL_TRIANGLES, primitive.count, GL_UNSIGNED_INT, nullptr);
    };
    if (layers != ModelLayers::Translucent)
        for_each(model_matrix, pose, [](const ModelMaterial& m) { return m.alpha_mode != AlphaMode::Blend; }, draw_one);
    // Translucent surfaces over what lies behind them, leaving the depth buffer to the opaque.
    glDepthMask(GL_FALSE);
    if (layers != ModelLayers::Opaque)
        for_each(model_matrix, pose, [](const ModelMaterial& m) { return m.alpha_mode == AlphaMode::Blend; }, draw_one);

    glDepthMask(depth_writes);
    VertexArray::unbind();
    glActiveTexture(GL_TEXTURE0);
}

void ModelRenderer::draw_depth(const ShaderSet& shaders, const Camera& light_camera, const glm::mat4& model_matrix,
                               const ModelPose& pose) const
{
    const Shader& shader = shaders.depth();
    shader.use();
    shader.set_mat4("u_light_space_matrix", light_camera.get_view_projection());
    const CullStateKeeper kept_culling;
    glCullFace(GL_FRONT);
    for_each(model_matrix, pose, [](const ModelMaterial& m) { return m.alpha_mode != AlphaMode::Blend; },
             [&](const Primitive& primitive, const glm::mat4& matrix) {
                 set_culling(material(primitive.material).double_sided, matrix);
                 shader.set_mat4("u_model", matrix);
                 primitive.vertex_array.bind();
                 glDrawElements(GL_TRIANGLES, primitive.count, GL_UNSIGNED_INT, nullptr);
             });
    VertexArray::unbind();
}

size_t ModelRenderer::draw_calls(const ModelPose& pose) const
{
    size_t calls = 0;
    for_each(glm::mat4(1.0f), pose, [](const ModelMaterial&) { return true; }, [&](const Primitive&, const glm::mat4&) { ++calls; });
    return calls;
}

} // namespace gfx
