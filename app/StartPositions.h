#pragma once

// The named places the free camera can jump to; row 0 is where it starts.

#include <array>

struct StartPosition {
    const char* name;
    double lat;     // degrees, north positive
    double lon;     // degrees, east positive
    float heading;  // degrees clockwise from north
    float altitude; // metres
};

extern const std::array<StartPosition, 23> start_positions;
