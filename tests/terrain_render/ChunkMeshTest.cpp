#include "terrain/Chunk.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace {

struct MeshCase {
    uint32_t n;
    size_t vertices;
    size_t indices;
    size_t skirt_vertices;
};

class ChunkMeshCounts : public ::testing::TestWithParam<MeshCase> {};

TEST_P(ChunkMeshCounts, HasTheGridAndSkirtSizes)
{
    const MeshCase c = GetParam();
    const ChunkMesh mesh = build_chunk_mesh(c.n, 1.0f);
    EXPECT_EQ(mesh.vertices.size(), c.vertices) << "n = " << c.n;
    EXPECT_EQ(mesh.indices.size(), c.indices) << "n = " << c.n;
    const auto skirt = static_cast<size_t>(std::count_if(mesh.vertices.begin(), mesh.vertices.end(), is_skirt_vertex));
    EXPECT_EQ(skirt, c.skirt_vertices) << "n = " << c.n;
    const uint32_t highest = *std::max_element(mesh.indices.begin(), mesh.indices.end());
    EXPECT_EQ(highest, c.vertices - 1) << "every index addresses a vertex and the last one is used";
}

INSTANTIATE_TEST_SUITE_P(EdgeCounts, ChunkMeshCounts,
                         ::testing::Values(MeshCase{2, 16, 54, 12}, MeshCase{3, 25, 96, 16},
                                           MeshCase{32, 1156, 6534, 132}),
                         [](const ::testing::TestParamInfo<MeshCase>& param_info) {
                             std::string name = "n";
                             name += std::to_string(param_info.param.n);
                             return name;
                         });

TEST(ChunkMesh, EdgeCountsBelowTwoAreRejected)
{
    EXPECT_THROW(build_chunk_mesh(1, 1.0f), std::invalid_argument);
    EXPECT_THROW(build_chunk_mesh(0, 1.0f), std::invalid_argument);
}

TEST(ChunkMesh, TwoByTwoVerticesAreExact)
{
    // n = 2: W = 4, the inner four vertices are the unit square's corners; the ring repeats
    // them with stretched texture coordinates.
    const ChunkMesh mesh = build_chunk_mesh(2, 1.0f);
    struct Expected {
        size_t index;
        float x, z, u, v;
    };
    const Expected expected[] = {
        {0, 0.0f, 0.0f, -0.1f, -0.1f}, {1, 0.0f, 0.0f, -0.1f, -0.1f}, {2, 1.0f, 0.0f, 1.1f, -0.1f},
        {3, 1.0f, 0.0f, 1.1f, -0.1f},  {4, 0.0f, 0.0f, -0.1f, -0.1f}, {5, 0.0f, 0.0f, 0.0f, 0.0f},
        {6, 1.0f, 0.0f, 1.0f, 0.0f},   {7, 1.0f, 0.0f, 1.1f, -0.1f},  {9, 0.0f, 1.0f, 0.0f, 1.0f},
        {10, 1.0f, 1.0f, 1.0f, 1.0f},  {15, 1.0f, 1.0f, 1.1f, 1.1f},  {12, 0.0f, 1.0f, -0.1f, 1.1f},
    };
    for (const Expected& e : expected) {
        const ChunkVertex& v = mesh.vertices.at(e.index);
        EXPECT_FLOAT_EQ(v.x, e.x) << "vertex " << e.index;
        EXPECT_FLOAT_EQ(v.y, 0.0f) << "vertex " << e.index;
        EXPECT_FLOAT_EQ(v.z, e.z) << "vertex " << e.index;
        EXPECT_FLOAT_EQ(v.u, e.u) << "vertex " << e.index;
        EXPECT_FLOAT_EQ(v.v, e.v) << "vertex " << e.index;
    }
    // Quad column 0, row 0 comes first, then row 1 of the same column.
    const std::vector<uint32_t> first_twelve(mesh.indices.begin(), mesh.indices.begin() + 12);
    EXPECT_EQ(first_twelve, (std::vector<uint32_t>{0, 1, 5, 5, 4, 0, 4, 5, 9, 9, 8, 4}));
}

TEST(ChunkMesh, InnerVerticesSpanTheSizeAndSkirtSitsOnTheEdge)
{
    const float size = 2.5f;
    const uint32_t n = 5;
    const ChunkMesh mesh = build_chunk_mesh(n, size);
    const uint32_t w = n + 2;
    for (uint32_t r = 0; r < w; ++r) {
        for (uint32_t c = 0; c < w; ++c) {
            const ChunkVertex& v = mesh.vertices[r * w + c];
            const bool ring = r == 0 || c == 0 || r == w - 1 || c == w - 1;
            EXPECT_EQ(is_skirt_vertex(v), ring) << "r=" << r << " c=" << c;
            EXPECT_GE(v.x, 0.0f);
            EXPECT_LE(v.x, size + 1e-5f);
            EXPECT_GE(v.z, 0.0f);
            EXPECT_LE(v.z, size + 1e-5f);
            if (ring) {
                const bool outer_u = std::abs(v.u + 0.1f) < 1e-5f || std::abs(v.u - 1.1f) < 1e-5f;
                const bool outer_v = std::abs(v.v + 0.1f) < 1e-5f || std::abs(v.v - 1.1f) < 1e-5f;
                EXPECT_TRUE(outer_u || outer_v) << "skirt vertex r=" << r << " c=" << c << " uv " << v.u << "," << v.v;
            }
        }
    }
    EXPECT_FLOAT_EQ(mesh.vertices[(w - 2) * w + (w - 2)].x, size);
    EXPECT_FLOAT_EQ(mesh.vertices[(w - 2) * w + (w - 2)].z, size);
}

TEST(ChunkMesh, InnerTrianglesRunClockwiseSeenFromAbove)
{
    // Front faces are culled by the application, so the surface must be clockwise from +y:
    // with x east and z south, that is a positive (x, z) cross product.
    const ChunkMesh mesh = build_chunk_mesh(4, 1.0f);
    size_t checked = 0;
    for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
        const ChunkVertex& a = mesh.vertices[mesh.indices[i]];
        const ChunkVertex& b = mesh.vertices[mesh.indices[i + 1]];
        const ChunkVertex& c = mesh.vertices[mesh.indices[i + 2]];
        const float cross = (b.x - a.x) * (c.z - a.z) - (b.z - a.z) * (c.x - a.x);
        if (std::abs(cross) < 1e-9f) {
            continue; // skirt quads collapse to lines or walls in the flat mesh
        }
        EXPECT_GT(cross, 0.0f) << "triangle " << i / 3;
        ++checked;
    }
    EXPECT_EQ(checked, 2u * 3u * 3u) << "the 3 × 3 surface quads of n = 4 have area";
}

} // namespace
