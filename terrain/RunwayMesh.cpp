#include "terrain/RunwayMesh.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "tiles/WebMercator.h"

int32_t encode_designator(std::string_view ident)
{
    int32_t code = 0;
    int count = 0;
    size_t digits = 0;
    while (digits < ident.size() && std::isdigit(static_cast<unsigned char>(ident[digits])))
        ++digits;
    if (digits == 0 || digits > 2 || ident.size() > digits + 1)
        return 0;
    for (size_t i = 0; i < digits; ++i)
        code |= (ident[i] - '0') << (4 * count++);
    if (ident.size() == digits + 1) {
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(ident.back())));
        const int glyph = letter == 'L' ? 10 : letter == 'R' ? 11 : letter == 'C' ? 12 : -1;
        if (glyph < 0)
            return 0;
        code |= glyph << (4 * count++);
    }
    return code | (count << 12);
}

void append_runway_mesh(const Runway& runway, const RunwayShape& shape, const RunwayEndHeights& heights,
                        const RunwayWorld& world, std::vector<RunwayVertex>& out)
{
    const double half_length = shape.half_length();
    const int segments = std::clamp(static_cast<int>(std::ceil(2.0 * half_length / SEGMENT_M)), 1, MAX_SEGMENTS);

    RunwayVertex constants;
    constants.half_length = static_cast<float>(half_length);
    constants.half_width = static_cast<float>(shape.half_width());
    constants.low_threshold = static_cast<float>(shape.end_along(LOW_END) + runway.ends[LOW_END].displaced_threshold_m);
    constants.high_threshold = static_cast<float>(shape.end_along(HIGH_END) - runway.ends[HIGH_END].displaced_threshold_m);
    constants.surface = static_cast<int32_t>(runway.surface);
    constants.low_designator = encode_designator(runway.ends[LOW_END].ident);
    constants.high_designator = encode_designator(runway.ends[HIGH_END].ident);
    constants.paved = is_paved(runway.surface) ? 1 : 0;

    // The normal leans against the slope along the runway, in world axes (x east, z south).
    const double span = shape.end_along(HIGH_END) - shape.end_along(LOW_END);
    const double slope = span > 0.0 ? (heights.high - heights.low) / span : 0.0;
    double axis_x = 0.0;
    double axis_z = 0.0;
    {
        double mx0 = 0.0, my0 = 0.0, mx1 = 0.0, my1 = 0.0;
        shape.mercator(RunwayPoint{0.0, 0.0}, mx0, my0);
        shape.mercator(RunwayPoint{1.0, 0.0}, mx1, my1);
        const double dx = wrapped_difference(mx1, mx0);
        const double dz = my1 - my0;
        const double length = std::hypot(dx, dz);
        axis_x = dx / length;
        axis_z = dz / length;
    }
    const double inverse = 1.0 / std::sqrt(1.0 + slope * slope);
    constants.normal[0] = static_cast<float>(-slope * axis_x * inverse);
    constants.normal[1] = static_cast<float>(inverse);
    constants.normal[2] = static_cast<float>(-slope * axis_z * inverse);

    const auto vertex = [&](double along, double across) {
        RunwayVertex v = constants;
        double mx = 0.0;
        double my = 0.0;
        shape.mercator(RunwayPoint{along, across}, mx, my);
        v.x = static_cast<float>(wrapped_difference(mx, world.origin_mx) * world.scaling_factor);
        v.z = static_cast<float>((my - world.origin_my) * world.scaling_factor);
        v.metres = static_cast<float>(runway_line_height(shape, heights, along));
        v.along = static_cast<float>(along);
        v.across = static_cast<float>(across);
        return v;
    };
    const double half_width = shape.half_width();
    for (int i = 0; i < segments; ++i) {
        const double a0 = -half_length + 2.0 * half_length * i / segments;
        const double a1 = -half_length + 2.0 * half_length * (i + 1) / segments;
        const RunwayVertex p00 = vertex(a0, -half_width);
        const RunwayVertex p01 = vertex(a0, half_width);
        const RunwayVertex p10 = vertex(a1, -half_width);
        const RunwayVertex p11 = vertex(a1, half_width);
        out.insert(out.end(), {p00, p10, p11, p11, p01, p00});
    }
}
