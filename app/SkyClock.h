#pragma once

// The simulated world's date and hour, and whether they or the Atmosphere's sliders hold the
// sun. With a time in the configuration the clock holds it: every frame the sun goes where it
// stands at the clock's instant over the first-person camera. Moving a sun slider takes the
// sun from the clock; it stays where the slider put it until the date, the hour or the rate is
// changed, which gives it back. Without a time the sliders hold the sun from the start, and
// the clock (set to the system clock) waits for such a change.
//
// Pure: values in, values out.

#include <optional>

#include "sky/SimulationClock.h"
#include "sky/SolarPosition.h"
#include "tiles/LatLon.h"

class SkyClock {
public:
    // configured: the configuration's instant, UTC seconds; none: the sliders hold the sun and
    // the clock starts at now_seconds.
    SkyClock(std::optional<double> configured, double now_seconds);

    // Moves the clock on to the flight's simulated clock (FlightSimulation::clock(), which
    // stands while paused): by the simulated seconds since the last call, times the rate.
    void follow_flight(double flight_seconds);

    // The sun for the Atmosphere seen from position, or none while the sliders hold it.
    std::optional<sky::AtmosphereSun> sun_at(LatLon position) const;

    double utc_seconds() const { return m_clock.utc_seconds(); }
    sky::TimeRate rate() const { return m_clock.rate(); }
    bool holds_sun() const { return m_holds_sun; }

    // Each gives the sun back to the clock.
    void set_utc_seconds(double utc_seconds);
    void set_rate(sky::TimeRate rate);
    // A sun slider moved: the sun stays where it was put.
    void release_sun() { m_holds_sun = false; }

private:
    sky::SimulationClock m_clock;
    bool m_holds_sun;
    double m_flight_seconds = 0.0;
};
