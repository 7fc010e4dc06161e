#include "app/FrameTiming.h"

#include <cmath>
#include <limits>

void advance_frame_time(FrameTime& time, uint64_t last, uint64_t now, uint64_t frequency)
{
    time.delta_time = frequency == 0 || now < last ? 0.0f : float(now - last) / float(frequency);
    time.fps_accumulator += time.delta_time;
    if (time.fps_accumulator > 1.0f) {
        time.fps_accumulator = 0.0f;
        if (time.delta_time > 0.0f) {
            float rate = 1.0f / time.delta_time;
            time.fps = rate >= float(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                                          : int32_t(rate);
        }
    }
}
