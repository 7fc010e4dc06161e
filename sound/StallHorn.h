#pragma once

// The stall warning horn: a reed blown by the air at the wing's leading edge, a tone rich in
// odd harmonics (as a clarinet's reed gives) with a slight flutter, sounding exactly while the
// warning is on. It starts and stops over a few milliseconds, so neither edge clicks, and is
// silent (exact zeros) once stopped.

#include "sound/Smoothed.h"

namespace sound {

class StallHorn {
public:
    static constexpr float frequency_hz = 520.0f;

    explicit StallHorn(float rate);

    void set(bool on);
    float next();

private:
    float m_rate;
    Smoothed m_envelope;
    float m_phase = 0.0f;
    float m_flutter_phase = 0.0f;
};

} // namespace sound
