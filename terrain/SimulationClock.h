#pragma once

// The date and hour of the simulated world: UTC seconds since the epoch (see UtcTime.h), moved
// on by the simulated time that passes times a rate. Simulated time stands still while the
// simulation is paused, so does the clock.

#include <cstdint>
#include <string_view>

namespace sky {

enum class TimeRate : int32_t {
    STOPPED = 0,  // the sun stays where the clock says
    REAL_TIME = 1,
    SIXTY_TIMES = 2, // an hour a minute: a sunset in a few minutes
};

// Simulated seconds of the clock per simulated second of flight: 0, 1, 60.
double time_rate_factor(TimeRate rate);
// "stopped", "1x", "60x": what the Options show.
std::string_view time_rate_name(TimeRate rate);

class SimulationClock {
public:
    explicit SimulationClock(double utc_seconds = 0.0, TimeRate rate = TimeRate::REAL_TIME)
        : m_utc_seconds(utc_seconds), m_rate(rate)
    {
    }

    // Moves the clock on by simulated_seconds times the rate. Nothing for a time that is not
    // positive or not finite (a paused frame, a broken frame clock).
    void advance(double simulated_seconds);

    double utc_seconds() const { return m_utc_seconds; }
    void set_utc_seconds(double utc_seconds) { m_utc_seconds = utc_seconds; }
    TimeRate rate() const { return m_rate; }
    void set_rate(TimeRate rate) { m_rate = rate; }

private:
    double m_utc_seconds;
    TimeRate m_rate;
};

} // namespace sky
