// The application's two cameras: the orbit camera around the aircraft and the free camera.

#include "app/FirstPersonCamera.h"
#include "app/OrbitCamera.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "app/Config.h"
#include "app/StartPositions.h"

namespace {

SDL_Event motion(int xrel, int yrel)
{
    SDL_Event event{};
    event.motion = {SDL_MOUSEMOTION, 0, 0, 0, 0, 0, 0, xrel, yrel};
    return event;
}

glm::vec3 forward(const gfx::Transform& camera) { return -camera.get_z_axis(); }
float distance(const glm::vec3& a, const glm::vec3& b) { return glm::length(a - b); }

// Dragged 0.2 degrees per pixel (pitch kept within 89 degrees), it stays at its distance and
// elevation angle from the target, looking at it without roll; it follows the target in
// on_update; the wheel moves it out (away from the user) or in by 1.2.
TEST(OrbitCamera, CirclesItsTargetLookingAtIt)
{
    gfx::Transform target;
    target.set_position({10.0f, 150.0f, -3.0f});
    OrbitCamera camera(&target, 0.75f);
    camera.on_update(0.0f);
    EXPECT_LT(distance(camera.get_world_position() - target.get_world_position(),
                       glm::vec3(-std::cos(glm::radians(15.0f)), std::sin(glm::radians(15.0f)), 0.0f) * 0.75f), 1e-5f)
        << "15 degrees above it, to the west";
    for (const auto& [x, y] : {std::pair{100, 0}, std::pair{-300, 50}, std::pair{0, -1000}, std::pair{0, 1000}}) {
        const float yaw = camera.yaw, pitch = camera.pitch;
        camera.on_event(motion(x, y));
        EXPECT_EQ(std::pair(camera.yaw, camera.pitch), std::pair(yaw + 0.2f * x, std::clamp(pitch - 0.2f * y, -89.0f, 89.0f)));
        camera.on_update(0.0f);
        const glm::vec3 offset = camera.get_world_position() - target.get_world_position();
        EXPECT_NEAR(glm::length(offset), 0.75f, 1e-5f);
        EXPECT_NEAR(offset.y, 0.75f * std::sin(glm::radians(camera.pitch)), 1e-5f);
        EXPECT_TRUE(distance(forward(camera), -glm::normalize(offset)) < 1e-4f && std::abs(camera.get_x_axis().y) < 1e-5f);
    }
    camera.yaw = 90.0f;
    camera.pitch = 0.0f;
    target.set_position({});
    EXPECT_GT(distance(camera.get_world_position(), {0.0f, 0.0f, 0.75f}), 1.0f) << "it follows in on_update only";
    camera.on_update(0.0f);
    EXPECT_LT(distance(camera.get_world_position(), {0.0f, 0.0f, 0.75f}), 1e-5f) << "yaw 90: south of it";
    for (const auto& [y, factor] : {std::pair{1, 1.2f}, std::pair{3, 1.2f}, std::pair{0, 1 / 1.2f}, std::pair{-7, 1 / 1.2f}}) {
        camera.distance = 0.75f;
        SDL_Event wheel{};
        wheel.wheel = {SDL_MOUSEWHEEL, 0, 0, 0, 0, y};
        camera.on_event(wheel);
        EXPECT_FLOAT_EQ(camera.distance, 0.75f * factor) << "wheel " << y;
    }
}

TEST(FirstPersonCamera, TheMouseTurnsItAboutWorldUpAndTiltsItWithoutLimit)
{
    const WorldFrame frame = WorldFrame::centred_on(Config().start_position, 0.05);
    FirstPersonCamera camera;
    place_at_start_position(camera, start_positions[0], frame); // the default start, 3000 m, looking east
    EXPECT_TRUE(distance(camera.get_world_position(), {0.0f, 150.0f, 0.0f}) < 1e-3f && distance(forward(camera), {1, 0, 0}) < 1e-5f);
    place_at_start_position(camera, start_positions[10], frame); // west and a little south of it
    EXPECT_TRUE(camera.get_position().x < -5000.0f && camera.get_position().z > 0.0f &&
                camera.get_position().y == start_positions[10].altitude * 0.05f);
    for (const auto& [heading, direction] : {std::pair{0.0f, glm::vec3(0, 0, -1)}, std::pair{180.0f, glm::vec3(0, 0, 1)},
                                             std::pair{225.0f, glm::normalize(glm::vec3(-1, 0, 1))}}) {
        camera.set_rotation(heading_euler(heading));
        EXPECT_LT(distance(forward(camera), direction), 1e-5f) << "heading " << heading;
    }
    const float s = std::sin(glm::radians(10.0f)); // 50 pixels at 0.2 degrees each
    for (const auto& [x, y, direction] : {std::tuple{50, 0, glm::vec3(s, 0, 0)}, std::tuple{0, 50, glm::vec3(0, -s, 0)}}) {
        FirstPersonCamera fresh; // looking north
        fresh.on_event(motion(x, y));
        EXPECT_LT(std::abs(forward(fresh).x - direction.x) + std::abs(forward(fresh).y - direction.y), 1e-4f) << x << "," << y;
    }
    FirstPersonCamera turned;
    turned.on_event(motion(0, 200)); // 40 degrees down, then 60 to the right: the tilt stays, no roll
    turned.on_event(motion(300, 0));
    EXPECT_TRUE(std::abs(forward(turned).y + std::sin(glm::radians(40.0f))) < 1e-4f && std::abs(turned.get_x_axis().y) < 1e-4f);
    FirstPersonCamera over;
    over.on_event(motion(0, 900)); // 180 degrees down: upside down, facing back
    EXPECT_LT(distance(forward(over), {0.0f, 0.0f, 1.0f}), 1e-3f);
    for (int i = 0; i < 10000; ++i)
        over.on_event(motion(i % 7 - 3, i % 5 - 2));
    EXPECT_NEAR(glm::length(over.get_rotation()), 1.0f, 1e-5f) << "kept normalised";
}

} // namespace
