#pragma once

// Owns one GL framebuffer object; its owner binds and configures it with plain GL calls.

#include <GL/glew.h>

#include "gfx/gl/NoCreate.h"

namespace gfx {

class Framebuffer {
public:
    Framebuffer();
    explicit Framebuffer(NoCreateT) noexcept {}
    ~Framebuffer();

    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;
    Framebuffer(Framebuffer&& other) noexcept;
    Framebuffer& operator=(Framebuffer&& other) noexcept;

    GLuint id() const { return m_id; }

private:
    GLuint m_id = 0;
};

} // namespace gfx
