#include "physics/Wind.h"

#include <algorithm>

#include "physics/WindProfile.h"

Wind::Wind(const WindSettings& settings, uint64_t seed)
    : m_settings(settings), m_gusts(seed), m_turbulence(seed ^ 0x9e3779b97f4a7c15ull)
{
}

void Wind::step(double dt, double height_m, double airspeed_m_s)
{
    m_gusts.step(dt, m_settings.gusts_m_s);
    m_turbulence.step(dt, airspeed_m_s, dryden::parameters(m_settings.turbulence, height_m, wind_20ft()));
}

double Wind::speed_10m() const
{
    return std::max(m_settings.speed_m_s + m_gusts.value(), 0.0);
}

glm::dvec3 Wind::velocity_at(double height_m) const
{
    return wind::mean_wind(m_settings.from_deg, speed_10m(), height_m);
}

glm::dvec3 Wind::turbulence_body() const
{
    // u forward, v right, w down to x forward, y up, z right.
    const glm::dvec3 uvw = m_turbulence.velocity();
    return {uvw.x, -uvw.z, uvw.y};
}

double Wind::wind_20ft() const
{
    return std::max(m_settings.speed_m_s, 0.0) * wind::profile_factor(20.0 * dryden::FEET);
}

glm::dvec3 Wind::air_velocity(double height_m, const glm::dquat& rotation) const
{
    return velocity_at(height_m) + rotation * turbulence_body();
}
