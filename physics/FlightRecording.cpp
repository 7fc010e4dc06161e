#include "physics/FlightRecording.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string_view>

#include "physics/FlightInterpolation.h"
#include "tiles/WebMercator.h"

namespace {

// Where a value of a row goes. The first seven are required.
enum Column : size_t {
    TIME, LAT, LON, ALTITUDE, HEADING, PITCH, ROLL,
    HEIGHT_ABOVE_GROUND, AIRSPEED, VERTICAL_SPEED, ELEVATOR, AILERON, RUDDER, THROTTLE,
    COLUMN_COUNT
};
constexpr size_t REQUIRED = ROLL + 1;

constexpr std::array<std::string_view, COLUMN_COUNT> NAMES = {
    "time_s", "lat", "lon", "altitude_m", "heading_deg", "pitch_deg", "roll_deg",
    "height_above_ground_m", "airspeed_m_s", "vertical_speed_m_s", "elevator", "aileron", "rudder", "throttle"};

constexpr size_t ABSENT = SIZE_MAX;

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(trim(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

// A number as the log writes it ("nan" included), nothing else around it.
std::optional<double> number(std::string_view text)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// One line as flight data, or nothing when it is not a usable row.
std::optional<FlightData> read_row(const std::vector<std::string_view>& fields, const std::array<size_t, COLUMN_COUNT>& at)
{
    std::array<double, COLUMN_COUNT> values{};
    for (size_t c = 0; c < COLUMN_COUNT; ++c) {
        if (at[c] == ABSENT) {
            values[c] = c == HEIGHT_ABOVE_GROUND || c == AIRSPEED || c == VERTICAL_SPEED ? NAN : 0.0;
            continue;
        }
        if (at[c] >= fields.size())
            return std::nullopt;
        const std::optional<double> value = number(fields[at[c]]);
        // Heights and speeds may be unknown ("nan"); the pose and the controls may not.
        const bool may_be_unknown = c == HEIGHT_ABOVE_GROUND || c == AIRSPEED || c == VERTICAL_SPEED;
        if (!value || (!may_be_unknown && !std::isfinite(*value)))
            return std::nullopt;
        values[c] = *value;
    }
    if (std::abs(values[LAT]) > 90.0 || std::abs(values[LON]) > 180.0)
        return std::nullopt;
    FlightData row;
    row.time_s = values[TIME];
    row.position = {values[LAT], values[LON]};
    row.altitude_m = values[ALTITUDE];
    row.height_above_ground_m = values[HEIGHT_ABOVE_GROUND];
    row.airspeed_m_s = values[AIRSPEED];
    row.vertical_speed_m_s = values[VERTICAL_SPEED];
    row.heading_deg = values[HEADING];
    row.pitch_deg = values[PITCH];
    row.roll_deg = values[ROLL];
    row.controls.elevator = static_cast<float>(values[ELEVATOR]);
    row.controls.aileron = static_cast<float>(values[AILERON]);
    row.controls.rudder = static_cast<float>(values[RUDDER]);
    row.controls.throttle = static_cast<float>(values[THROTTLE]);
    return row;
}

// Speeds of a log written without them: from each row's neighbours (the one row of a
// one-row log stands still).
void derive_speeds(std::vector<FlightData>& rows, bool airspeed, bool vertical)
{
    if (!airspeed && !vertical)
        return;
    const std::vector<FlightData> read = rows;
    for (size_t i = 0; i < rows.size(); ++i) {
        const FlightData& before = read[i > 0 ? i - 1 : i];
        const FlightData& after = read[i + 1 < read.size() ? i + 1 : i];
        const double dt = after.time_s - before.time_s;
        const double climb = dt > 0.0 ? (after.altitude_m - before.altitude_m) / dt : 0.0;
        const double ground = dt > 0.0 ? great_circle_distance(before.position, after.position) / dt : 0.0;
        if (airspeed)
            rows[i].airspeed_m_s = std::sqrt(ground * ground + climb * climb);
        if (vertical)
            rows[i].vertical_speed_m_s = climb;
    }
}

std::string quoted_list(const std::vector<std::string_view>& names)
{
    std::string text;
    for (std::string_view name : names)
        text += (text.empty() ? "\"" : ", \"") + std::string(name) + "\"";
    return text;
}

} // namespace

FlightLogRead parse_flight_log(std::istream& text)
{
    std::string line;
    if (!std::getline(text, line))
        return {std::nullopt, "the file is empty"};
    // A byte-order mark from an editor's save is no part of the first name.
    if (line.starts_with("\xEF\xBB\xBF"))
        line.erase(0, 3);

    std::array<size_t, COLUMN_COUNT> at;
    at.fill(ABSENT);
    const std::vector<std::string_view> header = split(line);
    for (size_t i = 0; i < header.size(); ++i)
        for (size_t c = 0; c < COLUMN_COUNT; ++c)
            if (header[i] == NAMES[c] && at[c] == ABSENT)
                at[c] = i;
    std::vector<std::string_view> missing;
    for (size_t c = 0; c < REQUIRED; ++c)
        if (at[c] == ABSENT)
            missing.push_back(NAMES[c]);
    if (missing.size() == 1)
        return {std::nullopt, "the header has no column " + quoted_list(missing)};
    if (!missing.empty())
        return {std::nullopt, "the header has no columns " + quoted_list(missing)};

    FlightRecording recording;
    while (std::getline(text, line)) {
        if (trim(line).empty())
            continue;
        const std::optional<FlightData> row = read_row(split(line), at);
        if (!row) {
            ++recording.garbage_rows;
        } else if (!recording.rows.empty() && !(row->time_s > recording.rows.back().time_s)) {
            ++recording.out_of_order_rows;
        } else {
            recording.rows.push_back(*row);
        }
    }
    if (text.bad())
        return {std::nullopt, "the file cannot be read"};
    // The first row read is always kept, so only garbage leaves a recording empty.
    if (recording.rows.empty()) {
        return {std::nullopt, recording.garbage_rows == 0
                                  ? std::string("no rows after the header")
                                  : "no usable rows (" + std::to_string(recording.garbage_rows) + " unreadable)"};
    }
    derive_speeds(recording.rows, at[AIRSPEED] == ABSENT, at[VERTICAL_SPEED] == ABSENT);
    return {std::move(recording), {}};
}

FlightLogRead read_flight_log(const std::filesystem::path& file)
{
    std::error_code error;
    if (std::filesystem::is_directory(file, error))
        return {std::nullopt, "it is a directory"};
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open())
        return {std::nullopt, std::strerror(errno)};
    return parse_flight_log(in);
}
