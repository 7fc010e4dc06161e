#pragma once

// A one-pole low-pass filter (6 dB per octave above the cutoff); what it takes away, x − low, is
// the matching high-pass. The cutoff may change every sample without a click: only the
// coefficient changes, never the state.

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sound {

class OnePole {
public:
    // Cutoff in Hz at rate samples per second, kept below a quarter of the rate.
    void set_cutoff(float hz, float rate)
    {
        const float f = std::clamp(hz, 1.0f, 0.25f * rate);
        m_k = 1.0f - std::exp(-2.0f * std::numbers::pi_v<float> * f / rate);
    }

    float low_pass(float x)
    {
        m_y += m_k * (x - m_y);
        // A state dying away in silence would sink into denormal numbers, which cost the CPU
        // a hundred times as much per operation.
        if (std::abs(m_y) < 1e-20f)
            m_y = 0.0f;
        return m_y;
    }
    float high_pass(float x) { return x - low_pass(x); }

private:
    float m_k = 1.0f;
    float m_y = 0.0f;
};

} // namespace sound
