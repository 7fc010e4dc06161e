#include "gfx/gl/Buffer.h"

#include <utility>

#include "gfx/gl/GlCheck.h"

namespace gfx {

Buffer::Buffer()
{
    m_id = 0;
    GL_CHECK(glGenBuffers(1, &m_id));
}

Buffer::~Buffer() { destroy(); }

Buffer::Buffer(Buffer&& other) noexcept : target(other.target), m_id(std::exchange(other.m_id, 0)) {}

Buffer& Buffer::operator=(Buffer&& other) noexcept
{
    if (this != &other) {
        destroy();
        m_id = std::exchange(other.m_id, 0);
        target = other.target;
    }
    return *this;
}

void Buffer::destroy() noexcept
{
    if (m_id == 0)
        return;
    GL_CHECK(glDeleteBuffers(1, &m_id));
    m_id = 0;
}

void Buffer::bind() const { GL_CHECK(glBindBuffer(target, m_id)); }

void Buffer::upload(GLsizeiptr size, const void* data, GLenum usage) const
{
    GL_CHECK(glBufferData(target, size, data, usage));
}

} // namespace gfx
