#include "app/Overlay.h"

#include <cmath>
#include <string>

#include <fmt/format.h>
#include <glm/gtc/quaternion.hpp>
#include <imgui.h>
#include <imgui_internal.h>

#include "app/KeyBindings.h"
#include "app/OverlayMath.h"
#include "app/StartPositions.h"
#include "airports/RunwayThreshold.h"
#include "core/Units.h"
#include "tiles/WebMercator.h"

namespace {

constexpr float STATUS_BAR_HEIGHT = 24.0f;

// Slider ranges.
constexpr double MAX_HORIZON_MIN = 0.0, MAX_HORIZON_MAX = 30000.0;
constexpr double LOD_SELECTION_MIN = 0.0, LOD_SELECTION_MAX = 1.0;
constexpr double SPLIT_FACTOR_MIN = 0.0, SPLIT_FACTOR_MAX = 5.0;
constexpr double SUN_AZIMUTH_MIN = 0.0, SUN_AZIMUTH_MAX = 360.0;
constexpr double SUN_ELEVATION_MIN = MIN_SUN_ELEVATION, SUN_ELEVATION_MAX = MAX_SUN_ELEVATION;
constexpr int ZOOM_SLIDER_MIN = 7, ZOOM_SLIDER_MAX = 17;
constexpr double GRID_PIXELS_MIN = 2.0, GRID_PIXELS_MAX = 32.0;
// How far from the camera the runway list reaches.
constexpr double RUNWAY_LIST_RADIUS_M = 100000.0;

// The overlay's zoom sliders work on int; the terrain keeps unsigned zooms.
void zoom_slider(const char* label, uint32_t& zoom)
{
    int value = static_cast<int>(zoom);
    if (ImGui::SliderInt(label, &value, ZOOM_SLIDER_MIN, ZOOM_SLIDER_MAX, "%d"))
        zoom = static_cast<uint32_t>(value);
}

} // namespace

Overlay::Overlay(const OverlayParts& parts)
    : m(parts)
{
}

void Overlay::draw()
{
    // ImGui gives the focus to its hidden fallback window ("Debug##Default") in the first
    // frame, and hands it on to the top-most visible window (Options) once that one is seen to
    // be hidden. Neither is the user's doing, but a focused window keeps every event from the
    // key bindings and the cameras: the program would ignore keys and drags until the first
    // click into the scene. Such a focus is dropped here, before it is passed on.
    ImGuiWindow* focused = ImGui::GetCurrentContext()->NavWindow;
    if (focused != nullptr && focused->IsFallbackWindow)
        ImGui::FocusWindow(nullptr);

    if (!visible)
        return;
    draw_options_window();
    if (show_help)
        draw_help_window();
    draw_status_bar();
    draw_instruments_window();
}

void Overlay::draw_options_window()
{
    ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f), ImGuiCond_Always);
    ImGui::SetNextWindowSize(ImVec2(300.0f, 200.0f), ImGuiCond_FirstUseEver);
    ImGui::Begin("Options", nullptr, ImGuiWindowFlags_NoFocusOnAppearing);

    ImGui::Text("FPS: %d", m.time.fps);
    ImGui::Text("Camera Index: %d", static_cast<int>(m.cameras.active_index));

    const uint32_t chosen_index = m.cameras.start_position_index;
    const char* chosen = chosen_index < start_positions.size() ? start_positions[chosen_index].name : "";
    if (ImGui::BeginCombo("Select Position", chosen)) {
        for (uint32_t i = 0; i < start_positions.size(); ++i) {
            const bool selected = i == chosen_index;
            // Rows are told apart by index, whatever their names.
            ImGui::PushID(static_cast<int>(i));
            if (ImGui::Selectable(start_positions[i].name, selected))
                m.commands.select_start_position(i);
            if (selected)
                ImGui::SetItemDefaultFocus();
            ImGui::PopID();
        }
        ImGui::EndCombo();
    }

    if (ImGui::CollapsingHeader("Camera")) {
        ImGui::Indent();
        draw_camera_section();
        ImGui::Unindent();
    }

    if (ImGui::CollapsingHeader("Terrain")) {
        ImGui::Indent();
        draw_terrain_section();
        ImGui::Unindent();
    }

    if (ImGui::CollapsingHeader("Atmosphere")) {
        ImGui::Indent();
        draw_atmosphere_section();
        ImGui::Unindent();
    }

    if (ImGui::CollapsingHeader("FlightModel")) {
        ImGui::Indent();
        draw_flight_model_section();
        ImGui::Unindent();
    }

    if (ImGui::CollapsingHeader("Wind")) {
        ImGui::Indent();
        m_weather.draw_wind(m.flight.wind);
        ImGui::Unindent();
    }

    if (ImGui::CollapsingHeader("Sound")) {
        ImGui::Indent();
        draw_sound_section();
        ImGui::Unindent();
    }

    if (m.runways != nullptr && !m.runways->empty())
        draw_runway_list();

    if (ImGui::Button("Reset"))
        m.commands.reset_and_pause();
    ImGui::SameLine();
    if (ImGui::Button("Place Aircraft Here"))
        m.commands.place_aircraft_at_camera();
    if (ImGui::Button(m.flight.paused ? "Resume" : "Pause"))
        m.commands.toggle_pause();
    if (ImGui::Button("Toggle Fullscreen"))
        m.commands.toggle_fullscreen();
    if (ImGui::Button("Reload Shaders"))
        m.commands.reload_shaders_from_overlay();

    ImGui::End();
}

void Overlay::draw_runway_list()
{
    // Looked up only while the list is open.
    if (!ImGui::BeginCombo("Runways", "within 100 km"))
        return;
    const glm::vec3 eye = m.cameras.active().get_world_position();
    const LatLon camera = m.frame.world_to_latlon(eye.x, eye.z);
    const std::vector<NearbyThreshold> ends = thresholds_near(*m.runways, camera, RUNWAY_LIST_RADIUS_M);
    if (ends.empty())
        ImGui::TextUnformatted("none");
    for (size_t i = 0; i < ends.size(); ++i) {
        const ThresholdPlacement& end = ends[i].placement;
        const Runway& runway = m.runways->runway(end.runway);
        // Rows are told apart by their place in the list, whatever their names.
        const std::string label = fmt::format("{} {}  {:.1f} km##{}", runway.airport, runway.ends[end.end].ident,
                                              ends[i].distance_m / 1000.0, i);
        if (ImGui::Selectable(label.c_str()))
            m.commands.place_aircraft_on_runway(end.runway, end.end);
    }
    ImGui::EndCombo();
}

void Overlay::draw_camera_section()
{
    if (ImGui::Button("Switch Camera"))
        m.commands.switch_camera();
    BaseCamera& camera = m.cameras.active();
    const glm::vec3 position = camera.get_world_position();
    ImGui::Text("Position: [%.2f, %.2f, %.2f]", position.x, position.y, position.z);
    const glm::vec3 rotation = glm::eulerAngles(camera.get_rotation()) * RAD_TO_DEG_F;
    ImGui::Text("Rotation: [%.2f, %.2f, %.2f]", rotation.x, rotation.y, rotation.z);
    const LatLon geo = m.frame.world_to_latlon(position.x, position.z);
    ImGui::Text("Lat: %f, Lon: %f, Alt: %f", geo.lat, wrap_longitude(geo.lon), m.frame.altitude_of(position.y));
    // A value equal to the camera's plane changes nothing: setting it recomputes the projection.
    float near_plane = camera.get_near();
    if (ImGui::SliderFloat("Camera Near", &near_plane, 0.001f, 1.0f, "%.3f") && near_plane != camera.get_near())
        camera.set_near(near_plane);
    float far_plane = camera.get_far();
    if (ImGui::SliderFloat("Camera Far", &far_plane, 10.0f, 15000.0f, "%.3f") && far_plane != camera.get_far())
        camera.set_far(far_plane);
    ImGui::SliderFloat("FPV Camera Speed", &m.cameras.free_camera_speed, 0.0f, 1000.0f, "%.3f");
}

void Overlay::draw_terrain_section()
{
    TerrainRenderer& t = m.renderer.terrain();
    ImGui::Text("Center Tile: z=%u, x=%u, y=%u", t.center_tile.zoom, t.center_tile.x, t.center_tile.y);
    ImGui::Text("Center Coord: lat=%f, lon=%f", t.center_coord.lat, t.center_coord.lon);
    ImGui::Text("Heading %d", compass_heading(m.cameras.active().get_z_axis()));
    const glm::vec3 position = m.cameras.active().get_position();
    const LatLon below = m.frame.world_to_latlon(position.x, position.z);
    const std::optional<HeightSample> ground = m.heights.height_at(below, m.heights.max_zoom());
    ImGui::Text("Terrain Elevation: %.2f", ground ? static_cast<double>(mercator_height(ground->metres, below.lat)) : 0.0);
    ImGui::Text("Zoom Level Range: [%d, %d] (%d)", static_cast<int>(t.min_zoom), static_cast<int>(t.max_zoom),
                static_cast<int>(t.max_zoom) - static_cast<int>(t.min_zoom));
    ImGui::Text("GPU Cache Size: %d", static_cast<int>(t.texture_cache.size()));

    ImGui::Checkbox("Render Terrain", &t.render_terrain);
    ImGui::Checkbox("Render Atmosphere", &t.render_atmosphere);
    ImGui::Checkbox("Wireframe", &t.wireframe);
    ImGui::Checkbox("Smart LOD Center", &t.smart_lod_center);
    ImGui::Checkbox("Visualize LOD", &t.visualize_lod);
    ImGui::Checkbox("Visualize Normals", &t.visualize_normals);
    ImGui::Checkbox("Frustum Culling", &t.frustum_culling);
    ImGui::Checkbox("Enable Shading", &t.shading);
    ImGui::Checkbox("Enable Fallback", &t.fallback);
    ImGui::Checkbox("Misc Debug Toggle", &t.misc_debug);

    ImGui::SliderScalar("Max Horizon", ImGuiDataType_Double, &t.max_horizon, &MAX_HORIZON_MIN, &MAX_HORIZON_MAX, "%.3f");
    ImGui::SliderScalar("LOD selection", ImGuiDataType_Double, &t.lod_selection, &LOD_SELECTION_MIN, &LOD_SELECTION_MAX,
                        "%.3f");
    ImGui::SliderScalar("Split Factor", ImGuiDataType_Double, &t.split_factor, &SPLIT_FACTOR_MIN, &SPLIT_FACTOR_MAX,
                        "%.3f");

    // What a software rasteriser pays most for: samples per pixel and grid density.
    static constexpr int SAMPLE_CHOICES[] = {1, 2, 4, 8};
    int32_t& msaa_samples = m.renderer.msaa_samples;
    const std::string samples_text = msaa_samples <= 1 ? std::string("Off") : std::to_string(msaa_samples);
    if (ImGui::BeginCombo("Multisampling", samples_text.c_str())) {
        for (int samples : SAMPLE_CHOICES) {
            const std::string label = samples <= 1 ? std::string("Off") : std::to_string(samples);
            if (ImGui::Selectable(label.c_str(), samples == msaa_samples))
                msaa_samples = samples;
        }
        ImGui::EndCombo();
    }
    ImGui::SliderScalar("Grid Pixels", ImGuiDataType_Double, &t.grid_pixels, &GRID_PIXELS_MIN, &GRID_PIXELS_MAX, "%.1f");

    ImGui::Checkbox("Manual Zoom", &t.manual_zoom);
    if (t.manual_zoom) {
        zoom_slider("Min Zoom", t.min_zoom);
        zoom_slider("Max Zoom", t.max_zoom);
    } else {
        ImGui::Text("Min Zoom: %d, Max Zoom: %d", static_cast<int>(t.min_zoom), static_cast<int>(t.max_zoom));
    }
}

void Overlay::draw_atmosphere_section()
{
    Atmosphere& a = m.renderer.terrain().atmosphere;
    ImGui::Checkbox("Enable Scattering", &a.scattering);
    ImGui::Checkbox("Always compute", &a.always_compute);
    m_weather.draw_time(m.sky);
    // Moving the sun by hand takes it from the clock.
    if (ImGui::SliderScalar("Sun Azimuth", ImGuiDataType_Double, &a.sun_azimuth, &SUN_AZIMUTH_MIN, &SUN_AZIMUTH_MAX,
                            "%.3f"))
        m.sky.release_sun();
    if (ImGui::SliderScalar("Sun Elevation", ImGuiDataType_Double, &a.sun_elevation, &SUN_ELEVATION_MIN,
                            &SUN_ELEVATION_MAX, "%.3f"))
        m.sky.release_sun();
    ImGui::SliderInt("View Samples", &a.view_samples, 1, 32, "%d");
    ImGui::SliderInt("Light Samples", &a.light_samples, 1, 32, "%d");
}

void Overlay::draw_flight_model_section()
{
    Aircraft& aircraft = m.flight.aircraft;
    ImGui::Checkbox("Render Debug Geometry", &m.renderer.render_debug_geometry);
    // The physics frame's own speed, as it always read; the reset after a state that stopped
    // being finite keeps it finite.
    ImGui::Text("Speed: %.3f km/h", static_cast<double>(aircraft.speed()) * KM_H_PER_M_S);
    ImGui::Text("Aileron: %.3f, Elevator: %.3f, Rudder: %.3f", aircraft.controls.aileron, aircraft.controls.elevator,
                aircraft.controls.rudder);
    draw_instrument_lines();
    ImGui::SliderFloat("Throttle", &aircraft.controls.throttle, 0.0f, 1.0f, "%.3f");

    if (ImGui::CollapsingHeader("Landing Gear")) {
        ImGui::Indent();
        for (size_t i = 0; i < aircraft.wheels.size(); ++i) {
            Wheel& wheel = aircraft.wheels[i];
            const std::string header = "Wheel_" + std::to_string(i);
            if (ImGui::CollapsingHeader(header.c_str())) {
                ImGui::Indent();
                ImGui::Text("Offset: %f\n", wheel.offset);
                ImGui::SliderFloat((header + " Rest Length").c_str(), &wheel.rest_length, 0.0f, 5.0f, "%.3f");
                ImGui::SliderFloat((header + " Stiffness").c_str(), &wheel.stiffness, 0.0f, 10000.0f, "%.3f");
                ImGui::SliderFloat((header + " Damping").c_str(), &wheel.damping, 0.0f, 10000.0f, "%.3f");
                ImGui::Unindent();
            }
        }
        ImGui::Unindent();
    }
}

void Overlay::draw_sound_section()
{
    sound::SoundScape& scape = m.sound.scape();
    sound::SoundSettings settings = scape.settings();
    float percent = settings.volume * 100.0f;
    bool changed = ImGui::SliderFloat("Volume", &percent, 0.0f, 100.0f, "%.0f %%", ImGuiSliderFlags_AlwaysClamp);
    changed |= ImGui::Checkbox("Mute", &settings.muted);
    if (changed) {
        settings.volume = percent / 100.0f;
        scape.set_settings(settings);
    }
    if (!settings.enabled)
        ImGui::TextWrapped("Off in the configuration (\"sound\": false).");
    else if (!scape.active())
        ImGui::TextWrapped("No sound: %s", scape.failure().c_str());
}

void Overlay::draw_instrument_lines()
{
    const FlightData d = m.flight.data();
    ImGui::Text("Airspeed %.0f km/h (%.0f kt), vertical speed %+.1f m/s", d.airspeed_m_s * KM_H_PER_M_S,
                d.airspeed_m_s * KNOTS_PER_M_S, d.vertical_speed_m_s);
    if (std::isfinite(d.height_above_ground_m))
        ImGui::Text("Altitude %.0f m (%.0f ft), above ground %.0f m (%.0f ft)", d.altitude_m,
                    d.altitude_m * FEET_PER_METRE, d.height_above_ground_m, d.height_above_ground_m * FEET_PER_METRE);
    else
        ImGui::Text("Altitude %.0f m (%.0f ft), above ground -", d.altitude_m, d.altitude_m * FEET_PER_METRE);
    if (d.wind_speed_m_s < 0.05)
        ImGui::Text("Wind calm, ground speed %.0f km/h (%.0f kt)", d.ground_speed_m_s * KM_H_PER_M_S,
                    d.ground_speed_m_s * KNOTS_PER_M_S);
    else
        ImGui::Text("Wind from %03.0f at %.1f m/s (%.0f kt), ground speed %.0f km/h (%.0f kt)",
                    std::fmod(std::round(d.wind_from_deg), 360.0), d.wind_speed_m_s, d.wind_speed_m_s * KNOTS_PER_M_S,
                    d.ground_speed_m_s * KM_H_PER_M_S, d.ground_speed_m_s * KNOTS_PER_M_S);
    ImGui::Text("Heading %03.0f, pitch %+.1f, roll %+.1f, throttle %.0f %%%s",
                std::fmod(std::round(d.heading_deg), 360.0), d.pitch_deg, d.roll_deg, d.controls.throttle * 100.0f,
                d.controls.brake > 0.0f ? ", brakes" : "");
    if (d.stall_warning) {
        ImGui::SameLine();
        ImGui::TextColored(ImVec4(1.0f, 0.25f, 0.2f, 1.0f), "STALL");
    }
    // Frames too long for the flight to catch up in slow it down rather than make it jump;
    // say so, or the aircraft would seem to fly sluggishly for no reason.
    const double share = m.flight.real_time_share();
    if (share < 0.98)
        ImGui::TextColored(ImVec4(1.0f, 0.7f, 0.2f, 1.0f), "SLOW MOTION: the simulation runs at %.0f %% of real time",
                           share * 100.0);
}

void Overlay::draw_instruments_window()
{
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x - 8.0f, 8.0f), ImGuiCond_Always, ImVec2(1.0f, 0.0f));
    ImGui::SetNextWindowBgAlpha(0.45f);
    ImGui::Begin("Instruments", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoInputs | ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNav);
    draw_instrument_lines();
    ImGui::End();
}

void Overlay::draw_help_window()
{
    const ImGuiIO& io = ImGui::GetIO();
    const ImVec2 size(io.DisplaySize.x * 0.8f, io.DisplaySize.y * 0.8f);
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowSize(size, ImGuiCond_Always);
    ImGui::SetNextWindowPos(ImVec2(viewport->Pos.x + (viewport->Size.x - size.x) * 0.5f,
                                   viewport->Pos.y + (viewport->Size.y - size.y) * 0.5f),
                            ImGuiCond_Always);
    ImGui::Begin("Help", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoInputs |
                     ImGuiWindowFlags_NoFocusOnAppearing);
    ImGui::Text("Move the camera by holding down and dragging the mouse and using the WASD keys.");
    ImGui::Text("Press space to go up, left ctrl to go down.");
    ImGui::Text("%s", "");
    ImGui::Text("You can jump to different places by selecting a location from the Options dropdown.");
    ImGui::Text("%s", "");
    ImGui::Text("If the program is very slow, try to reduce scattering and optical depth samples:");
    ImGui::Text("Options > Terrain > Atmosphere");
    ImGui::Text("%s", "");
    for (const std::string& line : key_help_lines())
        ImGui::TextUnformatted(line.c_str());
    ImGui::Text("%s", "");
    ImGui::Text("To change the startup parameters edit the config file:");
    // A path is data, never a format: it may hold '%'.
    ImGui::TextUnformatted((m.config.base_path / CONFIG_FILE).string().c_str());
    ImGui::Text("This file can be used to configure alternate tile data sources.");
    ImGui::End();
}

void Overlay::draw_status_bar()
{
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(0.0f, io.DisplaySize.y - STATUS_BAR_HEIGHT), ImGuiCond_Always);
    ImGui::SetNextWindowSize(ImVec2(io.DisplaySize.x, STATUS_BAR_HEIGHT), ImGuiCond_Always);
    ImGui::Begin("Status Bar", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoBackground |
                     ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoInputs |
                     ImGuiWindowFlags_NoFocusOnAppearing);
    ImGui::Text("%s. Press 'H' to get help. Data Attribution: %s, %s. FPS: %d", PROGRAM_ATTRIBUTION,
                m.config.elevation_server.attribution.c_str(), m.config.texture_server.attribution.c_str(), m.time.fps);
    ImGui::End();
}
