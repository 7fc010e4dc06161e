#include "app/Config.h"

#include "airports/RunwayThreshold.h"
#include "console/Console.h"
#include "sky/UtcTime.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <string_view>
#include <variant>

#include <SDL.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <utility>

namespace {

using nlohmann::json;

// Raised while filling the record; load_config turns it into the one "Could not parse "
// failure, with the key and what is wrong with its value as its detail.
struct FillError : std::runtime_error {
    FillError(std::string key_, const std::string& problem_)
        : std::runtime_error(key_ + ": " + problem_), key(std::move(key_)), problem(problem_)
    {
    }
    std::string key;     // "elevation_server.max_zoom"
    std::string problem; // "31 is outside 0–30"
};

// "elevation_server" + "max_zoom" → "elevation_server.max_zoom".
std::string key_path(const std::string& parent, const char* key)
{
    return parent.empty() ? std::string(key) : parent + "." + key;
}

const json& member(const json& object, const std::string& parent, const char* key)
{
    auto it = object.find(key);
    if (it == object.end())
        throw FillError(key_path(parent, key), "missing");
    return *it;
}

// Integer fields accept any JSON number, the fractional part cut off toward zero, or a
// boolean. A number beyond the 32-bit range cannot be represented and is refused rather
// than wrapped.
int32_t to_int32(const json& value, const std::string& key)
{
    const auto out_of_range = [&] { return FillError(key, value.dump() + " is outside the 32-bit integer range"); };
    if (value.is_boolean())
        return value.get<bool>() ? 1 : 0;
    if (value.is_number_unsigned()) {
        uint64_t v = value.get<uint64_t>();
        if (v > uint64_t(std::numeric_limits<int32_t>::max()))
            throw out_of_range();
        return int32_t(v);
    }
    if (value.is_number_integer()) {
        int64_t v = value.get<int64_t>();
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
            throw out_of_range();
        return int32_t(v);
    }
    if (value.is_number_float()) {
        double v = std::trunc(value.get<double>());
        if (!(v >= double(std::numeric_limits<int32_t>::min()) && v <= double(std::numeric_limits<int32_t>::max())))
            throw out_of_range();
        return int32_t(v);
    }
    throw FillError(key, value.dump() + " is not a number");
}

double to_double(const json& value, const std::string& key)
{
    if (!value.is_number())
        throw FillError(key, value.dump() + " is not a number");
    return value.get<double>();
}

bool to_bool(const json& value, const std::string& key)
{
    if (!value.is_boolean())
        throw FillError(key, value.dump() + " is not true or false");
    return value.get<bool>();
}

std::string to_text(const json& value, const std::string& key)
{
    if (!value.is_string())
        throw FillError(key, value.dump() + " is not a string");
    return value.get<std::string>();
}

template <typename Enum, size_t N>
Enum to_enum(const json& value, const std::string& key, const std::pair<std::string_view, Enum> (&table)[N])
{
    std::string text = to_text(value, key);
    std::string names;
    for (const auto& [spelling, e] : table) {
        if (text == spelling)
            return e;
        names += (names.empty() ? "" : ", ") + std::string(spelling);
    }
    throw FillError(key, value.dump() + " is not one of " + names);
}

const std::pair<std::string_view, ElevationEncoding> ELEVATION_ENCODINGS[] = {
    {"SINGLE_BYTE", ElevationEncoding::SINGLE_BYTE},
    {"RG_ENCODED", ElevationEncoding::RG_ENCODED},
    {"TERRARIUM", ElevationEncoding::TERRARIUM},
    {"TERRAIN_RGB", ElevationEncoding::TERRAIN_RGB},
};

const std::pair<std::string_view, TilePattern> TILE_PATTERNS[] = {
    {"ZXY_Y_NORTH", TilePattern::ZXY_Y_NORTH},
    {"ZXY_Y_SOUTH", TilePattern::ZXY_Y_SOUTH},
    {"ZYX_Y_NORTH", TilePattern::ZYX_Y_NORTH},
    {"ZYX_Y_SOUTH", TilePattern::ZYX_Y_SOUTH},
};

// Reads an optional key into field, leaving the default when the key is absent.
template <typename T, typename Convert>
void read_optional(const json& object, const std::string& parent, const char* key, T& field, Convert convert)
{
    auto it = object.find(key);
    if (it != object.end())
        field = convert(*it, key_path(parent, key));
}

// Refuses an integer field outside low..high, naming it.
void check_range(int64_t value, const std::string& key, int64_t low, int64_t high)
{
    if (value < low || value > high)
        throw FillError(key, fmt::format("{} is outside {}\u2013{}", value, low, high));
}

const json& require_object(const json& value, const std::string& key)
{
    if (!value.is_object())
        throw FillError(key, value.dump() + " is not an object");
    return value;
}

TileServerConfig read_tile_server(const json& value, const std::string& key)
{
    const json& object = require_object(value, key);
    TileServerConfig server;
    server.url = to_text(member(object, key, "url"), key_path(key, "url"));
    read_optional(object, key, "file_ending", server.file_ending, to_text);
    read_optional(object, key, "pattern", server.pattern,
                  [](const json& v, const std::string& k) { return to_enum(v, k, TILE_PATTERNS); });
    read_optional(object, key, "num_threads", server.num_threads, to_int32);
    read_optional(object, key, "max_zoom", server.max_zoom, to_int32);
    read_optional(object, key, "cache_on_disk", server.cache_on_disk, to_bool);
    read_optional(object, key, "attribution", server.attribution, to_text);
    read_optional(object, key, "cache_max_mb", server.cache_max_mb, to_int32);

    // Values of the right type that the consumers cannot work with: no worker at all (only
    // the blocking loads of a few coarse tiles would ever arrive) or more than a tile server
    // should be asked to bear (every worker is a thread and a connection), or a zoom beyond
    // what 32-bit tile coordinates can address.
    check_range(server.num_threads, key_path(key, "num_threads"), 1, MAX_NUM_THREADS);
    check_range(server.max_zoom, key_path(key, "max_zoom"), 0, MAX_TILE_ZOOM);
    check_range(server.cache_max_mb, key_path(key, "cache_max_mb"), 0, std::numeric_limits<int32_t>::max());
    return server;
}

double to_finite(const json& value, const std::string& key)
{
    const double number = to_double(value, key);
    if (!std::isfinite(number))
        throw FillError(key, value.dump() + " is not a finite number");
    return number;
}

double read_time(const json& value, const std::string& key)
{
    const std::optional<double> seconds = sky::parse_time_setting(to_text(value, key), sky::system_utc_seconds());
    if (!seconds)
        throw FillError(key, value.dump() + " is neither \"now\" nor a UTC date and time such as \"2026-06-21T11:00:00Z\"");
    return *seconds;
}

WindSettings read_wind(const json& value, const std::string& key)
{
    const json& object = require_object(value, key);
    WindSettings wind;
    read_optional(object, key, "from_deg", wind.from_deg, to_finite);
    read_optional(object, key, "speed_m_s", wind.speed_m_s, to_finite);
    read_optional(object, key, "gusts_m_s", wind.gusts_m_s, to_finite);
    read_optional(object, key, "turbulence", wind.turbulence,
                  [](const json& v, const std::string& k) { return to_enum(v, k, TURBULENCE_NAMES); });
    if (!(wind.from_deg >= 0.0 && wind.from_deg <= 360.0))
        throw FillError(key_path(key, "from_deg"), fmt::format("{:g} is outside 0\u2013360", wind.from_deg));
    if (wind.speed_m_s < 0.0)
        throw FillError(key_path(key, "speed_m_s"), fmt::format("{:g} is below 0", wind.speed_m_s));
    if (wind.gusts_m_s < 0.0)
        throw FillError(key_path(key, "gusts_m_s"), fmt::format("{:g} is below 0", wind.gusts_m_s));
    return wind;
}

LatLon read_lat_lon(const json& value, const std::string& key)
{
    const json& object = require_object(value, key);
    LatLon position{0.0, 0.0};
    read_optional(object, key, "lat", position.lat, to_double);
    read_optional(object, key, "lon", position.lon, to_double);
    // Rows beyond the Mercator limit and columns beyond the antimeridian do not exist.
    if (!(std::abs(position.lat) <= MAX_MERCATOR_LATITUDE))
        throw FillError(key_path(key, "lat"), fmt::format("{} is outside -{}\u2013{}", object.at("lat").dump(),
                                                          MAX_MERCATOR_LATITUDE, MAX_MERCATOR_LATITUDE));
    if (!(std::abs(position.lon) <= 180.0))
        throw FillError(key_path(key, "lon"), object.at("lon").dump() + " is outside -180\u2013180");
    return position;
}

// start_position: a place, or a runway named by its airport and designator.
void read_start_position(const json& value, const std::string& key, Config& config)
{
    const json& object = require_object(value, key);
    if (!object.contains("airport") && !object.contains("runway")) {
        config.start_position = read_lat_lon(object, key);
        return;
    }
    if (object.contains("lat") || object.contains("lon"))
        throw FillError(key, "names both a place (lat, lon) and a runway (airport, runway)");
    RunwayStart start{to_text(member(object, key, "airport"), key_path(key, "airport")),
                      to_text(member(object, key, "runway"), key_path(key, "runway"))};
    if (start.airport.empty())
        throw FillError(key_path(key, "airport"), "is empty");
    if (start.runway.empty())
        throw FillError(key_path(key, "runway"), "is empty");
    config.start_runway = std::move(start);
}

void fill(Config& config, const json& document)
{
    const json& root = require_object(document, "the file");
    const std::string top;
    config.elevation_encoding = to_enum(member(root, top, "elevation_encoding"), "elevation_encoding", ELEVATION_ENCODINGS);
    config.elevation_server = read_tile_server(member(root, top, "elevation_server"), "elevation_server");
    config.texture_server = read_tile_server(member(root, top, "texture_server"), "texture_server");
    // Heights are read from PNG only: a JPEG's lossy colours are no heights.
    config.elevation_server.png_only = true;
    read_optional(root, top, "log_flight", config.log_flight, to_bool);
    read_optional(root, top, "terrain_ground", config.terrain_ground, to_bool);
    if (auto it = root.find("start_position"); it != root.end())
        read_start_position(*it, "start_position", config);
    if (auto it = root.find("runways_file"); it != root.end()) {
        const std::string file = to_text(*it, "runways_file");
        if (file.empty())
            throw FillError("runways_file", "is empty");
        config.runways_file = config.base_path / file;
    }
    read_optional(root, top, "chunk_vertex_count", config.chunk_vertex_count, to_int32);
    read_optional(root, top, "window_width", config.window_width, to_int32);
    read_optional(root, top, "window_height", config.window_height, to_int32);
    read_optional(root, top, "msaa_samples", config.msaa_samples, to_int32);
    read_optional(root, top, "shadow_map_size", config.shadow_map_size, to_int32);
    read_optional(root, top, "sound", config.sound, to_bool);
    read_optional(root, top, "wind", config.wind, read_wind);
    if (auto it = root.find("time"); it != root.end())
        config.time_utc_seconds = read_time(*it, "time");

    // A chunk needs at least one quad per side; a window needs a positive size.
    check_range(config.chunk_vertex_count, "chunk_vertex_count", 2, MAX_CHUNK_VERTEX_COUNT);
    if (config.start_position.lon == 180.0)
        config.start_position.lon = -180.0;
    check_range(config.window_width, "window_width", 1, std::numeric_limits<int32_t>::max());
    check_range(config.window_height, "window_height", 1, std::numeric_limits<int32_t>::max());
    check_range(config.msaa_samples, "msaa_samples", Config::AUTOMATIC_SAMPLES, Config::MAX_SAMPLES);
    check_range(config.shadow_map_size, "shadow_map_size", 16, 8192);
}

// The JSON library's message without its "[json.exception.…] " tag.
std::string library_message(const json::exception& error)
{
    const std::string text = error.what();
    const size_t tag_end = text.rfind("] ", text.find(' '));
    return tag_end == std::string::npos || text.front() != '[' ? text : text.substr(tag_end + 2);
}

std::filesystem::path cache_dir_for(const std::filesystem::path& pref_path, const std::string& url)
{
    return pref_path / "tiles" / ("cache-" + std::to_string(fnv1a_64(url)));
}

} // namespace

uint64_t fnv1a_64(std::string_view text)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char byte : text) {
        hash ^= byte;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::filesystem::path get_base_path()
{
    char* path = SDL_GetBasePath();
    if (path == nullptr)
        throw ConfigError(std::string("Could not determine the program's directory: ") + SDL_GetError());
    std::filesystem::path result(path);
    SDL_free(path);
    console::print("Get Base Path: {}\n", console::quoted(result));
    return result;
}

std::filesystem::path get_pref_path()
{
    char* path = SDL_GetPrefPath("Windhollow", "Windhollow");
    if (path == nullptr)
        throw ConfigError(std::string("Could not determine the user's preference directory: ") + SDL_GetError());
    std::filesystem::path result(path);
    SDL_free(path);
    console::print("Get Pref Path: {}\n", console::quoted(result));
    return result;
}

std::filesystem::path find_base_dir(const std::filesystem::path& program_dir)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(program_dir / CONFIG_FILE, error))
        return program_dir;
    const std::filesystem::path installed = (program_dir / INSTALLED_DATA_DIR).lexically_normal();
    if (std::filesystem::is_regular_file(installed / CONFIG_FILE, error))
        return installed;
    return program_dir;
}

std::optional<ThresholdPlacement> resolve_start_runway(Config& config, const RunwayIndex& runways)
{
    if (!config.start_runway)
        return std::nullopt;
    const RunwayStart& start = *config.start_runway;
    const auto placement = place_at_threshold(runways, start.airport, start.runway);
    if (const auto* found = std::get_if<ThresholdPlacement>(&placement)) {
        config.start_position = found->position;
        return *found;
    }
    const bool no_airport = std::get<PlacementError>(placement) == PlacementError::UnknownAirport;
    throw ConfigError("Could not parse " + console::quoted(config.base_path / CONFIG_FILE),
                      no_airport ? fmt::format("start_position.airport: \"{}\" is not in the runways file", start.airport)
                                 : fmt::format("start_position.runway: \"{}\" is no runway of {}", start.runway,
                                               start.airport));
}

Config load_config(const std::filesystem::path& base)
{
    Config config;
    config.base_path = base.empty() ? find_base_dir(get_base_path()) : base;

    std::filesystem::path file = config.base_path / CONFIG_FILE;
    std::ifstream stream(file, std::ios::binary);
    // A directory opens as a stream on some platforms but cannot be read: treat it as
    // unopenable too.
    if (!stream.is_open() || std::filesystem::is_directory(file))
        throw ConfigError("Could not open " + console::quoted(file));

    try {
        // Strict: comments are refused and nothing but white space may follow the value.
        json document = json::parse(stream, nullptr, true, false);
        fill(config, document);
    } catch (const json::exception& error) {
        throw ConfigError("Could not parse " + console::quoted(file), library_message(error));
    } catch (const FillError& error) {
        throw ConfigError("Could not parse " + console::quoted(file), error.what());
    }

    std::filesystem::path pref_path = get_pref_path();
    config.pref_path = pref_path;
    config.elevation_server.cache_dir = cache_dir_for(pref_path, config.elevation_server.url);
    config.texture_server.cache_dir = cache_dir_for(pref_path, config.texture_server.url);
    return config;
}
