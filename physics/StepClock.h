#pragma once

// Fixed steps driven by the wall clock: how many steps of a fixed length a frame of dt seconds
// needs, the time left over being carried into the next frame. A frame longer than max_steps
// steps (the program stalled: a blocking load, a debugger, a dragged window) advances by
// max_steps steps only and the rest is dropped, so simulated time falls behind the wall clock
// for that frame instead of the next frames racing to catch up.

#include <algorithm>
#include <cmath>

class StepClock {
public:
    StepClock(double step, int max_steps) : m_step(step), m_max_steps(max_steps) {}

    // The steps this frame takes. A dt that is not positive takes none and changes nothing;
    // an infinite one takes max_steps.
    int steps_for(double dt)
    {
        m_dropped = 0.0;
        if (!(dt > 0.0))
            return 0;
        const double due = m_carried + dt;
        const double whole = std::floor(due / m_step);
        if (!(whole <= static_cast<double>(m_max_steps))) {
            m_carried = 0.0;
            m_dropped = due - m_max_steps * m_step;
            return m_max_steps;
        }
        m_carried = std::max(0.0, due - whole * m_step);
        return static_cast<int>(whole);
    }

    double step() const { return m_step; }
    int max_steps() const { return m_max_steps; }
    // Time due but not yet stepped, seconds.
    double carried() const { return m_carried; }
    // Time the last steps_for dropped beyond the cap, seconds (0 when it kept up; infinite
    // after an infinite dt): how far simulated time fell behind the wall clock in that frame.
    double dropped() const { return m_dropped; }

private:
    double m_step;
    int m_max_steps;
    double m_carried = 0.0;
    double m_dropped = 0.0;
};
