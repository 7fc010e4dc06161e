#include "sound/TyreRumble.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sound {

namespace {

constexpr float TWO_PI = 2.0f * std::numbers::pi_v<float>;
constexpr float SILENT = 1e-4f;
constexpr float LOUD_SPEED = 30.0f; // m/s where the rumble reaches its full level
constexpr int CUTOFF_INTERVAL = 32;

} // namespace

TyreRumble::TyreRumble(float rate)
    : m_rate(rate)
    , m_level(0.04f, rate)
    , m_speed(0.04f, rate)
{
}

void TyreRumble::set(bool on_ground, float ground_speed_m_s)
{
    const float v = std::abs(ground_speed_m_s);
    const bool rolling = on_ground && v >= min_speed_m_s;
    m_level.set_target(rolling ? 0.25f * std::pow(std::min(v / LOUD_SPEED, 1.0f), 0.7f) : 0.0f);
    m_speed.set_target(rolling ? v : m_speed.target());
}

float TyreRumble::next()
{
    const float level = m_level.next();
    const float v = m_speed.next();
    if (m_level.target() == 0.0f && level < SILENT)
        return 0.0f;
    const float cutoff = 50.0f + 5.0f * v;
    if (--m_until_cutoff <= 0) {
        m_low1.set_cutoff(cutoff, m_rate);
        m_low2.set_cutoff(cutoff, m_rate);
        m_until_cutoff = CUTOFF_INTERVAL;
    }
    m_wheel_phase += v / (TWO_PI * wheel_radius_m) / m_rate;
    m_wheel_phase -= std::floor(m_wheel_phase);
    const float pulse = 1.0f + 0.35f * std::sin(TWO_PI * m_wheel_phase);
    const float keep = std::sqrt(m_rate / (4.0f * cutoff)); // as in AirRush: level independent of the cutoff
    return level * pulse * keep * m_low2.low_pass(m_low1.low_pass(m_noise.next()));
}

} // namespace sound
