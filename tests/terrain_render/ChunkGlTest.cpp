#include "terrain/Chunk.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "tests/gfx/GlTestContext.h"

namespace {

class ChunkGl : public GlTest {};

TEST_F(ChunkGl, UploadsTheMeshWithItsCounts)
{
    struct Case {
        uint32_t n;
        uint32_t indices;
    };
    for (const Case c : {Case{2, 54}, Case{32, 6534}}) {
        Chunk chunk(c.n, 1.0f);
        EXPECT_EQ(chunk.index_count, c.indices) << "n = " << c.n;
        EXPECT_EQ(chunk.edge_vertex_count, c.n);
        GLint vertex_array = -1;
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertex_array);
        EXPECT_EQ(vertex_array, 0) << "the vertex array is unbound after set-up";
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ChunkGl, RejectsEdgeCountsBelowTwoBeforeMakingGlObjects)
{
    EXPECT_THROW(Chunk(1, 1.0f), std::invalid_argument);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
