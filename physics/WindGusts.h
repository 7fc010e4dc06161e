#pragma once

// Gusts: a smooth random variation of the 10 m wind's speed. A Gaussian process with mean 0
// and standard deviation gusts_m_s / 2, so the wind reaches about speed + gusts_m_s at its
// peaks (two standard deviations: a few per cent of the time above), as a report of "10 m/s,
// gusts 15" reads. White noise filtered by two lags of 2 s each: gusts rise and fall over a
// few seconds, without steps or kinks (the process has a derivative).

#include <cstdint>

#include "physics/CascadedLags.h"
#include "physics/GaussianNoise.h"

class WindGusts {
public:
    static constexpr double TIME_CONSTANT_S = 2.0;

    explicit WindGusts(uint64_t seed);

    // Advances by dt seconds (nothing for dt <= 0) with gusts of gusts_m_s (see above).
    void step(double dt, double gusts_m_s);

    // The speed the gusts add to the 10 m wind now, m/s (negative in the lulls).
    double value() const { return m_value; }

private:
    GaussianNoise m_noise;
    CascadedLags m_lags;
    double m_value = 0.0;
};
