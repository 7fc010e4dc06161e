#include "sound/AirRush.h"

#include <algorithm>
#include <cmath>

namespace sound {

namespace {

// The airspeed at which the rush has its reference level; it grows on, more slowly, beyond.
constexpr float LOUD_AIRSPEED = 70.0f;
// Filter coefficients are recomputed every this many samples (exp is the costly part).
constexpr int CUTOFF_INTERVAL = 32;

} // namespace

AirRush::AirRush(float rate)
    : m_rate(rate)
    , m_level(0.05f, rate)
    , m_cutoff(0.05f, rate, 300.0f)
{
    m_rumble.set_cutoff(120.0f, rate);
    m_gust.set_cutoff(1.5f, rate);
}

void AirRush::set(float airspeed_m_s, bool muffled)
{
    const float v = std::max(airspeed_m_s, 0.0f);
    const float q = std::min((v / LOUD_AIRSPEED) * (v / LOUD_AIRSPEED), 1.0f) + 0.3f * std::max(v / LOUD_AIRSPEED - 1.0f, 0.0f);
    m_level.set_target(0.3f * q * (muffled ? 0.4f : 1.0f));
    m_cutoff.set_target((250.0f + 40.0f * v) * (muffled ? 0.35f : 1.0f));
}

float AirRush::next()
{
    const float cutoff = m_cutoff.next();
    if (--m_until_cutoff <= 0) {
        m_low1.set_cutoff(cutoff, m_rate);
        m_low2.set_cutoff(cutoff, m_rate);
        m_until_cutoff = CUTOFF_INTERVAL;
    }
    const float level = m_level.next();
    // Filtered noise loses level with its bandwidth; this keeps the rush as loud when it is
    // dark as when it is bright, so the level alone follows the airspeed.
    const float keep = std::sqrt(m_rate / (4.0f * cutoff));
    const float band = m_rumble.high_pass(m_low2.low_pass(m_low1.low_pass(m_noise.next())));
    const float gust = 1.0f + 6.0f * m_gust.low_pass(m_noise.next());
    return level * gust * keep * band;
}

} // namespace sound
