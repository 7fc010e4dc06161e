#pragma once

// The tyres rolling on the ground: deep noise whose level and pitch rise with the ground
// speed, pulsing once per turn of the wheel. Silent (exact zeros) while the wheels are off the
// ground or standing still.

#include "sound/OnePole.h"
#include "sound/Smoothed.h"
#include "sound/WhiteNoise.h"

namespace sound {

class TyreRumble {
public:
    // The wheels' radius, metres: sets how often the pulse comes.
    static constexpr float wheel_radius_m = 0.19f;
    // Slower than this the tyres make no sound.
    static constexpr float min_speed_m_s = 0.3f;

    explicit TyreRumble(float rate);

    void set(bool on_ground, float ground_speed_m_s);
    float next();

private:
    float m_rate;
    Smoothed m_level;
    Smoothed m_speed;
    WhiteNoise m_noise{0x1b873593u};
    OnePole m_low1, m_low2;
    float m_wheel_phase = 0.0f;
    int m_until_cutoff = 0;
};

} // namespace sound
