#include "sound/TouchdownDetector.h"

#include <algorithm>

namespace sound {

std::optional<float> TouchdownDetector::update(bool on_ground, float vertical_speed_m_s, float dt)
{
    std::optional<float> touchdown;
    if (!on_ground) {
        m_airborne_s = m_on_ground ? dt : m_airborne_s + dt;
        // By the frame of contact the springs have already slowed the sink: the sink of the
        // last frame in the air is the one the tyres met.
        m_sink_m_s = std::max(-vertical_speed_m_s, 0.0f);
    } else if (!m_on_ground && m_airborne_s >= min_airborne_s) {
        touchdown = m_sink_m_s;
    }
    m_on_ground = on_ground;
    return touchdown;
}

} // namespace sound
