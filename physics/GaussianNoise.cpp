#include "physics/GaussianNoise.h"

#include <cmath>

namespace {

uint64_t splitmix64(uint64_t& x)
{
    uint64_t z = (x += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

uint64_t rotate_left(uint64_t x, int k)
{
    return (x << k) | (x >> (64 - k));
}

} // namespace

GaussianNoise::GaussianNoise(uint64_t seed)
{
    // splitmix64 never yields four zero words, the one state xoshiro cannot leave.
    for (uint64_t& word : m_state)
        word = splitmix64(seed);
}

uint64_t GaussianNoise::next_bits()
{
    const uint64_t result = rotate_left(m_state[1] * 5, 7) * 9;
    const uint64_t t = m_state[1] << 17;
    m_state[2] ^= m_state[0];
    m_state[3] ^= m_state[1];
    m_state[1] ^= m_state[2];
    m_state[0] ^= m_state[3];
    m_state[2] ^= t;
    m_state[3] = rotate_left(m_state[3], 45);
    return result;
}

double GaussianNoise::next_signed_unit()
{
    // The top 53 bits as a double in [0, 1), then to (-1, 1) without its ends mattering: the
    // polar method rejects the point anyway when it falls outside the unit circle.
    return static_cast<double>(next_bits() >> 11) * 0x1.0p-53 * 2.0 - 1.0;
}

double GaussianNoise::next()
{
    if (m_has_spare) {
        m_has_spare = false;
        return m_spare;
    }
    double x = 0.0, y = 0.0, s = 0.0;
    do {
        x = next_signed_unit();
        y = next_signed_unit();
        s = x * x + y * y;
    } while (s >= 1.0 || s == 0.0);
    const double f = std::sqrt(-2.0 * std::log(s) / s);
    m_spare = y * f;
    m_has_spare = true;
    return x * f;
}
