#include "terrain/Atmosphere.h"

#include <cmath>
#include <set>
#include <string>
#include <tuple>

#include <glm/geometric.hpp>
#include <gtest/gtest.h>

namespace {

struct SunCase {
    double elevation;
    double azimuth;
    glm::vec3 expected;
};

class SunDirection : public ::testing::TestWithParam<SunCase> {};

TEST_P(SunDirection, PointsWhereTheAnglesSayAndIsUnit)
{
    const SunCase c = GetParam();
    const glm::vec3 d = sun_direction(c.elevation, c.azimuth);
    EXPECT_NEAR(d.x, c.expected.x, 1e-6) << "elevation " << c.elevation << " azimuth " << c.azimuth;
    EXPECT_NEAR(d.y, c.expected.y, 1e-6) << "elevation " << c.elevation << " azimuth " << c.azimuth;
    EXPECT_NEAR(d.z, c.expected.z, 1e-6) << "elevation " << c.elevation << " azimuth " << c.azimuth;
    EXPECT_NEAR(glm::length(d), 1.0f, 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(
    Angles, SunDirection,
    ::testing::Values(SunCase{50.0, 90.0, {0.0f, 0.76604444f, 0.64278761f}}, // the defaults: up and south
                      SunCase{90.0, 0.0, {0.0f, 1.0f, 0.0f}}, SunCase{90.0, 237.0, {0.0f, 1.0f, 0.0f}},
                      SunCase{0.0, 0.0, {1.0f, 0.0f, 0.0f}},    // east
                      SunCase{0.0, 180.0, {-1.0f, 0.0f, 0.0f}}, // west
                      SunCase{0.0, 270.0, {0.0f, 0.0f, -1.0f}}, // north
                      SunCase{30.0, 45.0, {0.61237244f, 0.5f, 0.61237244f}}),
    [](const ::testing::TestParamInfo<SunCase>& param_info) {
        return "elevation" + std::to_string(static_cast<int>(param_info.param.elevation)) + "_azimuth" +
               std::to_string(static_cast<int>(param_info.param.azimuth));
    });

TEST(SunDirection, StaysUnitAcrossTheSliderRanges)
{
    for (double e = 0.0; e <= 90.0; e += 7.5) {
        for (double a = 0.0; a <= 360.0; a += 15.0) {
            EXPECT_NEAR(glm::length(sun_direction(e, a)), 1.0f, 1e-6f) << "elevation " << e << " azimuth " << a;
        }
    }
}

TEST(CubeVertices, TwelveTrianglesFacingInward)
{
    const CubeVertices& v = cube_vertices();
    ASSERT_EQ(v.size(), 36u);
    std::set<std::tuple<float, float, float>> corners;
    for (size_t i = 0; i < v.size(); i += 3) {
        const glm::vec3 normal = glm::cross(v[i + 1] - v[i], v[i + 2] - v[i]);
        const glm::vec3 centre = (v[i] + v[i + 1] + v[i + 2]) / 3.0f;
        // Counter-clockwise seen from inside: the right-hand normal points at the centre.
        EXPECT_LT(glm::dot(normal, centre), 0.0f) << "triangle " << i / 3 + 1;
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(std::abs(v[i + k].x), 1.0f);
            EXPECT_EQ(std::abs(v[i + k].y), 1.0f);
            EXPECT_EQ(std::abs(v[i + k].z), 1.0f);
            corners.insert({v[i + k].x, v[i + k].y, v[i + k].z});
        }
    }
    EXPECT_EQ(corners.size(), 8u);
    EXPECT_EQ(v[0], glm::vec3(-1, 1, -1));
    EXPECT_EQ(v[35], glm::vec3(1, -1, 1));
}

TEST(CubeVertices, EveryFaceIsCoveredTwice)
{
    // Each of the six faces (axis and sign) gets exactly two triangles.
    int per_face[3][2] = {{0, 0}, {0, 0}, {0, 0}};
    const CubeVertices& v = cube_vertices();
    for (size_t i = 0; i < v.size(); i += 3) {
        for (int axis = 0; axis < 3; ++axis) {
            if (v[i][axis] == v[i + 1][axis] && v[i][axis] == v[i + 2][axis]) {
                ++per_face[axis][v[i][axis] > 0 ? 1 : 0];
            }
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_EQ(per_face[axis][0], 2) << "axis " << axis << " negative face";
        EXPECT_EQ(per_face[axis][1], 2) << "axis " << axis << " positive face";
    }
}

struct AltitudeCase {
    double altitude;
    float expected;
};

class SkyTableAltitude : public ::testing::TestWithParam<AltitudeCase> {};

TEST_P(SkyTableAltitude, RoundsToCoarseSteps)
{
    const AltitudeCase c = GetParam();
    EXPECT_FLOAT_EQ(sky_table_altitude(c.altitude), c.expected) << "altitude " << c.altitude;
}

INSTANTIATE_TEST_SUITE_P(Steps, SkyTableAltitude,
                         ::testing::Values(AltitudeCase{-50.0, 1.0f}, AltitudeCase{0.0, 1.0f},
                                           AltitudeCase{3.0, 1.0f}, AltitudeCase{13.0, 16.0f},
                                           AltitudeCase{500.0, 504.0f}, // 8 m steps below 1024 m
                                           AltitudeCase{3000.0, 3008.0f}, // 32 m steps from 2048 m
                                           AltitudeCase{10000.0, 9984.0f} // 128 m steps from 8192 m
                                           ),
                         [](const ::testing::TestParamInfo<AltitudeCase>& param_info) {
                             const auto metres = static_cast<long>(param_info.param.altitude);
                             std::string name = metres < 0 ? "minus" : "at";
                             name += std::to_string(metres < 0 ? -metres : metres);
                             return name;
                         });

TEST(SkyTableAltitude, StepStaysWithinTwoPercentAboveAKilometre)
{
    for (double h = 1000.0; h < 50000.0; h *= 1.07) {
        EXPECT_LE(std::abs(sky_table_altitude(h) - h), 0.02 * h) << "altitude " << h;
    }
}

TEST(SkyTableAltitude, SmallChangesKeepTheTable)
{
    EXPECT_EQ(sky_table_altitude(3000.0), sky_table_altitude(3005.0));
    EXPECT_NE(sky_table_altitude(3000.0), sky_table_altitude(3100.0));
}

} // namespace
