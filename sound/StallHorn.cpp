#include "sound/StallHorn.h"

#include <cmath>
#include <numbers>

namespace sound {

namespace {

constexpr float TWO_PI = 2.0f * std::numbers::pi_v<float>;
// Below this the envelope has died away and the horn writes zeros.
constexpr float SILENT = 1e-4f;

} // namespace

StallHorn::StallHorn(float rate)
    : m_rate(rate)
    , m_envelope(0.006f, rate)
{
}

void StallHorn::set(bool on) { m_envelope.set_target(on ? 0.16f : 0.0f); }

float StallHorn::next()
{
    const float envelope = m_envelope.next();
    if (m_envelope.target() == 0.0f && envelope < SILENT) {
        m_phase = 0.0f;
        return 0.0f;
    }
    // A reed's flutter: 7 Hz, half a percent of the pitch.
    m_flutter_phase += 7.0f / m_rate;
    m_flutter_phase -= std::floor(m_flutter_phase);
    const float frequency = frequency_hz * (1.0f + 0.005f * std::sin(TWO_PI * m_flutter_phase));
    m_phase += frequency / m_rate;
    m_phase -= std::floor(m_phase);
    // Harmonics up to the 9th (4.7 kHz): band-limited, so nothing folds back below.
    float tone = 0.0f;
    for (int k = 1; k <= 9; ++k)
        tone += (k % 2 == 1 ? 1.0f : 0.15f) / float(k) * std::sin(TWO_PI * float(k) * m_phase);
    return envelope * tone;
}

} // namespace sound
