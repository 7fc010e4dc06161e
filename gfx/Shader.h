#pragma once

// One linked GL program built from source files on disk. It keeps the paths so that it can be
// rebuilt while the program runs; a failed rebuild keeps the last good program on screen.
// Build errors name the file and line they mean (see ShaderLog.h); the source is not printed.
// Uniforms are set by name on the program in use (the caller calls use() first); each name's
// location is asked of GL once per built program, not at every call.

#include <string>
#include <unordered_map>
#include <vector>

#include <GL/glew.h>
#include <glm/glm.hpp>

#include "gfx/ShaderError.h"

namespace gfx {

class Shader {
public:
    // Builds a vertex/fragment program. The first build has no working program to fall back
    // on: when it fails it prints nothing and throws ShaderError (gfx/ShaderError.h), one
    // line naming the file and the reason ("Could not build a shader program: …").
    Shader(std::string vertex_path, std::string fragment_path);
    // Builds a compute program from one source; fails as above.
    explicit Shader(std::string compute_path);
    ~Shader();

    // Built once and rebuilt in place: neither copied nor moved.
    Shader(const Shader&) = delete;
    Shader& operator=(const Shader&) = delete;
    Shader(Shader&&) = delete;
    Shader& operator=(Shader&&) = delete;

    void use() const;

    // Rebuilds from the stored vertex and fragment paths; true when the new program replaced
    // the old one. On failure the old program stays and every error is printed to standard
    // error, a line each ("Error: couldn't load '<path>'", "Error: "<file>" line 12: …").
    bool reload();
    // Rebuilds a compute program from the stored compute path; true when it replaced the old.
    bool reload_compute();

    void set_mat4(const std::string& name, const glm::mat4& value) const;
    void set_vec2(const std::string& name, const glm::vec2& value) const;
    void set_vec3(const std::string& name, const glm::vec3& value) const;
    void set_vec4(const std::string& name, const glm::vec4& value) const;
    void set_int(const std::string& name, GLint value) const;
    void set_uint(const std::string& name, GLuint value) const;
    void set_float(const std::string& name, GLfloat value) const;

    GLuint id() const { return m_id; }
    const std::string& vertex_path() const { return m_vertex_path; }
    const std::string& fragment_path() const { return m_fragment_path; }
    const std::string& compute_path() const { return m_compute_path; }

    // The uniform's location in the current program (-1 when it has none).
    GLint location(const std::string& name) const;

private:
    void replace_program(GLuint program);
    // A new program from the stored paths, or 0 with the lines that say why added to errors.
    GLuint build(std::vector<std::string>& errors) const;
    GLuint build_compute(std::vector<std::string>& errors) const;
    static std::string first_build_failure(const std::vector<std::string>& errors);

    // Per program: cleared whenever the program is replaced.
    mutable std::unordered_map<std::string, GLint> m_locations;

    GLuint m_id = 0;
    std::string m_vertex_path;
    std::string m_fragment_path;
    std::string m_compute_path;
};

} // namespace gfx
