#include "app/FirstPersonCamera.h"
#include "app/OrbitCamera.h"

#include <cmath>

#include <glm/gtx/string_cast.hpp>
#include <gtest/gtest.h>

#include "app/Config.h"
#include "app/StartPositions.h"
#include "tiles/WebMercator.h"

namespace {

constexpr float TOLERANCE = 1e-4f;

SDL_Event motion(int xrel, int yrel)
{
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.xrel = xrel;
    event.motion.yrel = yrel;
    return event;
}

SDL_Event wheel(int y)
{
    SDL_Event event{};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.y = y;
    return event;
}

// The direction a camera looks: its local -Z in the world.
glm::vec3 forward(const gfx::Transform& camera) { return -camera.get_z_axis(); }

::testing::AssertionResult near(const glm::vec3& actual, const glm::vec3& expected, float tolerance = TOLERANCE)
{
    if (glm::all(glm::lessThanEqual(glm::abs(actual - expected), glm::vec3(tolerance))))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << glm::to_string(expected) << ", got " << glm::to_string(actual);
}

WorldFrame default_frame()
{
    return WorldFrame::centred_on(Config{}.start_position, double(0.05f));
}

// --- Orbit camera -----------------------------------------------------------------------------

TEST(OrbitCamera, DragChangesYawAndClampsPitch)
{
    gfx::Transform target;
    OrbitCamera camera(&target, 0.75f);
    EXPECT_EQ(camera.pitch, 15.0f);
    EXPECT_EQ(camera.yaw, 180.0f);

    camera.on_event(motion(100, 0));
    EXPECT_FLOAT_EQ(camera.yaw, 200.0f) << "100 pixels right add 20 degrees";
    EXPECT_FLOAT_EQ(camera.pitch, 15.0f);

    camera.on_event(motion(0, 10));
    EXPECT_FLOAT_EQ(camera.pitch, 13.0f) << "dragging down lowers the camera";

    camera.on_event(motion(0, 100000));
    EXPECT_EQ(camera.pitch, -89.0f);
    camera.on_event(motion(0, -100000));
    EXPECT_EQ(camera.pitch, 89.0f);

    // Yaw is unbounded.
    for (int i = 0; i < 10; ++i)
        camera.on_event(motion(1000, 0));
    EXPECT_FLOAT_EQ(camera.yaw, 2200.0f);
}

TEST(OrbitCamera, WheelZoomsByOnePointTwo)
{
    struct Case {
        int y;
        float factor;
    };
    for (Case c : {Case{1, 1.2f}, Case{3, 1.2f}, Case{-1, 1.0f / 1.2f}, Case{-7, 1.0f / 1.2f}, Case{0, 1.0f / 1.2f}}) {
        gfx::Transform target;
        OrbitCamera camera(&target, 0.75f);
        camera.on_event(wheel(c.y));
        EXPECT_FLOAT_EQ(camera.distance, 0.75f * c.factor) << "wheel y " << c.y;
    }
}

TEST(OrbitCamera, IgnoresOtherEvents)
{
    gfx::Transform target;
    OrbitCamera camera(&target, 0.75f);
    for (Uint32 type : {SDL_KEYDOWN, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP, SDL_JOYAXISMOTION, SDL_WINDOWEVENT}) {
        SDL_Event event{};
        event.type = type;
        camera.on_event(event);
    }
    EXPECT_EQ(camera.pitch, 15.0f);
    EXPECT_EQ(camera.yaw, 180.0f);
    EXPECT_EQ(camera.distance, 0.75f);
}

TEST(OrbitCamera, PlacedAroundTheTargetLookingAtIt)
{
    struct Case {
        float yaw, pitch, distance;
        glm::vec3 target;
    };
    const Case cases[] = {
        {180.0f, 15.0f, 0.75f, {0.0f, 0.0f, 0.0f}},
        {180.0f, 15.0f, 0.75f, {10.0f, 150.0f, -3.0f}},
        {0.0f, 0.0f, 2.0f, {1.0f, 2.0f, 3.0f}},
        {90.0f, 45.0f, 5.0f, {-4.0f, 0.5f, 8.0f}},
        {-135.0f, -60.0f, 1.5f, {0.0f, 0.0f, 0.0f}},
        {400.0f, 89.0f, 3.0f, {2.0f, 2.0f, 2.0f}},
    };
    for (const Case& c : cases) {
        gfx::Transform target;
        target.set_position(c.target);
        OrbitCamera camera(&target, c.distance, c.pitch, c.yaw);
        camera.on_update(0.016f);

        const float y = glm::radians(c.yaw);
        const float p = glm::radians(c.pitch);
        glm::vec3 expected = c.target + c.distance * glm::vec3(std::cos(y) * std::cos(p), std::sin(p),
                                                               std::sin(y) * std::cos(p));
        EXPECT_TRUE(near(camera.get_world_position(), expected)) << "yaw " << c.yaw << " pitch " << c.pitch;
        EXPECT_NEAR(glm::length(camera.get_world_position() - c.target), c.distance, 1e-4);
        EXPECT_TRUE(near(forward(camera), glm::normalize(c.target - camera.get_world_position())))
            << "yaw " << c.yaw << " pitch " << c.pitch;
        // No roll: the camera's right axis stays horizontal.
        EXPECT_NEAR(camera.get_x_axis().y, 0.0f, TOLERANCE);
    }
}

TEST(OrbitCamera, FollowsTheTargetEveryUpdate)
{
    gfx::Transform target;
    OrbitCamera camera(&target, 0.75f);
    camera.on_update(0.0f);
    glm::vec3 before = camera.get_world_position();
    target.set_position(glm::vec3(5.0f, -2.0f, 1.0f));
    EXPECT_TRUE(near(camera.get_world_position(), before)) << "moves only in on_update";
    camera.on_update(0.0f);
    EXPECT_TRUE(near(camera.get_world_position(), before + glm::vec3(5.0f, -2.0f, 1.0f)));
}

TEST(OrbitCamera, DefaultViewLooksAtTheAircraftFromFifteenMetres)
{
    gfx::Transform aircraft;
    OrbitCamera camera(&aircraft, 15.0f * float(default_frame().scaling_factor));
    camera.on_update(0.0f);
    EXPECT_FLOAT_EQ(camera.distance, 0.75f);
    glm::vec3 offset = camera.get_world_position() - aircraft.get_world_position();
    EXPECT_NEAR(glm::length(offset), 0.75f, 1e-5);
    EXPECT_NEAR(glm::degrees(std::asin(offset.y / glm::length(offset))), 15.0f, 1e-3) << "15 degrees above it";
    EXPECT_LT(offset.x, 0.0f) << "yaw 180 places it west of the target";
}

// --- First-person camera ------------------------------------------------------------------------

TEST(FirstPersonCamera, StartsAboveTheOriginFacingEast)
{
    FirstPersonCamera camera;
    EXPECT_FLOAT_EQ(camera.mouse_sensitivity, 0.2f);
    const StartPosition& innsbruck = start_positions[0];
    camera.set_rotation(heading_euler(innsbruck.heading));
    camera.set_position(start_position_world(innsbruck, default_frame()));

    EXPECT_TRUE(near(camera.get_world_position(), glm::vec3(0.0f, 150.0f, 0.0f)));
    EXPECT_TRUE(near(forward(camera), glm::vec3(1.0f, 0.0f, 0.0f))) << "heading 90 faces east (+x)";
}

TEST(FirstPersonCamera, HeadingsTurnClockwiseFromNorth)
{
    struct Case {
        float heading;
        glm::vec3 forward;
    };
    const float h = std::sqrt(0.5f);
    for (Case c : {Case{0.0f, {0.0f, 0.0f, -1.0f}}, Case{90.0f, {1.0f, 0.0f, 0.0f}}, Case{180.0f, {0.0f, 0.0f, 1.0f}},
                   Case{225.0f, {-h, 0.0f, h}}, Case{315.0f, {-h, 0.0f, -h}}}) {
        FirstPersonCamera camera;
        camera.set_rotation(heading_euler(c.heading));
        EXPECT_TRUE(near(forward(camera), c.forward)) << "heading " << c.heading;
    }
}

TEST(FirstPersonCamera, StartPositionsLandOnTheirMercatorPlace)
{
    const WorldFrame frame = default_frame();
    for (const StartPosition& row : start_positions) {
        FirstPersonCamera camera;
        place_at_start_position(camera, row, frame);
        // Independently: Mercator metres relative to the origin, scaled.
        double x = ((row.lon + 180.0) / 360.0 * EARTH_CIRCUMFERENCE - frame.origin_x) * frame.scaling_factor;
        double z = ((1.0 - std::asinh(std::tan(row.lat * PI / 180.0)) / PI) * 0.5 * EARTH_CIRCUMFERENCE -
                    frame.origin_y) *
                   frame.scaling_factor;
        glm::vec3 expected(float(x), float(row.altitude * 0.05), float(z));
        EXPECT_TRUE(near(camera.get_world_position(), expected, 0.01f)) << row.name;
        EXPECT_TRUE(near(camera.get_rotation() * glm::vec3(0, 0, -1), forward(camera))) << row.name;
    }
    // Thueringerberg lies west and a little south of Innsbruck.
    FirstPersonCamera camera;
    place_at_start_position(camera, start_positions[10], frame);
    EXPECT_LT(camera.get_position().x, -5000.0f);
    EXPECT_GT(camera.get_position().z, 0.0f);
    EXPECT_FLOAT_EQ(camera.get_position().y, 100.0f);
    EXPECT_TRUE(near(forward(camera), glm::vec3(0.0f, 0.0f, 1.0f))) << "heading 180 faces south";
}

TEST(FirstPersonCamera, MouseLookDirections)
{
    struct Case {
        int xrel, yrel;
        const char* what;
    };
    for (Case c : {Case{50, 0, "right turns right"}, Case{-50, 0, "left turns left"}, Case{0, 50, "down tilts down"},
                   Case{0, -50, "up tilts up"}}) {
        FirstPersonCamera camera;
        camera.set_rotation(heading_euler(0.0f)); // facing north, -z
        camera.on_event(motion(c.xrel, c.yrel));
        glm::vec3 f = forward(camera);
        const float angle = glm::radians(50.0f * 0.2f); // 10 degrees
        if (c.xrel != 0) {
            EXPECT_NEAR(f.x, (c.xrel > 0 ? 1.0f : -1.0f) * std::sin(angle), TOLERANCE) << c.what;
            EXPECT_NEAR(f.y, 0.0f, TOLERANCE) << c.what;
        } else {
            EXPECT_NEAR(f.y, (c.yrel > 0 ? -1.0f : 1.0f) * std::sin(angle), TOLERANCE) << c.what;
            EXPECT_NEAR(f.x, 0.0f, TOLERANCE) << c.what;
        }
        EXPECT_NEAR(camera.get_x_axis().y, 0.0f, TOLERANCE) << c.what << ": no roll";
    }
}

TEST(FirstPersonCamera, YawIsAboutWorldUpEvenWhenPitched)
{
    FirstPersonCamera camera;
    camera.on_event(motion(0, 200)); // 40 degrees down
    const float pitched_y = forward(camera).y;
    camera.on_event(motion(300, 0)); // then turn 60 degrees right
    EXPECT_NEAR(forward(camera).y, pitched_y, TOLERANCE) << "turning keeps the tilt";
    EXPECT_NEAR(camera.get_x_axis().y, 0.0f, TOLERANCE) << "and adds no roll";
}

TEST(FirstPersonCamera, NoPitchLimitAndStaysNormalised)
{
    FirstPersonCamera camera;
    camera.on_event(motion(0, 900)); // 180 degrees down: upside down, facing back
    EXPECT_TRUE(near(forward(camera), glm::vec3(0.0f, 0.0f, 1.0f), 1e-3f));
    EXPECT_LT((camera.get_rotation() * glm::vec3(0, 1, 0)).y, -0.99f) << "turned over";

    for (int i = 0; i < 10000; ++i)
        camera.on_event(motion(i % 7 - 3, i % 5 - 2));
    EXPECT_NEAR(glm::length(camera.get_rotation()), 1.0f, 1e-5);
}

TEST(FirstPersonCamera, IgnoresEverythingButMotion)
{
    FirstPersonCamera camera;
    camera.set_rotation(heading_euler(90.0f));
    glm::quat before = camera.get_rotation();
    for (SDL_Event event : {wheel(1), wheel(-1)}) {
        camera.on_event(event);
        camera.on_update(1.0f);
    }
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    camera.on_event(key);
    EXPECT_EQ(camera.get_rotation(), before);
    EXPECT_EQ(camera.get_position(), glm::vec3(0.0f));
}

TEST(BaseCamera, AspectChangesReachTheProjection)
{
    gfx::Transform target;
    std::unique_ptr<BaseCamera> cameras[] = {std::make_unique<FirstPersonCamera>(),
                                             std::make_unique<OrbitCamera>(&target, 1.0f)};
    for (auto& camera : cameras) {
        camera->set_perspective(0.7853982f, 1280.0f / 720.0f, 0.12f, 10000.0f);
        camera->set_aspect_ratio(2.0f);
        EXPECT_FLOAT_EQ(camera->get_aspect_ratio(), 2.0f);
        EXPECT_FLOAT_EQ(camera->get_projection()[0][0], 1.0f / (2.0f * std::tan(0.7853982f / 2.0f)));
    }
}

} // namespace
