// The application's parts that need no window: its two cameras, the frame clock and the
// capture settings.

#include <gtest/gtest.h>

#include "app/CaptureSettings.h"
#include "app/FirstPersonCamera.h"
#include "app/FrameTiming.h"
#include "app/OrbitCamera.h"
#include "console/Console.h"

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
// on_update. (The wheel's steps are AppGlTest's.)
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
}

TEST(FirstPersonCamera, TheMouseTurnsItAboutWorldUpAndTiltsItWithoutLimit)
{
    FirstPersonCamera camera;
    camera.set_rotation(heading_euler(225.0f));
    EXPECT_LT(distance(forward(camera), glm::normalize(glm::vec3(-1, 0, 1))), 1e-5f) << "heading 225: south-west";
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

// delta_time is the frame's length; once more than a second has gathered, fps becomes the rate
// of the frame that closed it (cut to an integer) and the gathering starts again.
TEST(FrameTiming, DeltaAndTheRateOfTheFrameThatClosesASecondAndCaptureSettingsAreReadOrNamedAndIgnored)
{
    struct Case { std::vector<uint64_t> ticks; int32_t fps; float delta, gathered; }; // 1000 ticks a second
    for (const Case& c : {Case{{300, 300, 300, 250}, 4, 0.25f, 0.0f}, Case{{990, 20, 100}, 50, 0.1f, 0.1f},
                          Case{{333, 333, 333, 3}, 333, 0.003f, 0.0f}, Case{{100, 100}, 10, 0.1f, 0.2f}}) { // the last: before a full second, the rate so far
        FrameTime time{0.0f, 0.0f, 7};
        for (uint64_t counter = 5000; uint64_t t : c.ticks) {
            advance_frame_time(time, counter, counter + t, 1000);
            counter += t;
        }
        EXPECT_EQ(time.fps, c.fps) << c.ticks.size() << " frames";
        EXPECT_TRUE(std::abs(time.delta_time - c.delta) < 1e-6f && std::abs(time.fps_accumulator - c.gathered) < 1e-6f);
    }
    FrameTime time{0.5f, 1.5f, 60}; // no time, a counter running backwards, no frequency: no division
    advance_frame_time(time, 100, 100, 1000);
    EXPECT_EQ(std::pair(time.delta_time, time.fps), std::pair(0.0f, 60));
    advance_frame_time(time, 200, 100, 1000);
    advance_frame_time(time, 100, 200, 0);
    EXPECT_EQ(time.delta_time, 0.0f);
    console::Capture capture;
    const CaptureSettings all = CaptureSettings::parse("18446744073709551615", "/tmp/frame.png", "1");
    EXPECT_EQ(std::tuple(all.exit_after_frames, all.screenshot, all.exit_when_settled),
              std::tuple(std::optional<uint64_t>(UINT64_MAX), std::filesystem::path("/tmp/frame.png"), true));
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        const CaptureSettings none = CaptureSettings::parse(unset, unset, unset);
        EXPECT_TRUE(!none.exit_after_frames && none.screenshot.empty() && !none.exit_when_settled);
    }
    EXPECT_EQ(CaptureSettings::parse("1", nullptr, "0").exit_after_frames, std::optional<uint64_t>(1));
    EXPECT_EQ(capture.err(), "");
    for (const char* frames : {"0", "-5", "12abc", " 12", "1.5", "+3", "18446744073709551616"}) {
        capture.clear();
        EXPECT_FALSE(CaptureSettings::parse(frames, nullptr, nullptr).exit_after_frames.has_value()) << frames;
        EXPECT_EQ(capture.err(), "Ignoring WINDHOLLOW_EXIT_AFTER_FRAMES=\"" + std::string(frames) +
                                     "\": expected a whole number of frames, 1 or more\n");
    }
    capture.clear();
    EXPECT_FALSE(CaptureSettings::parse(nullptr, nullptr, "yes").exit_when_settled);
    EXPECT_EQ(capture.err(), "Ignoring WINDHOLLOW_EXIT_WHEN_SETTLED=\"yes\": expected 1 or 0\n");
    // The picture is a PNG: only a name that says so is taken (in any case).
    for (const auto& [name, taken] : {std::pair{"shot.jpg", false}, std::pair{"shot", false}, std::pair{"png", false},
                                      std::pair{"dir.png/shot.jpeg", false}, std::pair{"SHOT.PNG", true}, std::pair{".x.png", true}}) {
        capture.clear();
        EXPECT_EQ(CaptureSettings::parse(nullptr, name, nullptr).screenshot.empty(), !taken) << name;
        EXPECT_EQ(capture.err(), taken ? std::string()
                                       : "Ignoring WINDHOLLOW_SCREENSHOT=\"" + std::string(name) +
                                             "\": expected a file name ending in .png\n");
    }
}

} // namespace
