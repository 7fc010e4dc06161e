// The GL wrappers against a real driver.

#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/Image.h"
#include "gfx/gl/gl.h"
#include "tests/support/GlContext.h"

namespace {

class GlWrappersTest : public GlTest {};

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

TEST_F(GlWrappersTest, CheckedCallsReportAQueuedErrorWithTheirOwnText)
{
    gfx::Buffer buffer;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"glGenBuffers(1, &m_id)", [] { gfx::Buffer other; }}, {"glGenVertexArrays(1, &m_id)", [] { gfx::VertexArray other; }},
        {"glBindBuffer(target, m_id)", [&] { buffer.bind(); }},
        {"glBufferData(target, size, data, usage)", [&] { buffer.set_data(std::vector<float>{1.0f}, GL_STATIC_DRAW); }},
        {"glDeleteBuffers(1, &m_id)", [&] { gfx::Buffer doomed(std::move(buffer)); }},
    };
    for (const auto& [text, action] : cases) {
        console::Capture capture;
        glEnable(0xFFFF); // GL_INVALID_ENUM from an unchecked call
        action();
        GL_CHECK(glDisable(GL_BLEND)); // the code was taken by the first check
        EXPECT_EQ(capture.out().rfind("OpenGL error 1280, at ", 0), 0u) << capture.out();
        EXPECT_TRUE(capture.out().ends_with(std::string(" - for ") + text + "\n")) << capture.out();
    }
    gfx::VertexArray vertex_array;
    vertex_array.bind();
    gfx::Buffer data;
    data.bind();
    const std::vector<uint32_t> values = {7, 11, 13, 0xFFFFFFFFu, 42};
    data.set_data(values, GL_STATIC_DRAW);
    std::vector<uint32_t> read(values.size());
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, 20, read.data());
    EXPECT_EQ(read, values);
    gfx::VertexArray::unbind();
}

TEST_F(GlWrappersTest, ImagesOfAnyWidthAndChannelCountUploadUnskewed)
{
    for (int channels = 1; channels <= 4; ++channels)
        for (int width : {1, 3, 5, 13}) {
            const gfx::Image image = patterned(width, 3, channels);
            const gfx::Texture texture(image);
            std::vector<unsigned char> rgba(width * 3 * 4);
            texture.bind();
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            int wrong = 0; // missing channels read 0, alpha 255
            for (int i = 0; i < width * 3 * 4; ++i)
                wrong += rgba[i] != (i % 4 < channels ? image.data[i / 4 * channels + i % 4] : i % 4 == 3 ? 255 : 0);
            EXPECT_EQ(wrong, 0) << channels << " channels, width " << width;
            gfx::Texture::unbind();
            EXPECT_EQ(integer(GL_UNPACK_ALIGNMENT), 4);
        }
    const GLuint before = gfx::Texture().id();
    gfx::Image image = patterned(2, 2, 3);
    image.channels = 7; // no pixel format for that: the upload fails, leaving no name behind
    EXPECT_THROW(gfx::Texture{image}, std::out_of_range);
    image.channels = 3;
    EXPECT_EQ(std::pair(integer(GL_UNPACK_ALIGNMENT), integer(GL_TEXTURE_BINDING_2D)), std::pair(4, 0));
    for (GLuint name = before; name < before + 8; ++name)
        EXPECT_FALSE(glIsTexture(name)) << "texture name " << name << " leaked";
}

TEST_F(GlWrappersTest, MovesKeepTheObjectAliveAndReleaseWhatTheyReplace)
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
    gfx::Renderbuffer renderbuffer;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.id());
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer.id());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const GLuint names[2] = {framebuffer.id(), renderbuffer.id()};
    framebuffer = gfx::Framebuffer(gfx::NoCreate);
    renderbuffer = gfx::Renderbuffer(gfx::NoCreate);
    EXPECT_FALSE(glIsFramebuffer(names[0]) || glIsRenderbuffer(names[1]));
    const gfx::Texture texture(image);
    texture.bind(3);
    EXPECT_EQ(std::pair(integer(GL_ACTIVE_TEXTURE), integer(GL_TEXTURE_BINDING_2D)), std::pair(GL_TEXTURE3, GLint(texture.id())));
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
