#include "terrain/RunwayFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <optional>

#include "console/Console.h"
#include "terrain/CsvReader.h"
#include "terrain/RunwayShape.h"
#include "tiles/WebMercator.h"

namespace {

constexpr double MAX_MAP_LATITUDE = 85.0511;
// Ends closer than this give the runway no direction.
constexpr double MIN_END_DISTANCE_M = 1.0;
constexpr double MAX_WIDTH_M = 500.0;
// Elevations beyond these are typing errors (the lowest runways lie about 1300 ft below sea
// level, the highest about 14,500 ft above it).
constexpr double MIN_ELEVATION_FT = -2000.0;
constexpr double MAX_ELEVATION_FT = 30000.0;

// The columns read, in the order of Column.
enum Column : int {
    AIRPORT,
    LENGTH,
    WIDTH,
    SURFACE,
    CLOSED,
    LE_IDENT,
    LE_LATITUDE,
    LE_LONGITUDE,
    LE_ELEVATION,
    LE_HEADING,
    LE_DISPLACED,
    HE_IDENT,
    HE_LATITUDE,
    HE_LONGITUDE,
    HE_ELEVATION,
    HE_HEADING,
    HE_DISPLACED,
    COLUMN_COUNT
};

constexpr std::string_view COLUMN_NAMES[COLUMN_COUNT] = {
    "airport_ident",   "length_ft",      "width_ft",         "surface",         "closed",
    "le_ident",        "le_latitude_deg", "le_longitude_deg", "le_elevation_ft", "le_heading_degT",
    "le_displaced_threshold_ft",          "he_ident",         "he_latitude_deg", "he_longitude_deg",
    "he_elevation_ft", "he_heading_degT", "he_displaced_threshold_ft",
};

constexpr Column REQUIRED[] = {AIRPORT, LE_IDENT, LE_LATITUDE, LE_LONGITUDE, HE_IDENT, HE_LATITUDE, HE_LONGITUDE};

// What becomes of a row.
enum class Fate { Read, Skipped, Unreadable };

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Empty: nothing; a finite number: it; anything else sets bad.
std::optional<double> number(std::string_view field, bool& bad)
{
    field = trimmed(field);
    if (field.empty())
        return std::nullopt;
    if (field.front() == '+')
        field.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() || !std::isfinite(value)) {
        bad = true;
        return std::nullopt;
    }
    return value;
}

bool closed(std::string_view field, bool& bad)
{
    field = trimmed(field);
    if (field.empty() || field == "0" || field == "false" || field == "FALSE" || field == "no")
        return false;
    if (field == "1" || field == "true" || field == "TRUE" || field == "yes")
        return true;
    bad = true;
    return false;
}

class RowReader {
public:
    explicit RowReader(const std::vector<std::string_view>& header)
    {
        std::fill(std::begin(m_index), std::end(m_index), -1);
        for (size_t i = 0; i < header.size(); ++i)
            for (int c = 0; c < COLUMN_COUNT; ++c)
                if (trimmed(header[i]) == COLUMN_NAMES[c])
                    m_index[c] = static_cast<int>(i);
        for (int c = 0; c < COLUMN_COUNT; ++c)
            m_needed = std::max(m_needed, m_index[c] + 1);
    }

    // The first required column the header lacks, or nothing.
    std::optional<std::string_view> missing_column() const
    {
        for (Column c : REQUIRED)
            if (m_index[c] < 0)
                return COLUMN_NAMES[c];
        return std::nullopt;
    }

    // The row's runway into runway, and whether it was read, skipped or unreadable.
    Fate read(const std::vector<std::string_view>& fields, Runway& runway) const
    {
        if (fields.size() < static_cast<size_t>(m_needed))
            return Fate::Unreadable;
        m_fields = &fields;
        bool bad = false;
        runway.airport = std::string(trimmed(field(AIRPORT)));
        const bool is_closed = closed(field(CLOSED), bad);
        const std::optional<LatLon> low = position(LE_LATITUDE, LE_LONGITUDE, bad);
        const std::optional<LatLon> high = position(HE_LATITUDE, HE_LONGITUDE, bad);
        const std::optional<double> length_ft = number(field(LENGTH), bad);
        const std::optional<double> width_ft = number(field(WIDTH), bad);
        read_end(runway.ends[LOW_END], LE_IDENT, LE_ELEVATION, LE_HEADING, LE_DISPLACED, bad);
        read_end(runway.ends[HIGH_END], HE_IDENT, HE_ELEVATION, HE_HEADING, HE_DISPLACED, bad);
        runway.surface = runway_surface(field(SURFACE));
        // Every value is checked first: a closed runway with a broken number is unreadable.
        if (bad)
            return Fate::Unreadable;
        if (is_closed || !low || !high)
            return Fate::Skipped;
        if (std::abs(low->lat) > MAX_MAP_LATITUDE || std::abs(high->lat) > MAX_MAP_LATITUDE)
            return Fate::Skipped;
        runway.ends[LOW_END].position = *low;
        runway.ends[HIGH_END].position = *high;
        const double between = great_circle_distance(*low, *high);
        if (between < MIN_END_DISTANCE_M)
            return Fate::Skipped;
        if (between > MAX_END_DISTANCE_M)
            return Fate::Unreadable;
        // 0 stands for an unknown size in the data set.
        if ((length_ft && *length_ft < 0.0) || (width_ft && *width_ft < 0.0))
            return Fate::Unreadable;
        runway.length_m = length_ft && *length_ft > 0.0 ? *length_ft * FEET : between;
        runway.width_m = width_ft && *width_ft > 0.0 ? *width_ft * FEET : DEFAULT_WIDTH_M;
        if (runway.length_m > MAX_END_DISTANCE_M || runway.width_m > MAX_WIDTH_M)
            return Fate::Unreadable;
        for (const RunwayEnd& end : runway.ends)
            if (end.displaced_threshold_m >= std::max(runway.length_m, between))
                return Fate::Unreadable;
        return Fate::Read;
    }

private:
    std::string_view field(Column column) const
    {
        const int index = m_index[column];
        return index < 0 ? std::string_view() : (*m_fields)[static_cast<size_t>(index)];
    }

    // Both coordinates or neither; out-of-range values set bad.
    std::optional<LatLon> position(Column latitude, Column longitude, bool& bad) const
    {
        const std::optional<double> lat = number(field(latitude), bad);
        const std::optional<double> lon = number(field(longitude), bad);
        if ((lat && !(std::abs(*lat) <= 90.0)) || (lon && !(std::abs(*lon) <= 180.0)))
            bad = true;
        if (!lat || !lon)
            return std::nullopt;
        return LatLon{*lat, *lon == 180.0 ? -180.0 : *lon};
    }

    void read_end(RunwayEnd& end, Column ident, Column elevation, Column heading, Column displaced, bool& bad) const
    {
        end = RunwayEnd{};
        end.ident = std::string(trimmed(field(ident)));
        if (const std::optional<double> feet = number(field(elevation), bad)) {
            bad = bad || *feet < MIN_ELEVATION_FT || *feet > MAX_ELEVATION_FT;
            end.elevation_m = *feet * FEET;
        }
        if (const std::optional<double> degrees = number(field(heading), bad)) {
            const bool turned = *degrees < 0.0 || *degrees >= 360.0;
            end.heading_deg = turned ? std::fmod(std::fmod(*degrees, 360.0) + 360.0, 360.0) : *degrees;
        }
        if (const std::optional<double> feet = number(field(displaced), bad)) {
            bad = bad || *feet < 0.0;
            end.displaced_threshold_m = *feet * FEET;
        }
    }

    int m_index[COLUMN_COUNT];
    int m_needed = 0;
    mutable const std::vector<std::string_view>* m_fields = nullptr;
};

} // namespace

RunwayFileContents parse_runways(std::string_view text)
{
    RunwayFileContents contents;
    CsvReader reader(text);
    std::vector<std::string_view> fields;
    if (!reader.next(fields)) {
        contents.error = "has no header";
        return contents;
    }
    const RowReader rows(fields);
    if (const std::optional<std::string_view> missing = rows.missing_column()) {
        contents.error = "has no column \"" + std::string(*missing) + "\"";
        return contents;
    }
    Runway runway;
    while (reader.next(fields)) {
        const Fate fate = reader.malformed() ? Fate::Unreadable : rows.read(fields, runway);
        if (fate == Fate::Read)
            contents.runways.push_back(runway);
        else if (fate == Fate::Skipped)
            ++contents.skipped;
        else
            ++contents.unreadable;
    }
    return contents;
}

std::vector<Runway> load_runways(const std::filesystem::path& file)
{
    std::ifstream stream(file, std::ios::binary);
    std::error_code error;
    if (!stream.is_open() || std::filesystem::is_directory(file, error)) {
        console::print("No runways: could not open {}\n", console::quoted(file));
        return {};
    }
    std::string text;
    stream.seekg(0, std::ios::end);
    const std::streamoff size = stream.tellg();
    stream.seekg(0, std::ios::beg);
    if (size > 0) {
        text.resize(static_cast<size_t>(size));
        stream.read(text.data(), size);
    }
    if (size < 0 || !stream) {
        console::print("No runways: could not read {}\n", console::quoted(file));
        return {};
    }
    RunwayFileContents contents = parse_runways(text);
    if (!contents.error.empty()) {
        console::print("No runways: {} {}\n", console::quoted(file), contents.error);
        return {};
    }
    console::print("Runways: {} read from {}, {} skipped (closed or without both ends' positions), {} unreadable rows\n",
                   contents.runways.size(), console::quoted(file), contents.skipped, contents.unreadable);
    return std::move(contents.runways);
}
