#pragma once

// Continuous turbulence by the Dryden model of MIL-F-8785C: gust velocities along the body's
// axes whose spectra are Dryden's for the aircraft's airspeed V, with intensities (sigma) and
// scale lengths (L) by height above the ground:
//
// - Below 1000 ft: L_w = h, L_u = L_v = h / (0.177 + 0.000823 h)^1.2 (feet);
//   sigma_w = 0.1 W20, sigma_u = sigma_v = sigma_w / (0.177 + 0.000823 h)^0.4, W20 being the
//   wind 20 ft above the ground. Heights below 10 ft count as 10 ft.
// - Above 2000 ft: L = 1750 ft on all three axes and sigma_u = sigma_v = sigma_w from
//   MIL-F-8785C's chart of turbulence intensity against altitude by probability of
//   exceedance: light the 10^-2 curve, moderate 10^-3, severe 10^-5 (HIGH_ALTITUDE_SIGMA).
// - Between them every sigma and L is interpolated linearly from its 1000 ft value to its
//   2000 ft value.
//
// Forming filters, T = L / V, driven by independent Gaussian white noise (seeded):
//
//   u: sigma_u sqrt(2 L_u / (pi V)) / (1 + T_u s)                      (a first-order lag)
//   v: sigma_v sqrt(L_v / (pi V)) (1 + sqrt(3) T_v s) / (1 + T_v s)^2   (w alike with L_w)
//
// Each is stepped by the exact discretisation of its linear system over the step (see
// CascadedLags.h), so the output has its standard deviation sigma for any step, airspeed and
// height, and the correlation in distance flown that the spectra prescribe: e^(-x / L_u) for u,
// (1 - x / (2 L)) e^(-x / L) for v and w. The filters hold normalised states and the output
// scales them by sigma, so a change of height or speed changes the turbulence smoothly.

#include <cstdint>

#include <glm/common.hpp>
#include <glm/vec3.hpp>

#include "physics/CascadedLags.h"
#include "physics/GaussianNoise.h"
#include "physics/WindSettings.h"

struct DrydenParameters {
    glm::dvec3 sigma{0.0};  // intensities of u, v, w, m/s
    glm::dvec3 length{1.0}; // scale lengths of u, v, w, m
};

namespace dryden {

inline constexpr double FEET = 0.3048; // metres
inline constexpr double KNOTS = 1852.0 / 3600.0; // metres per second

// The altitudes (ft) and intensities (ft/s) read from the chart for light, moderate and severe
// turbulence; between the altitudes linear, outside them the nearest column.
inline constexpr double CHART_ALTITUDES_FT[12] = {500, 1750, 3750, 7500, 15000, 25000,
                                                  35000, 45000, 55000, 65000, 75000, 80000};
inline constexpr double HIGH_ALTITUDE_SIGMA_FT_S[3][12] = {
    {6.6, 6.9, 7.4, 6.7, 4.6, 2.7, 0.4, 0.0, 0.0, 0.0, 0.0, 0.0},         // light: 10^-2
    {8.6, 9.6, 10.6, 10.1, 8.0, 6.6, 5.0, 4.2, 2.7, 0.0, 0.0, 0.0},       // moderate: 10^-3
    {15.6, 17.6, 23.0, 23.6, 22.1, 20.0, 16.0, 15.1, 12.1, 7.9, 6.2, 5.1}, // severe: 10^-5
};
// The 20 ft wind MIL-F-8785C pairs with each level for low altitudes: 15, 30 and 45 kt.
inline constexpr double LEVEL_WIND_20FT_KT[3] = {15.0, 30.0, 45.0};
inline constexpr double HIGH_ALTITUDE_LENGTH_FT = 1750.0;
inline constexpr double LOW_ALTITUDE_TOP_FT = 1000.0;
inline constexpr double HIGH_ALTITUDE_BOTTOM_FT = 2000.0;
inline constexpr double LOWEST_HEIGHT_FT = 10.0;
// The forming filters need an airspeed to turn distance into time; slower counts as this.
inline constexpr double MIN_AIRSPEED_M_S = 1.0;

// sigma and L at height_m above the ground for a level of turbulence and a 20 ft wind (m/s).
// All zero intensities for Turbulence::NONE.
DrydenParameters parameters(Turbulence level, double height_m, double wind_20ft_m_s);

} // namespace dryden

class DrydenTurbulence {
public:
    explicit DrydenTurbulence(uint64_t seed);

    // Advances by dt seconds (nothing for dt <= 0) at the airspeed (true m/s) with the
    // parameters of the height flown.
    void step(double dt, double airspeed_m_s, const DrydenParameters& parameters);

    // The gust velocity now: u along the body's forward axis, v to the right, w down (the usual
    // aerodynamic axes), m/s.
    glm::dvec3 velocity() const { return m_velocity; }

private:
    GaussianNoise m_noise;
    double m_u;           // unit variance
    CascadedLags m_v, m_w;
    glm::dvec3 m_velocity{0.0};
};
