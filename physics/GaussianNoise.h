#pragma once

// Seeded Gaussian white noise with mean 0 and standard deviation 1: xoshiro256** seeded through
// splitmix64, turned normal by Marsaglia's polar method. The standard library's distributions
// differ between implementations; this one gives the same numbers for a seed everywhere, so a
// turbulent flight can be flown again.

#include <cstdint>

class GaussianNoise {
public:
    explicit GaussianNoise(uint64_t seed);

    double next();

private:
    uint64_t next_bits();
    // Uniform in (-1, 1).
    double next_signed_unit();

    uint64_t m_state[4];
    double m_spare = 0.0;
    bool m_has_spare = false;
};
