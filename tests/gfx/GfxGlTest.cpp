// The GL wrappers, shader programs and the cuboid against a real driver.

#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/Image.h"
#include "gfx/Shader.h"
#include "gfx/ShaderSet.h"
#include "gfx/gl/gl.h"
#include "tests/support/GlContext.h"
#include "tests/support/Support.h"

namespace {

namespace fs = std::filesystem;
using support::write_file;
using Rgba = std::vector<uint8_t>;

template <typename T>
constexpr bool move_only = !std::is_copy_constructible_v<T> && !std::is_copy_assignable_v<T> &&
                           std::is_nothrow_move_constructible_v<T> && std::is_nothrow_move_assignable_v<T>;
static_assert(move_only<gfx::VertexArray> && move_only<gfx::Buffer> && move_only<gfx::Texture> && move_only<gfx::Framebuffer> &&
              move_only<gfx::Renderbuffer>);

// Every byte different from its neighbours, so a skewed or shifted row shows.
gfx::Image patterned(int width, int height, int channels)
{
    auto* pixels = static_cast<unsigned char*>(std::malloc(size_t(width) * height * channels));
    for (int i = 0; i < width * height * channels; ++i)
        pixels[i] = static_cast<unsigned char>((i * 7 + 3) % 251);
    return gfx::Image::from_pixels(pixels, width, height, channels);
}

GLint integer(GLenum name)
{
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

// A checked call reports the error queued before it (the first check takes the code) with its
// own text.
TEST_F(GlTest, CheckedCallsReportAQueuedErrorWithTheirOwnText)
{
    gfx::Buffer buffer;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"glGenVertexArrays(1, &m_id)", [] { gfx::VertexArray other; }}, {"glBindBuffer(target, m_id)", [&] { buffer.bind(); }},
        {"glBufferData(target, size, data, usage)", [&] { buffer.set_data(std::vector<float>{1.0f}, GL_STATIC_DRAW); }},
        {"glDeleteBuffers(1, &m_id)", [&] { gfx::Buffer doomed(std::move(buffer)); }},
    };
    for (const auto& [text, action] : cases) {
        console::Capture capture;
        glEnable(0xFFFF); // GL_INVALID_ENUM from an unchecked call
        action();
        GL_CHECK(glDisable(GL_BLEND));
        EXPECT_TRUE(capture.out().starts_with("OpenGL error 1280, at ") && capture.out().ends_with(std::string(" - for ") + text + "\n"))
            << capture.out();
    }
}

// RGB rows of an odd width are read tightly packed (the unpack alignment put back), heights as
// floats.
TEST_F(GlTest, ImagesAndHeightsUploadUnskewed)
{
    const gfx::Image image = patterned(5, 3, 3);
    const gfx::Texture texture(image);
    texture.bind();
    std::vector<unsigned char> rgba(5 * 3 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    int wrong = 0;
    for (int i = 0; i < 5 * 3 * 4; ++i)
        wrong += rgba[i] != (i % 4 < 3 ? image.data[i / 4 * 3 + i % 4] : 255);
    EXPECT_EQ(std::pair(wrong, integer(GL_UNPACK_ALIGNMENT)), std::pair(0, 4));
    const std::vector<float> heights = {-10.5f, 0.0f, 3000.25f, 8848.0f, 1.0f, 2.0f}; // 3 x 2 metres
    const gfx::Texture floats = gfx::Texture::from_floats(heights.data(), 3, 2);
    floats.bind();
    std::vector<float> read(6);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_FLOAT, read.data());
    EXPECT_EQ(read, heights);
}

TEST_F(GlTest, MovesKeepTheObjectAliveAndReleaseWhatTheyReplace)
{
    const gfx::Image image = patterned(5, 2, 3);
    std::vector<gfx::Texture> cache;
    cache.emplace_back(image);
    const GLuint name = cache.front().id();
    for (int i = 0; i < 20; ++i)
        cache.emplace_back(image); // reallocations move the first texture again and again
    ASSERT_EQ(cache.front().id(), name);
    gfx::Texture replaced(image);
    const GLuint replaced_name = replaced.id();
    replaced = std::move(cache.front());
    cache.clear();
    EXPECT_EQ(std::pair(glIsTexture(replaced_name), glIsTexture(name)), std::pair(GLboolean(GL_FALSE), GLboolean(GL_TRUE)));
    replaced = gfx::Texture(gfx::NoCreate);
    EXPECT_FALSE(glIsTexture(name));
    gfx::Framebuffer framebuffer;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.id());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const GLuint framebuffer_name = framebuffer.id();
    framebuffer = gfx::Framebuffer(gfx::NoCreate);
    EXPECT_FALSE(glIsFramebuffer(framebuffer_name));
    const gfx::Texture texture(image);
    texture.bind(3);
    EXPECT_EQ(std::pair(integer(GL_ACTIVE_TEXTURE), integer(GL_TEXTURE_BINDING_2D)), std::pair(GL_TEXTURE3, GLint(texture.id())));
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

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

    // A compile error, here in an included file: every line of the compiler's log names the
    // file and its own line; the source is not repeated.
    write_file(dir / "colour.glsl", "const vec3 C = vec3(0.0, 1.0, 0.0);\nthis is not glsl\n");
    write_file(dir / "s.frag", "#version 430 core\n#include \"colour.glsl\"\nout vec4 c;\nvoid main() { c = vec4(C, 1.0); }\n");
    EXPECT_FALSE(shader.reload());
    const std::string included = "Error: " + console::quoted(dir / "colour.glsl") + " line 2: ";
    EXPECT_TRUE(output.err().starts_with(included)) << output.err();
    EXPECT_EQ(output.err().find("const vec3 C"), std::string::npos) << "no source dumped:\n" << output.err();
    EXPECT_EQ(output.err().find("void main"), std::string::npos) << output.err();
    write_file(dir / "s.frag", "#version 430 core\nin vec3 v_nowhere;\nout vec4 c;\nvoid main() { c = vec4(v_nowhere, 1.0); }\n");
    output.clear(); // a link error: both files named, then the linker's log
    EXPECT_FALSE(shader.reload());
    EXPECT_TRUE(output.err().starts_with("Error: " + console::quoted(dir / "s.vert") + " and " + console::quoted(dir / "s.frag") +
                                         " do not link: ") && shader.id() == first) << output.err();
    // Missing sources, both named, the vertex stage first.
    write_file(dir / "s.frag", "#version 430 core\n#include \"colour.glsl\"\nout vec4 c;\nvoid main() { c = vec4(C, 1.0); }\n");
    fs::remove(dir / "colour.glsl");
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
}

// A first build has no program to keep: it fails with one line naming the file and the reason,
// and prints nothing else.
TEST_F(ShaderTest, AFirstBuildThatFailsThrowsOneLineNamingTheFile)
{
    write_file(dir / "s.vert", FULLSCREEN);
    write_file(dir / "broken.frag", "#version 430 core\nout vec4 c;\nvoid main() { c = undeclared; }\n");
    const std::pair<std::string, std::string> cases[] = {
        {"none.frag", "Could not build a shader program: couldn't load '" + path("none.frag") + "'"},
        {"broken.frag", "Could not build a shader program: " + console::quoted(dir / "broken.frag") + " line 3: "},
    };
    for (const auto& [fragment, message] : cases) {
        output.clear();
        try {
            const gfx::Shader failed(path("s.vert"), path(fragment));
            ADD_FAILURE() << fragment << " built";
        } catch (const gfx::ShaderError& e) {
            const std::string what = e.what();
            EXPECT_TRUE(what.starts_with(message) && what.find('\n') == std::string::npos) << what;
        }
        EXPECT_EQ(output.err(), "") << fragment;
    }
}

// The shipped scene shaders, copied so they can be broken: all six build, and reload_all
// rebuilds every one it can, announcing only a complete rebuild.
TEST_F(ShaderTest, TheSceneShaderSetReloadsWhatItCan)
{
    const fs::path shipped = fs::path(WH_SOURCE_DIR) / "assets/shaders";
    fs::copy(shipped, dir.path(), fs::copy_options::recursive);
    gfx::ShaderSet shaders(dir.path());
    EXPECT_EQ(output.err(), "");
    EXPECT_EQ(output.out(), "Shader Dir: " + console::quoted(dir.path()) + "\n");
    const GLuint mesh = shaders.mesh().id(), depth = shaders.depth().id(), screen = shaders.screen().id();
    EXPECT_TRUE(mesh != 0 && shaders.model().id() != 0 && shaders.vector().id() != 0 && depth != 0 && screen != 0 &&
                shaders.gltf().id() != 0);
    write_file(dir / "depth.frag", "#version 430 core\nvoid main() { broken }\n");
    output.clear();
    EXPECT_FALSE(shaders.reload_all());
    EXPECT_EQ(std::tuple(shaders.mesh().id() != mesh, shaders.depth().id(), shaders.screen().id() != screen), std::tuple(true, depth, true))
        << "the others are rebuilt after the one that failed";
    fs::copy_file(shipped / "depth.frag", dir / "depth.frag", fs::copy_options::overwrite_existing);
    EXPECT_TRUE(shaders.reload_all());
    EXPECT_EQ(output.out(), "Reloaded all shaders!\n") << "announced once all rebuilt";
}

} // namespace
