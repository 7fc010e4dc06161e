#pragma once

// The triangles a runway is drawn with, built on the CPU: a strip along the runway in pieces of
// at most SEGMENT_M metres, so its heights and the haze computed per vertex follow it closely.
// Each vertex carries the runway's own coordinates and the runway's constants, from which the
// fragment shader paints the surface and its markings (runway.frag).

#include <cstdint>
#include <string_view>
#include <vector>

#include "terrain/RunwayGround.h"

// One vertex; the layout the renderer's vertex array describes.
struct RunwayVertex {
    float x = 0.0f;      // world frame, east
    float metres = 0.0f; // height above sea level (the shader scales it as the terrain does)
    float z = 0.0f;      // world frame, south
    float along = 0.0f;  // runway coordinates, metres (see RunwayShape)
    float across = 0.0f;
    float normal[3] = {0.0f, 1.0f, 0.0f}; // world axes, tilted by the runway's slope
    // The runway's constants, the same at every vertex of it:
    float half_length = 0.0f;
    float half_width = 0.0f;
    float low_threshold = 0.0f; // along, where each end's threshold lies
    float high_threshold = 0.0f;
    int32_t surface = 0;        // RunwaySurface
    int32_t low_designator = 0; // encode_designator
    int32_t high_designator = 0;
    int32_t paved = 0;
};

// Where the world frame is: Mercator metres of its origin and world units per Mercator metre.
struct RunwayWorld {
    double origin_mx = 0.0;
    double origin_my = 0.0;
    double scaling_factor = 1.0;
};

inline constexpr double SEGMENT_M = 100.0;
inline constexpr int MAX_SEGMENTS = 64;

// A designator as the shader's font spells it: digits and one letter in 4 bits each (0–9
// digits, 10 L, 11 R, 12 C), first character lowest, and the character count in bits 12–15;
// 0 (nothing painted) for idents that are no runway number ("H1", "N", "E/W").
int32_t encode_designator(std::string_view ident);

// Appends the runway's triangles (six vertices per segment).
void append_runway_mesh(const Runway& runway, const RunwayShape& shape, const RunwayEndHeights& heights,
                        const RunwayWorld& world, std::vector<RunwayVertex>& out);
