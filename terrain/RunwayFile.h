#pragma once

// The runways of a file in the layout of the public airport data set's runways.csv
// (OurAirports), read by column name:
//   airport_ident, length_ft, width_ft, surface, closed, and for each end (le_, he_) ident,
//   latitude_deg, longitude_deg, elevation_ft, heading_degT, displaced_threshold_ft.
// Other columns are ignored. airport_ident and the ends' idents and coordinates must be there;
// a missing optional column reads as empty in every row.
//
// Rows are taken, skipped or unreadable:
// - skipped: closed runways, runways without both ends' coordinates, ends at one place, ends
//   beyond the Web Mercator map (latitude above 85.0511 degrees);
// - unreadable: numbers that do not parse or are not finite, values out of range (latitude
//   beyond ±90, longitude beyond ±180, negative lengths, ends more than MAX_END_DISTANCE_M
//   apart), too few fields for the header's columns, quotes never closed.
// Empty numbers: length_ft reads as the distance between the ends, width_ft as
// DEFAULT_WIDTH_M, displaced_threshold_ft as 0, elevation and heading as unknown.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "terrain/Runway.h"

inline constexpr double FEET = 0.3048; // metres
// A small paved runway's width (75 ft), for rows that give none.
inline constexpr double DEFAULT_WIDTH_M = 75.0 * FEET;
// The longest runways are about 5.5 km; ends farther apart than this are an error in the data.
inline constexpr double MAX_END_DISTANCE_M = 15000.0;

struct RunwayFileContents {
    std::vector<Runway> runways;
    size_t skipped = 0;
    size_t unreadable = 0;
    // Why nothing could be read (a required column is missing); empty otherwise.
    std::string error;
};

// The runways of the text of such a file.
RunwayFileContents parse_runways(std::string_view text);

// The runways of the file, with one line printed: "Runways: <n> read from "<file>", <m>
// skipped (closed or without both ends' positions), <k> unreadable rows", or, reading none,
// "No runways: could not open "<file>"" / "No runways: "<file>" <error>".
std::vector<Runway> load_runways(const std::filesystem::path& file);
