#include "tools/aircraft/AircraftBuilder.h"

#include <cmath>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>

#include "core/Units.h"
#include "tools/aircraft/GltfWriter.h"
#include "tools/aircraft/MeshBuilder.h"

namespace aircraft {
namespace {

float radians(float degrees) { return degrees * PI_F / 180.0f; }

// Materials, in the order of the file's material list.
enum Material { WHITE, STRIPE, GLASS, DARK, PANEL, METAL, TYRE, HUB, BLADE, BLADE_TIP, DISC };
const std::vector<MaterialLook> MATERIALS = {
    {"white", {0.93f, 0.93f, 0.90f, 1.0f}},     {"stripe", {0.78f, 0.10f, 0.08f, 1.0f}},
    {"glass", {0.16f, 0.22f, 0.30f, 1.0f}},     {"dark", {0.12f, 0.12f, 0.13f, 1.0f}},
    {"panel", {0.22f, 0.23f, 0.24f, 1.0f}},     {"metal", {0.60f, 0.61f, 0.63f, 1.0f}},
    {"tyre", {0.09f, 0.09f, 0.09f, 1.0f}},      {"hub", {0.80f, 0.80f, 0.78f, 1.0f}},
    {"blade", {0.14f, 0.14f, 0.15f, 1.0f}},     {"blade_tip", {0.95f, 0.78f, 0.12f, 1.0f}},
    {"propeller_disc", {0.35f, 0.35f, 0.36f, 0.3f}, true, true},
};

// --- The flight model's numbers (assets/config/FlightModel.json) ----------------------------
// Wing: two halves of 5 m from z = ±0.5 to ±5.5 (11 m span), chord 1.5 m centred on
// x = -0.23, 5 degrees of dihedral, 4 of incidence. Their roots sit on the cabin roof at y = 0.5.
constexpr float WING_X = -0.23f, WING_Y = 0.5f, WING_ROOT_Z = 0.5f, WING_HALF_SPAN = 5.0f, WING_CHORD = 1.5f;
constexpr float DIHEDRAL = 5.0f, INCIDENCE = 4.0f;
constexpr float AILERON_FROM = 2.42f, AILERON_TO = 4.68f; // along the half span
constexpr float AILERON_HINGE = 0.75f;                    // fraction of the chord
// Tail plane: 3.2 m span, chord 1.1 m centred on (-2.6, 0.5), 0.8 degrees of incidence.
constexpr float TAIL_X = -2.6f, TAIL_Y = 0.5f, TAIL_HALF_SPAN = 1.6f, TAIL_CHORD = 1.1f, TAIL_INCIDENCE = 0.8f;
constexpr float ELEVATOR_HINGE = 0.7f, ELEVATOR_GAP = 0.14f;
// Fin with the rudder: from the tail cone up to y = 1.7, the rudder's hinge at x = -2.75.
constexpr float RUDDER_X = -2.75f, RUDDER_BOTTOM = 0.57f, FIN_TOP = 1.72f;
// Wheels: nose wheel at x = 2.0, main wheels at (-0.5, ±1.5); the tyres' lowest points where
// the physics' suspension rays meet the ground with the aircraft at rest (about 1.46 m below
// the body's origin).
constexpr float NOSE_WHEEL_X = 2.0f, MAIN_WHEEL_X = -0.5f, MAIN_WHEEL_Z = 1.5f, GROUND_Y = -1.46f;
constexpr float MAIN_TYRE_RADIUS = 0.24f, NOSE_TYRE_RADIUS = 0.2f;
// Propeller: on the engine's axis at the nose.
constexpr float PROPELLER_X = 3.15f, SHAFT_Y = -0.05f, PROPELLER_RADIUS = 0.9f;

// --- Shapes ----------------------------------------------------------------------------------

// A NACA four-digit section at chord fraction x: camber line height and half thickness, in
// chords (m: camber, p: its position, t: thickness; the closed trailing edge variant).
glm::vec2 naca(float x, float m, float p, float t)
{
    const float half = 5.0f * t * (0.2969f * std::sqrt(x) - 0.1260f * x - 0.3516f * x * x + 0.2843f * x * x * x - 0.1036f * x * x * x * x);
    float camber = 0.0f;
    if (m > 0.0f)
        camber = x < p ? m / (p * p) * (2.0f * p * x - x * x) : m / ((1.0f - p) * (1.0f - p)) * ((1.0f - 2.0f * p) + 2.0f * p * x - x * x);
    return {camber, half};
}

// The part of a section between chord fractions from and to as a closed outline in the
// chord's plane: (along the chord forward, across it), the leading edge at x = 0 of the
// chord, going from the upper surface at `to` forward and back along the lower one.
struct Outline {
    std::vector<glm::vec2> points;
    std::vector<size_t> sharp;
};

Outline section(float from, float to, int steps, float m, float p, float t, float chord)
{
    std::vector<float> stations;
    for (int k = 0; k <= steps; ++k) // clustered at both ends, where the surface bends most
        stations.push_back(from + (to - from) * 0.5f * (1.0f - std::cos(PI_F * float(k) / float(steps))));
    Outline outline;
    const auto point = [&](float x, float side) {
        const glm::vec2 c = naca(x, m, p, t);
        return glm::vec2(-x * chord, (c.x + side * c.y) * chord);
    };
    for (int k = steps; k >= 0; --k)
        outline.points.push_back(point(stations[size_t(k)], 1.0f));
    const bool sharp_tail = to >= 1.0f, round_nose = from <= 0.0f;
    for (int k = round_nose ? 1 : 0; k <= steps - (sharp_tail ? 1 : 0); ++k)
        outline.points.push_back(point(stations[size_t(k)], -1.0f));
    outline.sharp.push_back(0);
    if (!sharp_tail)
        outline.sharp.push_back(outline.points.size() - 1);
    if (!round_nose) {
        outline.sharp.push_back(size_t(steps));
        outline.sharp.push_back(size_t(steps) + 1);
    }
    return outline;
}

// The outline at a spanwise station: chord plane (x, y), span along z; shifted by origin.
std::vector<glm::vec3> at_span(const Outline& outline, float z, const glm::vec2& origin)
{
    std::vector<glm::vec3> ring;
    for (const glm::vec2& p : outline.points)
        ring.emplace_back(p.x + origin.x, p.y + origin.y, z);
    return ring;
}

// A straight loft of one outline between two spanwise stations, capped at both ends.
void extrude(MeshBuilder& mesh, int material, const Outline& outline, float z0, float z1, const glm::vec2& origin = {})
{
    mesh.loft({at_span(outline, z0, origin), at_span(outline, z1, origin)}, outline.sharp, true, true,
              [material](size_t, size_t) { return material; });
}

// A rounded-rectangle cross-section of the fuselage at x: bottom to top, half_width to each
// side, points counted from the bottom centre up the right side.
std::vector<glm::vec3> fuselage_ring(float x, float bottom, float top, float half_width, int points)
{
    const float centre = 0.5f * (bottom + top), half_height = 0.5f * (top - bottom);
    const float exponent = 2.0f / 2.6f; // a superellipse: between an ellipse and a box
    std::vector<glm::vec3> ring;
    for (int j = 0; j < points; ++j) {
        const float angle = 2.0f * PI_F * float(j) / float(points);
        const float c = std::cos(angle), s = std::sin(angle);
        const float y = centre - half_height * std::copysign(std::pow(std::abs(c), exponent), c);
        const float z = half_width * std::copysign(std::pow(std::abs(s), exponent), s);
        ring.emplace_back(x, y, z);
    }
    return ring;
}

// A wheel: tyre and hub about an axle along Z through centre.
void wheel(MeshBuilder& mesh, const glm::vec3& centre, float radius, float half_width)
{
    const float tube = 0.34f * radius; // the tyre's section: an ellipse around radius - tube
    std::vector<ProfilePoint> tyre;
    for (int k = 0; k <= 10; ++k) {
        const float a = PI_F * 2.0f * float(k) / 10.0f;
        const glm::vec2 n = glm::normalize(glm::vec2(std::sin(a) / half_width, -std::cos(a) / tube));
        tyre.push_back({half_width * std::sin(a), radius - tube - tube * std::cos(a), n});
    }
    mesh.lathe(TYRE, centre, glm::vec3(0.0f, 0.0f, 1.0f), glm::vec3(1.0f, 0.0f, 0.0f), tyre, 18);
    const float hub = radius - 1.6f * tube, side = 0.8f * half_width;
    mesh.lathe(HUB, centre, glm::vec3(0.0f, 0.0f, 1.0f), glm::vec3(1.0f, 0.0f, 0.0f),
               {{-side, 0.0f, {-1.0f, 0.0f}}, {-side, hub, {-1.0f, 0.0f}}, {-side, hub, {0.0f, 1.0f}}, {side, hub, {0.0f, 1.0f}},
                {side, hub, {1.0f, 0.0f}}, {side, 0.0f, {1.0f, 0.0f}}},
               12);
}

// A streamlined tube from a to b: an ellipse of the given half axes, the long one along
// `broad` (made perpendicular to the tube).
void strut(MeshBuilder& mesh, int material, const glm::vec3& a, const glm::vec3& b, const glm::vec3& broad, float long_half,
           float short_half, int points, bool sharp_corners = false)
{
    const glm::vec3 along = glm::normalize(b - a);
    const glm::vec3 u = glm::normalize(broad - along * glm::dot(broad, along));
    const glm::vec3 v = glm::cross(along, u);
    std::vector<glm::vec3> ring_a, ring_b;
    std::vector<size_t> sharp;
    for (int j = 0; j < points; ++j) {
        const float angle = 2.0f * PI_F * (float(j) + (sharp_corners ? 0.5f : 0.0f)) / float(points);
        const glm::vec3 offset = u * (long_half * std::cos(angle)) + v * (short_half * std::sin(angle));
        ring_a.push_back(a + offset);
        ring_b.push_back(b + offset);
        if (sharp_corners)
            sharp.push_back(size_t(j));
    }
    mesh.loft({ring_a, ring_b}, sharp, true, sharp_corners, [material](size_t, size_t) { return material; });
}

glm::mat4 frame(const glm::vec3& translation, const glm::quat& rotation)
{
    return glm::translate(glm::mat4(1.0f), translation) * glm::mat4_cast(rotation);
}

// --- Parts -----------------------------------------------------------------------------------

// Fuselage with its stripe and windows, the wing's centre section, the struts, the panel in
// front of the pilot and the spinner; all in body coordinates.
void fuselage(MeshBuilder& mesh, const glm::mat4& right_wing)
{
    struct Station {
        float x, bottom, top, half_width;
    };
    const Station stations[] = {
        {3.06f, -0.28f, 0.18f, 0.27f}, {2.85f, -0.38f, 0.21f, 0.38f}, {2.5f, -0.48f, 0.22f, 0.45f},
        {2.0f, -0.55f, 0.22f, 0.50f},  {1.25f, -0.6f, 0.22f, 0.53f},  {0.9f, -0.6f, 0.32f, 0.55f},
        {0.55f, -0.6f, 0.44f, 0.56f},  {0.0f, -0.6f, 0.47f, 0.56f},   {-0.6f, -0.58f, 0.47f, 0.55f},
        {-1.05f, -0.52f, 0.45f, 0.5f}, {-1.6f, -0.38f, 0.40f, 0.4f},  {-2.2f, -0.18f, 0.38f, 0.28f},
        {-2.8f, 0.05f, 0.40f, 0.16f},  {-3.25f, 0.24f, 0.43f, 0.07f}, {-3.35f, 0.32f, 0.41f, 0.03f},
    };
    constexpr int POINTS = 28;
    std::vector<std::vector<glm::vec3>> rings;
    for (const Station& s : stations)
        rings.push_back(fuselage_ring(s.x, s.bottom, s.top, s.half_width, POINTS));
    // Patches by their angle around the ring (0 at the bottom, 90 on the right side, 180 on
    // top): the stripe just below the middle of each side, side windows above it along the
    // cabin, the windscreen across the top between the cowling and the roof.
    const auto material = [&](size_t i, size_t j) {
        const float angle = 360.0f * (float(j) + 0.5f) / float(POINTS);
        const float side = angle > 180.0f ? 360.0f - angle : angle;
        const float x = 0.5f * (stations[i].x + stations[i + 1].x);
        if (side > 63.0f && side < 90.0f)
            return int(STRIPE);
        if (x < 1.25f && x > 0.55f && side > 115.0f)
            return int(GLASS);
        if (x < 0.55f && x > -1.05f && side > 115.0f && side < 142.0f)
            return int(GLASS);
        return int(WHITE);
    };
    mesh.loft(rings, {}, true, false, material);
    // The front closed behind the spinner, the tail closed at its end.
    const auto cap = [&](const std::vector<glm::vec3>& ring, int m, const glm::vec3& normal) { mesh.polygon(m, ring, normal); };
    cap(rings.front(), DARK, {1.0f, 0.0f, 0.0f});
    cap(rings.back(), WHITE, {-1.0f, 0.0f, 0.0f});

    // The wing's centre section across the cabin roof.
    const Outline wing_section = section(0.0f, 1.0f, 10, 0.02f, 0.4f, 0.12f, WING_CHORD);
    mesh.set_transform(frame({WING_X, WING_Y, 0.0f}, glm::angleAxis(radians(INCIDENCE), glm::vec3(0.0f, 0.0f, 1.0f))));
    extrude(mesh, WHITE, wing_section, -WING_ROOT_Z, WING_ROOT_Z, {0.5f * WING_CHORD, 0.0f});
    mesh.set_transform(glm::mat4(1.0f));

    // Struts from the lower fuselage to the wing's lower surface at its front spar.
    for (const float side : {1.0f, -1.0f}) {
        const glm::vec2 spar = naca(0.3f, 0.02f, 0.4f, 0.12f);
        glm::vec3 on_wing = glm::vec3(right_wing * glm::vec4(0.5f * WING_CHORD - 0.3f * WING_CHORD,
                                                             (spar.x - spar.y) * WING_CHORD, 2.6f, 1.0f));
        on_wing.z *= side;
        strut(mesh, WHITE, {-0.25f, -0.33f, side * 0.5f}, on_wing, {1.0f, 0.0f, 0.0f}, 0.055f, 0.02f, 8);
    }

    // The panel in front of the pilot, under the windscreen.
    mesh.box(PANEL, {0.87f, -0.02f, 0.0f}, {0.06f, 0.16f, 0.46f});

    // The spinner: a paraboloid on the propeller's shaft.
    std::vector<ProfilePoint> spinner;
    const float base = 0.17f, length = 0.4f;
    for (int k = 0; k <= 6; ++k) {
        const float f = float(k) / 6.0f;
        const float radius = base * std::sqrt(std::max(1.0f - f, 0.0f));
        // r^2 = base^2 (1 - a / length): the outward normal is (base^2 / length, 2 r).
        const glm::vec2 n = glm::normalize(glm::vec2(base * base / length, 2.0f * std::max(radius, 1e-3f)));
        spinner.push_back({f * length, radius, n});
    }
    mesh.lathe(STRIPE, {3.06f, SHAFT_Y, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, spinner, 16);
}

// One half wing in its own frame (origin at the root's mid-chord, X forward along the chord,
// Z along the span outboard on the right and inboard on the left): the full section inboard
// and at the tip, the front three quarters where the aileron is.
void half_wing(MeshBuilder& mesh, float side)
{
    const float m = 0.02f, p = 0.4f, t = 0.12f;
    const glm::vec2 nose{0.5f * WING_CHORD, 0.0f};
    const Outline full = section(0.0f, 1.0f, 10, m, p, t, WING_CHORD);
    const Outline front = section(0.0f, AILERON_HINGE, 10, m, p, t, WING_CHORD);
    extrude(mesh, WHITE, full, 0.0f, side * (AILERON_FROM - 0.02f), nose);
    extrude(mesh, WHITE, front, side * (AILERON_FROM - 0.02f), side * (AILERON_TO + 0.02f), nose);
    extrude(mesh, WHITE, full, side * (AILERON_TO + 0.02f), side * (WING_HALF_SPAN - 0.25f), nose);
    extrude(mesh, STRIPE, full, side * (WING_HALF_SPAN - 0.25f), side * WING_HALF_SPAN, nose);
}

// Where a control surface's hinge lies in its parent's frame, whose origin is at mid-chord: on
// the camber line at the hinge's chord fraction.
glm::vec2 hinge_point(float fraction, float chord, float m, float p)
{
    return {0.5f * chord - fraction * chord, naca(fraction, m, p, 0.0f).x * chord};
}

// A control surface in its own frame, whose origin is on the hinge: the section behind the
// hinge from z0 to z1.
void control_surface(MeshBuilder& mesh, int material, float hinge, float chord, float m, float p, float t, float z0, float z1)
{
    const Outline rear = section(hinge + 0.01f, 1.0f, 5, m, p, t, chord);
    // The section's coordinates count from the leading edge, the node's from the hinge.
    extrude(mesh, material, rear, z0, z1, {hinge * chord, -naca(hinge, m, p, 0.0f).x * chord});
}

} // namespace

std::string make_trainer_glb()
{
    std::vector<NodePlan> nodes;
    const auto add = [&](const std::string& name, int parent, const glm::vec3& t, const glm::quat& r, const MeshBuilder* mesh) {
        nodes.push_back({name, parent, t, r, mesh});
        return int(nodes.size() - 1);
    };
    const glm::vec3 z_axis(0.0f, 0.0f, 1.0f), x_axis(1.0f, 0.0f, 0.0f);
    const glm::quat incidence = glm::angleAxis(radians(INCIDENCE), z_axis);
    // Dihedral: each half turned about the body's X so that its tip rises.
    const glm::quat right_rotation = glm::angleAxis(radians(-DIHEDRAL), x_axis) * incidence;
    const glm::quat left_rotation = glm::angleAxis(radians(DIHEDRAL), x_axis) * incidence;
    const glm::vec3 right_root{WING_X, WING_Y, WING_ROOT_Z}, left_root{WING_X, WING_Y, -WING_ROOT_Z};

    MeshBuilder body;
    fuselage(body, frame(right_root, right_rotation));

    // Wings and ailerons. Section coordinates put the leading edge at x = 0; the wing's frame
    // has its origin at mid-chord, so the chord's leading edge sits at +chord / 2.
    const float m = 0.02f, p = 0.4f;
    const glm::vec2 aileron_hinge = hinge_point(AILERON_HINGE, WING_CHORD, m, p);
    MeshBuilder right_wing, left_wing, right_aileron, left_aileron;
    half_wing(right_wing, 1.0f);
    half_wing(left_wing, -1.0f);
    const float aileron_span = AILERON_TO - AILERON_FROM;
    control_surface(right_aileron, WHITE, AILERON_HINGE, WING_CHORD, m, p, 0.12f, 0.0f, aileron_span);
    control_surface(left_aileron, WHITE, AILERON_HINGE, WING_CHORD, m, p, 0.12f, 0.0f, -aileron_span);

    // Tail plane and elevator (two halves either side of the rudder, one node).
    const Outline stabiliser = section(0.0f, ELEVATOR_HINGE, 8, 0.0f, 0.4f, 0.10f, TAIL_CHORD);
    const Outline tail_full = section(0.0f, 1.0f, 8, 0.0f, 0.4f, 0.10f, TAIL_CHORD);
    const glm::vec2 tail_nose{0.5f * TAIL_CHORD, 0.0f};
    MeshBuilder tailplane, elevator;
    extrude(tailplane, WHITE, stabiliser, -TAIL_HALF_SPAN, TAIL_HALF_SPAN, tail_nose);
    extrude(tailplane, WHITE, tail_full, -ELEVATOR_GAP + 0.01f, ELEVATOR_GAP - 0.01f, tail_nose);
    const glm::vec2 elevator_hinge = hinge_point(ELEVATOR_HINGE, TAIL_CHORD, 0.0f, 0.4f);
    for (const float side : {1.0f, -1.0f})
        control_surface(elevator, WHITE, ELEVATOR_HINGE, TAIL_CHORD, 0.0f, 0.4f, 0.10f, side * ELEVATOR_GAP, side * TAIL_HALF_SPAN);

    // Fin (swept leading edge, straight hinge line) and rudder, in body coordinates: sections
    // lie in horizontal planes, thickness along Z.
    MeshBuilder fin, rudder;
    {
        const auto horizontal = [](const Outline& outline, float leading_edge, float y) {
            std::vector<glm::vec3> ring;
            for (const glm::vec2& q : outline.points)
                ring.emplace_back(leading_edge + q.x, y, q.y);
            return ring;
        };
        const float root_y = 0.36f, root_le = -2.0f, tip_le = -2.55f;
        const Outline root = section(0.0f, 0.7f, 8, 0.0f, 0.4f, 0.09f, (root_le - RUDDER_X) / 0.7f);
        const Outline tip = section(0.0f, 0.7f, 8, 0.0f, 0.4f, 0.09f, (tip_le - RUDDER_X) / 0.7f);
        fin.loft({horizontal(root, root_le, root_y), horizontal(tip, tip_le, FIN_TOP)}, root.sharp, true, true,
                 [](size_t, size_t) { return int(WHITE); });
        // The rudder: the rear of a 1.2 m chord from its hinge back, its top in the stripe's red.
        const float chord = 1.2f;
        const Outline rear = section(0.7f, 1.0f, 5, 0.0f, 0.4f, 0.09f, chord);
        const float bottom = RUDDER_BOTTOM - TAIL_Y, top = FIN_TOP - TAIL_Y;
        std::vector<std::vector<glm::vec3>> rings;
        for (const float y : {bottom, top - 0.24f, top})
            rings.push_back(horizontal(rear, 0.7f * chord, y));
        rudder.loft(rings, rear.sharp, true, true, [](size_t ring, size_t) { return ring == 0 ? int(WHITE) : int(STRIPE); });
    }

    // Gear: spring-steel main legs and their wheels, the nose strut's fixed upper part; the
    // steered lower part and the nose wheel turn about the strut's axis.
    MeshBuilder gear, nose_wheel;
    const float main_axle_y = GROUND_Y + MAIN_TYRE_RADIUS;
    for (const float side : {1.0f, -1.0f}) {
        strut(gear, METAL, {MAIN_WHEEL_X, -0.56f, side * 0.35f}, {MAIN_WHEEL_X, main_axle_y, side * (MAIN_WHEEL_Z - 0.07f)},
              {1.0f, 0.0f, 0.0f}, 0.06f, 0.018f, 4, true);
        wheel(gear, {MAIN_WHEEL_X, main_axle_y, side * MAIN_WHEEL_Z}, MAIN_TYRE_RADIUS, 0.075f);
    }
    const glm::vec3 nose_pivot{NOSE_WHEEL_X, -0.62f, 0.0f};
    gear.lathe(METAL, nose_pivot, {0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f},
               {{0.0f, 0.045f, {0.0f, 1.0f}}, {0.12f, 0.045f, {0.0f, 1.0f}}}, 10);
    {
        const float axle_y = GROUND_Y + NOSE_TYRE_RADIUS - nose_pivot.y, trail = -0.05f;
        nose_wheel.lathe(METAL, {0.0f, axle_y + 0.16f, 0.0f}, {0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f},
                         {{0.0f, 0.032f, {0.0f, 1.0f}}, {-axle_y - 0.16f, 0.032f, {0.0f, 1.0f}}}, 10);
        nose_wheel.box(METAL, {trail * 0.5f, axle_y + 0.17f, 0.0f}, {0.06f, 0.02f, 0.09f});
        for (const float side : {1.0f, -1.0f})
            nose_wheel.box(METAL, {trail, axle_y + 0.085f, side * 0.08f}, {0.03f, 0.095f, 0.008f});
        wheel(nose_wheel, {trail, axle_y, 0.0f}, NOSE_TYRE_RADIUS, 0.06f);
    }

    // Propeller: two blades along the node's Y, twisted for a pitch of 1.2 m, their tips
    // painted; and the disc shown instead of them at speed.
    MeshBuilder propeller, disc;
    for (const float side : {1.0f, -1.0f}) {
        std::vector<std::vector<glm::vec3>> rings;
        const float radii[] = {0.12f, 0.3f, 0.5f, 0.7f, 0.8f, PROPELLER_RADIUS};
        for (const float r : radii) {
            const float f = r / PROPELLER_RADIUS;
            const float chord = 0.15f - 0.07f * f, thickness = 0.035f - 0.025f * f;
            const float beta = std::atan(1.2f / (2.0f * PI_F * r));
            std::vector<glm::vec3> ring;
            for (int k = 0; k < 12; ++k) {
                // Around a lens: u along the chord, v across it.
                const float a = 2.0f * PI_F * float(k) / 12.0f;
                const float u = 0.5f * chord * std::cos(a), v = 0.5f * thickness * std::sin(a);
                ring.emplace_back(u * std::sin(beta) + v * std::cos(beta), side * r, side * (u * std::cos(beta) - v * std::sin(beta)));
            }
            rings.push_back(ring);
        }
        propeller.loft(rings, {0, 6}, true, true, [](size_t ring, size_t) { return ring >= 4 ? int(BLADE_TIP) : int(BLADE); });
    }
    {
        std::vector<ProfilePoint> annulus = {{0.0f, 0.14f, {1.0f, 0.0f}}, {0.0f, PROPELLER_RADIUS, {1.0f, 0.0f}}};
        disc.lathe(DISC, glm::vec3(0.0f), x_axis, {0.0f, 1.0f, 0.0f}, annulus, 32);
    }

    const glm::quat none(1.0f, 0.0f, 0.0f, 0.0f);
    const int root = add("trainer", -1, glm::vec3(0.0f), none, nullptr);
    add("fuselage", root, glm::vec3(0.0f), none, &body);
    const int wing_left = add("wing_left", root, left_root, left_rotation, &left_wing);
    const glm::vec3 aileron_at(aileron_hinge, 0.0f);
    add("aileron_left", wing_left, aileron_at + glm::vec3(0.0f, 0.0f, -AILERON_FROM), none, &left_aileron);
    const int wing_right = add("wing_right", root, right_root, right_rotation, &right_wing);
    add("aileron_right", wing_right, aileron_at + glm::vec3(0.0f, 0.0f, AILERON_FROM), none, &right_aileron);
    const int tail = add("tailplane", root, {TAIL_X, TAIL_Y, 0.0f}, glm::angleAxis(radians(TAIL_INCIDENCE), z_axis), &tailplane);
    add("elevator", tail, {elevator_hinge.x, elevator_hinge.y, 0.0f}, none, &elevator);
    add("fin", root, glm::vec3(0.0f), none, &fin);
    add("rudder", root, {RUDDER_X, TAIL_Y, 0.0f}, none, &rudder);
    add("gear", root, glm::vec3(0.0f), none, &gear);
    add("nose_wheel", root, nose_pivot, none, &nose_wheel);
    add("propeller", root, {PROPELLER_X, SHAFT_Y, 0.0f}, none, &propeller);
    add("propeller_disc", root, {PROPELLER_X, SHAFT_Y, 0.0f}, none, &disc);
    return write_glb(MATERIALS, nodes, "Windhollow tools/aircraft");
}

} // namespace aircraft
