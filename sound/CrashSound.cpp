#include "sound/CrashSound.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sound {

namespace {

constexpr float TWO_PI = 2.0f * std::numbers::pi_v<float>;
constexpr float FADE_S = 0.3f; // the last part fades to an exact zero

} // namespace

CrashSound::CrashSound(float rate)
    : m_rate(rate)
    , m_length(int(duration_s * rate))
    , m_sample(m_length)
{
}

void CrashSound::trigger()
{
    m_sample = 0;
    m_thump_phase = 0.0f;
    for (Clank& clank : m_clanks) {
        clank.start = int((0.5f + 0.5f * m_noise.next()) * 1.2f * m_rate);
        clank.frequency = 1600.0f + 900.0f * m_noise.next();
    }
}

float CrashSound::next()
{
    if (!playing())
        return 0.0f;
    const float t = float(m_sample) / m_rate;
    ++m_sample;
    if ((m_sample & 31) == 1) {
        const float cutoff = 200.0f + 6000.0f * std::exp(-t / 0.4f);
        m_crunch1.set_cutoff(cutoff, m_rate);
        m_crunch2.set_cutoff(cutoff, m_rate);
    }
    const float thump_hz = 35.0f + 55.0f * std::exp(-t / 0.15f);
    m_thump_phase += thump_hz / m_rate;
    m_thump_phase -= std::floor(m_thump_phase);
    const float thump = std::exp(-t / 0.3f) * std::sin(TWO_PI * m_thump_phase);
    const float crunch = 2.5f * std::exp(-t / 0.6f) * m_crunch2.low_pass(m_crunch1.low_pass(m_noise.next()));
    float metal = 0.0f;
    for (const Clank& clank : m_clanks) {
        const float since = t - float(clank.start) / m_rate;
        if (since >= 0.0f && since < 0.4f)
            metal += 0.25f * std::exp(-since / 0.06f) * std::sin(TWO_PI * clank.frequency * since);
    }
    const float fade = std::min(1.0f, (duration_s - t) / FADE_S);
    return 0.6f * fade * (thump + crunch + metal);
}

} // namespace sound
