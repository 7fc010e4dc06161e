#include "gfx/Shader.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include <glm/gtc/type_ptr.hpp>

#include "console/Console.h"
#include "gfx/ShaderError.h"
#include "gfx/ShaderLog.h"
#include "gfx/ShaderSource.h"

namespace gfx {
namespace {

std::string shader_info_log(GLuint shader)
{
    GLint size = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &size);
    std::string log(static_cast<size_t>(std::max<GLint>(size, 1)), '\0');
    GLsizei length = 0;
    glGetShaderInfoLog(shader, static_cast<GLsizei>(log.size()), &length, log.data());
    log.resize(static_cast<size_t>(std::max<GLsizei>(length, 0)));
    return log;
}

std::string program_info_log(GLuint program)
{
    GLint size = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &size);
    std::string log(static_cast<size_t>(std::max<GLint>(size, 1)), '\0');
    GLsizei length = 0;
    glGetProgramInfoLog(program, static_cast<GLsizei>(log.size()), &length, log.data());
    log.resize(static_cast<size_t>(std::max<GLsizei>(length, 0)));
    return log;
}

// One stage's source, read and expanded; its failure is added to errors.
std::optional<ExpandedSource> load_stage(const std::string& path, std::vector<std::string>& errors)
{
    ExpandedSource source = expand_include_file(path, {}, include_dir_of(path));
    if (!source.text) {
        errors.push_back(source.error);
        return std::nullopt;
    }
    return source;
}

// Compiles one stage. Returns the shader object, or 0 after adding the compiler's log to
// errors, each entry naming the file and line it means (the source itself is not repeated:
// it is in the files).
GLuint compile_stage(GLenum stage, const ExpandedSource& source, const std::string& path, std::vector<std::string>& errors)
{
    const GLuint shader = glCreateShader(stage);
    const char* text = source.text->c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_TRUE)
        return shader;
    std::vector<std::string> described = describe_compile_log(shader_info_log(shader), source.lines, path);
    if (described.empty())
        described.push_back(console::quoted(std::string_view(path)) + ": does not compile (the compiler says no more)");
    for (std::string& line : described)
        errors.push_back("Error: " + std::move(line));
    glDeleteShader(shader);
    return 0;
}

// Links the given stages into a new program. Returns it, or 0 after adding the link log to
// errors, after a line naming the files. The stage objects are left to the caller.
GLuint link_program(std::initializer_list<GLuint> stages, const std::string& files, std::vector<std::string>& errors)
{
    const GLuint program = glCreateProgram();
    for (GLuint stage : stages)
        glAttachShader(program, stage);
    glLinkProgram(program);
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == GL_TRUE)
        return program;
    const std::string log = program_info_log(program);
    std::string first = log.substr(0, log.find('\n'));
    while (!first.empty() && (first.back() == '\r' || first.back() == ' '))
        first.pop_back();
    errors.push_back("Error: " + files + " do not link: " + (first.empty() ? "the linker says no more" : first));
    for (size_t begin = log.find('\n'); begin != std::string::npos && begin + 1 < log.size();) {
        const size_t end = log.find('\n', begin + 1);
        const std::string line = log.substr(begin + 1, end == std::string::npos ? std::string::npos : end - begin - 1);
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            errors.push_back("       " + line);
        begin = end;
    }
    glDeleteProgram(program);
    return 0;
}

void print_errors(const std::vector<std::string>& errors)
{
    for (const std::string& line : errors)
        console::err(line + "\n");
}

} // namespace

Shader::Shader(std::string vertex_path, std::string fragment_path)
    : m_vertex_path(std::move(vertex_path)), m_fragment_path(std::move(fragment_path))
{
    std::vector<std::string> errors;
    const GLuint program = build(errors);
    if (program == 0)
        throw ShaderError(first_build_failure(errors));
    replace_program(program);
}

Shader::Shader(std::string compute_path) : m_compute_path(std::move(compute_path))
{
    std::vector<std::string> errors;
    const GLuint program = build_compute(errors);
    if (program == 0)
        throw ShaderError(first_build_failure(errors));
    replace_program(program);
}

Shader::~Shader()
{
    if (m_id != 0)
        glDeleteProgram(m_id);
}

std::string Shader::first_build_failure(const std::vector<std::string>& errors)
{
    const std::string reason = errors.empty() ? std::string("no source file given") : errors.front();
    // "Error: " leads every reload line; the one line at start says what could not be built.
    return "Could not build a shader program: " + (reason.starts_with("Error: ") ? reason.substr(7) : reason);
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

GLuint Shader::build(std::vector<std::string>& errors) const
{
    if (m_vertex_path.empty() || m_fragment_path.empty())
        return 0;
    // Both are loaded before either is judged, so one build names every missing file.
    const std::optional<ExpandedSource> vertex_source = load_stage(m_vertex_path, errors);
    const std::optional<ExpandedSource> fragment_source = load_stage(m_fragment_path, errors);
    if (!vertex_source || !fragment_source)
        return 0;

    // Both stages are compiled even when the first fails, so one build reports every error.
    const GLuint vertex = compile_stage(GL_VERTEX_SHADER, *vertex_source, m_vertex_path, errors);
    const GLuint fragment = compile_stage(GL_FRAGMENT_SHADER, *fragment_source, m_fragment_path, errors);
    if (vertex == 0 || fragment == 0) {
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        return 0;
    }

    const GLuint program = link_program(
        {vertex, fragment}, console::quoted(std::string_view(m_vertex_path)) + " and " + console::quoted(std::string_view(m_fragment_path)), errors);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    return program;
}

GLuint Shader::build_compute(std::vector<std::string>& errors) const
{
    if (m_compute_path.empty())
        return 0;
    const std::optional<ExpandedSource> source = load_stage(m_compute_path, errors);
    if (!source)
        return 0;
    const GLuint compute = compile_stage(GL_COMPUTE_SHADER, *source, m_compute_path, errors);
    if (compute == 0)
        return 0;
    const GLuint program = link_program({compute}, console::quoted(std::string_view(m_compute_path)), errors);
    glDeleteShader(compute);
    return program;
}

bool Shader::reload()
{
    std::vector<std::string> errors;
    const GLuint program = build(errors);
    print_errors(errors);
    if (program == 0)
        return false;
    replace_program(program);
    return true;
}

bool Shader::reload_compute()
{
    std::vector<std::string> errors;
    const GLuint program = build_compute(errors);
    print_errors(errors);
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
