#pragma once

// The rush of the air past the aircraft: noise through a low-pass whose cutoff rises with the
// airspeed (faster air is brighter), at a level that grows with the dynamic pressure (the square
// of the airspeed) and wavers a little, as gusts do. Inside the cockpit the walls take most of
// it and nearly all of its brightness.

#include "sound/OnePole.h"
#include "sound/Smoothed.h"
#include "sound/WhiteNoise.h"

namespace sound {

class AirRush {
public:
    explicit AirRush(float rate);

    // True airspeed in m/s; muffled inside the cockpit.
    void set(float airspeed_m_s, bool muffled);
    float next();

private:
    float m_rate;
    Smoothed m_level;
    Smoothed m_cutoff;
    WhiteNoise m_noise{0x68e31da4u};
    OnePole m_low1, m_low2; // two poles: 12 dB per octave above the cutoff
    OnePole m_rumble;      // takes out what lies below the rush
    OnePole m_gust;        // slow wavering of the level
    int m_until_cutoff = 0;
};

} // namespace sound
