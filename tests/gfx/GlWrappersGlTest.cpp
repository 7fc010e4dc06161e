// GL wrappers and the error check against a real driver.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/Image.h"
#include "gfx/gl/gl.h"
#include "tests/gfx/GlTestContext.h"

namespace {

class GlWrappersTest : public GlTest {};

// An image with a distinct value in every byte, so a skewed or shifted row shows.
gfx::Image patterned_image(int width, int height, int channels)
{
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels);
    auto* pixels = static_cast<unsigned char*>(std::malloc(size));
    for (size_t i = 0; i < size; ++i)
        pixels[i] = static_cast<unsigned char>((i * 7 + 3) % 251);
    return gfx::Image::from_pixels(pixels, width, height, channels);
}

std::vector<unsigned char> read_rgba(const gfx::Texture& texture, int level, int width, int height)
{
    std::vector<unsigned char> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    texture.bind();
    glPixelStorei(GL_PACK_ALIGNMENT, 4); // RGBA rows are always 4-byte aligned
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    gfx::Texture::unbind();
    return rgba;
}

GLint integer(GLenum name)
{
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

// Queues GL_INVALID_ENUM without any check seeing it.
void raise_invalid_enum() { glEnable(0xFFFF); }

TEST_F(GlWrappersTest, QueuedErrorIsReportedByTheNextCheckedCall)
{
    console::Capture capture;
    raise_invalid_enum();
    EXPECT_EQ(capture.out(), "") << "unchecked calls print nothing";
    const int line = __LINE__ + 1;
    GL_CHECK(glDisable(GL_BLEND));
    EXPECT_EQ(capture.out(),
              "OpenGL error 1280, at " + std::string(__FILE__) + ":" + std::to_string(line) + " - for glDisable(GL_BLEND)\n");
    capture.clear();
    GL_CHECK(glDisable(GL_BLEND));
    EXPECT_EQ(capture.out(), "") << "the code was consumed by the first check";
    EXPECT_EQ(capture.err(), "");
}

TEST_F(GlWrappersTest, TwoQueuedErrorsAreNeverReportedByOneCheck)
{
    console::Capture capture;
    raise_invalid_enum();
    glLineWidth(-1.0f); // GL_INVALID_VALUE
    GL_CHECK(glDisable(GL_BLEND));
    const std::string first = capture.out();
    EXPECT_NE(first.find("OpenGL error 1280, at "), std::string::npos) << first;
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1) << first;
    // Drivers may keep only the first code (Mesa does) or queue both; in either case every
    // further check reports at most one.
    for (int i = 0; i < 4; ++i) {
        capture.clear();
        GL_CHECK(glDisable(GL_BLEND));
        const std::string out = capture.out();
        EXPECT_LE(std::count(out.begin(), out.end(), '\n'), 1) << out;
        if (!out.empty()) {
            EXPECT_NE(out.find("OpenGL error 1281, at "), std::string::npos) << out;
        }
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlWrappersTest, WrappersCheckTheirCallsWithTheirOwnText)
{
    struct Case {
        const char* call_text;
        const char* file;
        std::function<void()> action;
    };
    const std::vector<Case> cases = {
        {"glGenBuffers(1, &m_id)", "gfx/gl/Buffer.cpp", [] { gfx::Buffer buffer; }},
        {"glGenVertexArrays(1, &m_id)", "gfx/gl/VertexArray.cpp", [] { gfx::VertexArray vertex_array; }},
    };
    for (const Case& c : cases) {
        console::Capture capture;
        raise_invalid_enum();
        c.action();
        const std::string out = capture.out();
        EXPECT_NE(out.find("OpenGL error 1280, at "), std::string::npos) << c.call_text << ": " << out;
        EXPECT_NE(out.find(c.file), std::string::npos) << c.call_text << ": " << out;
        EXPECT_NE(out.find(std::string(" - for ") + c.call_text + "\n"), std::string::npos) << out;
    }

    gfx::Buffer buffer;
    struct BufferCase {
        const char* call_text;
        std::function<void()> action;
    };
    const std::vector<BufferCase> buffer_cases = {
        {"glBindBuffer(target, m_id)", [&] { buffer.bind(); }},
        {"glBufferData(target, size, data, usage)", [&] { buffer.set_data(std::vector<float>{1.0f}, GL_STATIC_DRAW); }},
        {"glDeleteBuffers(1, &m_id)", [&] { gfx::Buffer doomed(std::move(buffer)); }},
    };
    for (const BufferCase& c : buffer_cases) {
        console::Capture capture;
        raise_invalid_enum();
        c.action();
        EXPECT_NE(capture.out().find(std::string(" - for ") + c.call_text + "\n"), std::string::npos)
            << c.call_text << ": " << capture.out();
    }
}

TEST_F(GlWrappersTest, BufferReportsItsOwnFailure)
{
    gfx::Buffer buffer;
    buffer.target = 0x1234; // not a buffer target
    console::Capture capture;
    buffer.bind();
    EXPECT_NE(capture.out().find("OpenGL error 1280, at "), std::string::npos) << capture.out();
    EXPECT_NE(capture.out().find(" - for glBindBuffer(target, m_id)\n"), std::string::npos) << capture.out();
}

TEST_F(GlWrappersTest, BufferUploadsTheVectorsBytes)
{
    gfx::VertexArray vertex_array;
    vertex_array.bind();
    gfx::Buffer buffer;
    buffer.bind();
    const std::vector<uint32_t> values = {7, 11, 13, 0xFFFFFFFFu, 42};
    buffer.set_data(values, GL_STATIC_DRAW);
    GLint size = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, static_cast<GLint>(values.size() * sizeof(uint32_t)));
    std::vector<uint32_t> read(values.size());
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, size, read.data());
    EXPECT_EQ(read, values);
    gfx::VertexArray::unbind();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlWrappersTest, RgbRowsOfAnyWidthUploadWithoutSkew)
{
    for (int width : {1, 3, 5, 7, 4, 13}) {
        const int height = 3;
        const gfx::Image image = patterned_image(width, height, 3);
        ASSERT_TRUE(image.valid());
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        const gfx::Texture texture(image);
        EXPECT_EQ(integer(GL_UNPACK_ALIGNMENT), 4) << "width " << width;
        EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0) << "width " << width;

        const std::vector<unsigned char> rgba = read_rgba(texture, 0, width, height);
        int mismatches = 0;
        for (int pixel = 0; pixel < width * height; ++pixel) {
            for (int component = 0; component < 3; ++component) {
                const unsigned char expected = image.data[pixel * 3 + component];
                const unsigned char actual = rgba[static_cast<size_t>(pixel * 4 + component)];
                if (expected != actual && mismatches++ < 3)
                    ADD_FAILURE() << "width " << width << ", pixel " << pixel << ", component " << component
                                  << ": expected " << int(expected) << ", actual " << int(actual);
            }
            EXPECT_EQ(rgba[static_cast<size_t>(pixel * 4 + 3)], 255) << "width " << width << ", pixel " << pixel;
        }
        EXPECT_EQ(mismatches, 0) << "width " << width;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlWrappersTest, ImageTextureIsMipmappedFilteredAndClamped)
{
    const gfx::Image image = patterned_image(10, 6, 3);
    const gfx::Texture texture(image);
    texture.bind();
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR_MIPMAP_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, GL_CLAMP_TO_EDGE);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, GL_CLAMP_TO_EDGE);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &value);
    EXPECT_EQ(value, GL_RGBA);
    // The mip chain exists down to 1×1: 10×6, 5×3, 2×1, 1×1.
    for (auto [level, width, height] : {std::tuple{1, 5, 3}, std::tuple{2, 2, 1}, std::tuple{3, 1, 1}}) {
        GLint w = 0, h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
        EXPECT_EQ(w, width) << "level " << level;
        EXPECT_EQ(h, height) << "level " << level;
    }
    gfx::Texture::unbind();
}

TEST_F(GlWrappersTest, ChannelCountPicksThePixelFormat)
{
    struct Case {
        int channels;
        // Which source component lands in R, G, B (-1: 0), and whether A comes from the data.
        int r, g, b;
        bool alpha_from_data;
    };
    const std::vector<Case> cases = {
        {1, 0, -1, -1, false},
        {2, 0, 1, -1, false},
        {3, 0, 1, 2, false},
        {4, 0, 1, 2, true},
    };
    for (const Case& c : cases) {
        const gfx::Image image = patterned_image(3, 2, c.channels);
        const gfx::Texture texture(image);
        const std::vector<unsigned char> rgba = read_rgba(texture, 0, 3, 2);
        for (int pixel = 0; pixel < 6; ++pixel) {
            const unsigned char* source = image.data + pixel * c.channels;
            const unsigned char* actual = rgba.data() + pixel * 4;
            const int component[3] = {c.r, c.g, c.b};
            for (int i = 0; i < 3; ++i) {
                const int expected = component[i] < 0 ? 0 : source[component[i]];
                EXPECT_EQ(int(actual[i]), expected) << c.channels << " channels, pixel " << pixel << ", component " << i;
            }
            EXPECT_EQ(int(actual[3]), c.alpha_from_data ? int(source[3]) : 255) << c.channels << " channels";
        }
    }
}

TEST_F(GlWrappersTest, FailedUploadDeletesItsNameAndRestoresState)
{
    gfx::Texture before;
    before.bind();
    gfx::Texture::unbind();
    gfx::Image image = patterned_image(2, 2, 3);
    image.channels = 7; // no pixel format for this
    EXPECT_THROW({ gfx::Texture texture(image); }, std::out_of_range);
    EXPECT_EQ(integer(GL_UNPACK_ALIGNMENT), 4);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0);
    // The name generated for the failed texture was bound, so it would still be a texture had
    // it leaked; names are handed out after the one generated before.
    for (GLuint name = before.id() + 1; name < before.id() + 8; ++name)
        EXPECT_FALSE(glIsTexture(name)) << "texture name " << name << " leaked";
    image.channels = 3;
}

TEST_F(GlWrappersTest, ImageWithoutDataGivesAnUninitialisedTexture)
{
    gfx::Image empty; // what a failed decode leaves: null data
    empty.width = 4;
    empty.height = 4;
    empty.channels = 3;
    const gfx::Texture texture(empty);
    EXPECT_NE(texture.id(), 0u);
    EXPECT_TRUE(glIsTexture(texture.id()));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlWrappersTest, TextureMovedIntoAContainerStaysAlive)
{
    const gfx::Image image = patterned_image(5, 2, 3);
    std::vector<gfx::Texture> cache;
    GLuint name = 0;
    {
        gfx::Texture texture(image);
        name = texture.id();
        ASSERT_TRUE(glIsTexture(name));
        cache.push_back(std::move(texture));
        EXPECT_EQ(texture.id(), 0u);
    } // the moved-from texture is destroyed here
    for (int i = 0; i < 20; ++i)
        cache.emplace_back(image); // reallocations move the texture again
    ASSERT_EQ(cache.front().id(), name);
    EXPECT_TRUE(glIsTexture(name));
    const std::vector<unsigned char> rgba = read_rgba(cache.front(), 0, 5, 2);
    EXPECT_EQ(rgba[0], image.data[0]);
    EXPECT_EQ(rgba[4 * 9 + 2], image.data[3 * 9 + 2]);

    cache.clear();
    EXPECT_FALSE(glIsTexture(name));
}

TEST_F(GlWrappersTest, MoveAssignmentReleasesTheObjectItReplaces)
{
    const gfx::Image image = patterned_image(2, 2, 3);
    gfx::Texture kept(image);
    gfx::Texture replaced(image);
    const GLuint kept_name = kept.id();
    const GLuint replaced_name = replaced.id();
    replaced = std::move(kept);
    EXPECT_EQ(replaced.id(), kept_name);
    EXPECT_FALSE(glIsTexture(replaced_name));
    EXPECT_TRUE(glIsTexture(kept_name));

    gfx::Framebuffer framebuffer;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.id());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    gfx::Renderbuffer renderbuffer;
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer.id());
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    const GLuint framebuffer_name = framebuffer.id();
    const GLuint renderbuffer_name = renderbuffer.id();
    EXPECT_TRUE(glIsFramebuffer(framebuffer_name));
    EXPECT_TRUE(glIsRenderbuffer(renderbuffer_name));
    framebuffer = gfx::Framebuffer(gfx::NoCreate);
    renderbuffer = gfx::Renderbuffer(gfx::NoCreate);
    EXPECT_FALSE(glIsFramebuffer(framebuffer_name));
    EXPECT_FALSE(glIsRenderbuffer(renderbuffer_name));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlWrappersTest, TextureBindsToTheGivenUnit)
{
    const gfx::Image image = patterned_image(2, 2, 3);
    const gfx::Texture texture(image);
    texture.bind(3);
    EXPECT_EQ(integer(GL_ACTIVE_TEXTURE), GL_TEXTURE0 + 3);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture.id()));
    gfx::Texture::unbind();
    glActiveTexture(GL_TEXTURE0);
}

} // namespace
