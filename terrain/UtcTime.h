#pragma once

// Dates and times in UTC as the simulation counts them: seconds since 1970-01-01T00:00:00Z on
// the proleptic Gregorian calendar, without leap seconds (as the system clock counts), in a
// double (a microsecond's resolution for centuries either side of today).
//
// Text is ISO 8601's extended form of a complete date and time: "2026-06-21T11:00:00Z". What
// is read: a four-digit year, month 01-12, a day that exists in that month (29 February only
// in leap years), hours 00-23, minutes and seconds 00-59, optionally a fraction of a second
// after a point (1 to 9 digits), then "Z" or a numeric offset "+HH:MM" / "-HH:MM" (hours up to
// 23), which is taken off to give UTC. Anything else is refused: a time without a zone (local
// time, which means different instants on different machines), a missing part, lower-case
// "t" or "z", a space for the "T", the leap second :60, "24:00:00", leading or trailing space.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sky {

inline constexpr double SECONDS_PER_DAY = 86400.0;
// The Julian day of 1970-01-01T00:00:00Z.
inline constexpr double UNIX_EPOCH_JULIAN_DAY = 2440587.5;

// A date and time of day in UTC, as people write it.
struct CivilTime {
    int year = 1970;
    int month = 1; // 1-12
    int day = 1;   // 1-31
    int hour = 0;
    int minute = 0;
    double second = 0.0; // 0 <= second < 60

    friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

bool is_leap_year(int year);
// Days in the month of the year; 0 for a month outside 1-12.
int days_in_month(int year, int month);

// Seconds since the epoch of a civil time, or nothing when a field is out of range (the 30th
// of February, hour 24, minute 60, a second outside [0, 60), a year outside 0-9999).
std::optional<double> utc_seconds_from_civil(const CivilTime& time);
// The civil time of seconds since the epoch (the second's fraction kept); times before year 0
// or after 9999 read as those years' ends, not-a-number as the epoch.
CivilTime civil_from_utc_seconds(double utc_seconds);

// The seconds since the epoch that text names (see above), or nothing.
std::optional<double> parse_utc_time(std::string_view text);
// "YYYY-MM-DDTHH:MM:SSZ", the second rounded down.
std::string format_utc_time(double utc_seconds);

// The value of a "time" setting: "now" is now_seconds (the system clock, given by the caller),
// anything else is read as above.
std::optional<double> parse_time_setting(std::string_view text, double now_seconds);
// The system clock's UTC seconds since the epoch.
double system_utc_seconds();

// Julian day (days since noon UTC of 1 January 4713 BC, Julian calendar) of an instant; the
// simulation takes UTC for the astronomers' time scales, which differ by about a minute.
inline double julian_day(double utc_seconds) { return UNIX_EPOCH_JULIAN_DAY + utc_seconds / SECONDS_PER_DAY; }

} // namespace sky
