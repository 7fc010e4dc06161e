// Shader programs: building, failed rebuilds keeping the last good program, the exact
// failure output, uniforms, and the scene ShaderSet on the shipped shader sources.

#include "gfx/Shader.h"

#include <filesystem>
#include <string>
#include <vector>

#include <glm/gtc/type_ptr.hpp>
#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/ShaderSet.h"
#include "gfx/gl/VertexArray.h"
#include "tests/gfx/GlTestContext.h"
#include "tests/support/TempDir.h"

namespace {

using support::write_file;

const char* const FULLSCREEN_VERT = R"(#version 430 core
void main()
{
    vec2 corner = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";

std::string solid_frag(const std::string& color)
{
    return "#version 430 core\nout vec4 frag_color;\nvoid main()\n{\n    frag_color = vec4(" + color + ", 1.0);\n}\n";
}

const char* const SCENE_SHADERS[] = {"mesh", "model", "vector", "depth", "screen"};

class ShaderTest : public GlTest {
protected:
    std::string path(const std::string& name) const { return (dir / name).string(); }

    // Colour of the centre pixel after drawing a full-viewport triangle with the program.
    std::vector<uint8_t> draw_with(const gfx::Shader& shader)
    {
        OffscreenTarget target(8, 8);
        EXPECT_TRUE(target.complete());
        target.clear(0.0f, 0.0f, 0.0f);
        glDisable(GL_DEPTH_TEST);
        gfx::VertexArray vertex_array;
        vertex_array.bind();
        shader.use();
        glDrawArrays(GL_TRIANGLES, 0, 3);
        gfx::VertexArray::unbind();
        glUseProgram(0);
        return target.pixel(4, 4);
    }

    support::TempDir dir{"wh-shader-gl"};
};

const std::vector<uint8_t> RED = {255, 0, 0, 255};
const std::vector<uint8_t> GREEN = {0, 255, 0, 255};
const std::vector<uint8_t> BLUE = {0, 0, 255, 255};

TEST_F(ShaderTest, FailedRebuildKeepsTheLastGoodProgram)
{
    write_file(dir / "s.vert", FULLSCREEN_VERT);
    write_file(dir / "s.frag", solid_frag("1.0, 0.0, 0.0"));
    console::Capture capture;
    gfx::Shader shader(path("s.vert"), path("s.frag"));
    ASSERT_NE(shader.id(), 0u) << capture.err();
    EXPECT_EQ(capture.err(), "");
    EXPECT_EQ(shader.vertex_path(), path("s.vert"));
    EXPECT_EQ(shader.fragment_path(), path("s.frag"));
    EXPECT_EQ(shader.compute_path(), "");
    EXPECT_EQ(draw_with(shader), RED);
    const GLuint first = shader.id();

    // A syntax error: the whole expanded source, then "Error:" and the compiler's log.
    const std::string broken = solid_frag("0.0, 1.0, 0.0") + "this is not glsl\n";
    write_file(dir / "s.frag", broken);
    capture.clear();
    EXPECT_FALSE(shader.reload());
    const std::string err = capture.err();
    EXPECT_EQ(err.substr(0, broken.size() + 1 + 7), broken + "\nError:\n") << err;
    EXPECT_GT(err.size(), broken.size() + 8) << "the compiler's log is missing: " << err;
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(shader.id(), first);
    EXPECT_TRUE(glIsProgram(first));
    EXPECT_EQ(draw_with(shader), RED) << "the old program keeps drawing";

    // Fixed again: the new program replaces the old one, which is deleted.
    write_file(dir / "s.frag", solid_frag("0.0, 1.0, 0.0"));
    capture.clear();
    EXPECT_TRUE(shader.reload());
    EXPECT_EQ(capture.err(), "");
    EXPECT_NE(shader.id(), first);
    EXPECT_FALSE(glIsProgram(first));
    EXPECT_EQ(draw_with(shader), GREEN);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ShaderTest, MissingSourceReportsThePathAndKeepsTheProgram)
{
    write_file(dir / "s.vert", FULLSCREEN_VERT);
    write_file(dir / "s.frag", "#version 430 core\n#include \"color.glsl\"\nout vec4 frag_color;\n"
                               "void main() { frag_color = vec4(COLOR, 1.0); }\n");
    write_file(dir / "color.glsl", "const vec3 COLOR = vec3(0.0, 0.0, 1.0);\n");
    gfx::Shader shader(path("s.vert"), path("s.frag"));
    ASSERT_NE(shader.id(), 0u);
    EXPECT_EQ(draw_with(shader), BLUE);
    const GLuint first = shader.id();

    std::filesystem::remove(dir / "color.glsl");
    {
        console::Capture capture;
        EXPECT_FALSE(shader.reload());
        EXPECT_EQ(capture.err(), "Error: couldn't load '" + path("color.glsl") + "'\n");
        EXPECT_EQ(capture.out(), "");
    }
    // Both stages missing something: one reload names both, vertex first.
    std::filesystem::remove(dir / "s.vert");
    {
        console::Capture capture;
        EXPECT_FALSE(shader.reload());
        EXPECT_EQ(capture.err(), "Error: couldn't load '" + path("s.vert") + "'\nError: couldn't load '" +
                                     path("color.glsl") + "'\n");
    }
    EXPECT_EQ(shader.id(), first);
    EXPECT_EQ(draw_with(shader), BLUE);

    // The included file is read again on every reload.
    write_file(dir / "s.vert", FULLSCREEN_VERT);
    write_file(dir / "color.glsl", "const vec3 COLOR = vec3(1.0, 0.0, 0.0);\n");
    EXPECT_TRUE(shader.reload());
    EXPECT_EQ(draw_with(shader), RED);
}

TEST_F(ShaderTest, LinkErrorPrintsTheLogOnly)
{
    write_file(dir / "s.vert", FULLSCREEN_VERT);
    write_file(dir / "s.frag", solid_frag("1.0, 0.0, 0.0"));
    gfx::Shader shader(path("s.vert"), path("s.frag"));
    const GLuint first = shader.id();
    ASSERT_NE(first, 0u);

    // Compiles alone, but nothing writes the input it reads.
    write_file(dir / "s.frag", "#version 430 core\nin vec3 v_nowhere;\nout vec4 frag_color;\n"
                               "void main() { frag_color = vec4(v_nowhere, 1.0); }\n");
    console::Capture capture;
    EXPECT_FALSE(shader.reload());
    const std::string err = capture.err();
    EXPECT_EQ(err.substr(0, 7), "Error:\n") << err;
    EXPECT_GT(err.size(), 7u) << "the linker's log is missing";
    EXPECT_EQ(err.find("#version"), std::string::npos) << "no source on a link error: " << err;
    EXPECT_EQ(shader.id(), first);
}

TEST_F(ShaderTest, FirstBuildFailureLeavesNoProgram)
{
    write_file(dir / "s.vert", FULLSCREEN_VERT);
    write_file(dir / "bad.frag", "#version 430 core\nvoid main() { undefined_call(); }\n");
    console::Capture capture;
    gfx::Shader missing(path("none.vert"), path("none.frag"));
    EXPECT_EQ(missing.id(), 0u);
    gfx::Shader broken(path("s.vert"), path("bad.frag"));
    EXPECT_EQ(broken.id(), 0u);
    EXPECT_NE(capture.err().find("Error:\n"), std::string::npos);

    capture.clear();
    gfx::Shader empty("", path("s.vert"));
    EXPECT_EQ(empty.id(), 0u);
    EXPECT_FALSE(empty.reload());
    EXPECT_FALSE(empty.reload_compute());
    EXPECT_EQ(capture.err(), "") << "an empty path fails silently";
    EXPECT_EQ(capture.out(), "");
}

TEST_F(ShaderTest, ComputeProgramBuildsAndKeepsItsLastGoodVersion)
{
    const std::string good = "#version 430 core\nlayout(local_size_x = 1) in;\n"
                             "layout(std430, binding = 0) buffer Out { uint value; };\n"
                             "void main() { value = 1234u; }\n";
    write_file(dir / "c.comp", good);
    gfx::Shader shader(path("c.comp"));
    ASSERT_NE(shader.id(), 0u);
    EXPECT_EQ(shader.compute_path(), path("c.comp"));
    EXPECT_FALSE(shader.reload()) << "a compute shader has no vertex and fragment paths";

    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_SHADER_STORAGE_BUFFER, buffer);
    const GLuint zero = 0;
    glBufferData(GL_SHADER_STORAGE_BUFFER, sizeof(GLuint), &zero, GL_DYNAMIC_READ);
    glBindBufferBase(GL_SHADER_STORAGE_BUFFER, 0, buffer);
    shader.use();
    glDispatchCompute(1, 1, 1);
    glMemoryBarrier(GL_BUFFER_UPDATE_BARRIER_BIT);
    GLuint value = 0;
    glGetBufferSubData(GL_SHADER_STORAGE_BUFFER, 0, sizeof(GLuint), &value);
    EXPECT_EQ(value, 1234u);
    glDeleteBuffers(1, &buffer);
    glUseProgram(0);

    const GLuint first = shader.id();
    write_file(dir / "c.comp", good + "syntax error\n");
    console::Capture capture;
    EXPECT_FALSE(shader.reload_compute());
    EXPECT_NE(capture.err().find("Error:\n"), std::string::npos);
    EXPECT_EQ(shader.id(), first);
    write_file(dir / "c.comp", good);
    EXPECT_TRUE(shader.reload_compute());
    EXPECT_NE(shader.id(), first);
}

TEST_F(ShaderTest, UniformSettersReachTheProgramInUse)
{
    write_file(dir / "u.vert", R"(#version 430 core
uniform mat4 u_m;
uniform vec2 u_v2;
uniform vec3 u_v3;
uniform int u_i;
uniform uint u_u;
uniform float u_f;
out vec4 v_sum;
void main()
{
    v_sum = u_m[0] + vec4(u_v2, u_v3.x, 0.0) + vec4(u_v3.yz, float(u_i), float(u_u)) + vec4(u_f);
    gl_Position = vec4(0.0);
}
)");
    write_file(dir / "u.frag", "#version 430 core\nin vec4 v_sum;\nout vec4 c;\nvoid main() { c = v_sum; }\n");
    gfx::Shader shader(path("u.vert"), path("u.frag"));
    ASSERT_NE(shader.id(), 0u);
    shader.use();
    glm::mat4 m(1.0f);
    m[2][1] = 5.0f;
    shader.set_mat4("u_m", m);
    shader.set_vec2("u_v2", {1.5f, -2.5f});
    shader.set_vec3("u_v3", {3.0f, 4.0f, 5.0f});
    shader.set_int("u_i", -7);
    shader.set_uint("u_u", 4000000000u);
    shader.set_float("u_f", 0.25f);
    shader.set_float("u_not_there", 1.0f); // location -1: ignored without an error
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    auto location = [&](const char* name) { return glGetUniformLocation(shader.id(), name); };
    glm::mat4 read_m(0.0f);
    glGetUniformfv(shader.id(), location("u_m"), glm::value_ptr(read_m));
    EXPECT_EQ(read_m, m);
    glm::vec2 v2(0.0f);
    glGetUniformfv(shader.id(), location("u_v2"), glm::value_ptr(v2));
    EXPECT_EQ(v2, glm::vec2(1.5f, -2.5f));
    glm::vec3 v3(0.0f);
    glGetUniformfv(shader.id(), location("u_v3"), glm::value_ptr(v3));
    EXPECT_EQ(v3, glm::vec3(3.0f, 4.0f, 5.0f));
    GLint i = 0;
    glGetUniformiv(shader.id(), location("u_i"), &i);
    EXPECT_EQ(i, -7);
    GLuint u = 0;
    glGetUniformuiv(shader.id(), location("u_u"), &u);
    EXPECT_EQ(u, 4000000000u);
    GLfloat f = 0.0f;
    glGetUniformfv(shader.id(), location("u_f"), &f);
    EXPECT_EQ(f, 0.25f);
    glUseProgram(0);
}

// The shipped scene shaders, compiled by this driver exactly as the application loads them.
TEST_F(ShaderTest, ShippedSceneShadersBuild)
{
    const std::filesystem::path shader_dir = std::filesystem::path(WH_SOURCE_DIR) / "assets" / "shaders";
    console::Capture capture;
    gfx::ShaderSet shaders(shader_dir);
    EXPECT_EQ(capture.err(), "");
    EXPECT_EQ(capture.out(), "Shader Dir: " + console::quoted(shader_dir) + "\n");
    for (const gfx::Shader* shader : {&shaders.mesh(), &shaders.model(), &shaders.vector(), &shaders.depth(), &shaders.screen()})
        EXPECT_NE(shader->id(), 0u) << shader->vertex_path();
    EXPECT_EQ(shaders.model().vertex_path(), (shader_dir / "model.vert").string());
    EXPECT_EQ(shaders.model().fragment_path(), (shader_dir / "model.frag").string());

    capture.clear();
    EXPECT_TRUE(shaders.reload_all());
    EXPECT_EQ(capture.out(), "Reloaded all shaders!\n");
    EXPECT_EQ(capture.err(), "");
}

TEST_F(ShaderTest, ReloadAllAnnouncesOnlyACompleteRebuild)
{
    const std::filesystem::path source_dir = std::filesystem::path(WH_SOURCE_DIR) / "assets" / "shaders";
    for (const auto& entry : std::filesystem::directory_iterator(source_dir))
        std::filesystem::copy_file(entry.path(), dir / entry.path().filename());

    console::Capture capture;
    gfx::ShaderSet shaders(dir.path());
    ASSERT_EQ(capture.err(), "");
    auto ids = [&] {
        return std::vector<GLuint>{shaders.mesh().id(), shaders.model().id(), shaders.vector().id(),
                                   shaders.depth().id(), shaders.screen().id()};
    };
    const std::vector<GLuint> before = ids();

    // Break depth (fourth of five): the others are still rebuilt, depth keeps its program,
    // and no success line appears.
    write_file(dir / "depth.frag", "#version 430 core\nvoid main() { broken }\n");
    capture.clear();
    EXPECT_FALSE(shaders.reload_all());
    EXPECT_EQ(capture.out(), "");
    EXPECT_NE(capture.err().find("Error:\n"), std::string::npos);
    const std::vector<GLuint> after = ids();
    for (size_t i = 0; i < after.size(); ++i) {
        if (i == 3)
            EXPECT_EQ(after[i], before[i]) << SCENE_SHADERS[i] << " keeps its last good program";
        else
            EXPECT_NE(after[i], before[i]) << SCENE_SHADERS[i] << " was rebuilt despite the failure before/after it";
    }

    // A missing first shader fails the same way.
    std::filesystem::copy_file(source_dir / "depth.frag", dir / "depth.frag", std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(dir / "mesh.vert");
    capture.clear();
    EXPECT_FALSE(shaders.reload_all());
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(capture.err(), "Error: couldn't load '" + (dir / "mesh.vert").string() + "'\n");

    std::filesystem::copy_file(source_dir / "mesh.vert", dir / "mesh.vert");
    capture.clear();
    EXPECT_TRUE(shaders.reload_all());
    EXPECT_EQ(capture.out(), "Reloaded all shaders!\n");
}

} // namespace
