#pragma once

// The head-up display over the cockpit view: horizon and pitch ladder, the flight-path
// marker, airspeed, altitude, vertical speed, a heading scale and the stall warning, stroked
// in green with a dark outline so they read over bright sky and snow alike. It draws with
// Dear ImGui's draw lists (give it the background list: over the 3D view, under the windows);
// where its symbols go is app/HudMath's arithmetic.

#include "app/HudMath.h"
#include "physics/FlightSimulation.h"

struct ImDrawList;

struct HudSettings {
    // Knots, feet and feet per minute; otherwise km/h, metres and metres per second.
    bool aviation_units = false;
    float line_width = 1.5f;     // pixels, the green stroke
    float outline_width = 2.0f;  // pixels of dark border either side of it
    float text_size = 18.0f;     // pixels
};

class Hud {
public:
    HudSettings settings;

    void draw(ImDrawList& list, const FlightData& data, const hud::View& view) const;
};
