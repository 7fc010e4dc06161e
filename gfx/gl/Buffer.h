#pragma once

// Owns one GL buffer object. Creation, deletion, binding and uploads are checked.

#include <vector>

#include <GL/glew.h>

#include "gfx/gl/NoCreate.h"

namespace gfx {

class Buffer {
public:
    // Generates the name (checked). An index buffer's owner sets target to
    // GL_ELEMENT_ARRAY_BUFFER before the first bind.
    Buffer();
    explicit Buffer(NoCreateT) noexcept {}
    ~Buffer();

    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    Buffer(Buffer&& other) noexcept;
    Buffer& operator=(Buffer&& other) noexcept;

    // glBindBuffer(target, m_id), checked.
    void bind() const;

    // Uploads the vector's contents to the bound buffer: glBufferData(target, count × element
    // size, first element, usage), checked. The caller binds the buffer first (and, for a
    // vertex buffer, the vertex array that is to record it).
    template <typename T>
    void set_data(const std::vector<T>& elements, GLenum usage)
    {
        upload(static_cast<GLsizeiptr>(elements.size() * sizeof(T)), elements.data(), usage);
    }

    GLuint id() const { return m_id; }

    GLenum target = GL_ARRAY_BUFFER;

private:
    void upload(GLsizeiptr size, const void* data, GLenum usage) const;
    void destroy() noexcept;

    GLuint m_id = 0;
};

} // namespace gfx
