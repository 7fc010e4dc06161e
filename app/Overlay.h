#pragma once

// The overlay windows: "Options" (with its sections), "Help" while shown, "Status Bar" and
// "Instruments", none of them while hidden. They own no state of what they show: every widget
// edits the part it shows in place (the cameras, the terrain, the atmosphere, the aircraft),
// so an edit takes effect in the same frame, and every button runs a command.

#include <cstdint>

#include "airports/RunwayIndex.h"
#include "app/AircraftSound.h"
#include "app/CameraRig.h"
#include "app/Commands.h"
#include "app/Config.h"
#include "app/Flight.h"
#include "app/FrameRenderer.h"
#include "app/FrameTiming.h"
#include "app/SkyClock.h"
#include "app/WeatherOptions.h"
#include "terrain/HeightStore.h"
#include "terrain/WorldFrame.h"

// What the overlay shows and edits; each must outlive it.
struct OverlayParts {
    Commands& commands;
    CameraRig& cameras;
    Flight& flight;
    FrameRenderer& renderer;
    HeightStore& heights;
    AircraftSound& sound;
    const Config& config;
    const FrameTime& time;
    WorldFrame frame;
    SkyClock& sky;
    const RunwayIndex* runways = nullptr; // the runways to list; none: no list
};

class Overlay {
public:
    explicit Overlay(const OverlayParts& parts);

    // Every window that is shown. Also takes the focus from ImGui's own fallback window.
    void draw();
    void draw_options_window();
    void draw_help_window();
    void draw_status_bar();
    // The small always-shown flight readout at the top right.
    void draw_instruments_window();

    bool visible = true;
    bool show_help = false;

    // The program's own line at the start of the status bar.
    static constexpr const char* PROGRAM_ATTRIBUTION = "Windhollow flight simulator";

private:
    // The runway ends near the active camera, to put the aircraft on.
    void draw_runway_list();
    void draw_camera_section();
    void draw_terrain_section();
    void draw_atmosphere_section();
    void draw_flight_model_section();
    void draw_sound_section();
    // The instrument lines, also shown in the FlightModel section.
    void draw_instrument_lines();

    OverlayParts m;
    WeatherOptions m_weather;
};
