#include "app/FrameTiming.h"

#include <cmath>
#include <limits>

void advance_frame_time(FrameTime& time, uint64_t last, uint64_t now, uint64_t frequency)
{
    time.delta_time = frequency == 0 || now < last ? 0.0f : float(now - last) / float(frequency);
    time.fps_accumulator += time.delta_time;
    if (time.first_second_frames >= 0) {
        ++time.first_second_frames;
        time.first_second_seconds += time.delta_time;
        if (time.first_second_seconds > 0.0f) {
            const float rate = float(time.first_second_frames) / time.first_second_seconds;
            time.fps = rate >= float(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                                          : int32_t(rate);
        }
    }
    if (time.fps_accumulator > 1.0f) {
        time.first_second_frames = -1;
        time.fps_accumulator = 0.0f;
        if (time.delta_time > 0.0f) {
            float rate = 1.0f / time.delta_time;
            time.fps = rate >= float(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                                          : int32_t(rate);
        }
    }
}
