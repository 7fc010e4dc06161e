#include "terrain/RunwayShape.h"

#include <algorithm>
#include <cmath>

#include "tiles/WebMercator.h"

double wrapped_difference(double a, double b)
{
    const double d = a - b;
    return d - EARTH_CIRCUMFERENCE * std::floor(d / EARTH_CIRCUMFERENCE + 0.5);
}

namespace {

double wrapped(double mx)
{
    return mx - EARTH_CIRCUMFERENCE * std::floor(mx / EARTH_CIRCUMFERENCE);
}

} // namespace

RunwayShape::RunwayShape(const Runway& runway)
{
    const LatLon& low = runway.ends[LOW_END].position;
    const LatLon& high = runway.ends[HIGH_END].position;
    const double low_x = mercator_x(low.lon);
    const double low_y = mercator_y(low.lat);
    const double dx = wrapped_difference(mercator_x(high.lon), low_x);
    const double dy = mercator_y(high.lat) - low_y;
    m_centre_x = wrapped(low_x + 0.5 * dx);
    m_centre_y = low_y + 0.5 * dy;
    m_scale = std::cos(mercator_lat(m_centre_y) * DEG_TO_RAD);
    const double distance = std::hypot(dx, dy);
    if (distance > 0.0) {
        m_axis_east = dx / distance;
        m_axis_south = dy / distance;
    }
    m_end_offset = 0.5 * distance * m_scale;
    m_half_length = 0.5 * runway.length_m;
    m_half_width = 0.5 * runway.width_m;
}

RunwayPoint RunwayShape::local(double mx, double my) const
{
    const double east = wrapped_difference(mx, m_centre_x) * m_scale;
    const double south = (my - m_centre_y) * m_scale;
    return {east * m_axis_east + south * m_axis_south, -east * m_axis_south + south * m_axis_east};
}

RunwayPoint RunwayShape::local(const LatLon& position) const
{
    return local(mercator_x(position.lon), mercator_y(position.lat));
}

void RunwayShape::mercator(const RunwayPoint& point, double& mx, double& my) const
{
    const double east = point.along * m_axis_east - point.across * m_axis_south;
    const double south = point.along * m_axis_south + point.across * m_axis_east;
    mx = wrapped(m_centre_x + east / m_scale);
    my = m_centre_y + south / m_scale;
}

LatLon RunwayShape::position(const RunwayPoint& point) const
{
    double mx = 0.0;
    double my = 0.0;
    mercator(point, mx, my);
    const double lon = mercator_lon(mx);
    return {mercator_lat(my), lon >= 180.0 ? lon - 360.0 : lon};
}

double RunwayShape::heading_deg() const
{
    const double degrees = std::atan2(m_axis_east, -m_axis_south) * RAD_TO_DEG;
    return degrees < 0.0 ? degrees + 360.0 : degrees;
}

MercatorBox RunwayShape::bounds(double margin) const
{
    const double along = (m_half_length + margin) / m_scale;
    const double across = (m_half_width + margin) / m_scale;
    const double extent_x = std::abs(m_axis_east) * along + std::abs(m_axis_south) * across;
    const double extent_y = std::abs(m_axis_south) * along + std::abs(m_axis_east) * across;
    return {m_centre_x - extent_x, m_centre_y - extent_y, m_centre_x + extent_x, m_centre_y + extent_y};
}
