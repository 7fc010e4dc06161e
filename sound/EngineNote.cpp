#include "sound/EngineNote.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sound {

namespace {

constexpr float TWO_PI = 2.0f * std::numbers::pi_v<float>;
// The speed at which the level stops rising with speed alone (a little above full static rpm).
constexpr float LOUD_RPM = 2300.0f;

} // namespace

EngineNote::EngineNote(float rate)
    : m_rate(rate)
    , m_rpm(0.015f, rate)
    , m_level(0.03f, rate)
    , m_ring(0.03f, rate)
{
    m_roughness.set_cutoff(1500.0f, rate);
}

void EngineNote::set(float rpm, float load)
{
    const float l = std::clamp(load, 0.0f, 1.0f);
    const float r = std::max(rpm, 0.0f);
    m_rpm.set_target(r);
    // A stopped engine is silent; a turning one is loud with load and somewhat with speed.
    m_level.set_target(r > 0.0f ? 0.35f * (0.35f + 0.65f * l) * (0.6f + 0.4f * std::min(r / LOUD_RPM, 1.3f)) : 0.0f);
    m_ring.set_target(0.35f + 0.5f * l);
}

float EngineNote::next()
{
    const float rpm = m_rpm.next();
    const float level = m_level.next();
    const float ring = m_ring.next();
    const float p = m_phase;
    // Every term is periodic in the phase and zero at 0 and 1 or continuous across, so the
    // waveform has no step where one firing hands over to the next.
    const float decay = std::exp(-5.0f * p);
    const float pulse = 0.5f * std::sin(TWO_PI * p) + 0.15f * std::sin(2.0f * TWO_PI * p + 0.6f) +
                        ring * decay * std::sin(3.0f * TWO_PI * p);
    const float rough = 0.5f * std::exp(-8.0f * p) * std::sin(std::numbers::pi_v<float> * p) *
                        m_roughness.low_pass(m_noise.next());
    m_phase += firing_frequency(rpm) / m_rate;
    m_phase -= std::floor(m_phase);
    return level * (pulse + rough);
}

} // namespace sound
