#pragma once

// The configuration record read once at start from "assets/config/Windhollow.json".

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "physics/WindSettings.h"
#include "tiles/ElevationEncoding.h"
#include "tiles/LatLon.h"
#include "tiles/TileId.h"
#include "tiles/TileServerConfig.h"

class RunwayIndex;
struct ThresholdPlacement;

// A start_position that names a runway instead of a place.
struct RunwayStart {
    std::string airport; // the airport's ident, "LOWI"
    std::string runway;  // the designator of the end to start from, "08", "26L"
};

struct Config {
    std::filesystem::path base_path;
    ElevationEncoding elevation_encoding = ElevationEncoding::SINGLE_BYTE;
    TileServerConfig texture_server;
    TileServerConfig elevation_server;
    int32_t chunk_vertex_count = 32;
    bool log_flight = false;
    // The terrain is the physics ground (a heightfield from the elevation tiles around the
    // aircraft, crashes, the free camera kept above it); false: the flat plane at the start
    // position's elevation.
    bool terrain_ground = false;
    LatLon start_position{47.2576, 11.3513};
    // Set when start_position names a runway; start_position keeps its default until
    // resolve_start_runway puts the runway's threshold there.
    std::optional<RunwayStart> start_runway;
    // The runways file: the configured path, a relative one joined to base_path; empty: none.
    std::filesystem::path runways_file;
    int32_t window_width = 1280;
    int32_t window_height = 720;
    // The per-user writable directory (not in the file): the tile caches and the flight log
    // live under it.
    std::filesystem::path pref_path;
    // Samples per pixel of the 3D scene: AUTOMATIC_SAMPLES picks by the GL renderer (none on
    // software rasterisers, where every sample costs a full fragment shader run; 4 otherwise),
    // 0 or 1 none.
    int32_t msaa_samples = AUTOMATIC_SAMPLES;
    // Edge length of the square shadow map, texels.
    int32_t shadow_map_size = 2048;
    // Whether the program plays sound; false opens no audio device at all.
    bool sound = true;
    // The instant the sun is placed for, UTC seconds since 1970 (sky/UtcTime.h); "now" in the
    // file is the system clock at load. None: the sun stays where the Atmosphere settings put it.
    std::optional<double> time_utc_seconds;
    WindSettings wind;

    static constexpr int32_t AUTOMATIC_SAMPLES = -1;
    static constexpr int32_t MAX_SAMPLES = 16;
};

inline const std::filesystem::path CONFIG_FILE = "assets/config/Windhollow.json";
inline const std::filesystem::path SHADER_DIR = "assets/shaders";
inline const std::filesystem::path FLIGHT_MODEL_FILE = "assets/config/FlightModel.json";

// The most download workers a tile server may be given: each is a thread and a connection,
// and public tile servers' usage policies allow two.
inline constexpr int32_t MAX_NUM_THREADS = 16;

// The most vertices per edge of a terrain chunk: a tile has at most 512 pixels per side, so
// a denser grid adds nothing but memory.
inline constexpr int32_t MAX_CHUNK_VERTEX_COUNT = 512;

// Web Mercator covers latitudes up to this many degrees north and south.
inline constexpr double MAX_MERCATOR_LATITUDE = 85.0511;

// The one failure of the configuration load: its message carries "Could not open " or
// "Could not parse " followed by the file's path. A parse failure also has a detail: the key
// and what is wrong with its value ("elevation_server.max_zoom: 31 is outside 0–30"), or the
// JSON library's description of a syntax error; it is printed on a line of its own after
// the message.
class ConfigError : public std::runtime_error {
public:
    explicit ConfigError(const std::string& message, std::string detail = {})
        : std::runtime_error(message), m_detail(std::move(detail))
    {
    }
    const std::string& detail() const { return m_detail; }

private:
    std::string m_detail;
};

// Reads base/CONFIG_FILE; an empty base means find_base_dir(get_base_path()). Throws ConfigError.
// Besides syntax and types, values nothing can work with fail as "Could not parse ": a
// chunk_vertex_count outside 2..MAX_CHUNK_VERTEX_COUNT, a start_position off the map (latitude
// beyond ±MAX_MERCATOR_LATITUDE, longitude beyond ±180; 180 itself is read as −180), a window
// width or height of 0 or less, a num_threads outside 1..MAX_NUM_THREADS, a max_zoom outside
// 0..MAX_TILE_ZOOM, an msaa_samples outside −1..16, a shadow_map_size outside 16..8192, a time
// that is neither "now" nor a UTC time sky::parse_utc_time reads, a wind from_deg outside
// 0..360, a negative or non-finite wind speed or gust, an unknown turbulence name, or an
// integer beyond the signed 32-bit range. A start_position naming a runway ({"airport":
// "<ident>", "runway": "<designator>"}) needs both as non-empty strings and neither "lat" nor
// "lon"; whether the runway exists is resolve_start_runway's to say.
Config load_config(const std::filesystem::path& base);

// The threshold a start_position naming a runway stands for, found in the runways loaded from
// runways_file; start_position becomes its position. Nothing when start_position is a place.
// An airport or runway the runways do not have makes the configuration unusable: throws
// ConfigError "Could not parse " with the configuration file's path, as load_config does.
std::optional<ThresholdPlacement> resolve_start_runway(Config& config, const RunwayIndex& runways);

// The directory of the running program / the per-user writable directory ("Windhollow",
// "Windhollow"). Each prints its "Get ... Path: " line; throws ConfigError when SDL cannot
// tell the directory.
std::filesystem::path get_base_path();
std::filesystem::path get_pref_path();

// Where the assets of a program in program_dir are: program_dir itself when it holds
// CONFIG_FILE (a build tree, an unpacked copy), else INSTALLED_DATA_DIR beside it when that holds
// CONFIG_FILE (an installed copy: /usr/bin and /usr/share/windhollow, for any prefix), else
// program_dir (whose missing file the load then names).
inline const std::filesystem::path INSTALLED_DATA_DIR = "../share/windhollow";
std::filesystem::path find_base_dir(const std::filesystem::path& program_dir);

// 64-bit FNV-1a of the bytes of text; names the per-server tile cache directory.
uint64_t fnv1a_64(std::string_view text);
