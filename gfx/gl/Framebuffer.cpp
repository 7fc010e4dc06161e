#include "gfx/gl/Framebuffer.h"

#include <utility>

namespace gfx {

Framebuffer::Framebuffer()
{
    m_id = 0;
    glGenFramebuffers(1, &m_id);
}

Framebuffer::~Framebuffer()
{
    if (m_id != 0)
        glDeleteFramebuffers(1, &m_id);
}

Framebuffer::Framebuffer(Framebuffer&& other) noexcept : m_id(std::exchange(other.m_id, 0)) {}

Framebuffer& Framebuffer::operator=(Framebuffer&& other) noexcept
{
    if (this != &other) {
        if (m_id != 0)
            glDeleteFramebuffers(1, &m_id);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

} // namespace gfx
