#pragma once

// A hidden SDL window with an OpenGL 4.3 core context and GLEW loaded, one per test program
// (made on first use and kept until exit: tearing SDL's video down and up again is not reliable
// on every X server), and an off-screen colour target to draw into and read back.
// Run under xvfb-run; link PkgConfig::SDL2 and wh_gfx.

#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include "gfx/gl/Framebuffer.h"
#include "gfx/gl/Renderbuffer.h"

class GlTest : public ::testing::Test {
protected:
    // Every test starts with a context and no queued error.
    void SetUp() override
    {
        static const bool ok = SDL_Init(SDL_INIT_VIDEO) == 0 &&
                               SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4) == 0 &&
                               SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3) == 0 &&
                               SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE) == 0 &&
                               SDL_GL_CreateContext(SDL_CreateWindow("gl test", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN)) &&
                               (glewExperimental = GL_TRUE, glewInit() == GLEW_OK);
        ASSERT_TRUE(ok) << "no GL 4.3 core context: " << SDL_GetError();
        while (glGetError() != GL_NO_ERROR) {
        }
    }
};

// Binds itself and sets the viewport to its size; pixel(0, 0) is the bottom-left corner.
class OffscreenTarget {
public:
    OffscreenTarget(int width, int height) // bound, cleared to black
    {
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer.id());
        glBindRenderbuffer(GL_RENDERBUFFER, m_colour.id());
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colour.id());
        glViewport(0, 0, width, height);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    ~OffscreenTarget() { glBindFramebuffer(GL_FRAMEBUFFER, 0); }

    std::vector<uint8_t> pixel(int x, int y) const
    {
        std::vector<uint8_t> rgba(4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer.id());
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

private:
    gfx::Framebuffer m_framebuffer;
    gfx::Renderbuffer m_colour;
};
