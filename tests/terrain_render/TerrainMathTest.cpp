// The terrain's geometry without GL: the chunk mesh, the sun, the sky cube and the sky table's
// altitudes.

#include "terrain/Atmosphere.h"
#include "terrain/Chunk.h"

#include <set>

#include <gtest/gtest.h>

namespace {

// n vertices per edge over the square with a ring of skirt vertices repeating the edge around
// it, and two clockwise triangles (seen from above: front faces are culled) per quad.
TEST(ChunkMesh, AGridWithASkirtRingCoversTheSquareOnce)
{
    for (uint32_t n : {2u, 3u, 32u}) {
        const ChunkMesh mesh = build_chunk_mesh(n, 2.5f);
        const uint32_t w = n + 2;
        ASSERT_EQ(std::pair(mesh.vertices.size(), mesh.indices.size()), std::pair(size_t(w) * w, size_t(6) * (n + 1) * (n + 1)));
        for (uint32_t r = 0; r < w; ++r)
            for (uint32_t c = 0; c < w; ++c) {
                const ChunkVertex &v = mesh.vertices[r * w + c], &edge = mesh.vertices[std::clamp(r, 1u, n) * w + std::clamp(c, 1u, n)];
                const bool ring = r == 0 || c == 0 || r == w - 1 || c == w - 1;
                EXPECT_TRUE(is_skirt_vertex(v) == ring && v.x == edge.x && v.y == 0.0f && v.z == edge.z) << n << ": " << r << "," << c;
                EXPECT_TRUE(ring || (std::abs(v.x - float(c - 1) * 2.5f / float(n - 1)) < 1e-5f &&
                                     std::abs(v.z - float(r - 1) * 2.5f / float(n - 1)) < 1e-5f &&
                                     std::abs(v.u - v.x / 2.5f) < 1e-6f && std::abs(v.v - v.z / 2.5f) < 1e-6f)) << r << "," << c;
            }
        double area = 0.0;
        for (size_t i = 0; i < mesh.indices.size(); i += 3) {
            const ChunkVertex &a = mesh.vertices.at(mesh.indices[i]), &b = mesh.vertices.at(mesh.indices[i + 1]),
                              &c = mesh.vertices.at(mesh.indices[i + 2]);
            const double cross = double(b.x - a.x) * (c.z - a.z) - double(b.z - a.z) * (c.x - a.x);
            EXPECT_GE(cross, -1e-6) << "triangle " << i / 3 << " runs counter-clockwise";
            area += cross / 2;
        }
        EXPECT_NEAR(area, 2.5 * 2.5, 1e-3) << n;
    }
    EXPECT_THROW(build_chunk_mesh(1, 1.0f), std::invalid_argument);
}

TEST(Atmosphere, SunDirectionsSkyCubeAndTableAltitudes)
{
    struct Case { double elevation, azimuth; glm::vec3 direction; }; // x east, y up, z south
    for (const Case& c : {Case{50.0, 90.0, {0.0f, 0.76604444f, 0.64278761f}}, Case{90.0, 237.0, {0, 1, 0}}, Case{0.0, 0.0, {1, 0, 0}},
                          Case{0.0, 180.0, {-1, 0, 0}}, Case{0.0, 270.0, {0, 0, -1}}, Case{30.0, 45.0, {0.61237244f, 0.5f, 0.61237244f}}})
        EXPECT_LT(glm::length(sun_direction(c.elevation, c.azimuth) - c.direction), 1e-6f) << c.elevation << " " << c.azimuth;
    const CubeVertices& v = cube_vertices(); // counter-clockwise seen from inside
    for (size_t i = 0; i < v.size(); i += 3)
        EXPECT_LT(glm::dot(glm::cross(v[i + 1] - v[i], v[i + 2] - v[i]), v[i] + v[i + 1] + v[i + 2]), 0.0f) << i / 3;
    EXPECT_EQ(sky_table_altitude(-50.0), sky_table_altitude(0.0)); // (steps of the table: the sky-table test)
    for (double h = 20.0; h < 50000.0; h *= 1.07)
        EXPECT_LE(std::abs(sky_table_altitude(h) - h), std::max(0.02 * h, 10.0)) << h;
    // The sun lights nothing once its disc is below the camera's horizon, which dips lower the
    // higher the camera (1.76 degrees at 3000 m, 4.5 at 20 km), and below the bodies' cut-off.
    struct Night { double elevation, altitude; bool dark; };
    for (const Night& n : {Night{-0.3, 0.0, false}, Night{-0.7, 0.0, true}, Night{-1.5, 3000.0, false}, Night{-2.5, 3000.0, true},
                           Night{-4.0, 20000.0, false}, Night{-5.5, 20000.0, true}})
        EXPECT_EQ(sun_lights_nothing(sun_direction(n.elevation, 0.0), n.altitude), n.dark) << n.elevation << " " << n.altitude;
}

} // namespace
