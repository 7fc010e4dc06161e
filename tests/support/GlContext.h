#pragma once

// A hidden SDL window with an OpenGL 4.3 core context and GLEW loaded, one per test program
// (made on first use and kept until exit: tearing SDL's video down and up again is not reliable
// on every X server); OffscreenTarget.h has the target to draw into and read back.
// Run under xvfb-run; link PkgConfig::SDL2 and wh_gfx.

#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include "tests/support/OffscreenTarget.h"

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

