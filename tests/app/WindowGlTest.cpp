#include "app/Window.h"

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <imgui.h>

#include "console/Console.h"

namespace {

// Sets or removes an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(Window, OpensA43CoreContextWithTheFixedState)
{
    console::Capture capture;
    Window window(1280, 720, "Windhollow test");
    ASSERT_NE(window.sdl_window, nullptr);
    ASSERT_NE(window.gl_context, nullptr);
    EXPECT_EQ(window.width, 1280u);
    EXPECT_EQ(window.height, 720u);

    GLint major = 0, minor = 0, profile = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    EXPECT_GE(major * 10 + minor, 43);
    EXPECT_TRUE(profile & GL_CONTEXT_CORE_PROFILE_BIT) << "profile mask " << profile;

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_MULTISAMPLE));
    EXPECT_TRUE(glIsEnabled(GL_POLYGON_SMOOTH));
    GLint cull = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &cull);
    EXPECT_EQ(cull, GL_FRONT) << "front faces are culled";
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 1280);
    EXPECT_EQ(viewport[3], 720);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // ImGui is up with both backends.
    EXPECT_NE(ImGui::GetCurrentContext(), nullptr);
    EXPECT_NE(ImGui::GetIO().BackendPlatformName, nullptr);
    EXPECT_NE(ImGui::GetIO().BackendRendererName, nullptr);

    // No GL error line from the checked calls.
    EXPECT_EQ(capture.out().find("OpenGL error"), std::string::npos) << capture.out();
}

TEST(Window, AspectRatioAndResize)
{
    console::Capture capture;
    Window window(1280, 720, "Windhollow test");
    EXPECT_FLOAT_EQ(window.aspect_ratio(), 1.7777778f);

    window.resize(800, 600);
    EXPECT_EQ(window.width, 800u);
    EXPECT_EQ(window.height, 600u);
    EXPECT_FLOAT_EQ(window.aspect_ratio(), 800.0f / 600.0f);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);

    // A minimised window may report a height of 0: the ratio stays finite.
    window.resize(800, 0);
    EXPECT_TRUE(std::isfinite(window.aspect_ratio()));
    EXPECT_FLOAT_EQ(window.aspect_ratio(), 800.0f);
    window.resize(0, 0);
    EXPECT_FLOAT_EQ(window.aspect_ratio(), 0.0f);
}

TEST(Window, TornDownCompletelySoAnotherCanOpen)
{
    console::Capture capture;
    for (int i = 0; i < 3; ++i) {
        Window window(320 + i * 100, 200, "Windhollow test");
        EXPECT_NE(ImGui::GetCurrentContext(), nullptr);
    }
    EXPECT_EQ(ImGui::GetCurrentContext(), nullptr) << "the ImGui context is destroyed with the window";
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "SDL is shut down";
}

TEST(Window, NoDisplayFailsWithOneClearMessage)
{
    console::Capture capture;
    {
        ScopedEnv no_display("DISPLAY", nullptr);
        ScopedEnv no_wayland("WAYLAND_DISPLAY", nullptr);
        try {
            Window window(1280, 720, "Windhollow test");
            FAIL() << "a window opened without a display";
        } catch (const WindowError& error) {
            std::string message = error.what();
            EXPECT_EQ(message.rfind("Could not initialise SDL video", 0), 0u) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << "one line: " << message;
            EXPECT_GT(message.size(), std::string("Could not initialise SDL video (is there a display?): ").size())
                << "carries SDL's reason: " << message;
        }
        EXPECT_EQ(SDL_WasInit(0), 0u) << "nothing of SDL left running";
        EXPECT_EQ(ImGui::GetCurrentContext(), nullptr);
    }
}

} // namespace
