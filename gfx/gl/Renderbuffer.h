#pragma once

// Owns one GL renderbuffer object; its owner binds and configures it with plain GL calls.

#include <GL/glew.h>

#include "gfx/gl/NoCreate.h"

namespace gfx {

class Renderbuffer {
public:
    Renderbuffer();
    explicit Renderbuffer(NoCreateT) noexcept {}
    ~Renderbuffer();

    Renderbuffer(const Renderbuffer&) = delete;
    Renderbuffer& operator=(const Renderbuffer&) = delete;
    Renderbuffer(Renderbuffer&& other) noexcept;
    Renderbuffer& operator=(Renderbuffer&& other) noexcept;

    GLuint id() const { return m_id; }

private:
    GLuint m_id = 0;
};

} // namespace gfx
