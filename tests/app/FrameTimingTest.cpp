#include "app/FrameTiming.h"

#include <gtest/gtest.h>

namespace {

// Frames of the given lengths in counter ticks at 1000 ticks per second.
FrameTime run_frames(std::initializer_list<uint64_t> ticks, FrameTime time = {})
{
    uint64_t counter = 5000;
    for (uint64_t t : ticks) {
        advance_frame_time(time, counter, counter + t, 1000);
        counter += t;
    }
    return time;
}

TEST(FrameTiming, DeltaIsTheFrameLengthInSeconds)
{
    FrameTime time = run_frames({16});
    EXPECT_FLOAT_EQ(time.delta_time, 0.016f);
    EXPECT_FLOAT_EQ(time.fps_accumulator, 0.016f);
    EXPECT_EQ(time.fps, 0) << "the figure waits for a full second";
}

TEST(FrameTiming, FpsIsTheRateOfTheFrameThatClosesTheSecond)
{
    struct Case {
        std::initializer_list<uint64_t> ticks;
        int32_t fps;
        float accumulator;
    };
    const Case cases[] = {
        // exactly one second gathered is not "more than" a second
        {{500, 500}, 0, 1.0f},
        // 0.9 s of slow frames, then a 250 ms frame closes the second: 4, not the average
        {{300, 300, 300, 250}, 4, 0.0f},
        // the closing frame is fast: its own rate counts
        {{990, 20}, 50, 0.0f},
        // after the refresh the gathering starts again
        {{990, 20, 100}, 50, 0.1f},
        // a fraction of a frame per second is cut to an integer
        {{1500}, 0, 0.0f},
        {{333, 333, 333, 3}, 333, 0.0f},
    };
    for (const Case& c : cases) {
        FrameTime time = run_frames(c.ticks);
        EXPECT_EQ(time.fps, c.fps) << "frames: " << c.ticks.size();
        EXPECT_NEAR(time.fps_accumulator, c.accumulator, 1e-6) << "frames: " << c.ticks.size();
    }
}

TEST(FrameTiming, FrameOfNoTimeNeverDividesByZero)
{
    FrameTime time{0.0f, 1.5f, 60};
    advance_frame_time(time, 100, 100, 1000);
    EXPECT_EQ(time.delta_time, 0.0f);
    EXPECT_EQ(time.fps, 60) << "a zero-length frame keeps the previous figure";
    EXPECT_EQ(time.fps_accumulator, 0.0f);

    // A frequency of zero and a counter running backwards count as no time.
    FrameTime broken{};
    advance_frame_time(broken, 100, 200, 0);
    EXPECT_EQ(broken.delta_time, 0.0f);
    advance_frame_time(broken, 200, 100, 1000);
    EXPECT_EQ(broken.delta_time, 0.0f);
}

} // namespace
