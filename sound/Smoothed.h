#pragma once

// A control value (a level, a speed) that glides toward its target sample by sample with a
// time constant, so that targets set once a frame change the sound without a step (a step in a
// level is a click).

#include <cmath>

namespace sound {

class Smoothed {
public:
    Smoothed(float time_constant_s, float rate, float value = 0.0f)
        : m_k(1.0f - std::exp(-1.0f / (time_constant_s * rate)))
        , m_value(value)
        , m_target(value)
    {
    }

    void set_target(float target) { m_target = target; }
    float target() const { return m_target; }
    float value() const { return m_value; }
    float next()
    {
        m_value += m_k * (m_target - m_value);
        if (std::abs(m_value - m_target) < 1e-20f) // no denormals while resting (see OnePole)
            m_value = m_target;
        return m_value;
    }

private:
    float m_k;
    float m_value;
    float m_target;
};

} // namespace sound
