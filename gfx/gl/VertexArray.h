#pragma once

// Owns one GL vertex array object.

#include <GL/glew.h>

#include "gfx/gl/NoCreate.h"

namespace gfx {

class VertexArray {
public:
    // Generates the name (checked).
    VertexArray();
    // Holds no GL object; destroying it makes no GL call.
    explicit VertexArray(NoCreateT) noexcept {}
    ~VertexArray();

    VertexArray(const VertexArray&) = delete;
    VertexArray& operator=(const VertexArray&) = delete;
    VertexArray(VertexArray&& other) noexcept;
    VertexArray& operator=(VertexArray&& other) noexcept;

    void bind() const;
    static void unbind();

    GLuint id() const { return m_id; }

private:
    GLuint m_id = 0;
};

} // namespace gfx
