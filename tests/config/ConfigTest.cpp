// The configuration file as the program reads it, the start positions and the position text.

#include "app/Config.h"

#include <optional>
#include <set>

#include <gtest/gtest.h>

#include "airports/RunwayFile.h"
#include "airports/RunwayThreshold.h"
#include "app/StartPositions.h"
#include "console/Console.h"
#include "tests/support/Support.h"

namespace {

namespace fs = std::filesystem;

const std::string REQUIRED =
    R"("elevation_encoding": "SINGLE_BYTE", "elevation_server": {"url": "http://e"}, "texture_server": {"url": "http://t"})";
std::string with(const std::string& extra) { return "{" + REQUIRED + ", " + extra + "}"; }
std::string server_with(const std::string& extra)
{
    return R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e", )" + extra + R"(}, "texture_server": {"url": "t"}})";
}

// A base directory for the file and a preference directory of the test's own (SDL derives it
// from XDG_DATA_HOME).
class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1); }
    fs::path file() const { return dir / "base" / CONFIG_FILE; }
    Config load(const std::string& text)
    {
        support::write_file(file(), text);
        return load_config(dir / "base");
    }
    // The failure message of a load (of the text, if given), or "" when it succeeded.
    std::string error(const std::optional<std::string>& text = {})
    {
        try {
            text ? load(*text) : load_config(dir / "base");
        } catch (const ConfigError& e) {
            return e.what();
        }
        return "";
    }

    support::TempDir dir{"wh-config"};
    console::Capture output;
};

TEST_F(ConfigTest, MissingKeysTakeTheirDefaultsAndEveryKeyIsRead)
{
    Config c = load("{" + REQUIRED + "}");
    EXPECT_EQ(std::tuple(c.base_path, c.elevation_encoding, c.elevation_server.url, c.texture_server.url),
              std::tuple(dir / "base", ElevationEncoding::SINGLE_BYTE, "http://e", "http://t"));
    EXPECT_EQ(std::tuple(c.chunk_vertex_count, c.window_width, c.window_height, c.log_flight, c.start_position.lat, c.start_position.lon, c.sound),
              std::tuple(32, 1280, 720, false, 47.2576, 11.3513, true));
    for (const TileServerConfig& s : {c.elevation_server, c.texture_server})
        EXPECT_EQ(std::tuple(s.pattern, s.file_ending, s.attribution, s.num_threads, s.max_zoom, s.cache_on_disk),
                  std::tuple(TilePattern::ZXY_Y_NORTH, "", "no attribution", 2, 17, true));

    c = load(R"({"elevation_encoding": "TERRARIUM", "chunk_vertex_count": 6.4e1, "log_flight": true,
        "elevation_server": {"url": "http://e/rg", "pattern": "ZYX_Y_SOUTH", "file_ending": ".png?k=1",
                             "attribution": "E", "num_threads": 1.99, "max_zoom": false, "cache_on_disk": false},
        "texture_server": {"url": "http://t", "pattern": "ZYX_Y_NORTH", "num_threads": 16, "max_zoom": 30},
        "start_position": {"lat": -33.5, "lon": 151.25}, "window_width": 1024.7, "window_height": true, "sound": false, "unknown": [1]})");
    EXPECT_EQ(std::tuple(c.elevation_encoding, c.chunk_vertex_count, c.log_flight, c.window_width, c.window_height, c.sound),
              std::tuple(ElevationEncoding::TERRARIUM, 64, true, 1024, 1, false)) << "numbers cut toward zero, booleans 0 and 1";
    EXPECT_EQ(std::pair(c.start_position.lat, c.start_position.lon), std::pair(-33.5, 151.25));
    const TileServerConfig &e = c.elevation_server, &t = c.texture_server;
    EXPECT_EQ(std::tuple(e.url, e.pattern, e.file_ending, e.attribution, e.num_threads, e.max_zoom, e.cache_on_disk),
              std::tuple("http://e/rg", TilePattern::ZYX_Y_SOUTH, ".png?k=1", "E", 1, 0, false));
    EXPECT_EQ(std::tuple(t.pattern, t.num_threads, t.max_zoom, t.cache_on_disk), std::tuple(TilePattern::ZYX_Y_NORTH, 16, 30, true));
    EXPECT_EQ(std::pair(e.png_only, t.png_only), std::pair(true, false)) << "heights come as PNG only";
    c = load(R"({"elevation_encoding": "TERRAIN_RGB", "elevation_server": {"url": "e"}, "start_position": {"lon": -7.5},
                 "texture_server": {"url": "t", "pattern": "ZXY_Y_SOUTH"}})"); // (RG_ENCODED is the shipped file's)
    EXPECT_EQ(std::tuple(c.elevation_encoding, c.texture_server.pattern, c.start_position.lat, c.start_position.lon),
              std::tuple(ElevationEncoding::TERRAIN_RGB, TilePattern::ZXY_Y_SOUTH, 0.0, -7.5)) << "a missing member is 0";
}

// Syntax, types and values nothing can work with fail alike, before anything is printed.
TEST_F(ConfigTest, UnusableDocumentsCannotBeParsed)
{
    const std::string minimal = "{" + REQUIRED + "}";
    for (const std::string& document : {
             std::string(), std::string("[]"), minimal + " // comment", minimal + " x",
             std::string(R"({"elevation_server": {"url": "e"}, "texture_server": {"url": "t"}})"),
             std::string(R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}})"),
             std::string(R"({"elevation_encoding": "rg_encoded", "elevation_server": {"url": "e"}, "texture_server": {"url": "t"}})"),
             std::string(R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": 5}, "texture_server": {"url": "t"}})"),
             server_with(R"("pattern": "zxy_y_south")"), server_with(R"("file_ending": 3)"), server_with(R"("attribution": null)"),
             server_with(R"("num_threads": "2")"), server_with(R"("cache_on_disk": 1)"), server_with(R"("num_threads": -1)"),
             server_with(R"("num_threads": 0)"), server_with(R"("num_threads": 17)"), server_with(R"("num_threads": 1e9)"),
             server_with(R"("max_zoom": -1)"), server_with(R"("max_zoom": 31)"), with(R"("log_flight": "true")"), with(R"("sound": 0)"),
             with(R"("window_height": [720])"), with(R"("start_position": [47, 11])"), with(R"("start_position": {"lat": "47"})"),
             with(R"("window_width": 2147483648)"), with(R"("chunk_vertex_count": -2147483649)"), with(R"("chunk_vertex_count": 1)"),
             with(R"("window_width": 0.9)"), with(R"("window_height": -720)"), with(R"("chunk_vertex_count": 513)"),
             with(R"("start_position": {"lat": 85.06})"), with(R"("start_position": {"lat": -89.99})"),
             with(R"("start_position": {"lon": 180.01})"), with(R"("start_position": {"lat": 1e308})"),
             with(R"("msaa_samples": -2)"), with(R"("msaa_samples": 17)"), with(R"("shadow_map_size": 8193)"),
             server_with(R"("cache_max_mb": -1)"), with(R"("time": "2026-02-30T00:00:00Z")"), with(R"("time": "tomorrow")"),
             with(R"("time": 1782039600)"), with(R"("time": "2026-06-21T11:00:00")"), with(R"("wind": 5)"),
             with(R"("wind": {"speed_m_s": -0.1})"), with(R"("wind": {"gusts_m_s": -1})"), with(R"("wind": {"from_deg": -1})"),
             with(R"("wind": {"from_deg": 360.5})"), with(R"("wind": {"turbulence": "extreme"})"),
             with(R"("wind": {"turbulence": "Light"})"), with(R"("wind": {"speed_m_s": "5"})"), with(R"("wind": {"speed_m_s": 1e400})"),
             with(R"("start_position": {"airport": "WHIN"})"),
             with(R"("start_position": {"airport": "", "runway": "28"})"), with(R"("start_position": {"airport": 5, "runway": "28"})"),
             with(R"("start_position": {"airport": "WHIN", "runway": "28", "lat": 47})"), with(R"("runways_file": "")"),
             with(R"("runways_file": 3)")})
        EXPECT_EQ(error(document), "Could not parse " + console::quoted(file())) << document;
    // The map's edges themselves are on it; 180 degrees east is 180 degrees west.
    const Config edge = load(with(R"("start_position": {"lat": -85.0511, "lon": 180}, "chunk_vertex_count": 512)"));
    EXPECT_EQ(std::tuple(edge.start_position.lat, edge.start_position.lon, edge.chunk_vertex_count), std::tuple(-85.0511, -180.0, 512));
    output.clear();
    fs::remove(file());
    EXPECT_EQ(error(), "Could not open " + console::quoted(file()));
    EXPECT_EQ(output.out(), "");
}

// The time the sun is set for and the wind: absent, the sun stays where the sliders put it and
// the air is calm; every member of the wind is optional.
TEST_F(ConfigTest, TimeAndWindAreReadWithCalmDefaults)
{
    const Config defaults = load("{" + REQUIRED + "}");
    EXPECT_EQ(std::pair(defaults.time_utc_seconds, defaults.wind), std::pair(std::optional<double>(), WindSettings{}));
    const Config c = load(with(R"("time": "2026-06-21T11:00:00Z",
        "wind": {"from_deg": 270, "speed_m_s": 8.5, "gusts_m_s": 3, "turbulence": "moderate"})"));
    EXPECT_EQ(std::pair(c.time_utc_seconds, c.wind),
              std::pair(std::optional<double>(1782039600.0), WindSettings{270.0, 8.5, 3.0, Turbulence::MODERATE}));
    const Config partial = load(with(R"("time": "now", "wind": {"speed_m_s": 5, "from_deg": 360})"));
    EXPECT_EQ(partial.wind, (WindSettings{360.0, 5.0, 0.0, Turbulence::NONE}));
    ASSERT_TRUE(partial.time_utc_seconds.has_value());
    EXPECT_NEAR(*partial.time_utc_seconds, double(std::time(nullptr)), 5.0) << "now: the system clock";
    for (const auto& [name, level] : TURBULENCE_NAMES)
        EXPECT_EQ(load(with(R"("wind": {"turbulence": ")" + std::string(name) + R"("})")).wind.turbulence, level) << name;
}

// After the "Could not parse" line a user is told which key holds what cannot be used.
TEST_F(ConfigTest, AParseFailureNamesTheKeyAndWhatIsWrongWithItsValue)
{
    const std::pair<std::string, std::string> cases[] = {
        {R"({"elevation_encoding": "terrarium", "elevation_server": {"url": "e"}, "texture_server": {"url": "t"}})",
         R"(elevation_encoding: "terrarium" is not one of SINGLE_BYTE, RG_ENCODED, TERRARIUM, TERRAIN_RGB)"},
        {server_with(R"("max_zoom": 31)"), "elevation_server.max_zoom: 31 is outside 0\u201330"},
        {server_with(R"("num_threads": 0)"), "elevation_server.num_threads: 0 is outside 1\u201316"},
        {server_with(R"("num_threads": 100000)"), "elevation_server.num_threads: 100000 is outside 1\u201316"},
        {R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}})", "texture_server: missing"},
        {with(R"("log_flight": "true")"), R"(log_flight: "true" is not true or false)"},
        {with(R"("window_width": 2147483648)"), "window_width: 2147483648 is outside the 32-bit integer range"},
        {with(R"("start_position": {"lat": 85.06})"), "start_position.lat: 85.06 is outside -85.0511\u201385.0511"},
        {"[]", "the file: [] is not an object"},
        {"{" + REQUIRED + "} x", "parse error at line 1, column"},
        {with(R"("wind": {"speed_m_s": -1})"), "wind.speed_m_s: -1 is below 0"},
        {with(R"("time": "tomorrow")"), R"(time: "tomorrow" is neither "now" nor a UTC date and time)"},
    };
    for (const auto& [document, detail] : cases) {
        support::write_file(file(), document);
        try {
            load_config(dir / "base");
            ADD_FAILURE() << "loaded: " << document;
        } catch (const ConfigError& e) {
            EXPECT_EQ(e.what(), "Could not parse " + console::quoted(file())) << "the first line stays as it was";
            EXPECT_EQ(e.detail().substr(0, detail.size()), detail) << document;
        }
    }
}

// A load names the preference directory and gives each server a cache under it, named by the
// 64-bit FNV-1a hash of its URL.
TEST_F(ConfigTest, CacheDirectoriesAreNamedByTheUrlsHashAndStartPositionsAreNamed)
{
    const Config c = load(R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": ""}, "texture_server": {"url": "a"}})");
    const fs::path pref = dir / "data/Windhollow/Windhollow/";
    EXPECT_EQ(output.out(), "Get Pref Path: " + console::quoted(pref) + "\n");
    EXPECT_EQ(std::pair(c.elevation_server.cache_dir, c.texture_server.cache_dir),
              std::pair(pref / "tiles/cache-14695981039346656037", pref / "tiles/cache-12638187200555641996"));
    EXPECT_EQ(fnv1a_64("foobar"), 0x85944171f73967e8ull);
    support::write_file(dir / "blocker", "x"); // no directory can be made for the preferences
    setenv("XDG_DATA_HOME", (dir / "blocker").c_str(), 1);
    EXPECT_EQ(error("{" + REQUIRED + "}").rfind("Could not determine the user's preference directory: ", 0), 0u);
    std::set<std::string> names;
    for (const StartPosition& p : start_positions)
        names.insert(p.name);
    EXPECT_EQ(std::tuple(names.size(), start_positions[0].lat, start_positions[0].lon),
              std::tuple(23u, Config().start_position.lat, Config().start_position.lon));
    EXPECT_EQ(to_string(LatLon{-33.8688, -151.20930049}), "lat=-33.868800, lon=-151.209300");
}

// start_position may name a runway, which becomes a place once the runways are loaded: its
// threshold. (One the file does not have is ProgramTest's: the configuration's parse error.)
TEST_F(ConfigTest, StartPositionsMayNameARunwayOfTheRunwaysFile)
{
    Config c = load(with(R"("runways_file": "assets/data/runways.csv", "start_position": {"airport": "whin", "runway": "28"})"));
    EXPECT_EQ(c.runways_file, dir / "base/assets/data/runways.csv");
    ASSERT_TRUE(c.start_runway.has_value());
    EXPECT_EQ(std::pair(c.start_runway->airport, c.start_runway->runway), std::pair(std::string("whin"), std::string("28")));
    EXPECT_EQ(load(with(R"("runways_file": "/data/runways.csv")")).runways_file, fs::path("/data/runways.csv"));
    EXPECT_EQ(load("{" + REQUIRED + "}").runways_file, fs::path());

    const RunwayIndex runways(parse_runways(support::read_file(fs::path(WH_SOURCE_DIR) / "assets/data/runways.csv")).runways);
    const std::optional<ThresholdPlacement> placed = resolve_start_runway(c, runways);
    ASSERT_TRUE(placed.has_value());
    EXPECT_EQ(std::pair(c.start_position.lat, c.start_position.lon), std::pair(placed->position.lat, placed->position.lon));
    EXPECT_NEAR(placed->heading_deg, 280.0, 0.1);

    Config place = load(with(R"("start_position": {"lat": 1, "lon": 2})"));
    EXPECT_FALSE(resolve_start_runway(place, runways).has_value());
    EXPECT_EQ(std::pair(place.start_position.lat, place.start_position.lon), std::pair(1.0, 2.0));
}

} // namespace
