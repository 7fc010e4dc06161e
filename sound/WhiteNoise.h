#pragma once

// Uniform white noise in [-1, 1) from a 32-bit xorshift generator: cheap enough for every
// sample, and the same sequence for the same seed, so a test hears what the program plays.

#include <cstdint>

namespace sound {

class WhiteNoise {
public:
    explicit WhiteNoise(uint32_t seed = 0x9e3779b9u) : m_state(seed != 0 ? seed : 1u) {}

    float next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return float(m_state) * (2.0f / 4294967296.0f) - 1.0f;
    }

private:
    uint32_t m_state;
};

} // namespace sound
