#pragma once

// A flight log read back: the program's own CSV (physics/FlightLog) as rows of flight data in
// time order, for a replay to play. The file is read by its header's column names, so columns
// may come in any order and unknown ones are passed over; rows may come at any rate.
//
// Required columns: time_s, lat, lon, altitude_m, heading_deg, pitch_deg, roll_deg (finite
// numbers; latitude within ±90, longitude within ±180). Optional: height_above_ground_m,
// airspeed_m_s, vertical_speed_m_s ("nan" allowed), elevator, aileron, rudder, throttle
// (finite; a missing control reads 0). Missing speed columns are worked out from the rows'
// positions and times.
//
// A line that is not such a row (too few fields, a field that is no number, a pose value out
// of range) is skipped and counted. A row whose time is not after the last row kept is
// dropped and counted too: a log is written in time order, and the rows that go back (a file
// pieced together, or a replay's own log after a seek backwards) would otherwise be woven
// into the flight as a zig-zag. Blank lines are passed over.

#include <cstddef>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "physics/FlightSimulation.h"

struct FlightRecording {
    std::vector<FlightData> rows; // time_s strictly increasing; never empty in a read recording
    size_t garbage_rows = 0;      // lines skipped as unreadable
    size_t out_of_order_rows = 0; // rows dropped because their time was not after the one before

    double start_s() const { return rows.empty() ? 0.0 : rows.front().time_s; }
    double end_s() const { return rows.empty() ? 0.0 : rows.back().time_s; }
};

// A recording, or why there is none: the reason reads after "<file>: ", e.g.
// "the header has no column \"roll_deg\"".
struct FlightLogRead {
    std::optional<FlightRecording> recording;
    std::string error;
};

// The file's recording: an error when it cannot be opened or read, has no header with the
// required columns, or no usable row.
FlightLogRead read_flight_log(const std::filesystem::path& file);

// The same from a stream holding the file's text.
FlightLogRead parse_flight_log(std::istream& text);
