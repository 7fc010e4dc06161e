#pragma once

// Tells the touchdowns from the frames: the frame the wheels meet the ground after the aircraft
// has been in the air long enough to count as flying (a wheel that leaves a bump for a moment
// while rolling is no landing), and how fast it was sinking just before.

#include <optional>

namespace sound {

class TouchdownDetector {
public:
    // In the air at least this long before a contact counts as a touchdown.
    static constexpr float min_airborne_s = 0.3f;

    // One frame of dt seconds: whether any wheel touches the ground, and the vertical speed
    // (m/s, up positive). Returns the sink rate (m/s, 0 or more) of the last frame in the air on
    // the frame of a touchdown, nothing otherwise. Starts as if on the ground.
    std::optional<float> update(bool on_ground, float vertical_speed_m_s, float dt);

private:
    bool m_on_ground = true;
    float m_airborne_s = 0.0f;
    float m_sink_m_s = 0.0f;
};

} // namespace sound
