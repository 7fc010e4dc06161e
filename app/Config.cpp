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

namespace {

using nlohmann::json;

// Raised while filling the record; load_config turns it into the one "Could not parse "
// failure, so its text is never shown.
struct FillError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const json& member(const json& object, const char* key)
{
    auto it = object.find(key);
    if (it == object.end())
        throw FillError(fmt::format("missing key {}", key));
    return *it;
}

// Integer fields accept any JSON number, the fractional part cut off toward zero, or a
// boolean. A number beyond the 32-bit range cannot be represented and is refused rather
// than wrapped.
int32_t to_int32(const json& value)
{
    if (value.is_boolean())
        return value.get<bool>() ? 1 : 0;
    if (value.is_number_unsigned()) {
        uint64_t v = value.get<uint64_t>();
        if (v > uint64_t(std::numeric_limits<int32_t>::max()))
            throw FillError("integer out of range");
        return int32_t(v);
    }
    if (value.is_number_integer()) {
        int64_t v = value.get<int64_t>();
        if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
            throw FillError("integer out of range");
        return int32_t(v);
    }
    if (value.is_number_float()) {
        double v = std::trunc(value.get<double>());
        if (!(v >= double(std::numeric_limits<int32_t>::min()) && v <= double(std::numeric_limits<int32_t>::max())))
            throw FillError("integer out of range");
        return int32_t(v);
    }
    throw FillError("not an integer");
}

double to_double(const json& value)
{
    if (!value.is_number())
        throw FillError("not a number");
    return value.get<double>();
}

bool to_bool(const json& value)
{
    if (!value.is_boolean())
        throw FillError("not a boolean");
    return value.get<bool>();
}

std::string to_text(const json& value)
{
    if (!value.is_string())
        throw FillError("not a string");
    return value.get<std::string>();
}

template <typename Enum, size_t N>
Enum to_enum(const json& value, const std::pair<std::string_view, Enum> (&table)[N])
{
    std::string text = to_text(value);
    for (const auto& [spelling, e] : table)
        if (text == spelling)
            return e;
    throw FillError("Invalid Enum: " + text);
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
void read_optional(const json& object, const char* key, T& field, Convert convert)
{
    auto it = object.find(key);
    if (it != object.end())
        field = convert(*it);
}

const json& require_object(const json& value)
{
    if (!value.is_object())
        throw FillError("not an object");
    return value;
}

TileServerConfig read_tile_server(const json& value)
{
    const json& object = require_object(value);
    TileServerConfig server;
    server.url = to_text(member(object, "url"));
    read_optional(object, "file_ending", server.file_ending, to_text);
    read_optional(object, "pattern", server.pattern, [](const json& v) { return to_enum(v, TILE_PATTERNS); });
    read_optional(object, "num_threads", server.num_threads, to_int32);
    read_optional(object, "max_zoom", server.max_zoom, to_int32);
    read_optional(object, "cache_on_disk", server.cache_on_disk, to_bool);
    read_optional(object, "attribution", server.attribution, to_text);
    read_optional(object, "cache_max_mb", server.cache_max_mb, to_int32);

    // Values of the right type that the consumers cannot work with: a negative worker
    // count, or a zoom beyond what 32-bit tile coordinates can address.
    if (server.num_threads < 0)
        throw FillError("num_threads below 0");
    if (server.max_zoom < 0 || server.max_zoom > static_cast<int32_t>(MAX_TILE_ZOOM))
        throw FillError("max_zoom out of range");
    if (server.cache_max_mb < 0)
        throw FillError("cache_max_mb below 0");
    return server;
}

const json& require_finite(const json& value)
{
    if (!value.is_number() || !std::isfinite(value.get<double>()))
        throw FillError("not a finite number");
    return value;
}

double read_time(const json& value)
{
    const std::optional<double> seconds = sky::parse_time_setting(to_text(value), sky::system_utc_seconds());
    if (!seconds)
        throw FillError("not a time");
    return *seconds;
}

WindSettings read_wind(const json& value)
{
    const json& object = require_object(value);
    WindSettings wind;
    const auto finite = [](const json& v) { return to_double(require_finite(v)); };
    read_optional(object, "from_deg", wind.from_deg, finite);
    read_optional(object, "speed_m_s", wind.speed_m_s, finite);
    read_optional(object, "gusts_m_s", wind.gusts_m_s, finite);
    read_optional(object, "turbulence", wind.turbulence, [](const json& v) { return to_enum(v, TURBULENCE_NAMES); });
    if (!(wind.from_deg >= 0.0 && wind.from_deg <= 360.0))
        throw FillError("wind from_deg out of range");
    if (wind.speed_m_s < 0.0 || wind.gusts_m_s < 0.0)
        throw FillError("negative wind speed");
    return wind;
}

LatLon read_lat_lon(const json& value)
{
    const json& object = require_object(value);
    LatLon position{0.0, 0.0};
    read_optional(object, "lat", position.lat, to_double);
    read_optional(object, "lon", position.lon, to_double);
    return position;
}

// start_position: a place, or a runway named by its airport and designator.
void read_start_position(const json& value, Config& config)
{
    const json& object = require_object(value);
    if (!object.contains("airport") && !object.contains("runway")) {
        config.start_position = read_lat_lon(object);
        return;
    }
    if (object.contains("lat") || object.contains("lon"))
        throw FillError("start_position names a place and a runway");
    RunwayStart start{to_text(member(object, "airport")), to_text(member(object, "runway"))};
    if (start.airport.empty() || start.runway.empty())
        throw FillError("start_position names no runway");
    config.start_runway = std::move(start);
}

void fill(Config& config, const json& document)
{
    const json& root = require_object(document);
    config.elevation_encoding = to_enum(member(root, "elevation_encoding"), ELEVATION_ENCODINGS);
    config.elevation_server = read_tile_server(member(root, "elevation_server"));
    config.texture_server = read_tile_server(member(root, "texture_server"));
    read_optional(root, "log_flight", config.log_flight, to_bool);
    read_optional(root, "terrain_ground", config.terrain_ground, to_bool);
    if (auto it = root.find("start_position"); it != root.end())
        read_start_position(*it, config);
    if (auto it = root.find("runways_file"); it != root.end()) {
        const std::string file = to_text(*it);
        if (file.empty())
            throw FillError("runways_file empty");
        config.runways_file = config.base_path / file;
    }
    read_optional(root, "chunk_vertex_count", config.chunk_vertex_count, to_int32);
    read_optional(root, "window_width", config.window_width, to_int32);
    read_optional(root, "window_height", config.window_height, to_int32);
    read_optional(root, "msaa_samples", config.msaa_samples, to_int32);
    read_optional(root, "shadow_map_size", config.shadow_map_size, to_int32);
    read_optional(root, "sound", config.sound, to_bool);
    read_optional(root, "wind", config.wind, read_wind);
    if (auto it = root.find("time"); it != root.end())
        config.time_utc_seconds = read_time(*it);

    // A chunk needs at least one quad per side; a window needs a positive size.
    if (config.chunk_vertex_count < 2 || config.chunk_vertex_count > MAX_CHUNK_VERTEX_COUNT)
        throw FillError("chunk_vertex_count out of range");
    // Rows beyond the Mercator limit and columns beyond the antimeridian do not exist.
    const LatLon& start = config.start_position;
    if (!(std::abs(start.lat) <= MAX_MERCATOR_LATITUDE) || !(std::abs(start.lon) <= 180.0))
        throw FillError("start_position off the map");
    if (start.lon == 180.0)
        config.start_position.lon = -180.0;
    if (config.window_width <= 0 || config.window_height <= 0)
        throw FillError("window size not positive");
    if (config.msaa_samples < Config::AUTOMATIC_SAMPLES || config.msaa_samples > Config::MAX_SAMPLES)
        throw FillError("msaa_samples out of range");
    if (config.shadow_map_size < 16 || config.shadow_map_size > 8192)
        throw FillError("shadow_map_size out of range");
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
    const auto placement = place_at_threshold(runways, config.start_runway->airport, config.start_runway->runway);
    if (const auto* found = std::get_if<ThresholdPlacement>(&placement)) {
        config.start_position = found->position;
        return *found;
    }
    throw ConfigError("Could not parse " + console::quoted(config.base_path / CONFIG_FILE));
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
    } catch (const json::exception&) {
        throw ConfigError("Could not parse " + console::quoted(file));
    } catch (const FillError&) {
        throw ConfigError("Could not parse " + console::quoted(file));
    }

    std::filesystem::path pref_path = get_pref_path();
    config.pref_path = pref_path;
    config.elevation_server.cache_dir = cache_dir_for(pref_path, config.elevation_server.url);
    config.texture_server.cache_dir = cache_dir_for(pref_path, config.texture_server.url);
    return config;
}
