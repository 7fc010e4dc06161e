#include "gfx/gl/VertexArray.h"

#include <utility>

#include "gfx/gl/GlCheck.h"

namespace gfx {

VertexArray::VertexArray()
{
    m_id = 0;
    GL_CHECK(glGenVertexArrays(1, &m_id));
}

VertexArray::~VertexArray()
{
    // An empty wrapper makes no call at all, so moved-from or NoCreate objects are safe to
    // destroy even where no context is current.
    if (m_id != 0)
        glDeleteVertexArrays(1, &m_id);
}

VertexArray::VertexArray(VertexArray&& other) noexcept : m_id(std::exchange(other.m_id, 0)) {}

VertexArray& VertexArray::operator=(VertexArray&& other) noexcept
{
    if (this != &other) {
        if (m_id != 0)
            glDeleteVertexArrays(1, &m_id);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

void VertexArray::bind() const { glBindVertexArray(m_id); }

void VertexArray::unbind() { glBindVertexArray(0); }

} // namespace gfx
