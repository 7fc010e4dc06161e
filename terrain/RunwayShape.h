#pragma once

// A runway's rectangle on the Web Mercator plane and the runway's own coordinates: metres
// along the centre line from the middle between its ends (positive towards the high end) and
// across it (positive to the right, looking towards the high end). Runways are small against
// the Earth, so within one the plane is scaled by a single factor, the cosine of the middle's
// latitude, to give true metres. Mercator x wraps around the antimeridian: a runway whose ends
// lie on both sides of it is measured across it.

#include "terrain/Runway.h"

struct RunwayPoint {
    double along = 0.0;  // metres from the middle, towards the high end
    double across = 0.0; // metres from the centre line, to the right
};

// Mercator metres; x may lie outside [0, circumference) for boxes across the antimeridian.
struct MercatorBox {
    double min_x = 0.0;
    double min_y = 0.0;
    double max_x = 0.0;
    double max_y = 0.0;
};

class RunwayShape {
public:
    RunwayShape() = default;
    explicit RunwayShape(const Runway& runway);

    // The runway's coordinates of a point given in Mercator metres / by latitude and longitude.
    RunwayPoint local(double mx, double my) const;
    RunwayPoint local(const LatLon& position) const;
    // The point at runway coordinates, in Mercator metres (x within [0, circumference)).
    void mercator(const RunwayPoint& point, double& mx, double& my) const;
    LatLon position(const RunwayPoint& point) const;

    // Where an end lies on the centre line: −end_offset() for the low end, +end_offset() for
    // the high end (half the distance between the ends' coordinates).
    double end_along(int end) const { return end == LOW_END ? -m_end_offset : m_end_offset; }
    double half_length() const { return m_half_length; }
    double half_width() const { return m_half_width; }
    // True heading from the low end towards the high end, degrees 0 ..< 360.
    double heading_deg() const;
    // The box holding the rectangle grown by margin metres on every side.
    MercatorBox bounds(double margin) const;
    // True metres per Mercator metre at the runway.
    double metres_per_mercator() const { return m_scale; }

private:
    double m_centre_x = 0.0; // Mercator metres
    double m_centre_y = 0.0;
    double m_axis_east = 1.0; // unit direction from the low end to the high end
    double m_axis_south = 0.0;
    double m_scale = 1.0;
    double m_half_length = 0.0;
    double m_half_width = 0.0;
    double m_end_offset = 0.0;
};

// The difference a − b of two Mercator x, wrapped into [−C/2, C/2).
double wrapped_difference(double a, double b);

