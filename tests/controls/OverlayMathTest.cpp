// The overlay's compass heading.

#include "app/OverlayMath.h"

#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include "app/StartPositions.h"

namespace {

// The local +Z axis of a camera rotated by the given Euler angles (radians).
glm::vec3 z_axis_of(const glm::vec3& euler) { return glm::quat(euler) * glm::vec3(0.0f, 0.0f, 1.0f); }

// The rotation a named place gives the free camera: turned from facing north by the heading.
glm::vec3 heading_rotation(float heading) { return glm::vec3(0.0f, -heading * 0.017453292f, 0.0f); }

} // namespace

TEST(CompassHeading, EveryNamedPlaceReadsItsOwnHeading)
{
    for (const StartPosition& row : start_positions)
        EXPECT_EQ(static_cast<int32_t>(row.heading) % 360, compass_heading(z_axis_of(heading_rotation(row.heading))))
            << row.name;
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
    // Heading h, as the named places turn the camera, reads back h.
    for (int h = 0; h < 360; h += 15)
        EXPECT_EQ(h, compass_heading(z_axis_of(heading_rotation(static_cast<float>(h))))) << "heading " << h;
}
