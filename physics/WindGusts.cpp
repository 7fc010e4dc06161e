#include "physics/WindGusts.h"

#include <algorithm>

WindGusts::WindGusts(uint64_t seed) : m_noise(seed), m_lags(m_noise) {}

void WindGusts::step(double dt, double gusts_m_s)
{
    if (dt > 0.0)
        m_lags.step(dt / TIME_CONSTANT_S, m_noise);
    // The second lag's stationary standard deviation is 1/2: twice it has 1, times gusts / 2.
    m_value = std::max(gusts_m_s, 0.0) * m_lags.second();
}
