// GL wrappers are move-only, their empty state costs no GL call, and the cameras stay
// copyable values (the light camera is rebuilt by assignment every frame).

#include <type_traits>

#include <gtest/gtest.h>

#include "gfx/Drawable.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PerspectiveCamera.h"
#include "gfx/Shader.h"
#include "gfx/gl/gl.h"

namespace {

template <typename T>
constexpr bool move_only_v = !std::is_copy_constructible_v<T> && !std::is_copy_assignable_v<T> &&
                             std::is_nothrow_move_constructible_v<T> && std::is_nothrow_move_assignable_v<T> &&
                             std::is_nothrow_destructible_v<T>;

static_assert(move_only_v<gfx::VertexArray>);
static_assert(move_only_v<gfx::Buffer>);
static_assert(move_only_v<gfx::Texture>);
static_assert(move_only_v<gfx::Framebuffer>);
static_assert(move_only_v<gfx::Renderbuffer>);

// A Shader is rebuilt in place and never moved; drawables are shared, not copied.
static_assert(!std::is_copy_constructible_v<gfx::Shader> && !std::is_move_constructible_v<gfx::Shader>);
static_assert(!std::is_copy_constructible_v<gfx::Drawable>);
static_assert(std::has_virtual_destructor_v<gfx::Drawable>);
static_assert(std::has_virtual_destructor_v<gfx::Transform>);

static_assert(std::is_copy_assignable_v<gfx::OrthoCamera>);
static_assert(std::is_copy_assignable_v<gfx::PerspectiveCamera>);
static_assert(std::is_abstract_v<gfx::Camera>);

template <typename T>
void expect_empty_state_is_inert()
{
    // No context exists in this test: any GL call here would crash through a null pointer.
    T empty(gfx::NoCreate);
    EXPECT_EQ(empty.id(), 0u);
    T moved(std::move(empty));
    EXPECT_EQ(moved.id(), 0u);
    EXPECT_EQ(empty.id(), 0u);
    T assigned(gfx::NoCreate);
    assigned = std::move(moved);
    EXPECT_EQ(assigned.id(), 0u);
}

TEST(MoveOnlyTest, EmptyWrappersMakeNoGlCalls)
{
    expect_empty_state_is_inert<gfx::VertexArray>();
    expect_empty_state_is_inert<gfx::Buffer>();
    expect_empty_state_is_inert<gfx::Texture>();
    expect_empty_state_is_inert<gfx::Framebuffer>();
    expect_empty_state_is_inert<gfx::Renderbuffer>();
}

TEST(MoveOnlyTest, BufferMoveKeepsItsTarget)
{
    gfx::Buffer index(gfx::NoCreate);
    index.target = GL_ELEMENT_ARRAY_BUFFER;
    gfx::Buffer moved(std::move(index));
    EXPECT_EQ(moved.target, static_cast<GLenum>(GL_ELEMENT_ARRAY_BUFFER));
    gfx::Buffer assigned(gfx::NoCreate);
    EXPECT_EQ(assigned.target, static_cast<GLenum>(GL_ARRAY_BUFFER));
    assigned = std::move(moved);
    EXPECT_EQ(assigned.target, static_cast<GLenum>(GL_ELEMENT_ARRAY_BUFFER));
}

TEST(MoveOnlyTest, PixelFormatTable)
{
    EXPECT_EQ(gfx::pixel_format_for_channels(0), 0u);
    EXPECT_EQ(gfx::pixel_format_for_channels(1), static_cast<GLenum>(GL_RED));
    EXPECT_EQ(gfx::pixel_format_for_channels(2), static_cast<GLenum>(GL_RG));
    EXPECT_EQ(gfx::pixel_format_for_channels(3), static_cast<GLenum>(GL_RGB));
    EXPECT_EQ(gfx::pixel_format_for_channels(4), static_cast<GLenum>(GL_RGBA));
    EXPECT_THROW(gfx::pixel_format_for_channels(5), std::out_of_range);
    EXPECT_THROW(gfx::pixel_format_for_channels(-1), std::out_of_range);
}

} // namespace
