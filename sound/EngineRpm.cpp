#include "sound/EngineRpm.h"

#include <algorithm>
#include <cmath>

namespace sound {

float engine_rpm(float throttle, float airspeed_m_s, const EngineRpmModel& model)
{
    const float t = std::clamp(throttle, 0.0f, 1.0f);
    const float idle_share = (model.idle_rpm / model.static_rpm) * (model.idle_rpm / model.static_rpm);
    const float n0 = model.static_rpm / 60.0f * std::sqrt(idle_share + (1.0f - idle_share) * t); // turns per second
    const float half_windmill = std::max(airspeed_m_s, 0.0f) / (2.0f * model.pitch_m);
    const float n = half_windmill + std::sqrt(half_windmill * half_windmill + n0 * n0);
    return std::min(n * 60.0f, model.max_rpm);
}

} // namespace sound
