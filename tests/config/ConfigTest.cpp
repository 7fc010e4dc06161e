#include "app/Config.h"

#include "console/Console.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// A base directory holding assets/config/Windhollow.json with the given text, and an
// isolated preference directory (SDL derives it from XDG_DATA_HOME).
class ConfigFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_root = fs::temp_directory_path() / ("wh-config-test-" + std::to_string(random()));
        fs::create_directories(m_root / "base" / "assets" / "config");
        fs::create_directories(m_root / "data");
        const char* previous = std::getenv("XDG_DATA_HOME");
        if (previous)
            m_previous_data_home = previous;
        setenv("XDG_DATA_HOME", (m_root / "data").c_str(), 1);
    }

    void TearDown() override
    {
        if (m_previous_data_home)
            setenv("XDG_DATA_HOME", m_previous_data_home->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    fs::path base() const { return m_root / "base"; }
    fs::path file() const { return base() / CONFIG_FILE; }
    fs::path pref() const { return m_root / "data" / "Windhollow" / "Windhollow"; }

    void write(const std::string& text) const
    {
        std::ofstream stream(file(), std::ios::binary);
        stream << text;
    }

    // Loads and returns the error message, or "" when the load succeeded.
    std::string load_error(const std::string& text) const
    {
        write(text);
        console::Capture capture;
        try {
            load_config(base());
        } catch (const ConfigError& error) {
            return error.what();
        }
        return "";
    }

    fs::path m_root;
    std::optional<std::string> m_previous_data_home;
};

const std::string MINIMAL = R"({
  "elevation_encoding": "SINGLE_BYTE",
  "elevation_server": {"url": "http://e"},
  "texture_server": {"url": "http://t"}
})";

// The minimal document with one member's text replaced or added (after the required ones).
std::string with(const std::string& extra)
{
    return R"({
  "elevation_encoding": "SINGLE_BYTE",
  "elevation_server": {"url": "http://e"},
  "texture_server": {"url": "http://t"},
  )" + extra + "\n}";
}

std::string server_with(const std::string& extra)
{
    return R"({
  "elevation_encoding": "RG_ENCODED",
  "elevation_server": {"url": "http://e", )" + extra + R"(},
  "texture_server": {"url": "http://t"}
})";
}

TEST_F(ConfigFiles, MinimalFileTakesEveryDefault)
{
    write(MINIMAL);
    console::Capture capture;
    Config config = load_config(base());

    EXPECT_EQ(config.base_path, base());
    EXPECT_EQ(config.elevation_encoding, ElevationEncoding::SINGLE_BYTE);
    EXPECT_EQ(config.chunk_vertex_count, 32);
    EXPECT_EQ(config.window_width, 1280);
    EXPECT_EQ(config.window_height, 720);
    EXPECT_DOUBLE_EQ(config.start_position.lat, 47.2576);
    EXPECT_DOUBLE_EQ(config.start_position.lon, 11.3513);
    EXPECT_FALSE(config.log_flight);
    for (const TileServerConfig* server : {&config.elevation_server, &config.texture_server}) {
        EXPECT_EQ(server->pattern, TilePattern::ZXY_Y_NORTH);
        EXPECT_EQ(server->file_ending, "");
        EXPECT_EQ(server->attribution, "no attribution");
        EXPECT_EQ(server->num_threads, 2);
        EXPECT_EQ(server->max_zoom, 17);
        EXPECT_TRUE(server->cache_on_disk);
    }
    EXPECT_EQ(config.elevation_server.url, "http://e");
    EXPECT_EQ(config.texture_server.url, "http://t");
}

TEST_F(ConfigFiles, EveryKeyIsRead)
{
    write(R"({
  "elevation_encoding": "RG_ENCODED",
  "elevation_server": {"url": "http://elev/rg", "pattern": "ZYX_Y_SOUTH", "file_ending": ".png",
                       "attribution": "E", "num_threads": 3, "max_zoom": 12, "cache_on_disk": false},
  "texture_server": {"url": "http://tex", "pattern": "ZXY_Y_SOUTH", "file_ending": ".jpg",
                     "attribution": "T", "num_threads": 0, "max_zoom": 30, "cache_on_disk": true},
  "chunk_vertex_count": 16, "log_flight": true,
  "start_position": {"lat": -33.5, "lon": 151.25},
  "window_width": 800, "window_height": 600,
  "unknown_member": [1, 2, 3]
})");
    console::Capture capture;
    Config config = load_config(base());
    EXPECT_EQ(config.elevation_encoding, ElevationEncoding::RG_ENCODED);
    EXPECT_EQ(config.elevation_server.url, "http://elev/rg");
    EXPECT_EQ(config.elevation_server.pattern, TilePattern::ZYX_Y_SOUTH);
    EXPECT_EQ(config.elevation_server.file_ending, ".png");
    EXPECT_EQ(config.elevation_server.attribution, "E");
    EXPECT_EQ(config.elevation_server.num_threads, 3);
    EXPECT_EQ(config.elevation_server.max_zoom, 12);
    EXPECT_FALSE(config.elevation_server.cache_on_disk);
    EXPECT_EQ(config.texture_server.pattern, TilePattern::ZXY_Y_SOUTH);
    EXPECT_EQ(config.texture_server.file_ending, ".jpg");
    EXPECT_EQ(config.texture_server.attribution, "T");
    EXPECT_EQ(config.texture_server.num_threads, 0);
    EXPECT_EQ(config.texture_server.max_zoom, 30);
    EXPECT_EQ(config.chunk_vertex_count, 16);
    EXPECT_TRUE(config.log_flight);
    EXPECT_DOUBLE_EQ(config.start_position.lat, -33.5);
    EXPECT_DOUBLE_EQ(config.start_position.lon, 151.25);
    EXPECT_EQ(config.window_width, 800);
    EXPECT_EQ(config.window_height, 600);
}

TEST_F(ConfigFiles, EnumSpellings)
{
    struct Case {
        const char* spelling;
        TilePattern pattern;
    };
    for (Case c : {Case{"ZXY_Y_NORTH", TilePattern::ZXY_Y_NORTH}, Case{"ZXY_Y_SOUTH", TilePattern::ZXY_Y_SOUTH},
                   Case{"ZYX_Y_NORTH", TilePattern::ZYX_Y_NORTH}, Case{"ZYX_Y_SOUTH", TilePattern::ZYX_Y_SOUTH}}) {
        write(server_with(std::string("\"pattern\": \"") + c.spelling + "\""));
        console::Capture capture;
        EXPECT_EQ(load_config(base()).elevation_server.pattern, c.pattern) << c.spelling;
    }
}

// Conversions that succeed: integer fields truncate toward zero and take booleans.
TEST_F(ConfigFiles, NumericConversions)
{
    struct Case {
        const char* member;
        int32_t Config::*field;
        int32_t expected;
    };
    const Case cases[] = {
        {R"("window_width": 1024.7)", &Config::window_width, 1024},
        {R"("window_height": 599.999)", &Config::window_height, 599},
        {R"("chunk_vertex_count": 2.9)", &Config::chunk_vertex_count, 2},
        {R"("window_width": true)", &Config::window_width, 1},
        {R"("window_height": 2147483647)", &Config::window_height, 2147483647},
        {R"("chunk_vertex_count": 6.4e1)", &Config::chunk_vertex_count, 64},
    };
    for (const Case& c : cases) {
        write(with(c.member));
        console::Capture capture;
        Config config;
        ASSERT_NO_THROW(config = load_config(base())) << c.member;
        EXPECT_EQ(config.*c.field, c.expected) << c.member;
    }

    write(server_with(R"("num_threads": 1.99, "max_zoom": false)"));
    console::Capture capture;
    Config config = load_config(base());
    EXPECT_EQ(config.elevation_server.num_threads, 1);
    EXPECT_EQ(config.elevation_server.max_zoom, 0);
}

TEST_F(ConfigFiles, EmptyStartPositionIsZeroNotTheDefault)
{
    struct Case {
        const char* member;
        double lat;
        double lon;
    };
    for (Case c : {Case{R"("start_position": {})", 0.0, 0.0}, Case{R"("start_position": {"lat": 12})", 12.0, 0.0},
                   Case{R"("start_position": {"lon": -7.5})", 0.0, -7.5}}) {
        write(with(c.member));
        console::Capture capture;
        Config config = load_config(base());
        EXPECT_EQ(config.start_position.lat, c.lat) << c.member;
        EXPECT_EQ(config.start_position.lon, c.lon) << c.member;
    }
}

// Every document here must fail with exactly "Could not parse " and the quoted path.
TEST_F(ConfigFiles, RejectedDocuments)
{
    const std::string documents[] = {
        // syntax and strictness
        "",
        "{",
        MINIMAL + " // trailing comment",
        MINIMAL + " /* block */",
        MINIMAL + " trailing text",
        MINIMAL + " {}",
        "// leading comment\n" + MINIMAL,
        // not an object
        "[]",
        "null",
        "42",
        R"("text")",
        // required members
        R"({"elevation_server": {"url": "e"}, "texture_server": {"url": "t"}})",
        R"({"elevation_encoding": "RG_ENCODED", "texture_server": {"url": "t"}})",
        R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}})",
        R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"pattern": "ZXY_Y_NORTH"},
            "texture_server": {"url": "t"}})",
        // enum spellings
        R"({"elevation_encoding": "single_byte", "elevation_server": {"url": "e"}, "texture_server": {"url": "t"}})",
        R"({"elevation_encoding": "RG", "elevation_server": {"url": "e"}, "texture_server": {"url": "t"}})",
        server_with(R"("pattern": "zxy_y_south")"),
        server_with(R"("pattern": "ZXY_Y_SOUTH ")"),
        server_with(R"("pattern": 1)"),
        // wrong types and null
        R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": 5}, "texture_server": {"url": "t"}})",
        R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}, "texture_server": {"url": null}})",
        server_with(R"("file_ending": 3)"),
        server_with(R"("attribution": null)"),
        server_with(R"("num_threads": "2")"),
        server_with(R"("max_zoom": null)"),
        server_with(R"("cache_on_disk": 1)"),
        with(R"("log_flight": 0)"),
        with(R"("log_flight": "true")"),
        with(R"("chunk_vertex_count": null)"),
        with(R"("window_width": "1280")"),
        with(R"("window_height": [720])"),
        with(R"("start_position": null)"),
        with(R"("start_position": [47, 11])"),
        with(R"("start_position": {"lat": "47"})"),
        with(R"("start_position": {"lat": null})"),
        with(R"("start_position": {"lon": true})"),
        R"({"elevation_encoding": "RG_ENCODED", "elevation_server": "http://e", "texture_server": {"url": "t"}})",
        R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}, "texture_server": null})",
        R"({"elevation_encoding": null, "elevation_server": {"url": "e"}, "texture_server": {"url": "t"}})",
        // numbers beyond 32 bits
        with(R"("window_width": 1e10)"),
        with(R"("window_width": 2147483648)"),
        with(R"("chunk_vertex_count": -2147483649)"),
        // usable types, unusable values
        with(R"("chunk_vertex_count": 1)"),
        with(R"("chunk_vertex_count": 0)"),
        with(R"("chunk_vertex_count": -32)"),
        with(R"("chunk_vertex_count": true)"),
        with(R"("window_width": 0)"),
        with(R"("window_width": 0.9)"),
        with(R"("window_height": -720)"),
        with(R"("window_height": false)"),
        server_with(R"("num_threads": -1)"),
        server_with(R"("max_zoom": -1)"),
        server_with(R"("max_zoom": 31)"),
    };
    const std::string expected = "Could not parse " + console::quoted(file());
    for (const std::string& document : documents)
        EXPECT_EQ(load_error(document), expected) << "document:\n" << document;
}

TEST_F(ConfigFiles, MissingFileCannotBeOpened)
{
    const std::string expected = "Could not open " + console::quoted(file());
    console::Capture capture;
    try {
        load_config(base());
        FAIL() << "the load of a missing file succeeded";
    } catch (const ConfigError& error) {
        EXPECT_EQ(std::string(error.what()), expected);
    }
    // Nothing printed: a base was given and parsing never began.
    EXPECT_EQ(capture.out(), "");

    // A directory in the file's place cannot be read either.
    fs::create_directories(file());
    try {
        load_config(base());
        FAIL() << "the load of a directory succeeded";
    } catch (const ConfigError& error) {
        EXPECT_EQ(std::string(error.what()), expected);
    }
}

TEST_F(ConfigFiles, PrefPathLineOnlyAfterASuccessfulParse)
{
    write("{ broken");
    {
        console::Capture capture;
        EXPECT_THROW(load_config(base()), ConfigError);
        EXPECT_EQ(capture.out(), "");
    }
    write(MINIMAL);
    console::Capture capture;
    load_config(base());
    fs::path pref_path = pref();
    EXPECT_EQ(capture.out(), "Get Pref Path: " + console::quoted(fs::path(pref_path.string() + "/")) + "\n");
}

TEST_F(ConfigFiles, EmptyBaseMeansTheProgramDirectoryAndPrintsIt)
{
    // The test executable's directory holds no assets, so the load fails to open, but the
    // base path line comes first.
    console::Capture capture;
    try {
        load_config({});
        FAIL() << "expected no configuration next to the test executable";
    } catch (const ConfigError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Could not open ", 0), 0u) << error.what();
    }
    const std::string out = capture.out();
    EXPECT_EQ(out.rfind("Get Base Path: \"", 0), 0u) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
}

TEST_F(ConfigFiles, UnusablePreferenceDirectoryFailsClearly)
{
    write(MINIMAL);
    // A regular file where the data directory should be: SDL cannot create the directory
    // and gives no path.
    fs::path blocker = m_root / "not-a-directory";
    std::ofstream(blocker) << "x";
    setenv("XDG_DATA_HOME", blocker.c_str(), 1);
    console::Capture capture;
    try {
        load_config(base());
        FAIL() << "the load succeeded without a preference directory";
    } catch (const ConfigError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Could not determine the user's preference directory: ", 0), 0u)
            << error.what();
    }
    EXPECT_EQ(capture.out(), "");
}

TEST_F(ConfigFiles, CacheDirectoriesAreNamedByTheUrlHash)
{
    write(R"({"elevation_encoding": "RG_ENCODED",
              "elevation_server": {"url": ""},
              "texture_server": {"url": "a"}})");
    console::Capture capture;
    Config config = load_config(base());
    fs::path tiles = fs::path(pref().string() + "/") / "tiles";
    EXPECT_EQ(config.elevation_server.cache_dir, tiles / "cache-14695981039346656037");
    EXPECT_EQ(config.texture_server.cache_dir, tiles / "cache-12638187200555641996");

    write(R"({"elevation_encoding": "RG_ENCODED",
              "elevation_server": {"url": "http://same"},
              "texture_server": {"url": "http://same"}})");
    Config shared = load_config(base());
    EXPECT_EQ(shared.elevation_server.cache_dir, shared.texture_server.cache_dir);
}

TEST(Fnv1a, KnownValues)
{
    struct Case {
        std::string_view text;
        uint64_t hash;
    };
    for (Case c : {Case{"", 0xcbf29ce484222325ull}, Case{"a", 0xaf63dc4c8601ec8cull},
                   Case{"foobar", 0x85944171f73967e8ull}}) {
        EXPECT_EQ(fnv1a_64(c.text), c.hash) << '"' << c.text << '"';
    }
    // Bytes above 0x7f are hashed as unsigned values.
    EXPECT_NE(fnv1a_64("\xff"), fnv1a_64("\x7f"));
    EXPECT_EQ(fnv1a_64(std::string_view("a\0b", 3)), fnv1a_64(std::string_view("a\0b", 3)));
    EXPECT_NE(fnv1a_64(std::string_view("a\0b", 3)), fnv1a_64("ab"));
}

TEST(LatLonText, PrintfFixedForm)
{
    struct Case {
        LatLon position;
        const char* text;
    };
    for (Case c : {Case{{47.2576, 11.3513}, "lat=47.257600, lon=11.351300"}, Case{{0.0, 0.0}, "lat=0.000000, lon=0.000000"},
                   Case{{-33.8688, -151.20930049}, "lat=-33.868800, lon=-151.209300"},
                   Case{{1e-7, -0.0}, "lat=0.000000, lon=-0.000000"}}) {
        EXPECT_EQ(to_string(c.position), c.text);
    }
    // Rounding and large values agree with the C library's own "%f".
    for (LatLon p : {LatLon{0.0000005, 1234567.0000005}, LatLon{89.9999995, -179.9999995}, LatLon{1e20, -2.5e-7}}) {
        char expected[128];
        std::snprintf(expected, sizeof expected, "lat=%f, lon=%f", p.lat, p.lon);
        EXPECT_EQ(to_string(p), expected);
    }
}

} // namespace
