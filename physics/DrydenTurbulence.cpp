#include "physics/DrydenTurbulence.h"

#include <algorithm>
#include <cmath>

namespace dryden {

namespace {

// The chart's intensity at an altitude for levels 1-3 (light ... severe), ft/s.
double chart_sigma_ft_s(Turbulence level, double altitude_ft)
{
    const double* row = HIGH_ALTITUDE_SIGMA_FT_S[static_cast<int>(level) - 1];
    const double* first = CHART_ALTITUDES_FT;
    const double* last = CHART_ALTITUDES_FT + std::size(CHART_ALTITUDES_FT) - 1;
    if (altitude_ft <= *first)
        return row[0];
    if (altitude_ft >= *last)
        return row[last - first];
    const auto above = std::upper_bound(first, last + 1, altitude_ft) - first;
    const double t = (altitude_ft - first[above - 1]) / (first[above] - first[above - 1]);
    return row[above - 1] + t * (row[above] - row[above - 1]);
}

struct FeetParameters {
    double sigma_u, sigma_w, length_u, length_w; // ft/s and ft; v as u
};

FeetParameters low_altitude(double h_ft, double wind_20ft_ft_s)
{
    const double k = 0.177 + 0.000823 * h_ft;
    const double sigma_w = 0.1 * wind_20ft_ft_s;
    return {sigma_w / std::pow(k, 0.4), sigma_w, h_ft / std::pow(k, 1.2), h_ft};
}

} // namespace

DrydenParameters parameters(Turbulence level, double height_m, double wind_20ft_m_s)
{
    if (level == Turbulence::NONE)
        return {};
    // A stronger wind than the level's own stirs the air near the ground more.
    const double level_wind = LEVEL_WIND_20FT_KT[static_cast<int>(level) - 1] * KNOTS;
    const double w20 = std::max(level_wind, std::isfinite(wind_20ft_m_s) ? wind_20ft_m_s : 0.0) / FEET;
    const double h = std::isnan(height_m) ? LOWEST_HEIGHT_FT : std::max(height_m / FEET, LOWEST_HEIGHT_FT);

    FeetParameters p{};
    if (h <= LOW_ALTITUDE_TOP_FT) {
        p = low_altitude(h, w20);
    } else {
        const double high_sigma = chart_sigma_ft_s(level, std::max(h, HIGH_ALTITUDE_BOTTOM_FT));
        p = {high_sigma, high_sigma, HIGH_ALTITUDE_LENGTH_FT, HIGH_ALTITUDE_LENGTH_FT};
        if (h < HIGH_ALTITUDE_BOTTOM_FT) {
            const FeetParameters low = low_altitude(LOW_ALTITUDE_TOP_FT, w20);
            const double t = (h - LOW_ALTITUDE_TOP_FT) / (HIGH_ALTITUDE_BOTTOM_FT - LOW_ALTITUDE_TOP_FT);
            p = {low.sigma_u + t * (p.sigma_u - low.sigma_u), low.sigma_w + t * (p.sigma_w - low.sigma_w),
                 low.length_u + t * (p.length_u - low.length_u), low.length_w + t * (p.length_w - low.length_w)};
        }
    }
    DrydenParameters result;
    result.sigma = glm::dvec3(p.sigma_u, p.sigma_u, p.sigma_w) * FEET;
    result.length = glm::dvec3(p.length_u, p.length_u, p.length_w) * FEET;
    return result;
}

} // namespace dryden

DrydenTurbulence::DrydenTurbulence(uint64_t seed) : m_noise(seed), m_u(m_noise.next()), m_v(m_noise), m_w(m_noise) {}

void DrydenTurbulence::step(double dt, double airspeed_m_s, const DrydenParameters& p)
{
    if (dt > 0.0) {
        const double v = std::isfinite(airspeed_m_s) ? std::max(airspeed_m_s, dryden::MIN_AIRSPEED_M_S)
                                                      : dryden::MIN_AIRSPEED_M_S;
        // Steps of r = dt / T = V dt / L.
        const glm::dvec3 r = v * dt / glm::max(p.length, glm::dvec3(1e-3));
        const double a = std::exp(-r.x);
        m_u = a * m_u + std::sqrt(-std::expm1(-2.0 * r.x)) * m_noise.next();
        m_v.step(r.y, m_noise);
        m_w.step(r.z, m_noise);
    }
    // (1 + sqrt(3) T s) / (1 + T s)^2 = sqrt(3) / (1 + T s) + (1 - sqrt(3)) / (1 + T s)^2.
    const double root3 = std::sqrt(3.0);
    const auto lateral = [root3](const CascadedLags& lags) { return root3 * lags.first() + (1.0 - root3) * lags.second(); };
    m_velocity = p.sigma * glm::dvec3(m_u, lateral(m_v), lateral(m_w));
}
