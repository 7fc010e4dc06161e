#pragma once

// The Options' controls of the time and the weather: the sky clock's date and hour (UTC) and
// its rate, and the wind's settings. Each edit takes effect at once: a new date, hour or rate
// gives the sun back to the clock, new wind settings blow from the next physics step.

#include <array>

#include "app/SkyClock.h"
#include "physics/Wind.h"

class WeatherOptions {
public:
    void draw_time(SkyClock& clock);
    void draw_wind(Wind& wind);

private:
    // The date and time field's text while it is edited; filled from the clock otherwise.
    std::array<char, 40> m_time_text{};
    bool m_time_refused = false; // the last entry was no UTC date and time
};
