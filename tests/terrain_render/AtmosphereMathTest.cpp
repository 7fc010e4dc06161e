#include "terrain/Atmosphere.h"

#include <cmath>

#include <glm/geometric.hpp>
#include <gtest/gtest.h>

namespace {

TEST(Atmosphere, SunDirectionsSkyCubeAndTableAltitudes)
{
    struct Case { double elevation, azimuth; glm::vec3 direction; }; // x east, y up, z south
    for (const Case& c : {Case{50.0, 90.0, {0.0f, 0.76604444f, 0.64278761f}}, Case{90.0, 237.0, {0, 1, 0}}, Case{0.0, 0.0, {1, 0, 0}},
                          Case{0.0, 180.0, {-1, 0, 0}}, Case{0.0, 270.0, {0, 0, -1}}, Case{30.0, 45.0, {0.61237244f, 0.5f, 0.61237244f}}})
        EXPECT_LT(glm::length(sun_direction(c.elevation, c.azimuth) - c.direction), 1e-6f) << c.elevation << " " << c.azimuth;
    const CubeVertices& v = cube_vertices(); // two triangles on every face, counter-clockwise seen from inside
    int per_face[6] = {};
    for (size_t i = 0; i < v.size(); i += 3) {
        EXPECT_LT(glm::dot(glm::cross(v[i + 1] - v[i], v[i + 2] - v[i]), v[i] + v[i + 1] + v[i + 2]), 0.0f) << i / 3;
        for (int axis = 0; axis < 3; ++axis)
            per_face[axis * 2 + (v[i][axis] > 0)] += std::abs(v[i][axis]) == 1.0f && v[i][axis] == v[i + 1][axis] && v[i][axis] == v[i + 2][axis];
    }
    EXPECT_EQ(std::vector<int>(per_face, per_face + 6), std::vector<int>(6, 2));
    EXPECT_EQ(sky_table_altitude(-50.0), sky_table_altitude(0.0));
    EXPECT_EQ(sky_table_altitude(3000.0), sky_table_altitude(3005.0)) << "a slow climb keeps the table";
    EXPECT_NE(sky_table_altitude(3000.0), sky_table_altitude(3100.0));
    for (double h = 20.0; h < 50000.0; h *= 1.07)
        EXPECT_LE(std::abs(sky_table_altitude(h) - h), std::max(0.02 * h, 10.0)) << h;
}

} // namespace
