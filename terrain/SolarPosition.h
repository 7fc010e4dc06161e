#pragma once

// Where the sun stands for an observer at a latitude and longitude at an instant in UTC, by
// NOAA's solar position equations (those of its Solar Calculator, after Meeus's "Astronomical
// Algorithms"): the Julian century, the sun's geometric mean longitude and anomaly, the
// eccentricity of the earth's orbit, the equation of centre, the apparent longitude, the
// corrected obliquity of the ecliptic, the declination, the equation of time, the true solar
// time and hour angle, then the zenith angle and the azimuth. Good to about a hundredth of a
// degree for this millennium.
//
// NOAA corrects the elevation for the atmosphere's refraction, which lifts the sun's image by
// about half a degree at the horizon and nothing at the zenith. The sky is drawn with that
// apparent elevation: it is where a pilot sees the sun, and the sun then rises and sets at the
// times the almanacs print. The geometric elevation is kept beside it.

namespace sky {

struct SolarPosition {
    double declination_deg = 0.0;
    double equation_of_time_min = 0.0; // apparent minus mean solar time, minutes
    double hour_angle_deg = 0.0;       // -180..180, negative before local solar noon
    double geometric_elevation_deg = 0.0; // 90 minus the zenith angle
    double refraction_deg = 0.0;       // added to the geometric elevation
    double elevation_deg = 0.0;        // apparent: geometric plus refraction
    double azimuth_deg = 0.0;          // clockwise from north: 90 east, 180 south
};

// The sun seen from latitude_deg (north positive) and longitude_deg (east positive) at
// utc_seconds (see UtcTime.h). Defined everywhere, the poles and the zenith included (the
// azimuth of a sun in the zenith, or seen from a pole, is then whatever atan2 makes of it).
SolarPosition solar_position(double utc_seconds, double latitude_deg, double longitude_deg);

// NOAA's refraction correction, degrees, for a geometric elevation in degrees: Bennett-style
// terms above 5 degrees, a polynomial near the horizon, a small term below -0.575 degrees and
// none above 85.
double atmospheric_refraction(double geometric_elevation_deg);

// The sun as the Atmosphere's settings take it: elevation in degrees, azimuth in degrees with
// 0 east and 90 south (0-360).
struct AtmosphereSun {
    double elevation_deg = 0.0;
    double azimuth_deg = 0.0;

    friend bool operator==(const AtmosphereSun&, const AtmosphereSun&) = default;
};

// The apparent elevation and the azimuth turned to the Atmosphere's convention, each rounded to
// a multiple of step_deg (none for 0). The sky's scattering table and the shadow map are made
// again whenever the sun moves; at a step of a twentieth of a degree that is every 12 s
// of a clock running at its real rate instead of every frame, far below what the eye sees.
inline constexpr double ATMOSPHERE_SUN_STEP_DEG = 0.05;
AtmosphereSun atmosphere_sun(const SolarPosition& sun, double step_deg = ATMOSPHERE_SUN_STEP_DEG);

} // namespace sky
