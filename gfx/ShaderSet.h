#pragma once

// The six scene programs: mesh, model, vector, depth, screen, gltf, each built from
// <dir>/<name>.vert and <dir>/<name>.frag. The debug drawables draw with model, vector and
// depth; glTF models (gfx/ModelRenderer) with gltf, and depth for their shadows.

#include <filesystem>

#include "gfx/Shader.h"

namespace gfx {

class ShaderSet {
public:
    // Builds the six in the order mesh, model, vector, depth, screen, gltf, then prints
    // "Shader Dir: <dir>" (the directory quoted) to standard output.
    explicit ShaderSet(const std::filesystem::path& shader_dir);

    // Reloads all six in order without stopping at a failure. Prints "Reloaded all shaders!"
    // only when all six were rebuilt; returns whether they were.
    bool reload_all();

    Shader& mesh() { return m_mesh; }
    Shader& model() { return m_model; }
    Shader& vector() { return m_vector; }
    Shader& depth() { return m_depth; }
    Shader& screen() { return m_screen; }
    Shader& gltf() { return m_gltf; }
    const Shader& mesh() const { return m_mesh; }
    const Shader& model() const { return m_model; }
    const Shader& vector() const { return m_vector; }
    const Shader& depth() const { return m_depth; }
    const Shader& screen() const { return m_screen; }
    const Shader& gltf() const { return m_gltf; }

private:
    Shader m_mesh;
    Shader m_model;
    Shader m_vector;
    Shader m_depth;
    Shader m_screen;
    Shader m_gltf;
};

} // namespace gfx
