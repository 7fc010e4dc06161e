#include "app/WeatherOptions.h"

#include <cmath>
#include <cstdio>
#include <string>

#include <imgui.h>
#include <imgui_internal.h>

#include "sky/UtcTime.h"

namespace {

constexpr double WIND_FROM_MIN = 0.0, WIND_FROM_MAX = 360.0;
constexpr double WIND_SPEED_MIN = 0.0, WIND_SPEED_MAX = 40.0;
constexpr double GUSTS_MIN = 0.0, GUSTS_MAX = 20.0;
constexpr sky::TimeRate TIME_RATES[] = {sky::TimeRate::STOPPED, sky::TimeRate::REAL_TIME, sky::TimeRate::SIXTY_TIMES};

} // namespace

void WeatherOptions::draw_time(SkyClock& clock)
{
    ImGui::TextUnformatted(clock.holds_sun() ? "The sun follows the clock." : "The sun stays where the sliders put it.");

    // The field shows the clock until it is being edited; Enter applies it.
    constexpr const char* TIME_LABEL = "Date and Time (UTC)";
    if (ImGui::GetActiveID() != ImGui::GetID(TIME_LABEL))
        std::snprintf(m_time_text.data(), m_time_text.size(), "%s", sky::format_utc_time(clock.utc_seconds()).c_str());
    if (ImGui::InputText(TIME_LABEL, m_time_text.data(), m_time_text.size(), ImGuiInputTextFlags_EnterReturnsTrue)) {
        const std::optional<double> entered = sky::parse_utc_time(m_time_text.data());
        m_time_refused = !entered;
        if (entered)
            clock.set_utc_seconds(*entered);
    }
    if (m_time_refused)
        ImGui::TextColored(ImVec4(1.0f, 0.4f, 0.3f, 1.0f), "Not a UTC time: YYYY-MM-DDTHH:MM:SSZ");

    // The hour within the clock's day: sunrise to sunset by dragging.
    const double day_start = std::floor(clock.utc_seconds() / sky::SECONDS_PER_DAY) * sky::SECONDS_PER_DAY;
    float hour = static_cast<float>((clock.utc_seconds() - day_start) / 3600.0);
    if (ImGui::SliderFloat("Hour (UTC)", &hour, 0.0f, 23.99f, "%.2f"))
        clock.set_utc_seconds(day_start + static_cast<double>(hour) * 3600.0);

    const std::string rate_name(sky::time_rate_name(clock.rate()));
    if (ImGui::BeginCombo("Time Rate", rate_name.c_str())) {
        for (sky::TimeRate rate : TIME_RATES) {
            const std::string name(sky::time_rate_name(rate));
            if (ImGui::Selectable(name.c_str(), rate == clock.rate()))
                clock.set_rate(rate);
        }
        ImGui::EndCombo();
    }
}

void WeatherOptions::draw_wind(Wind& wind)
{
    WindSettings settings = wind.settings();
    ImGui::SliderScalar("Wind From (deg)", ImGuiDataType_Double, &settings.from_deg, &WIND_FROM_MIN, &WIND_FROM_MAX,
                        "%.0f");
    ImGui::SliderScalar("Wind Speed (m/s)", ImGuiDataType_Double, &settings.speed_m_s, &WIND_SPEED_MIN,
                        &WIND_SPEED_MAX, "%.1f");
    ImGui::SliderScalar("Gusts (m/s)", ImGuiDataType_Double, &settings.gusts_m_s, &GUSTS_MIN, &GUSTS_MAX, "%.1f");
    const auto name_of = [](Turbulence level) {
        for (const auto& [name, value] : TURBULENCE_NAMES)
            if (value == level)
                return std::string(name);
        return std::string();
    };
    if (ImGui::BeginCombo("Turbulence", name_of(settings.turbulence).c_str())) {
        for (const auto& [name, value] : TURBULENCE_NAMES)
            if (ImGui::Selectable(std::string(name).c_str(), value == settings.turbulence))
                settings.turbulence = value;
        ImGui::EndCombo();
    }
    if (settings != wind.settings())
        wind.set_settings(settings);
}
