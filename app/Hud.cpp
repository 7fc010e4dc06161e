#include "app/Hud.h"

#include <cmath>
#include <string>

#include <fmt/format.h>
#include <imgui.h>

namespace {

const ImU32 GREEN = IM_COL32(60, 255, 90, 255);
const ImU32 OUTLINE = IM_COL32(0, 0, 0, 150);
const ImU32 WARNING = IM_COL32(255, 70, 50, 255);

ImVec2 v(const glm::vec2& p) { return {p.x, p.y}; }

// Every stroke twice: a wide dark one under the green, so it stands out on white and blue.
class Pen {
public:
    Pen(ImDrawList& list, const HudSettings& s)
        : m_list(list)
        , m_settings(s)
    {
    }

    void line(glm::vec2 a, glm::vec2 b, ImU32 colour = GREEN) const
    {
        m_list.AddLine(v(a), v(b), OUTLINE, m_settings.line_width + 2.0f * m_settings.outline_width);
        m_list.AddLine(v(a), v(b), colour, m_settings.line_width);
    }
    // A line in dashes of dash pixels with gaps as long.
    void dashed(glm::vec2 a, glm::vec2 b, float dash) const
    {
        const float length = glm::length(b - a);
        for (float s = 0.0f; s < length; s += 2.0f * dash)
            line(a + (b - a) * (s / length), a + (b - a) * (std::min(s + dash, length) / length));
    }
    void circle(glm::vec2 centre, float radius) const
    {
        m_list.AddCircle(v(centre), radius, OUTLINE, 16, m_settings.line_width + 2.0f * m_settings.outline_width);
        m_list.AddCircle(v(centre), radius, GREEN, 16, m_settings.line_width);
    }
    void box(glm::vec2 low, glm::vec2 high, ImU32 colour = GREEN) const
    {
        line(low, {high.x, low.y}, colour);
        line({high.x, low.y}, high, colour);
        line(high, {low.x, high.y}, colour);
        line({low.x, high.y}, low, colour);
    }
    // Text whose anchor (0: left/top, 0.5: middle, 1: right/bottom) lies at at.
    void text(glm::vec2 at, const std::string& s, glm::vec2 anchor, float scale = 1.0f, ImU32 colour = GREEN) const
    {
        ImFont* font = ImGui::GetFont();
        const float size = m_settings.text_size * scale;
        const ImVec2 extent = font->CalcTextSizeA(size, 1e9f, 0.0f, s.c_str());
        const glm::vec2 corner = at - anchor * glm::vec2(extent.x, extent.y);
        for (const auto& [dx, dy] : {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {-1.0f, 1.0f}, {1.0f, 1.0f}})
            m_list.AddText(font, size, ImVec2(corner.x + dx, corner.y + dy), OUTLINE, s.c_str());
        m_list.AddText(font, size, v(corner), colour, s.c_str());
    }

private:
    ImDrawList& m_list;
    const HudSettings& m_settings;
};

} // namespace

void Hud::draw(ImDrawList& list, const FlightData& data, const hud::View& view) const
{
    const Pen pen(list, settings);
    const glm::vec2 c = view.centre();
    const float unit = view.height / 72.0f; // symbol sizes scale with the window

    // The ladder lives in the middle of the screen, clear of the readouts at its sides.
    const glm::vec2 clip_low = c - glm::vec2(17.0f, 22.0f) * unit, clip_high = c + glm::vec2(17.0f, 22.0f) * unit;
    list.PushClipRect(v(clip_low), v(clip_high), true);
    for (const hud::Rung& rung : hud::pitch_ladder(data, view)) {
        const bool below = rung.degrees < 0;
        // Rung ends turn toward the horizon, so a glance tells climbing from diving.
        const glm::vec2 along = glm::normalize(rung.right_outer - rung.left_outer);
        const glm::vec2 toward_horizon = glm::vec2(-along.y, along.x) * (below ? -1.0f : 1.0f) * unit;
        for (const auto& [outer, inner] : {std::pair{rung.left_outer, rung.left_inner}, std::pair{rung.right_outer, rung.right_inner}}) {
            if (below)
                pen.dashed(outer, inner, 0.8f * unit);
            else
                pen.line(outer, inner);
            if (rung.degrees != 0) {
                pen.line(inner, inner + toward_horizon);
                pen.text(outer - along * (0.6f * unit) * (outer == rung.left_outer ? 1.0f : -1.0f),
                         fmt::format("{}", std::abs(rung.degrees)), {outer == rung.left_outer ? 1.0f : 0.0f, 0.5f}, 0.8f);
            }
        }
    }
    // The flight-path marker: a circle with wings and a fin.
    if (const auto marker = hud::flight_path_marker(data, view)) {
        const float r = 0.9f * unit;
        pen.circle(*marker, r);
        pen.line(*marker + glm::vec2(r, 0.0f), *marker + glm::vec2(2.4f * r, 0.0f));
        pen.line(*marker - glm::vec2(r, 0.0f), *marker - glm::vec2(2.4f * r, 0.0f));
        pen.line(*marker - glm::vec2(0.0f, r), *marker - glm::vec2(0.0f, 2.0f * r));
    }
    list.PopClipRect();

    // Where the nose points: the boresight's W.
    const float w = 1.2f * unit;
    pen.line(c + glm::vec2(-3.0f * w, 0.0f), c + glm::vec2(-1.5f * w, 0.0f));
    pen.line(c + glm::vec2(-1.5f * w, 0.0f), c + glm::vec2(-0.75f * w, 0.75f * w));
    pen.line(c + glm::vec2(-0.75f * w, 0.75f * w), c);
    pen.line(c, c + glm::vec2(0.75f * w, 0.75f * w));
    pen.line(c + glm::vec2(0.75f * w, 0.75f * w), c + glm::vec2(1.5f * w, 0.0f));
    pen.line(c + glm::vec2(1.5f * w, 0.0f), c + glm::vec2(3.0f * w, 0.0f));

    // Airspeed left, altitude and vertical speed right, in boxes level with the boresight.
    const bool aviation = settings.aviation_units;
    const double speed = aviation ? data.airspeed_m_s * 1.943844 : data.airspeed_m_s * 3.6;
    const double altitude = aviation ? data.altitude_m / 0.3048 : data.altitude_m;
    const double climb = aviation ? data.vertical_speed_m_s / 0.3048 * 60.0 : data.vertical_speed_m_s;
    const glm::vec2 half_box(4.2f * unit, 1.4f * unit);
    const glm::vec2 speed_at = c + glm::vec2(-22.0f * unit, 0.0f), altitude_at = c + glm::vec2(22.0f * unit, 0.0f);
    pen.box(speed_at - half_box, speed_at + half_box);
    pen.text(speed_at, fmt::format("{:.0f}", speed), {0.5f, 0.5f});
    pen.text(speed_at + glm::vec2(0.0f, 2.0f * unit), aviation ? "KT" : "KM/H", {0.5f, 0.0f}, 0.7f);
    pen.box(altitude_at - half_box, altitude_at + half_box);
    pen.text(altitude_at, fmt::format("{:.0f}", altitude), {0.5f, 0.5f});
    pen.text(altitude_at + glm::vec2(0.0f, 2.0f * unit), aviation ? "FT" : "M", {0.5f, 0.0f}, 0.7f);
    const std::string vertical = aviation ? fmt::format("VS {:+.0f}", climb) : fmt::format("VS {:+.1f}", climb);
    pen.text(altitude_at + glm::vec2(0.0f, 5.0f * unit), vertical, {0.5f, 0.0f}, 0.8f);
    pen.text(altitude_at + glm::vec2(0.0f, 6.8f * unit), aviation ? "FT/MIN" : "M/S", {0.5f, 0.0f}, 0.6f);

    // The heading scale along the top: marks every 5 degrees, numbers every 10 (in tens, as
    // compasses print them), the heading boxed at its middle.
    const float scale_y = c.y - 27.0f * unit, per_degree = 0.55f * unit;
    for (const hud::HeadingTick& tick : hud::heading_ticks(data.heading_deg, 5, 30.0, per_degree)) {
        const glm::vec2 at(c.x + tick.offset, scale_y);
        const bool labelled = tick.degrees % 10 == 0;
        pen.line(at, at + glm::vec2(0.0f, (labelled ? 1.2f : 0.6f) * unit));
        if (labelled && std::abs(tick.offset) > 3.0f * unit) {
            const char* cardinal[] = {"N", "E", "S", "W"};
            const std::string label = tick.degrees % 90 == 0 ? cardinal[tick.degrees / 90] : fmt::format("{:02}", tick.degrees / 10);
            pen.text(at - glm::vec2(0.0f, 0.3f * unit), label, {0.5f, 1.0f}, 0.8f);
        }
    }
    const glm::vec2 heading_at(c.x, scale_y - 0.3f * unit);
    const int heading = int(std::lround(data.heading_deg)) % 360;
    pen.box(heading_at - glm::vec2(2.4f * unit, 2.2f * unit), heading_at + glm::vec2(2.4f * unit, 0.0f));
    pen.text(heading_at - glm::vec2(0.0f, 1.1f * unit), fmt::format("{:03}", heading), {0.5f, 0.5f});

    // The stall warning under the boresight, flashing twice a second.
    if (data.stall_warning && std::fmod(ImGui::GetTime(), 0.5) < 0.35) {
        const glm::vec2 at = c + glm::vec2(0.0f, 9.0f * unit);
        pen.box(at - glm::vec2(5.0f * unit, 1.6f * unit), at + glm::vec2(5.0f * unit, 1.6f * unit), WARNING);
        pen.text(at, "STALL", {0.5f, 0.5f}, 1.2f, WARNING);
    }
}
