#include "gfx/ShaderSet.h"

#include <string>

#include "console/Console.h"

namespace gfx {
namespace {

std::string source_path(const std::filesystem::path& dir, const char* name, const char* extension)
{
    return (dir / (std::string(name) + extension)).string();
}

} // namespace

// Members are built in declaration order: mesh, model, vector, depth, screen, gltf.
ShaderSet::ShaderSet(const std::filesystem::path& shader_dir)
    : m_mesh(source_path(shader_dir, "mesh", ".vert"), source_path(shader_dir, "mesh", ".frag")),
      m_model(source_path(shader_dir, "model", ".vert"), source_path(shader_dir, "model", ".frag")),
      m_vector(source_path(shader_dir, "vector", ".vert"), source_path(shader_dir, "vector", ".frag")),
      m_depth(source_path(shader_dir, "depth", ".vert"), source_path(shader_dir, "depth", ".frag")),
      m_screen(source_path(shader_dir, "screen", ".vert"), source_path(shader_dir, "screen", ".frag")),
      m_gltf(source_path(shader_dir, "gltf", ".vert"), source_path(shader_dir, "gltf", ".frag"))
{
    console::out("Shader Dir: " + console::quoted(shader_dir) + "\n");
}

bool ShaderSet::reload_all()
{
    // Every shader is reloaded even after a failure, so one key press rebuilds all that can be.
    bool all = true;
    for (Shader* shader : {&m_mesh, &m_model, &m_vector, &m_depth, &m_screen, &m_gltf})
        all = shader->reload() && all;
    if (all)
        console::out("Reloaded all shaders!\n");
    return all;
}

} // namespace gfx
