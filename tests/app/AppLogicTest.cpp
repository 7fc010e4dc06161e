// The application's parts that need no window: its cameras, the frame clock, the capture
// settings, the frame statistics file and the sky's clock.

#include <gtest/gtest.h>

#include "app/CaptureSettings.h"
#include "app/FirstPersonCamera.h"
#include "app/FrameStatsFile.h"
#include "app/FrameTiming.h"
#include "app/OrbitCamera.h"
#include "app/SkyClock.h"
#include "console/Console.h"
#include "tests/support/Support.h"

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
    const CaptureSettings all = CaptureSettings::parse({{"WINDHOLLOW_EXIT_AFTER_FRAMES", "18446744073709551615"},
                                                        {"WINDHOLLOW_SCREENSHOT", "/tmp/frame.png"},
                                                        {"WINDHOLLOW_EXIT_WHEN_SETTLED", "1"}});
    EXPECT_EQ(std::tuple(all.exit_after_frames, all.screenshot, all.exit_when_settled),
              std::tuple(std::optional<uint64_t>(UINT64_MAX), std::filesystem::path("/tmp/frame.png"), true));
    for (const CaptureSettings& none :
         {CaptureSettings::parse({}), CaptureSettings::parse({{"WINDHOLLOW_EXIT_AFTER_FRAMES", ""},
                                                              {"WINDHOLLOW_SCREENSHOT", ""},
                                                              {"WINDHOLLOW_EXIT_WHEN_SETTLED", ""},
                                                              {"WINDHOLLOW_FRAME_STATS", ""}})})
        EXPECT_TRUE(!none.exit_after_frames && none.screenshot.empty() && !none.exit_when_settled && none.frame_stats.empty());
    EXPECT_EQ(CaptureSettings::parse({{"WINDHOLLOW_EXIT_AFTER_FRAMES", "1"}, {"WINDHOLLOW_EXIT_WHEN_SETTLED", "0"}}).exit_after_frames,
              std::optional<uint64_t>(1));
    EXPECT_EQ(capture.err(), "");
    for (const char* frames : {"0", "-5", "12abc", " 12", "1.5", "+3", "18446744073709551616"}) {
        capture.clear();
        EXPECT_FALSE(CaptureSettings::parse({{"WINDHOLLOW_EXIT_AFTER_FRAMES", frames}}).exit_after_frames.has_value()) << frames;
        EXPECT_EQ(capture.err(), "Ignoring WINDHOLLOW_EXIT_AFTER_FRAMES=\"" + std::string(frames) +
                                     "\": expected a whole number of frames, 1 or more\n");
    }
    capture.clear();
    EXPECT_FALSE(CaptureSettings::parse({{"WINDHOLLOW_EXIT_WHEN_SETTLED", "yes"}}).exit_when_settled);
    EXPECT_EQ(capture.err(), "Ignoring WINDHOLLOW_EXIT_WHEN_SETTLED=\"yes\": expected 1 or 0\n");
    // The picture is a PNG: only a name that says so is taken (in any case).
    for (const auto& [name, taken] : {std::pair{"shot.jpg", false}, std::pair{"shot", false}, std::pair{"png", false},
                                      std::pair{"dir.png/shot.jpeg", false}, std::pair{"SHOT.PNG", true}, std::pair{".x.png", true}}) {
        capture.clear();
        EXPECT_EQ(CaptureSettings::parse({{"WINDHOLLOW_SCREENSHOT", name}}).screenshot.empty(), !taken) << name;
        EXPECT_EQ(capture.err(), taken ? std::string()
                                       : "Ignoring WINDHOLLOW_SCREENSHOT=\"" + std::string(name) +
                                             "\": expected a file name ending in .png\n");
    }
    const CaptureSettings files =
        CaptureSettings::parse({{"WINDHOLLOW_FRAME_TIMES", "/tmp/times"}, {"WINDHOLLOW_FRAME_STATS", "/tmp/stats.csv"}});
    EXPECT_EQ(std::pair(files.frame_times, files.frame_stats), std::pair(std::filesystem::path("/tmp/times"), std::filesystem::path("/tmp/stats.csv")));
}

// Rows numbered from 0 with their start times summed from the durations before them, written
// under the exact header, read back, and summarised with each frame counting for its duration.
TEST(FrameStatsFile, HeaderRowsReadingBackAndTheSharpShareOfAStretchAndItsWorstSecond)
{
    support::TempDir dir;
    FrameStatsFile stats(dir / "stats.csv");
    for (int i = 0; i < 10; ++i)
        stats.add(100.0, 40, 1.0, 0); // the first second sharp
    stats.add(1000.0, 52, 0.5, 12);   // one frame lasting the next second, half sharp
    stats.add(900.0, 60, 0.0, 30);    // a long blurred frame and a short sharp one
    stats.add(100.0, 61, 1.0, 3);
    ASSERT_TRUE(stats.write());
    const std::string text = support::read_file(dir / "stats.csv");
    EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1) + 1),
              "frame,time_s,dt_ms,leaves,sharp_share,pending_tiles\n0,0.0000,100.000,40,1.0000,0\n");
    EXPECT_EQ(text.substr(text.find("\n10,")), "\n10,1.0000,1000.000,52,0.5000,12\n11,2.0000,900.000,60,0.0000,30\n"
                                               "12,2.9000,100.000,61,1.0000,3\n");
    const std::optional<FrameStatsFile> read = FrameStatsFile::read(dir / "stats.csv");
    ASSERT_TRUE(read && read->rows().size() == 13);
    EXPECT_EQ(std::tuple(read->rows()[12].frame, read->rows()[12].time_s, read->rows()[12].leaves, read->rows()[12].pending_tiles),
              std::tuple(uint64_t(12), 2.9, uint32_t(61), uint64_t(3)));

    struct Case { double from, to, mean, worst, worst_from; uint64_t frames; };
    for (const Case& c : {Case{0.0, 3.0, 1.6 / 3.0, 0.1, 2.0, 13}, Case{0.0, 2.0, 0.75, 0.5, 1.0, 11}, Case{2.0, 3.0, 0.1, 0.1, 2.0, 2},
                          Case{0.5, 1.5, 0.75, 0.75, 0.5, 6}, Case{0.25, 0.75, 1.0, 1.0, 0.25, 6}}) {
        const std::optional<FrameStatsFile::Summary> s = read->summarize(c.from, c.to);
        ASSERT_TRUE(s) << c.from << " to " << c.to;
        EXPECT_NEAR(s->mean, c.mean, 1e-9) << c.from << " to " << c.to;
        EXPECT_EQ(std::tuple(std::round(s->worst_second * 1e9) / 1e9, s->worst_second_from_s, s->frames),
                  std::tuple(c.worst, c.worst_from, c.frames)) << c.from << " to " << c.to;
    }
    EXPECT_FALSE(read->summarize(5.0, 6.0)) << "no frame there";

    console::Capture capture;
    EXPECT_FALSE(FrameStatsFile(dir / "missing/stats.csv").write());
    EXPECT_EQ(capture.err(), "Could not write the frame statistics \"" + (dir / "missing/stats.csv").string() +
                                 "\": No such file or directory\n");
    support::write_file(dir / "times.csv", "12.5\n");
    capture.clear();
    EXPECT_FALSE(FrameStatsFile::read(dir / "times.csv"));
    EXPECT_NE(capture.err().find("the first line is not"), std::string::npos) << capture.err();
}

// The clock moves on by the flight's simulated time times the rate and holds the sun until a
// slider takes it; a new rate, date or hour gives it back. Without a configured time the
// sliders hold it from the start.
TEST(SkyClock, MovesWithTheFlightAndHoldsTheSunUntilASliderTakesIt)
{
    const double noon = 1782039600.0; // 2026-06-21T11:00:00Z
    SkyClock clock(noon, 0.0), unset(std::nullopt, noon);
    clock.set_rate(sky::TimeRate::SIXTY_TIMES);
    clock.follow_flight(10.0);
    clock.follow_flight(10.0); // paused: the flight's clock stands
    clock.release_sun();
    EXPECT_EQ(std::tuple(clock.utc_seconds(), clock.holds_sun(), unset.utc_seconds(), unset.holds_sun()),
              std::tuple(noon + 600.0, false, noon, false));
    clock.set_rate(sky::TimeRate::STOPPED);
    unset.set_utc_seconds(noon);
    EXPECT_TRUE(clock.holds_sun() && unset.holds_sun() && clock.sun_at({47.0, 11.0}));
}

} // namespace
