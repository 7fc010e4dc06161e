#include "terrain/SimulationClock.h"

#include <cmath>

namespace sky {

double time_rate_factor(TimeRate rate)
{
    switch (rate) {
    case TimeRate::STOPPED: return 0.0;
    case TimeRate::REAL_TIME: return 1.0;
    case TimeRate::SIXTY_TIMES: return 60.0;
    }
    return 0.0;
}

std::string_view time_rate_name(TimeRate rate)
{
    switch (rate) {
    case TimeRate::STOPPED: return "stopped";
    case TimeRate::REAL_TIME: return "1x";
    case TimeRate::SIXTY_TIMES: return "60x";
    }
    return "stopped";
}

void SimulationClock::advance(double simulated_seconds)
{
    if (!(simulated_seconds > 0.0) || !std::isfinite(simulated_seconds))
        return;
    m_utc_seconds += simulated_seconds * time_rate_factor(m_rate);
}

} // namespace sky
