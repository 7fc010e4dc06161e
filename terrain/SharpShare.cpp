#include "terrain/SharpShare.h"

#include <cmath>
#include <vector>

#include <glm/vec4.hpp>

namespace {

// Sutherland–Hodgman against one plane of clip space: keeps what has distance(p) ≥ 0.
template <typename Distance>
std::vector<glm::dvec4> clip(const std::vector<glm::dvec4>& polygon, Distance distance)
{
    std::vector<glm::dvec4> kept;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const glm::dvec4& a = polygon[i];
        const glm::dvec4& b = polygon[(i + 1) % polygon.size()];
        const double da = distance(a);
        const double db = distance(b);
        if (da >= 0.0)
            kept.push_back(a);
        if ((da >= 0.0) != (db >= 0.0))
            kept.push_back(a + (b - a) * (da / (da - db)));
    }
    return kept;
}

} // namespace

double screen_area(const glm::mat4& view_projection, glm::vec2 viewport, const std::array<glm::vec3, 4>& corners)
{
    // Double precision: a leaf far away, seen at a grazing angle, is a sliver of a pixel.
    const glm::dmat4 transform(view_projection);
    std::vector<glm::dvec4> polygon;
    for (const glm::vec3& corner : corners)
        polygon.push_back(transform * glm::dvec4(glm::dvec3(corner), 1.0));
    // GL's view volume: −w ≤ x, y, z ≤ w. The near plane also keeps w positive, so the
    // division below never meets a point behind the eye.
    polygon = clip(polygon, [](const glm::dvec4& p) { return p.w + p.z; });
    polygon = clip(polygon, [](const glm::dvec4& p) { return p.w - p.z; });
    polygon = clip(polygon, [](const glm::dvec4& p) { return p.w + p.x; });
    polygon = clip(polygon, [](const glm::dvec4& p) { return p.w - p.x; });
    polygon = clip(polygon, [](const glm::dvec4& p) { return p.w + p.y; });
    polygon = clip(polygon, [](const glm::dvec4& p) { return p.w - p.y; });
    if (polygon.size() < 3)
        return 0.0;
    double twice = 0.0;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const glm::dvec4& a = polygon[i];
        const glm::dvec4& b = polygon[(i + 1) % polygon.size()];
        if (!(a.w > 0.0) || !(b.w > 0.0))
            return 0.0; // only a polygon flat on the eye's plane gets here
        twice += (a.x / a.w) * (b.y / b.w) - (b.x / b.w) * (a.y / a.w);
    }
    // Normalised device coordinates span 2 across the viewport.
    return std::abs(twice) * 0.5 * 0.25 * double(viewport.x) * double(viewport.y);
}
