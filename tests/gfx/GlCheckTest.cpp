// The error check against a scripted error queue: one code read per check, the exact line,
// and nothing printed for GL_NO_ERROR. (The GL test runs it against a real driver.)

#include "gfx/gl/GlCheck.h"

#include <deque>
#include <string>

#include <GL/glew.h>
#include <gtest/gtest.h>

#include "console/Console.h"

namespace {

std::deque<unsigned int>& queue()
{
    static std::deque<unsigned int> codes;
    return codes;
}

unsigned int next_code()
{
    if (queue().empty())
        return GL_NO_ERROR;
    const unsigned int code = queue().front();
    queue().pop_front();
    return code;
}

class GlCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        queue().clear();
        gfx::set_gl_error_source(&next_code);
    }
    void TearDown() override { gfx::set_gl_error_source(nullptr); }
};

TEST_F(GlCheckTest, NoErrorPrintsNothing)
{
    console::Capture capture;
    gfx::gl_check("glEnable(GL_DEPTH_TEST)", "Window.cpp", 12);
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(capture.err(), "");
}

TEST_F(GlCheckTest, PrintsCodeLocationAndCallText)
{
    queue() = {GL_INVALID_ENUM};
    console::Capture capture;
    gfx::gl_check("glCullFace(GL_FRONT)", "app/Window.cpp", 57);
    EXPECT_EQ(capture.out(), "OpenGL error 1280, at app/Window.cpp:57 - for glCullFace(GL_FRONT)\n");
    EXPECT_EQ(capture.err(), "");
}

TEST_F(GlCheckTest, ReadsOneCodePerCheck)
{
    queue() = {GL_INVALID_ENUM, GL_INVALID_VALUE};
    console::Capture capture;
    gfx::gl_check("first", "a.cpp", 1);
    EXPECT_EQ(capture.out(), "OpenGL error 1280, at a.cpp:1 - for first\n");
    EXPECT_EQ(queue().size(), 1u) << "the second code must stay queued";
    gfx::gl_check("second", "b.cpp", 2);
    EXPECT_EQ(capture.out(),
              "OpenGL error 1280, at a.cpp:1 - for first\nOpenGL error 1281, at b.cpp:2 - for second\n");
    gfx::gl_check("third", "c.cpp", 3);
    EXPECT_EQ(capture.out(),
              "OpenGL error 1280, at a.cpp:1 - for first\nOpenGL error 1281, at b.cpp:2 - for second\n");
}

// Stands in for a GL call in the macro test: raises a code the way a failing call would.
void failing_call(int value) { queue().push_back(static_cast<unsigned int>(value)); }

TEST_F(GlCheckTest, MacroPassesTheCallsSourceTextAndLocation)
{
    console::Capture capture;
    const int line = __LINE__ + 1;
    GL_CHECK(failing_call(GL_OUT_OF_MEMORY));
    const std::string expected =
        "OpenGL error 1285, at " + std::string(__FILE__) + ":" + std::to_string(line) + " - for failing_call(GL_OUT_OF_MEMORY)\n";
    EXPECT_EQ(capture.out(), expected);
}

} // namespace
