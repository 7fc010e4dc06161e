#include "terrain/SolarPosition.h"

#include <cmath>

#include "core/Units.h"
#include "terrain/UtcTime.h"

namespace sky {

namespace {

constexpr double RAD = DEG_TO_RAD;
constexpr double DEG = RAD_TO_DEG;

// x modulo m in [0, m).
double wrap(double x, double m)
{
    const double r = std::fmod(x, m);
    return r < 0.0 ? r + m : r;
}

} // namespace

double atmospheric_refraction(double e)
{
    if (e > 85.0)
        return 0.0;
    double arcseconds = 0.0;
    if (e > 5.0) {
        const double t = std::tan(e * RAD);
        arcseconds = 58.1 / t - 0.07 / (t * t * t) + 0.000086 / (t * t * t * t * t);
    } else if (e > -0.575) {
        arcseconds = 1735.0 + e * (-518.2 + e * (103.4 + e * (-12.79 + e * 0.711)));
    } else {
        // tan(-90°) is huge, not infinite, in floating point: the term fades to nothing there.
        arcseconds = -20.772 / std::tan(e * RAD);
    }
    return arcseconds / 3600.0;
}

SolarPosition solar_position(double utc_seconds, double latitude_deg, double longitude_deg)
{
    const double jd = julian_day(utc_seconds);
    const double jc = (jd - 2451545.0) / 36525.0; // Julian centuries since J2000.0

    const double mean_longitude = wrap(280.46646 + jc * (36000.76983 + jc * 0.0003032), 360.0);
    const double mean_anomaly = 357.52911 + jc * (35999.05029 - 0.0001537 * jc);
    const double eccentricity = 0.016708634 - jc * (0.000042037 + 0.0000001267 * jc);
    const double m = mean_anomaly * RAD;
    const double centre = std::sin(m) * (1.914602 - jc * (0.004817 + 0.000014 * jc)) +
                          std::sin(2.0 * m) * (0.019993 - 0.000101 * jc) + std::sin(3.0 * m) * 0.000289;
    const double true_longitude = mean_longitude + centre;
    // Nutation and aberration, through the longitude of the moon's ascending node.
    const double omega = (125.04 - 1934.136 * jc) * RAD;
    const double apparent_longitude = true_longitude - 0.00569 - 0.00478 * std::sin(omega);
    const double mean_obliquity =
        23.0 + (26.0 + (21.448 - jc * (46.815 + jc * (0.00059 - jc * 0.001813))) / 60.0) / 60.0;
    const double obliquity = mean_obliquity + 0.00256 * std::cos(omega);

    SolarPosition sun;
    const double declination = std::asin(std::sin(obliquity * RAD) * std::sin(apparent_longitude * RAD));
    sun.declination_deg = declination * DEG;

    const double y = std::tan(obliquity * RAD / 2.0) * std::tan(obliquity * RAD / 2.0);
    const double l0 = mean_longitude * RAD;
    sun.equation_of_time_min =
        4.0 * DEG *
        (y * std::sin(2.0 * l0) - 2.0 * eccentricity * std::sin(m) +
         4.0 * eccentricity * y * std::sin(m) * std::cos(2.0 * l0) - 0.5 * y * y * std::sin(4.0 * l0) -
         1.25 * eccentricity * eccentricity * std::sin(2.0 * m));

    const double minutes_of_day = wrap(utc_seconds, SECONDS_PER_DAY) / 60.0;
    const double true_solar_time = wrap(minutes_of_day + sun.equation_of_time_min + 4.0 * longitude_deg, 1440.0);
    sun.hour_angle_deg = true_solar_time / 4.0 < 0.0 ? true_solar_time / 4.0 + 180.0 : true_solar_time / 4.0 - 180.0;

    const double phi = latitude_deg * RAD;
    const double h = sun.hour_angle_deg * RAD;
    const double cos_zenith = std::sin(phi) * std::sin(declination) + std::cos(phi) * std::cos(declination) * std::cos(h);
    sun.geometric_elevation_deg = 90.0 - std::acos(std::fmax(-1.0, std::fmin(1.0, cos_zenith))) * DEG;
    sun.refraction_deg = atmospheric_refraction(sun.geometric_elevation_deg);
    sun.elevation_deg = sun.geometric_elevation_deg + sun.refraction_deg;

    // NOAA takes the azimuth's cosine, (sin φ cos z - sin δ) / (cos φ sin z), and its side from
    // the hour angle. The same angle from atan2 of its sine and cosine (both multiplied by
    // sin z) stays defined where that quotient is 0 / 0: at the zenith and at the poles.
    const double toward_west = std::sin(h) * std::cos(declination);
    const double toward_south = std::cos(h) * std::sin(phi) * std::cos(declination) - std::sin(declination) * std::cos(phi);
    sun.azimuth_deg = wrap(std::atan2(toward_west, toward_south) * DEG + 180.0, 360.0);
    return sun;
}

AtmosphereSun atmosphere_sun(const SolarPosition& sun, double step_deg)
{
    const auto round = [step_deg](double x) { return step_deg > 0.0 ? std::round(x / step_deg) * step_deg : x; };
    // North-clockwise to the Atmosphere's east-clockwise (seen from above, +z south).
    return {round(sun.elevation_deg), wrap(round(wrap(sun.azimuth_deg - 90.0, 360.0)), 360.0)};
}

} // namespace sky
