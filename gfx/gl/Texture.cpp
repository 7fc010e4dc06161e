#include "gfx/gl/Texture.h"

#include <array>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "gfx/Image.h"
#include "gfx/Mipmaps.h"

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

namespace {

// Level 0 from pixels, then the CPU-built levels below it, with linear filtering between
// mip levels and clamped edges. Leaves texture unit's binding at 0 and the unpack alignment at 4.
template <typename T>
void upload_with_mip_chain(GLuint id, const T* pixels, int width, int height, int channels, GLint internal_format,
                           GLenum format, GLenum type)
{
    glBindTexture(GL_TEXTURE_2D, id);
    try {
        Texture::set_parameter(GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        Texture::set_parameter(GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        Texture::set_parameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        Texture::set_parameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        // RGB rows of a width that is not a multiple of 4 are not 4-byte aligned; with the
        // default alignment GL would read them skewed.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, internal_format, width, height, 0, format, type, pixels);
        const std::vector<MipLevel<T>> levels = build_mip_chain(pixels, width, height, channels);
        for (size_t i = 0; i < levels.size(); ++i)
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i + 1), internal_format, levels[i].width, levels[i].height,
                         0, format, type, levels[i].values.data());
        Texture::set_parameter(GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels.size()));
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glBindTexture(GL_TEXTURE_2D, 0);
    } catch (...) {
        // Leave GL as every other upload expects it.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glBindTexture(GL_TEXTURE_2D, 0);
        throw;
    }
}

} // namespace

Texture::Texture(const Image& image)
{
    m_id = 0;
    glGenTextures(1, &m_id);
    try {
        upload_with_mip_chain(m_id, image.data, image.width, image.height, image.channels, GL_RGBA,
                              pixel_format_for_channels(image.channels), GL_UNSIGNED_BYTE);
    } catch (...) {
        // No orphaned name behind.
        glDeleteTextures(1, &m_id);
        m_id = 0;
        throw;
    }
}

Texture Texture::from_floats(const float* values, int width, int height)
{
    Texture texture;
    upload_with_mip_chain(texture.m_id, values, width, height, 1, GL_R32F, GL_RED, GL_FLOAT);
    return texture;
}

Texture Texture::from_rg8(const unsigned char* pairs, int width, int height)
{
    Texture texture;
    upload_with_mip_chain(texture.m_id, pairs, width, height, 2, GL_RG8, GL_RG, GL_UNSIGNED_BYTE);
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
