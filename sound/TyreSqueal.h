#pragma once

// A tyre's squeal: rubber that slips on the ground sings near 2 kHz, unsteadily. It sounds
// for a moment when a wheel meets the ground spinning slower than the aircraft moves (the
// touchdown: trigger) and for as long as a wheel is braked hard at speed (set_sustained).
// Silent (exact zeros) otherwise.

#include "sound/OnePole.h"
#include "sound/Smoothed.h"
#include "sound/WhiteNoise.h"

namespace sound {

class TyreSqueal {
public:
    explicit TyreSqueal(float rate);

    // A squeal of level (0..1) for seconds, from the next sample on.
    void trigger(float level, float seconds);
    // The level held while the brakes are on (0: none).
    void set_sustained(float level);
    float next();

private:
    float m_rate;
    Smoothed m_envelope;
    float m_burst_level = 0.0f;
    int m_burst_left = 0; // samples
    float m_sustained = 0.0f;
    float m_phase = 0.0f;
    WhiteNoise m_noise{0x85ebca6bu};
    OnePole m_wobble; // slow wandering of the pitch
    OnePole m_chatter_low, m_chatter_high;
};

} // namespace sound
