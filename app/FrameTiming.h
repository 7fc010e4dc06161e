#pragma once

// The frame loop's clock arithmetic, apart from SDL so it can be checked with made-up
// counter readings.

#include <cstdint>

struct FrameTime {
    float delta_time = 0.0f;      // seconds taken by the frame just finished
    float fps_accumulator = 0.0f; // seconds since the FPS figure was last refreshed
    int32_t fps = 0;              // frames per second shown in the overlay
    // Until the first refresh: the frames and seconds measured so far, whose rate is shown
    // meanwhile. first_second_frames < 0 once a full second has passed.
    int32_t first_second_frames = 0;
    float first_second_seconds = 0.0f;
};

// One frame ended: the counter went from last to now at frequency ticks per second.
// delta_time is the difference in seconds; once more than a second has gathered, fps becomes
// the rate of this one frame (cut to an integer) and the gathering starts again. Before the
// first second is full, fps is the rate of the frames measured so far, so a short run or its
// screenshot does not read 0. A zero
// frequency or a counter that went backwards counts as a frame of no time, and a frame of no
// time leaves fps alone rather than dividing by zero.
void advance_frame_time(FrameTime& time, uint64_t last, uint64_t now, uint64_t frequency);
