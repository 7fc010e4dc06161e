#pragma once

// A hidden SDL window with an OpenGL 4.3 core context and GLEW loaded, for tests that need a
// real GL context (label "gl", run under xvfb-run). Header-only; link PkgConfig::SDL2 and
// PkgConfig::GLEW (wh_gfx brings GLEW).
//
//   class MyGlTest : public GlTest {};          // one context per process
//   TEST_F(MyGlTest, Something) { ... GL calls ... }
//
// Also: OffscreenTarget, an RGBA8 colour + 24-bit depth framebuffer to draw into and read
// back, so tests never depend on the hidden window's default framebuffer.

#include <cstdint>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

class GlTestContext {
public:
    GlTestContext()
    {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            m_error = std::string("SDL_Init failed: ") + SDL_GetError();
            return;
        }
        m_sdl_initialised = true;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        m_window = SDL_CreateWindow("gl test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64, 64,
                                    SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!m_window) {
            m_error = std::string("SDL_CreateWindow failed: ") + SDL_GetError();
            return;
        }
        m_context = SDL_GL_CreateContext(m_window);
        if (!m_context) {
            m_error = std::string("SDL_GL_CreateContext (4.3 core) failed: ") + SDL_GetError();
            return;
        }
        glewExperimental = GL_TRUE;
        const GLenum glew = glewInit();
        if (glew != GLEW_OK) {
            m_error = std::string("glewInit failed: ") + reinterpret_cast<const char*>(glewGetErrorString(glew));
            return;
        }
        // GLEW asks for extensions the core-profile way that raises GL_INVALID_ENUM on some
        // drivers; start every test with an empty error queue.
        drain_errors();
        m_ok = true;
    }

    ~GlTestContext()
    {
        if (m_context)
            SDL_GL_DeleteContext(m_context);
        if (m_window)
            SDL_DestroyWindow(m_window);
        if (m_sdl_initialised)
            SDL_Quit();
    }

    GlTestContext(const GlTestContext&) = delete;
    GlTestContext& operator=(const GlTestContext&) = delete;

    bool ok() const { return m_ok; }
    const std::string& error() const { return m_error; }
    SDL_Window* window() const { return m_window; }

    // Empties the GL error queue (bounded: a lost context can report errors forever).
    static void drain_errors()
    {
        for (int i = 0; i < 64 && glGetError() != GL_NO_ERROR; ++i) {
        }
    }

private:
    bool m_sdl_initialised = false;
    bool m_ok = false;
    std::string m_error;
    SDL_Window* m_window = nullptr;
    SDL_GLContext m_context = nullptr;
};

// Base fixture: one context for the whole process, made on first use and kept until exit
// (tearing the SDL video subsystem down and up again between suites is not reliable on every
// X server); every test starts with no queued error.
class GlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { context(); }

    void SetUp() override
    {
        ASSERT_TRUE(context().ok()) << context().error();
        GlTestContext::drain_errors();
    }

    static GlTestContext& context()
    {
        static GlTestContext instance;
        return instance;
    }
};

// An off-screen RGBA8 + depth render target of a given size; binds itself on construction.
class OffscreenTarget {
public:
    OffscreenTarget(int width, int height) : m_width(width), m_height(height)
    {
        glGenFramebuffers(1, &m_framebuffer);
        glGenRenderbuffers(2, m_renderbuffers);
        glBindRenderbuffer(GL_RENDERBUFFER, m_renderbuffers[0]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, m_renderbuffers[1]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_renderbuffers[0]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_renderbuffers[1]);
        m_complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glViewport(0, 0, width, height);
    }

    ~OffscreenTarget()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteRenderbuffers(2, m_renderbuffers);
        glDeleteFramebuffers(1, &m_framebuffer);
    }

    OffscreenTarget(const OffscreenTarget&) = delete;
    OffscreenTarget& operator=(const OffscreenTarget&) = delete;

    bool complete() const { return m_complete; }

    void clear(float r, float g, float b)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        glClearColor(r, g, b, 1.0f);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // RGBA bytes of one pixel; (0, 0) is the bottom-left corner.
    std::vector<uint8_t> pixel(int x, int y) const
    {
        std::vector<uint8_t> rgba(4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    int m_width;
    int m_height;
    bool m_complete = false;
    GLuint m_framebuffer = 0;
    GLuint m_renderbuffers[2] = {0, 0};
};
