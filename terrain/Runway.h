#pragma once

// One runway as the airport data set describes it: the airport's ident, the paved (or mown)
// rectangle's size and surface, and its two ends. "le" is the end with the lower number (the
// one runway 09 of 09/27 starts from), "he" the other; each end's coordinates are where the
// runway's surface ends there, and a displaced threshold lies that far inside it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tiles/LatLon.h"

enum class RunwaySurface : uint8_t {
    Asphalt,
    Concrete,
    Grass, // grass and turf
    Gravel,
    Dirt, // dirt, earth, clay, sand
    Water,
    Snow, // snow and ice
    Unknown,
};

// The surface a free-text code of the data set names ("ASP", "asphalt", "CONC", "GRS", "Turf",
// "GRVL", "DIRT", "WATER", ...), by its leading letters, in any case; Unknown for the rest.
// Codes that name two ("ASP-G", "GRASS/DIRT") count by the first.
RunwaySurface runway_surface(std::string_view code);

// Asphalt and concrete: surfaces that carry painted markings.
bool is_paved(RunwaySurface surface);

struct RunwayEnd {
    std::string ident; // the designator painted there: "09", "27L", "H1"
    LatLon position;
    std::optional<double> elevation_m;   // above sea level
    std::optional<double> heading_deg;   // true heading along the runway from this end
    double displaced_threshold_m = 0.0;  // from the end to where touchdown may begin
};

struct Runway {
    std::string airport; // the airport's ident, "LOWI"
    double length_m = 0.0;
    double width_m = 0.0;
    RunwaySurface surface = RunwaySurface::Unknown;
    std::array<RunwayEnd, 2> ends; // [LOW_END] le, [HIGH_END] he
};

inline constexpr int LOW_END = 0;
inline constexpr int HIGH_END = 1;

// "LOWI 08/26"
std::string runway_name(const Runway& runway);

// Whether two designators name the same end: letters compare in any case and leading zeros of
// the number do not count ("9" is "09", "27l" is "27L").
bool same_designator(std::string_view a, std::string_view b);
