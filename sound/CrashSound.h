#pragma once

// The crash, a one-shot of a few seconds: a deep thump whose pitch falls, a crunch of broad
// noise that darkens as it dies away, and metal striking metal in the first second. Silent
// (exact zeros) until triggered and after it has played out; a new trigger starts it again.

#include <array>

#include "sound/OnePole.h"
#include "sound/WhiteNoise.h"

namespace sound {

class CrashSound {
public:
    static constexpr float duration_s = 3.0f;

    explicit CrashSound(float rate);

    void trigger();
    bool playing() const { return m_sample < m_length; }
    float next();

private:
    struct Clank {
        int start = 0;       // sample after the trigger
        float frequency = 0; // Hz
    };

    float m_rate;
    int m_length;
    int m_sample;
    float m_thump_phase = 0.0f;
    WhiteNoise m_noise{0xc2b2ae35u};
    OnePole m_crunch1, m_crunch2;
    std::array<Clank, 5> m_clanks{};
};

} // namespace sound
