#pragma once

// Owns one GL 2D texture. Held by value: textures move in and out of the tile texture cache.

#include <GL/glew.h>

#include "gfx/gl/NoCreate.h"

namespace gfx {

class Image;

// GL pixel format for a channel count: 0 → 0, 1 → GL_RED, 2 → GL_RG, 3 → GL_RGB,
// 4 → GL_RGBA. Any other count throws std::out_of_range.
GLenum pixel_format_for_channels(int channels);

class Texture {
public:
    // Generates a name and nothing more (the shadow map's owner configures it itself).
    Texture();
    explicit Texture(NoCreateT) noexcept {}
    // Uploads the image as a mip-mapped RGBA texture with linear filtering and clamped edges;
    // the mip levels are built on the CPU (gfx/Mipmaps.h) and uploaded with it. Rows are read
    // tightly packed; the unpack alignment is back at GL's default of 4 afterwards. A null data
    // pointer is passed to GL unchanged (level 0 only). If a step throws, the generated name is
    // deleted before the exception leaves.
    explicit Texture(const Image& image);
    // The same for width × height single floats (GL_R32F): heights in metres, whose finest
    // steps 8-bit channels could not carry once filtered.
    static Texture from_floats(const float* values, int width, int height);
    // The same for width × height pairs of bytes (GL_RG8).
    static Texture from_rg8(const unsigned char* pairs, int width, int height);
    ~Texture();

    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
    Texture(Texture&& other) noexcept;
    Texture& operator=(Texture&& other) noexcept;

    void bind() const;
    // glActiveTexture(GL_TEXTURE0 + unit), then bind().
    void bind(GLuint unit) const;
    static void unbind();
    // glTexParameteri(GL_TEXTURE_2D, name, value) on the bound texture.
    static void set_parameter(GLenum name, GLint value);
    // glGenerateMipmap(GL_TEXTURE_2D) on the bound texture.
    static void generate_mipmap();

    GLuint id() const { return m_id; }

private:
    GLuint m_id = 0;
};

} // namespace gfx
