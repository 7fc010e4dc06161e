// The GL error check against a scripted error queue (drivers differ in how many codes they
// queue), and the GL wrappers' empty state, which works without any context.

#include "gfx/gl/GlCheck.h"

#include <deque>
#include <type_traits>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/gl/gl.h"

namespace {

template <typename T>
constexpr bool move_only = !std::is_copy_constructible_v<T> && !std::is_copy_assignable_v<T> &&
                           std::is_nothrow_move_constructible_v<T> && std::is_nothrow_move_assignable_v<T>;
static_assert(move_only<gfx::VertexArray> && move_only<gfx::Buffer> && move_only<gfx::Texture> &&
              move_only<gfx::Framebuffer> && move_only<gfx::Renderbuffer>);

std::deque<unsigned int> codes;

TEST(GlCheck, EachCheckReadsOneCodeAndNamesTheCallAndItsPlace)
{
    gfx::set_gl_error_source([] {
        if (codes.empty())
            return unsigned(GL_NO_ERROR);
        const unsigned int code = codes.front();
        codes.pop_front();
        return code;
    });
    console::Capture capture;
    gfx::gl_check("nothing wrong", "a.cpp", 1);
    codes = {GL_INVALID_ENUM, GL_INVALID_VALUE};
    gfx::gl_check("glCullFace(GL_FRONT)", "app/Window.cpp", 57);
    EXPECT_EQ(std::pair(capture.out(), codes.size()),
              std::pair(std::string("OpenGL error 1280, at app/Window.cpp:57 - for glCullFace(GL_FRONT)\n"), size_t(1)));
    capture.clear();
    const int line = __LINE__ + 1; // the queued code surfaces at the next checked call
    GL_CHECK(codes.push_back(GL_OUT_OF_MEMORY));
    EXPECT_EQ(capture.out(), "OpenGL error 1281, at " __FILE__ ":" + std::to_string(line) + " - for codes.push_back(GL_OUT_OF_MEMORY)\n");
    gfx::set_gl_error_source(nullptr);
}

TEST(GlWrappers, EmptyWrappersMakeNoGlCall)
{
    const auto inert = [](auto empty) {
        decltype(empty) moved(std::move(empty)), assigned(gfx::NoCreate);
        assigned = std::move(moved);
        return assigned.id();
    };
    EXPECT_EQ(inert(gfx::VertexArray(gfx::NoCreate)) + inert(gfx::Buffer(gfx::NoCreate)) + inert(gfx::Texture(gfx::NoCreate)) +
                  inert(gfx::Framebuffer(gfx::NoCreate)) + inert(gfx::Renderbuffer(gfx::NoCreate)), 0u);
}

} // namespace
