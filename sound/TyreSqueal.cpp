#include "sound/TyreSqueal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sound {

namespace {

constexpr float TWO_PI = 2.0f * std::numbers::pi_v<float>;
constexpr float SILENT = 1e-4f;
constexpr float PITCH_HZ = 1900.0f;

} // namespace

TyreSqueal::TyreSqueal(float rate)
    : m_rate(rate)
    , m_envelope(0.01f, rate)
{
    m_wobble.set_cutoff(12.0f, rate);
    m_chatter_low.set_cutoff(4000.0f, rate);
    m_chatter_high.set_cutoff(800.0f, rate);
}

void TyreSqueal::trigger(float level, float seconds)
{
    m_burst_level = std::clamp(level, 0.0f, 1.0f);
    m_burst_left = int(std::max(seconds, 0.0f) * m_rate);
}

void TyreSqueal::set_sustained(float level) { m_sustained = std::clamp(level, 0.0f, 1.0f); }

float TyreSqueal::next()
{
    const float burst = m_burst_left > 0 ? m_burst_level : 0.0f;
    m_burst_left = std::max(m_burst_left - 1, 0);
    m_envelope.set_target(0.3f * std::max(burst, m_sustained));
    const float envelope = m_envelope.next();
    if (m_envelope.target() == 0.0f && envelope < SILENT)
        return 0.0f;
    const float frequency = PITCH_HZ * (1.0f + 0.6f * m_wobble.low_pass(m_noise.next()));
    m_phase += frequency / m_rate;
    m_phase -= std::floor(m_phase);
    const float tone = std::sin(TWO_PI * m_phase) + 0.3f * std::sin(2.0f * TWO_PI * m_phase);
    const float chatter = m_chatter_high.high_pass(m_chatter_low.low_pass(m_noise.next()));
    return envelope * (tone * (0.8f + 0.6f * chatter) + 0.3f * chatter);
}

} // namespace sound
