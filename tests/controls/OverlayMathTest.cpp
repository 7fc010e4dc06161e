// The overlay's arithmetic: jumping to a named place, the camera's geographic readout and the
// compass heading.

#include "app/OverlayMath.h"

#include <cmath>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include "app/StartPositions.h"

namespace {

constexpr double PI = 3.141592653589793;

// Web Mercator metres of the default start position (Innsbruck), the usual world origin.
double mercator_x(double lon) { return (lon + 180.0) / 360.0 * MERCATOR_CIRCUMFERENCE; }
double mercator_y(double lat) { return (1.0 - std::asinh(std::tan(lat * PI / 180.0)) / PI) * 0.5 * MERCATOR_CIRCUMFERENCE; }

const double ORIGIN_X = mercator_x(11.3513);
const double ORIGIN_Y = mercator_y(47.2576);
const double SCALE = static_cast<double>(0.05f);

// The local +Z axis of a camera rotated by the given Euler angles (radians).
glm::vec3 z_axis_of(const glm::vec3& euler) { return glm::quat(euler) * glm::vec3(0.0f, 0.0f, 1.0f); }

} // namespace

TEST(PlaceAt, OriginRowLandsAboveTheWorldOrigin)
{
    const Placement p = place_at(47.2576, 11.3513, 90.0f, 3000.0f, ORIGIN_X, ORIGIN_Y, SCALE);
    EXPECT_NEAR(0.0f, p.position.x, 1e-6f);
    EXPECT_NEAR(150.0f, p.position.y, 1e-4f); // 3000 m at 0.05, no Mercator height correction
    EXPECT_NEAR(0.0f, p.position.z, 1e-6f);
    EXPECT_FLOAT_EQ(0.0f, p.euler.x);
    EXPECT_FLOAT_EQ(-90.0f * 0.017453292f, p.euler.y);
    EXPECT_FLOAT_EQ(0.0f, p.euler.z);
}

TEST(PlaceAt, EveryNamedPlaceRoundTripsThroughTheReadout)
{
    for (const StartPosition& row : start_positions) {
        SCOPED_TRACE(row.name);
        const Placement p = place_at(row.lat, row.lon, row.heading, row.altitude, ORIGIN_X, ORIGIN_Y, SCALE);
        // x grows east, z grows south.
        EXPECT_EQ(row.lon > 11.3513, p.position.x > 0.0f);
        EXPECT_EQ(row.lat < 47.2576, p.position.z > 0.0f);
        const GeoPosition geo = geo_position(p.position, ORIGIN_X, ORIGIN_Y, SCALE);
        // Positions are single precision: a few hundred world units hold about 1e-5 of one,
        // that is well under a metre.
        EXPECT_NEAR(row.lat, geo.lat, 1e-5);
        EXPECT_NEAR(row.lon, geo.lon, 1e-5);
        EXPECT_NEAR(row.altitude, geo.alt, 1e-2);
        // The heading readout shows the row's heading.
        EXPECT_EQ(static_cast<int32_t>(row.heading) % 360, compass_heading(z_axis_of(p.euler)));
    }
}

TEST(PlaceAt, KnownDistanceFromTheOrigin)
{
    // One degree of longitude east is C / 360 Mercator metres, 0.05 of that in world units.
    const Placement p = place_at(47.2576, 12.3513, 0.0f, 0.0f, ORIGIN_X, ORIGIN_Y, SCALE);
    EXPECT_NEAR(MERCATOR_CIRCUMFERENCE / 360.0 * SCALE, p.position.x, 1e-3);
    EXPECT_NEAR(0.0f, p.position.y, 0.0f);
    EXPECT_NEAR(0.0f, p.position.z, 1e-3);
}

TEST(GeoPosition, OriginAndAltitude)
{
    const GeoPosition geo = geo_position(glm::vec3(0.0f, 150.0f, 0.0f), ORIGIN_X, ORIGIN_Y, SCALE);
    EXPECT_NEAR(47.2576, geo.lat, 1e-9);
    EXPECT_NEAR(11.3513, geo.lon, 1e-9);
    EXPECT_NEAR(3000.0, geo.alt, 1e-3);
}

TEST(CompassHeading, CardinalAndIntermediateDirections)
{
    struct Case {
        const char* name;
        glm::vec3 view; // direction the camera looks (-z_axis)
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {"north", {0, 0, -1}, 0},
        {"east", {1, 0, 0}, 90},
        {"south", {0, 0, 1}, 180},
        {"west", {-1, 0, 0}, 270},
        {"north-east", {1, 0, -1}, 45},
        {"south-west", {-1, 0, 1}, 225},
        {"north-west", {-1, 0, -1}, 315},
        {"just west of north rounds to 360, shown as 0", {-0.001f, 0, -1}, 0},
        {"looking down while facing east", {0.3f, -0.95f, 0}, 90},
        {"straight down", {0, -1, 0}, 0},
        {"degenerate zero axis", {0, 0, 0}, 0},
        {"not a number", {NAN, 0, 0}, 0},
        {"infinite", {INFINITY, 0, INFINITY}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, compass_heading(-c.view)) << c.name;
}

TEST(CompassHeading, AlwaysZeroTo359)
{
    for (int i = 0; i < 3600; ++i) {
        const float yaw = static_cast<float>(i) * 0.1f * 0.017453292f;
        for (float pitch : {-1.5f, -0.5f, 0.0f, 0.7f, 1.5707964f}) {
            const int32_t heading = compass_heading(z_axis_of(glm::vec3(pitch, yaw, 0.0f)));
            ASSERT_GE(heading, 0) << "yaw step " << i << " pitch " << pitch;
            ASSERT_LE(heading, 359) << "yaw step " << i << " pitch " << pitch;
        }
    }
}

TEST(CompassHeading, TurningRightByYawRaisesTheHeading)
{
    // The named places turn the camera by -heading about Y: heading h must read back h.
    for (int h = 0; h < 360; h += 15) {
        const glm::vec3 euler(0.0f, -static_cast<float>(h) * 0.017453292f, 0.0f);
        EXPECT_EQ(h, compass_heading(z_axis_of(euler))) << "heading " << h;
    }
}
