#include "terrain/Frustum.h"
#include "terrain/TerrainRenderer.h"

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <gtest/gtest.h>

namespace {

// A camera at the origin looking north (−z), 90° field of view, near 1, far 100.
glm::mat4 looking_north()
{
    const glm::mat4 projection = glm::perspective(glm::radians(90.0f), 1.0f, 1.0f, 100.0f);
    const glm::mat4 view = glm::lookAt(glm::vec3(0.0f), glm::vec3(0.0f, 0.0f, -1.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    return projection * view;
}

TEST(Frustum, BoxesOutsideAnyPlaneAreCulled)
{
    struct Case { const char* what; glm::vec3 min, max; bool outside; };
    const Case cases[] = {
        {"ahead", {-1, -1, -11}, {1, 1, -9}, false},           {"behind", {-1, -1, 2}, {1, 1, 5}, true},
        {"beyond the far plane", {-1, -1, -200}, {1, 1, -150}, true}, {"far to the east", {30, -1, -11}, {40, 1, -9}, true},
        {"far above", {-1, 30, -11}, {1, 40, -9}, true},      {"straddling the left plane", {-15, -1, -11}, {-9, 1, -9}, false},
        {"around the camera", {-5, -5, -5}, {5, 5, 5}, false}, {"a thin column in view", {-0.1f, -500, -20}, {0.1f, -19, -19.8f}, false},
    };
    const Frustum frustum(looking_north());
    for (const Case& c : cases)
        EXPECT_EQ(frustum.box_outside(c.min, c.max), c.outside) << c.what;
}

TEST(LeafBounds, SpansTheSquareFromSkirtToHighestElevation)
{
    Node leaf;
    leaf.bounds_min = {-100.0, 40.0};
    leaf.bounds_max = {-60.0, 80.0};
    const LeafBox box = leaf_bounds(leaf, 0.05, 0.5, 32, ElevationEncoding::RG_ENCODED);
    EXPECT_FLOAT_EQ(box.min.x, -100.0f);
    EXPECT_FLOAT_EQ(box.max.x, -60.0f);
    EXPECT_FLOAT_EQ(box.min.z, 40.0f);
    EXPECT_FLOAT_EQ(box.max.z, 80.0f);
    EXPECT_FLOAT_EQ(box.min.y, -skirt_depth(40.0f, 32));
    EXPECT_FLOAT_EQ(box.max.y, static_cast<float>(8191.875 / 0.5 * 0.05)) << "the tallest encodable mountain";
    const LeafBox sea_floor = leaf_bounds(leaf, 0.05, 0.5, 32, ElevationEncoding::TERRARIUM);
    EXPECT_FLOAT_EQ(sea_floor.min.y, static_cast<float>(-32768.0 / 0.5 * 0.05) - skirt_depth(40.0f, 32))
        << "the deepest encodable trench";
}

TEST(LeafBounds, SkirtDepthIsThreeGridSteps)
{
    EXPECT_FLOAT_EQ(skirt_depth(31.0f, 32), 3.0f);
    EXPECT_FLOAT_EQ(skirt_depth(10.0f, 2), 30.0f);
    EXPECT_FLOAT_EQ(skirt_depth(10.0f, 0), 30.0f) << "invalid counts are treated as 2";
}

TEST(LeafBounds, CullingKeepsALeafWhoseMountainRisesIntoView)
{
    // Camera 10 units up looking level north: a flat leaf far below the view would be outside
    // if only its base counted, but heights up to the encodable maximum bring it in.
    const glm::mat4 projection = glm::perspective(glm::radians(30.0f), 1.0f, 1.0f, 10000.0f);
    const glm::mat4 view =
        glm::lookAt(glm::vec3(0.0f, 500.0f, 0.0f), glm::vec3(0.0f, 500.0f, -1.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    const Frustum frustum(projection * view);
    Node leaf;
    leaf.bounds_min = {-50.0, -300.0};
    leaf.bounds_max = {50.0, -200.0};
    const LeafBox tall = leaf_bounds(leaf, 0.05, 0.7, 32, ElevationEncoding::RG_ENCODED);
    EXPECT_FALSE(frustum.box_outside(tall.min, tall.max));
    EXPECT_TRUE(frustum.box_outside(tall.min, glm::vec3(tall.max.x, 0.0f, tall.max.z)))
        << "the same square kept flat stays below the view";
}

} // namespace
