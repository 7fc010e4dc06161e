#pragma once

// A four-cylinder, four-stroke piston engine heard from nearby: one pressure pulse per firing
// (each cylinder fires every second turn), a thump that rings briefly, with a little combustion
// roughness. The note's fundamental is the firing frequency, which follows the engine's speed;
// its level and its ringing rise with the load (the throttle), its level also with the speed.
// The phase runs on from sample to sample whatever the speed does, so a change of speed bends
// the pitch and never clicks.

#include "sound/OnePole.h"
#include "sound/Smoothed.h"
#include "sound/WhiteNoise.h"

namespace sound {

class EngineNote {
public:
    static constexpr int cylinders = 4;

    // Firings per second at rpm revolutions per minute.
    static constexpr float firing_frequency(float rpm) { return rpm / 60.0f * cylinders / 2.0f; }

    explicit EngineNote(float rate);

    // What the next samples glide to: the engine's speed (rpm, 0 is a stopped engine) and its
    // load (0..1).
    void set(float rpm, float load);
    float next();

private:
    float m_rate;
    float m_phase = 0.0f; // 0..1 through one firing
    Smoothed m_rpm;
    Smoothed m_level;
    Smoothed m_ring;
    WhiteNoise m_noise{0x2545f491u};
    OnePole m_roughness; // the combustion noise, without its hiss
};

} // namespace sound
