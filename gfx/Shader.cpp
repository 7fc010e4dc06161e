#include "gfx/Shader.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include <glm/gtc/type_ptr.hpp>

#include "console/Console.h"
#include "gfx/ShaderSource.h"

namespace gfx {
namespace {

constexpr GLsizei INFO_LOG_SIZE = 512;

std::string shader_info_log(GLuint shader)
{
    std::array<char, INFO_LOG_SIZE> log{};
    GLsizei length = 0;
    glGetShaderInfoLog(shader, INFO_LOG_SIZE, &length, log.data());
    return std::string(log.data(), static_cast<size_t>(std::max<GLsizei>(length, 0)));
}

std::string program_info_log(GLuint program)
{
    std::array<char, INFO_LOG_SIZE> log{};
    GLsizei length = 0;
    glGetProgramInfoLog(program, INFO_LOG_SIZE, &length, log.data());
    return std::string(log.data(), static_cast<size_t>(std::max<GLsizei>(length, 0)));
}

// Compiles one stage. Returns the shader object, or 0 after printing the expanded source and
// the compiler's log (the log's line numbers count lines of that expanded text).
GLuint compile_stage(GLenum stage, const std::string& source)
{
    const GLuint shader = glCreateShader(stage);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_TRUE)
        return shader;
    console::err(source + "\n");
    console::err("Error:\n" + shader_info_log(shader));
    glDeleteShader(shader);
    return 0;
}

// Links the given stages into a new program. Returns it, or 0 after printing the link log.
// The stage objects are left to the caller.
GLuint link_program(std::initializer_list<GLuint> stages)
{
    const GLuint program = glCreateProgram();
    for (GLuint stage : stages)
        glAttachShader(program, stage);
    glLinkProgram(program);
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == GL_TRUE)
        return program;
    console::err("Error:\n" + program_info_log(program));
    glDeleteProgram(program);
    return 0;
}

} // namespace

Shader::Shader(std::string vertex_path, std::string fragment_path)
    : m_vertex_path(std::move(vertex_path)), m_fragment_path(std::move(fragment_path))
{
    reload();
}

Shader::Shader(std::string compute_path) : m_compute_path(std::move(compute_path)) { reload_compute(); }

Shader::~Shader()
{
    if (m_id != 0)
        glDeleteProgram(m_id);
}

void Shader::use() const { glUseProgram(m_id); }

void Shader::replace_program(GLuint program)
{
    if (m_id != 0)
        glDeleteProgram(m_id);
    m_id = program;
    m_locations.clear();
}

GLint Shader::location(const std::string& name) const
{
    // A program that failed to build is no program to GL: asking it would be an error, and so
    // would setting a uniform with no program in use. The setters skip location -1.
    if (m_id == 0)
        return -1;
    auto found = m_locations.find(name);
    if (found == m_locations.end())
        found = m_locations.emplace(name, glGetUniformLocation(m_id, name.c_str())).first;
    return found->second;
}

bool Shader::reload()
{
    if (m_vertex_path.empty() || m_fragment_path.empty())
        return false;
    // Both are loaded before either is judged, so one reload names every missing file.
    const std::optional<std::string> vertex_source = load_source(m_vertex_path);
    const std::optional<std::string> fragment_source = load_source(m_fragment_path);
    if (!vertex_source || !fragment_source)
        return false;

    // Both stages are compiled even when the first fails, so one reload reports every error.
    const GLuint vertex = compile_stage(GL_VERTEX_SHADER, *vertex_source);
    const GLuint fragment = compile_stage(GL_FRAGMENT_SHADER, *fragment_source);
    if (vertex == 0 || fragment == 0) {
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        return false;
    }

    const GLuint program = link_program({vertex, fragment});
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    if (program == 0)
        return false;
    replace_program(program);
    return true;
}

bool Shader::reload_compute()
{
    if (m_compute_path.empty())
        return false;
    const std::optional<std::string> source = load_source(m_compute_path);
    if (!source)
        return false;
    const GLuint compute = compile_stage(GL_COMPUTE_SHADER, *source);
    if (compute == 0)
        return false;
    const GLuint program = link_program({compute});
    glDeleteShader(compute);
    if (program == 0)
        return false;
    replace_program(program);
    return true;
}

void Shader::set_mat4(const std::string& name, const glm::mat4& value) const
{
    if (const GLint at = location(name); at >= 0)
        glUniformMatrix4fv(at, 1, GL_FALSE, glm::value_ptr(value));
}

void Shader::set_vec2(const std::string& name, const glm::vec2& value) const
{
    if (const GLint at = location(name); at >= 0)
        glUniform2fv(at, 1, glm::value_ptr(value));
}

void Shader::set_vec3(const std::string& name, const glm::vec3& value) const
{
    if (const GLint at = location(name); at >= 0)
        glUniform3fv(at, 1, glm::value_ptr(value));
}

void Shader::set_vec4(const std::string& name, const glm::vec4& value) const
{
    if (const GLint at = location(name); at >= 0)
        glUniform4fv(at, 1, glm::value_ptr(value));
}

void Shader::set_int(const std::string& name, GLint value) const
{
    if (const GLint at = location(name); at >= 0)
        glUniform1i(at, value);
}

void Shader::set_uint(const std::string& name, GLuint value) const
{
    if (const GLint at = location(name); at >= 0)
        glUniform1ui(at, value);
}

void Shader::set_float(const std::string& name, GLfloat value) const
{
    if (const GLint at = location(name); at >= 0)
        glUniform1f(at, value);
}

} // namespace gfx
