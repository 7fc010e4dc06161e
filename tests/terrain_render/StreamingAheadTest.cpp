// How sharp the terrain on screen is (the area of leaves on screen and its sharp share), and
// which tiles a moving camera will want next.

#include "terrain/SharpShare.h"

#include <cmath>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

namespace {

glm::mat4 view_projection(glm::vec3 eye, glm::vec3 target, glm::vec3 up, float fov_degrees, float aspect)
{
    return glm::perspective(glm::radians(fov_degrees), aspect, 0.1f, 1e7f) * glm::lookAt(eye, target, up);
}

std::array<glm::vec3, 4> square(float x0, float z0, float x1, float z1, float y = 0.0f)
{
    return {glm::vec3(x0, y, z0), glm::vec3(x1, y, z0), glm::vec3(x1, y, z1), glm::vec3(x0, y, z1)};
}

TEST(SharpShare, AreasOnScreenClippedToTheViewAndTheShareOfTheSharpOnes)
{
    const glm::vec2 viewport(400.0f, 200.0f);
    // Straight down from 10 units with a 90° field of view and a square viewport: the ground
    // seen is the square ±10.
    const glm::mat4 down = view_projection({0, 10, 0}, {0, 0, 0}, {0, 0, -1}, 90.0f, 1.0f);
    // Level, 2 units up: the ground fills the lower half of the picture up to the horizon.
    const glm::mat4 level = view_projection({0, 2, 0}, {0, 2, -1}, {0, 1, 0}, 60.0f, 2.0f);
    struct Case { const char* what; const glm::mat4& camera; std::array<glm::vec3, 4> corners; double pixels, tolerance; };
    const Case cases[] = {
        {"the whole view", down, square(-10, -10, 10, 10), 80000.0, 1e-3},
        {"larger than the view", down, square(-50, -50, 50, 50), 80000.0, 1e-3},
        {"half of it", down, square(0, -30, 30, 30), 40000.0, 1e-3},
        {"a quarter of the width, in the middle", down, square(-2.5, -2.5, 2.5, 2.5), 5000.0, 1e-3},
        {"above the eye", down, square(-10, -10, 10, 10, 20.0f), 0.0, 0.0},
        {"beside the view", down, square(11, -10, 30, 10), 0.0, 0.0},
        {"the ground to the horizon", level, square(-1e5f, -1e5f, 1e5f, 1e5f), 40000.0, 40.0},
        {"the ground behind", level, square(-1e5f, 0.05f, 1e5f, 1e5f), 0.0, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(screen_area(c.camera, viewport, c.corners), c.pixels, c.tolerance) << c.what;
    // Seen level, a square 10 to 20 units ahead is a trapezoid on screen: a ground point d ahead
    // lies 2/d over tan(30°) of the half-height below the horizon, and ±5 across spans 10/d over
    // the half-width's tan(30°)·aspect.
    const double t = std::tan(glm::radians(30.0));
    const auto row = [t](double d) { return 2.0 / d / t * 100.0; };
    const auto width = [t](double d) { return 10.0 / d / (t * 2.0) * 200.0; };
    EXPECT_NEAR(screen_area(level, viewport, square(-5, -20, 5, -10)), (row(10) - row(20)) * (width(10) + width(20)) / 2.0, 0.01);

    struct Leaf { double area; bool imagery, elevation; };
    struct Frame { std::vector<Leaf> leaves; double share; };
    for (const Frame& f : {Frame{{{100, true, true}, {50, true, false}, {50, false, true}}, 0.5},
                           Frame{{{300, true, true}, {100, false, false}}, 0.75}, Frame{{{0, false, false}}, 1.0},
                           Frame{{}, 1.0}, Frame{{{10, true, true}}, 1.0}}) {
        SharpShare sums;
        for (const Leaf& leaf : f.leaves)
            sums.add(leaf.area, leaf.imagery, leaf.elevation);
        EXPECT_DOUBLE_EQ(sums.share(), f.share) << f.leaves.size() << " leaves";
    }
}

} // namespace
