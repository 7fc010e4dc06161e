#include "gfx/gl/Renderbuffer.h"

#include <utility>

namespace gfx {

Renderbuffer::Renderbuffer()
{
    m_id = 0;
    glGenRenderbuffers(1, &m_id);
}

Renderbuffer::~Renderbuffer()
{
    if (m_id != 0)
        glDeleteRenderbuffers(1, &m_id);
}

Renderbuffer::Renderbuffer(Renderbuffer&& other) noexcept : m_id(std::exchange(other.m_id, 0)) {}

Renderbuffer& Renderbuffer::operator=(Renderbuffer&& other) noexcept
{
    if (this != &other) {
        if (m_id != 0)
            glDeleteRenderbuffers(1, &m_id);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

} // namespace gfx
