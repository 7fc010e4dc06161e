// The frame loop's clock arithmetic and the capture mode's settings.

#include "app/CaptureSettings.h"
#include "app/FrameTiming.h"

#include <gtest/gtest.h>

#include "console/Console.h"

namespace {

// delta_time is the frame's length; once more than a second has gathered, fps becomes the rate
// of the frame that closed it (cut to an integer) and the gathering starts again.
TEST(FrameTiming, DeltaAndTheRateOfTheFrameThatClosesASecond)
{
    struct Case { std::vector<uint64_t> ticks; int32_t fps; float delta, gathered; }; // 1000 ticks a second
    for (const Case& c : {Case{{300, 300, 300, 250}, 4, 0.25f, 0.0f}, Case{{990, 20}, 50, 0.02f, 0.0f},
                          Case{{990, 20, 100}, 50, 0.1f, 0.1f}, Case{{333, 333, 333, 3}, 333, 0.003f, 0.0f}, Case{{1500}, 0, 1.5f, 0.0f}}) {
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
}

TEST(CaptureSettings, ValuesAreReadOrNamedAndIgnored)
{
    console::Capture capture;
    const CaptureSettings all = CaptureSettings::parse("18446744073709551615", "/tmp/frame.png", "1");
    EXPECT_EQ(std::tuple(all.exit_after_frames, all.screenshot, all.exit_when_settled),
              std::tuple(std::optional<uint64_t>(UINT64_MAX), std::filesystem::path("/tmp/frame.png"), true));
    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        const CaptureSettings none = CaptureSettings::parse(unset, unset, unset);
        EXPECT_TRUE(!none.exit_after_frames && none.screenshot.empty() && !none.exit_when_settled);
    }
    EXPECT_EQ(std::pair(CaptureSettings::parse("1", nullptr, "0").exit_after_frames, capture.err()), std::pair(std::optional<uint64_t>(1), std::string()));
    for (const char* frames : {"0", "-5", "abc", "12abc", " 12", "1.5", "+3", "18446744073709551616"}) {
        capture.clear();
        EXPECT_FALSE(CaptureSettings::parse(frames, nullptr, nullptr).exit_after_frames.has_value()) << frames;
        EXPECT_EQ(capture.err(), "Ignoring WINDHOLLOW_EXIT_AFTER_FRAMES=\"" + std::string(frames) + "\": expected a whole number of frames, 1 or more\n");
    }
    capture.clear();
    EXPECT_FALSE(CaptureSettings::parse(nullptr, nullptr, "yes").exit_when_settled);
    EXPECT_EQ(capture.err(), "Ignoring WINDHOLLOW_EXIT_WHEN_SETTLED=\"yes\": expected 1 or 0\n");
}

} // namespace
