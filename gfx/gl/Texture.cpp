#include "gfx/gl/Texture.h"

#include <array>
#include <stdexcept>
#include <string>
#include <utility>

#include "gfx/Image.h"

namespace gfx {

GLenum pixel_format_for_channels(int channels)
{
    static constexpr std::array<GLenum, 5> formats{0, GL_RED, GL_RG, GL_RGB, GL_RGBA};
    if (channels < 0 || channels >= static_cast<int>(formats.size()))
        throw std::out_of_range("no pixel format for an image of " + std::to_string(channels) + " channels");
    return formats[static_cast<size_t>(channels)];
}

Texture::Texture()
{
    m_id = 0;
    glGenTextures(1, &m_id);
}

Texture::Texture(const Image& image)
{
    m_id = 0;
    glGenTextures(1, &m_id);
    try {
        bind();
        set_parameter(GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        set_parameter(GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        set_parameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        set_parameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        // RGB rows of a width that is not a multiple of 4 are not 4-byte aligned; with the
        // default alignment GL would read them skewed.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0,
                     pixel_format_for_channels(image.channels), GL_UNSIGNED_BYTE, image.data);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        generate_mipmap();
        unbind();
    } catch (...) {
        // Leave GL as every other upload expects it, and no orphaned name behind.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        unbind();
        glDeleteTextures(1, &m_id);
        m_id = 0;
        throw;
    }
}

Texture Texture::from_floats(const float* values, int width, int height)
{
    Texture texture;
    texture.bind();
    set_parameter(GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    set_parameter(GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    set_parameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    set_parameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, width, height, 0, GL_RED, GL_FLOAT, values);
    generate_mipmap();
    unbind();
    return texture;
}

Texture::~Texture()
{
    if (m_id != 0)
        glDeleteTextures(1, &m_id);
}

Texture::Texture(Texture&& other) noexcept : m_id(std::exchange(other.m_id, 0)) {}

Texture& Texture::operator=(Texture&& other) noexcept
{
    if (this != &other) {
        if (m_id != 0)
            glDeleteTextures(1, &m_id);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

void Texture::bind() const { glBindTexture(GL_TEXTURE_2D, m_id); }

void Texture::bind(GLuint unit) const
{
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, m_id);
}

void Texture::unbind() { glBindTexture(GL_TEXTURE_2D, 0); }

void Texture::set_parameter(GLenum name, GLint value) { glTexParameteri(GL_TEXTURE_2D, name, value); }

void Texture::generate_mipmap() { glGenerateMipmap(GL_TEXTURE_2D); }

} // namespace gfx
