#pragma once

// An off-screen colour target (and depth, if asked) to draw into and read back, for the GL
// tests and benchmarks. Needs a current GL context.

#include <cstdint>
#include <vector>

#include <GL/glew.h>

#include "gfx/gl/Framebuffer.h"
#include "gfx/gl/Renderbuffer.h"

// Binds itself and sets the viewport to its size; pixel(0, 0) is the bottom-left corner.
class OffscreenTarget {
public:
    // Bound, cleared to black; with_depth adds a depth buffer, cleared too.
    OffscreenTarget(int width, int height, bool with_depth = false)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer.id());
        glBindRenderbuffer(GL_RENDERBUFFER, m_colour.id());
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colour.id());
        if (with_depth) {
            m_depth = gfx::Renderbuffer();
            glBindRenderbuffer(GL_RENDERBUFFER, m_depth.id());
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depth.id());
        }
        glViewport(0, 0, width, height);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | (with_depth ? GL_DEPTH_BUFFER_BIT : 0));
    }
    ~OffscreenTarget() { glBindFramebuffer(GL_FRAMEBUFFER, 0); }

    std::vector<uint8_t> pixel(int x, int y) const
    {
        std::vector<uint8_t> rgba(4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer.id());
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    GLuint id() const { return m_framebuffer.id(); }

private:
    gfx::Framebuffer m_framebuffer;
    gfx::Renderbuffer m_colour;
    gfx::Renderbuffer m_depth{gfx::NoCreate};
};

