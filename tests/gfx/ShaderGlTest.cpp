// Shader programs: builds, failed rebuilds that keep the last good program, their console
// output, uniforms, and the scene shader set on the shipped sources.

#include "gfx/Shader.h"

#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/ShaderSet.h"
#include "gfx/gl/VertexArray.h"
#include "tests/support/GlContext.h"
#include "tests/support/Support.h"

namespace {

namespace fs = std::filesystem;
using support::write_file;
using Rgba = std::vector<uint8_t>;

const char* const FULLSCREEN = "#version 430 core\nvoid main() { vec2 c = vec2(float((gl_VertexID << 1) & 2), "
                               "float(gl_VertexID & 2)); gl_Position = vec4(c * 2.0 - 1.0, 0.0, 1.0); }\n";

std::string solid(const std::string& color)
{
    return "#version 430 core\nout vec4 frag_color;\nvoid main() { frag_color = vec4(" + color + ", 1.0); }\n";
}

class ShaderTest : public GlTest {
protected:
    std::string path(const std::string& name) const { return (dir / name).string(); }

    // The centre pixel after the program has drawn a full-viewport triangle.
    static Rgba draw_with(const gfx::Shader& shader)
    {
        OffscreenTarget target(8, 8);
        target.clear(0.0f, 0.0f, 0.0f);
        glDisable(GL_DEPTH_TEST);
        gfx::VertexArray vertex_array;
        vertex_array.bind();
        shader.use();
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glUseProgram(0);
        return target.pixel(4, 4);
    }

    support::TempDir dir{"wh-shader"};
    console::Capture output;
};

TEST_F(ShaderTest, AFailedRebuildKeepsTheLastGoodProgramAndPrintsWhy)
{
    write_file(dir / "s.vert", FULLSCREEN);
    write_file(dir / "s.frag", solid("1.0, 0.0, 0.0"));
    gfx::Shader shader(path("s.vert"), path("s.frag"));
    EXPECT_EQ(draw_with(shader), (Rgba{255, 0, 0, 255})) << output.err();
    const GLuint first = shader.id();

    // A compile error: the expanded source, "Error:" and the compiler's log.
    const std::string broken = solid("0.0, 1.0, 0.0") + "this is not glsl\n";
    write_file(dir / "s.frag", broken);
    EXPECT_FALSE(shader.reload());
    EXPECT_EQ(output.err().rfind(broken + "\nError:\n", 0), 0u) << output.err();
    EXPECT_GT(output.err().size(), broken.size() + 8) << "the compiler's log";
    // A link error: the linker's log alone.
    write_file(dir / "s.frag", "#version 430 core\nin vec3 v_nowhere;\nout vec4 c;\nvoid main() { c = vec4(v_nowhere, 1.0); }\n");
    output.clear();
    EXPECT_FALSE(shader.reload());
    EXPECT_EQ(output.err().rfind("Error:\n", 0), 0u) << output.err();
    EXPECT_EQ(output.err().find("#version"), std::string::npos) << output.err();
    // Missing sources, both named, the vertex stage first.
    write_file(dir / "s.frag", "#version 430 core\n#include \"colour.glsl\"\nout vec4 c;\nvoid main() { c = vec4(C, 1.0); }\n");
    fs::rename(dir / "s.vert", dir / "v.vert");
    output.clear();
    EXPECT_FALSE(shader.reload());
    EXPECT_EQ(output.err(), "Error: couldn't load '" + path("s.vert") + "'\nError: couldn't load '" + path("colour.glsl") + "'\n");
    EXPECT_EQ(std::pair(shader.id(), draw_with(shader)), std::pair(first, Rgba{255, 0, 0, 255})) << "the old program keeps drawing";

    // Mended: the new program, its included file read afresh, replaces the old one.
    fs::rename(dir / "v.vert", dir / "s.vert");
    write_file(dir / "colour.glsl", "const vec3 C = vec3(0.0, 0.0, 1.0);\n");
    EXPECT_TRUE(shader.reload());
    EXPECT_EQ(std::pair(draw_with(shader), glIsProgram(first)), std::pair(Rgba{0, 0, 255, 255}, GLboolean(GL_FALSE)));
    output.clear();
    EXPECT_EQ(gfx::Shader(path("none.vert"), path("s.frag")).id(), 0u) << "a first build that fails";
    EXPECT_NE(output.err(), "");
    output.clear();
    gfx::Shader unnamed("", path("s.vert"));
    EXPECT_FALSE(unnamed.reload() || unnamed.reload_compute() || unnamed.id() != 0);
    EXPECT_EQ(output.err(), "") << "no path, no message";
}

TEST_F(ShaderTest, EveryUniformSetterReachesTheProgramInUse)
{
    write_file(dir / "u.vert", FULLSCREEN);
    write_file(dir / "u.frag", R"(#version 430 core
uniform mat4 u_m; uniform vec2 u_v2; uniform vec3 u_v3; uniform int u_i; uniform uint u_u; uniform float u_f;
out vec4 c;
void main() { c = u_i == -7 && u_u == 4000000000u ? vec4(u_m[2][1], u_v2.y, u_v3.z * u_f, 1.0) : vec4(1.0); }
)");
    gfx::Shader shader(path("u.vert"), path("u.frag"));
    shader.use();
    glm::mat4 m(1.0f);
    m[2][1] = 0.2f;
    shader.set_mat4("u_m", m);
    shader.set_vec2("u_v2", {0.1f, 0.6f});
    shader.set_vec3("u_v3", {0.1f, 0.2f, 0.8f});
    shader.set_int("u_i", -7);
    shader.set_uint("u_u", 4000000000u);
    shader.set_float("u_f", 0.5f);
    shader.set_float("u_not_there", 1.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(draw_with(shader), (Rgba{51, 153, 102, 255}));
}

// The shipped scene shaders, copied so they can be broken: all five build, and reload_all
// rebuilds every one it can, announcing only a complete rebuild.
TEST_F(ShaderTest, TheSceneShaderSetReloadsWhatItCan)
{
    const fs::path shipped = fs::path(WH_SOURCE_DIR) / "assets/shaders";
    fs::copy(shipped, dir.path(), fs::copy_options::recursive);
    gfx::ShaderSet shaders(dir.path());
    EXPECT_EQ(output.err(), "");
    EXPECT_EQ(output.out(), "Shader Dir: " + console::quoted(dir.path()) + "\n");
    const auto ids = [&] {
        return std::vector<GLuint>{shaders.mesh().id(), shaders.model().id(), shaders.vector().id(),
                                   shaders.depth().id(), shaders.screen().id()};
    };
    const std::vector<GLuint> before = ids();
    EXPECT_EQ(std::count(before.begin(), before.end(), 0u), 0) << "all five build";
    write_file(dir / "depth.frag", "#version 430 core\nvoid main() { broken }\n");
    output.clear();
    EXPECT_FALSE(shaders.reload_all());
    EXPECT_EQ(output.out(), "");
    const std::vector<GLuint> after = ids();
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(after[i] == before[i], i == 3) << "shader " << i << ": only depth keeps its old program";
    fs::copy_file(shipped / "depth.frag", dir / "depth.frag", fs::copy_options::overwrite_existing);
    output.clear();
    EXPECT_TRUE(shaders.reload_all());
    EXPECT_EQ(output.out(), "Reloaded all shaders!\n");
    EXPECT_EQ(output.err(), "");
}

} // namespace
