// Dates and times, the simulation clock and the sun's position against published values.

#include "terrain/SimulationClock.h"
#include "terrain/SolarPosition.h"
#include "terrain/UtcTime.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

namespace {

using namespace sky;

double utc(const char* text)
{
    const std::optional<double> seconds = parse_utc_time(text);
    EXPECT_TRUE(seconds.has_value()) << text;
    return seconds.value_or(0.0);
}

// Degrees between two azimuths, the short way round.
double azimuth_difference(double a, double b)
{
    return std::abs(std::remainder(a - b, 360.0));
}

TEST(UtcTimeTest, ReadsCompleteUtcTimesAndRefusesTheRest)
{
    const struct {
        const char* text;
        double seconds;
    } accepted[] = {
        {"1970-01-01T00:00:00Z", 0.0},
        {"2000-01-01T12:00:00Z", 946728000.0},
        {"2026-06-21T11:00:00Z", 1782039600.0},
        {"2026-06-21T11:00:00.25Z", 1782039600.25},
        {"2026-06-21T11:00:00+00:00", 1782039600.0},
        {"2026-06-21T13:30:00+02:30", 1782039600.0}, // offsets are taken off
        {"2026-06-21T06:00:00-05:00", 1782039600.0},
        {"1969-12-31T23:59:59Z", -1.0},
        {"2024-02-29T00:00:00Z", 1709164800.0},  // leap year
        {"2000-02-29T00:00:00Z", 951782400.0},   // divisible by 400: leap
    };
    for (const auto& [text, seconds] : accepted)
        EXPECT_EQ(parse_utc_time(text), std::optional<double>(seconds)) << text;

    for (const char* text : {
             "", "now", "2026-02-30T00:00:00Z", "2023-02-29T00:00:00Z", "1900-02-29T00:00:00Z", "2026-04-31T00:00:00Z",
             "2026-13-01T00:00:00Z", "2026-00-10T00:00:00Z", "2026-06-00T00:00:00Z", "2026-06-21T24:00:00Z",
             "2026-06-21T23:60:00Z", "2026-06-21T23:59:60Z", "2026-06-21T11:00:00", "2026-06-21 11:00:00Z",
             "2026-06-21t11:00:00Z", "2026-06-21T11:00:00z", "2026-06-21T11:00Z", "2026-06-21", "26-06-21T11:00:00Z",
             "2026-6-21T11:00:00Z", "2026-06-21T11:00:00.Z", "2026-06-21T11:00:00.1234567890Z",
             "2026-06-21T11:00:00+0200", "2026-06-21T11:00:00+24:00", "2026-06-21T11:00:00+02", " 2026-06-21T11:00:00Z",
             "2026-06-21T11:00:00Z ", "2026-06-21T11:00:00ZZ", "+2026-06-21T11:00:00Z", "2026-06-21T1a:00:00Z"})
        EXPECT_EQ(parse_utc_time(text), std::nullopt) << text;

    EXPECT_NEAR(parse_utc_time("2026-12-31T23:59:59.999999999Z").value_or(0.0), 1798761600.0, 1e-6) << "nine digits";
    EXPECT_EQ(parse_time_setting("now", 1234.5), std::optional<double>(1234.5));
    EXPECT_EQ(parse_time_setting("2000-01-01T12:00:00Z", 1234.5), std::optional<double>(946728000.0));
    EXPECT_EQ(parse_time_setting("Now", 1234.5), std::nullopt);
    EXPECT_NEAR(system_utc_seconds(), double(std::time(nullptr)), 2.0);
}

TEST(UtcTimeTest, CivilTimesRoundTripAndFieldsOutOfRangeAreRefused)
{
    // Every day of four years around a century that is not a leap year and one that is.
    for (double start : {utc("1899-01-01T00:00:00Z"), utc("1999-01-01T00:00:00Z")}) {
        for (int day = 0; day < 4 * 366; ++day) {
            const double seconds = start + day * SECONDS_PER_DAY + 45296.5; // 12:34:56.5
            const CivilTime t = civil_from_utc_seconds(seconds);
            ASSERT_EQ(utc_seconds_from_civil(t), std::optional<double>(seconds)) << format_utc_time(seconds);
            ASSERT_EQ(std::tuple(t.hour, t.minute, t.second), std::tuple(12, 34, 56.5));
        }
    }
    EXPECT_EQ(civil_from_utc_seconds(utc("2024-02-29T23:59:59Z") + 1.0), (CivilTime{2024, 3, 1, 0, 0, 0.0}));
    EXPECT_EQ(civil_from_utc_seconds(-0.5), (CivilTime{1969, 12, 31, 23, 59, 59.5}));
    EXPECT_EQ(format_utc_time(1782039600.75), "2026-06-21T11:00:00Z");
    EXPECT_EQ(format_utc_time(-0.5), "1969-12-31T23:59:59Z");
    EXPECT_EQ(std::tuple(format_utc_time(NAN), format_utc_time(1e300), format_utc_time(-INFINITY)),
              std::tuple("1970-01-01T00:00:00Z", "9999-12-31T23:59:59Z", "0000-01-01T00:00:00Z"));
    EXPECT_EQ(std::tuple(days_in_month(2024, 2), days_in_month(2100, 2), days_in_month(2026, 4), days_in_month(2026, 13)),
              std::tuple(29, 28, 30, 0));
    for (const CivilTime& bad : {CivilTime{2026, 2, 29, 0, 0, 0.0}, CivilTime{2026, 1, 1, 24, 0, 0.0},
                                 CivilTime{2026, 1, 1, -1, 0, 0.0}, CivilTime{2026, 1, 1, 0, 60, 0.0},
                                 CivilTime{2026, 1, 1, 0, 0, 60.0}, CivilTime{2026, 1, 1, 0, 0, -0.5},
                                 CivilTime{2026, 1, 1, 0, 0, NAN}, CivilTime{10000, 1, 1, 0, 0, 0.0}})
        EXPECT_EQ(utc_seconds_from_civil(bad), std::nullopt) << bad.year << "-" << bad.month << "-" << bad.day << " "
                                                             << bad.hour << ":" << bad.minute << ":" << bad.second;
    // NREL's solar position algorithm report: 2003-10-17 12:30:30 at UTC-7 is Julian day 2452930.312847.
    EXPECT_NEAR(julian_day(utc("2003-10-17T12:30:30-07:00")), 2452930.312847, 1e-6);
}

TEST(SimulationClockTest, MovesOnBySimulatedTimeTimesTheRate)
{
    SimulationClock clock(1000.0);
    const struct {
        TimeRate rate;
        double simulated, after;
    } steps[] = {
        {TimeRate::REAL_TIME, 0.5, 1000.5}, {TimeRate::SIXTY_TIMES, 0.5, 1030.5}, {TimeRate::STOPPED, 10.0, 1030.5},
        {TimeRate::REAL_TIME, 0.0, 1030.5}, {TimeRate::REAL_TIME, -1.0, 1030.5},  {TimeRate::REAL_TIME, NAN, 1030.5},
        {TimeRate::SIXTY_TIMES, INFINITY, 1030.5},
    };
    for (const auto& [rate, simulated, after] : steps) {
        clock.set_rate(rate);
        clock.advance(simulated);
        EXPECT_EQ(clock.utc_seconds(), after) << time_rate_name(rate) << " " << simulated;
    }
    clock.set_utc_seconds(5.0);
    EXPECT_EQ(clock.utc_seconds(), 5.0);
}

// Expected values from published sources, not from this code:
// - NREL's solar position algorithm report (Reda and Andreas), its worked example: Golden,
//   Colorado, zenith 50.11162 deg (with refraction), azimuth 194.34024 deg.
// - Meeus, Astronomical Algorithms, example 25.a (1992 October 13.0): declination -7.78507 deg;
//   example 28.b: equation of time +13 min 42.6 s.
// - Smart's formula for the equation of time as worked in a navigators' forum (F. E. Reed,
//   2005): -444.14 s at 0h UT on 10 January 2005.
// - Solstices and equinoxes (US Naval Observatory): 2024-06-20 20:51, 2024-12-21 09:20,
//   2025-03-20 09:01, 2025-09-22 18:19 UTC, where the declination is the true obliquity of the
//   ecliptic (23 deg 26' 19" in 2024) or zero.
// - At culmination the elevation is 90 - |latitude - declination| (upper) or
//   declination + latitude - 90 (lower, the midnight sun), with the solstice's declination;
//   the times are local solar noon or midnight from the longitude and the equation of time
//   (-1.7 min in late June, +1.8 min on 21 December), so the azimuth is within a minute's
//   motion of due north or south.
TEST(SolarPositionTest, MatchesPublishedPositions)
{
    const double obliquity = 23.0 + 26.0 / 60.0 + 19.0 / 3600.0;
    const struct {
        const char* name;
        const char* time;
        double lat, lon;
        double declination, elevation, azimuth; // NAN: not published for that case
        bool geometric; // the elevation is the geometric one
    } cases[] = {
        {"NREL example, Golden", "2003-10-17T12:30:30-07:00", 39.742476, -105.1786, NAN, 90.0 - 50.11162, 194.34024, false},
        {"Meeus 25.a", "1992-10-13T00:00:00Z", 0.0, 0.0, -7.78507, NAN, NAN, false},
        {"June solstice", "2024-06-20T20:51:00Z", 0.0, 0.0, obliquity, NAN, NAN, false},
        {"December solstice", "2024-12-21T09:20:00Z", 0.0, 0.0, -obliquity, NAN, NAN, false},
        {"March equinox", "2025-03-20T09:01:00Z", 0.0, 0.0, 0.0, NAN, NAN, false},
        {"September equinox", "2025-09-22T18:19:00Z", 0.0, 0.0, 0.0, NAN, NAN, false},
        {"Sydney, winter noon", "2024-06-21T01:57:00Z", -33.8688, 151.2093, NAN, 90.0 - 33.8688 - obliquity, 0.0, true},
        {"Cape Town, summer noon", "2024-12-21T10:44:00Z", -33.9249, 18.4241, NAN, 90.0 - (33.9249 - obliquity), NAN, true},
        {"Longyearbyen, midnight sun", "2024-06-20T22:59:00Z", 78.2232, 15.6267, NAN, obliquity + 78.2232 - 90.0, 0.0, true},
        {"Longyearbyen, polar night", "2024-12-21T10:56:00Z", 78.2232, 15.6267, NAN, 90.0 - 78.2232 - obliquity, 180.0, true},
    };
    for (const auto& c : cases) {
        const SolarPosition sun = solar_position(utc(c.time), c.lat, c.lon);
        if (!std::isnan(c.declination)) {
            EXPECT_NEAR(sun.declination_deg, c.declination, 0.01) << c.name;
        }
        if (!std::isnan(c.elevation)) {
            EXPECT_NEAR(c.geometric ? sun.geometric_elevation_deg : sun.elevation_deg, c.elevation, 0.1) << c.name;
        }
        if (!std::isnan(c.azimuth)) {
            EXPECT_LT(azimuth_difference(sun.azimuth_deg, c.azimuth), c.geometric ? 0.5 : 0.1)
                << c.name << ": " << sun.azimuth_deg << " against " << c.azimuth;
        }
    }

    const struct {
        const char* time;
        double minutes;
    } equation_of_time[] = {
        {"1992-10-13T00:00:00Z", 13.0 + 42.6 / 60.0},
        {"2005-01-10T00:00:00Z", -444.14 / 60.0},
    };
    for (const auto& [time, minutes] : equation_of_time)
        EXPECT_NEAR(solar_position(utc(time), 0.0, 0.0).equation_of_time_min, minutes, 0.05) << time;
}

// NOAA's refraction: half a degree at the horizon, nothing overhead, continuous where its
// formula changes (5 deg, -0.575 deg), fading below the horizon; the sky's elevation is the
// geometric one lifted by it.
TEST(SolarPositionTest, RefractionLiftsTheSunNearTheHorizon)
{
    const struct {
        double elevation, refraction;
    } table[] = {{90.0, 0.0}, {85.5, 0.0}, {45.0, 58.030086 / 3600.0}, {10.0, 0.08812}, {0.0, 1735.0 / 3600.0},
                 {-10.0, 20.772 / std::tan(10.0 * M_PI / 180.0) / 3600.0}};
    for (const auto& [elevation, refraction] : table)
        EXPECT_NEAR(atmospheric_refraction(elevation), refraction, 1e-4) << elevation;
    for (double edge : {5.0, -0.575})
        EXPECT_NEAR(atmospheric_refraction(edge - 1e-9), atmospheric_refraction(edge + 1e-9), 0.001) << edge;
    EXPECT_LT(atmospheric_refraction(-89.9), 1e-4);

    const SolarPosition sun = solar_position(utc("2024-12-21T10:56:00Z"), 78.2232, 15.6267);
    EXPECT_EQ(sun.elevation_deg, sun.geometric_elevation_deg + atmospheric_refraction(sun.geometric_elevation_deg));
    // A sun in the zenith (seen from the subsolar point) and the poles stay numbers.
    for (double lat : {90.0, -90.0, sun.declination_deg}) {
        const SolarPosition s = solar_position(utc("2024-12-21T10:56:00Z"), lat, 15.6267 - sun.hour_angle_deg);
        EXPECT_TRUE(std::isfinite(s.azimuth_deg) && std::isfinite(s.elevation_deg)) << lat;
    }
}

// The Atmosphere counts azimuths from east towards south; the sun moves in steps it can keep.
TEST(SolarPositionTest, TurnsToTheAtmospheresConventionInSmallSteps)
{
    const struct {
        double elevation, azimuth_from_north;
        AtmosphereSun expected;
    } table[] = {
        {30.0, 0.0, {30.0, 270.0}},   {30.0, 90.0, {30.0, 0.0}},     {30.0, 180.0, {30.0, 90.0}},
        {-12.0, 270.0, {-12.0, 180.0}}, {30.01, 89.99, {30.0, 0.0}}, {30.03, 89.96, {30.05, 359.95}},
    };
    for (const auto& [elevation, azimuth, expected] : table) {
        SolarPosition sun;
        sun.elevation_deg = elevation;
        sun.azimuth_deg = azimuth;
        const AtmosphereSun got = atmosphere_sun(sun);
        EXPECT_NEAR(got.elevation_deg, expected.elevation_deg, 1e-9) << elevation << " " << azimuth;
        EXPECT_NEAR(got.azimuth_deg, expected.azimuth_deg, 1e-9) << elevation << " " << azimuth;
    }
    SolarPosition sun;
    sun.elevation_deg = 12.345;
    sun.azimuth_deg = 100.0;
    EXPECT_EQ(atmosphere_sun(sun, 0.0), (AtmosphereSun{12.345, 10.0})) << "no step: as computed";
}

} // namespace
