#include "app/SkyClock.h"

SkyClock::SkyClock(std::optional<double> configured, double now_seconds)
    : m_clock(configured.value_or(now_seconds))
    , m_holds_sun(configured.has_value())
{
}

void SkyClock::follow_flight(double flight_seconds)
{
    m_clock.advance(flight_seconds - m_flight_seconds);
    m_flight_seconds = flight_seconds;
}

std::optional<sky::AtmosphereSun> SkyClock::sun_at(LatLon position) const
{
    if (!m_holds_sun)
        return std::nullopt;
    return sky::atmosphere_sun(sky::solar_position(m_clock.utc_seconds(), position.lat, position.lon));
}

void SkyClock::set_utc_seconds(double utc_seconds)
{
    m_clock.set_utc_seconds(utc_seconds);
    m_holds_sun = true;
}

void SkyClock::set_rate(sky::TimeRate rate)
{
    m_clock.set_rate(rate);
    m_holds_sun = true;
}
