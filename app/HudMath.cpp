#include "app/HudMath.h"

#include <algorithm>
#include <cmath>

#include "core/Units.h"

namespace hud {

float View::focal() const
{
    return 0.5f * height / std::tan(0.5f * vertical_fov);
}

Axes attitude_axes(double heading_deg, double pitch_deg, double roll_deg)
{
    const double psi = heading_deg * DEG_TO_RAD, theta = pitch_deg * DEG_TO_RAD, phi = roll_deg * DEG_TO_RAD;
    Axes axes;
    axes.forward = {std::cos(theta) * std::sin(psi), std::sin(theta), -std::cos(theta) * std::cos(psi)};
    const glm::dvec3 level_right{std::cos(psi), 0.0, std::sin(psi)};
    const glm::dvec3 level_up = glm::cross(level_right, axes.forward);
    // Rolling right turns the right wing down about the nose.
    axes.right = level_right * std::cos(phi) - level_up * std::sin(phi);
    axes.up = level_up * std::cos(phi) + level_right * std::sin(phi);
    return axes;
}

glm::dvec3 direction(double heading_deg, double elevation_deg)
{
    const double psi = heading_deg * DEG_TO_RAD, e = elevation_deg * DEG_TO_RAD;
    return {std::cos(e) * std::sin(psi), std::sin(e), -std::cos(e) * std::cos(psi)};
}

std::optional<glm::vec2> project(const View& view, const Axes& axes, const glm::dvec3& d)
{
    const double ahead = glm::dot(d, axes.forward);
    if (ahead < 1e-6 * glm::length(d))
        return std::nullopt;
    const double f = view.focal();
    const glm::vec2 c = view.centre();
    return glm::vec2(c.x + float(f * glm::dot(d, axes.right) / ahead), c.y - float(f * glm::dot(d, axes.up) / ahead));
}

std::vector<Rung> pitch_ladder(const FlightData& data, const View& view, int step, double range, double half_width, double gap)
{
    const Axes axes = attitude_axes(data.heading_deg, data.pitch_deg, data.roll_deg);
    const double psi = data.heading_deg * DEG_TO_RAD;
    // Across the rung: level, square to the nose's heading, so rungs keep their angular width
    // however steep they lie.
    const glm::dvec3 across{std::cos(psi), 0.0, std::sin(psi)};
    std::vector<Rung> rungs;
    for (int degrees = -90; degrees <= 90; degrees += step) {
        if (std::abs(degrees - data.pitch_deg) > range)
            continue;
        const double width = degrees == 0 ? 2.0 * half_width : half_width;
        const glm::dvec3 middle = direction(data.heading_deg, degrees);
        const auto at = [&](double offset) { return project(view, axes, middle + across * std::tan(offset * DEG_TO_RAD)); };
        const auto lo = at(-width), li = at(-gap), ri = at(gap), ro = at(width);
        if (lo && li && ri && ro)
            rungs.push_back({degrees, *lo, *li, *ri, *ro});
    }
    return rungs;
}

std::optional<glm::vec2> flight_path_marker(const FlightData& data, const View& view, double min_speed)
{
    if (!(data.airspeed_m_s >= min_speed))
        return std::nullopt;
    const double level = std::sqrt(std::max(data.airspeed_m_s * data.airspeed_m_s - data.vertical_speed_m_s * data.vertical_speed_m_s, 0.0));
    const double climb = std::atan2(data.vertical_speed_m_s, level) * RAD_TO_DEG;
    return project(view, attitude_axes(data.heading_deg, data.pitch_deg, data.roll_deg), direction(data.track_deg, climb));
}

std::vector<HeadingTick> heading_ticks(double heading_deg, int step, double half_span, float pixels_per_degree)
{
    std::vector<HeadingTick> ticks;
    const double first = std::ceil((heading_deg - half_span) / step) * step;
    for (double mark = first; mark <= heading_deg + half_span; mark += step) {
        const int degrees = int(std::lround(std::fmod(std::fmod(mark, 360.0) + 360.0, 360.0))) % 360;
        ticks.push_back({degrees, float((mark - heading_deg) * pixels_per_degree)});
    }
    return ticks;
}

} // namespace hud
