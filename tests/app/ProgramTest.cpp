// The windhollow program as a user runs it, against the local tile server: console lines in
// order, exit statuses, failures before any window, capture mode, signals, the pictures it
// draws, and a walk-through driven with real X input (xdotool).

#include <cstdio>
#include <regex>
#include <sstream>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/Config.h"
#include "console/Console.h"
#include "gfx/Image.h"
#include "physics/FlightLog.h"
#include "physics/FlightRecording.h"
#include "physics/ReplayTimeline.h"
#include "tests/support/Picture.h"
#include "tests/support/Support.h"
#include "tiles/WebMercator.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace support; // the picture checks

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

double sky(Pixel p) { return p[2] > 90 && p[2] > p[0] + 20; }
// ImGui's window background: 6 % grey at 94 % opacity over the scene, dark grey with little colour.
double window_background(Pixel p)
{
    const int hi = std::max({p[0], p[1], p[2]}), lo = std::min({p[0], p[1], p[2]});
    return lo >= 13 && hi <= 32 && hi - lo <= 6;
}

const support::TileServer& server()
{
    static const support::TileServer instance;
    return instance;
}

class ProgramTest : public ::testing::Test {
protected:
    // The program on a base directory pointed at the suite's tile server (or the given one).
    std::unique_ptr<support::Process> run(std::map<std::string, std::string> env, std::vector<std::string> unset_env = {})
    {
        env["XDG_DATA_HOME"] = (dir / "data").string();
        // The sound plays to nowhere: the same lines with or without a sound card, and no noise.
        env.try_emplace("ALSOFT_DRIVERS", "null");
        if (!fs::exists(dir / "base"))
            support::make_base_dir(dir, server());
        return std::make_unique<support::Process>(WH_EXECUTABLE_PATH, support::ProcessOptions{{(dir / "base").string()}, env, unset_env});
    }
    // Runs xdotool on the display (for real input ctest runs this program alone); its output.
    static std::string xdotool(const std::vector<std::string>& args)
    {
        support::Process process("/usr/bin/xdotool", {args});
        EXPECT_EQ(process.wait(60s), 0) << process.describe();
        return process.out();
    }
    // The time a frame takes just now, measured with key R (its binding prints a line in the
    // frame that takes the key); reloading makes the figure err on the long side.
    static double frame_seconds(support::Process& program)
    {
        const auto start = std::chrono::steady_clock::now();
        const size_t before = program.out().size();
        xdotool({"key", "r"});
        EXPECT_TRUE(support::wait_until([&] { return program.out().find("Reloaded all shaders!", before) != std::string::npos; }, 60s));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    support::TempDir dir{"wh-program"};
    std::string window; // the program's, for xdotool
};

// Without a display (which would otherwise be the failure reported), a configuration that
// cannot be used ends the program before it reads anything else; a start runway the runways
// file lacks is one, found once the file is read.
TEST_F(ProgramTest, ConfigurationAndDisplayFailuresEndWithStatusOne)
{
    support::make_base_dir(dir, server());
    const fs::path file = dir / "base" / support::CONFIG_FILE_PATH;
    const std::string valid = support::read_file(file);
    std::string unknown_runway = valid; // WHIN has 10 and 28
    unknown_runway.replace(unknown_runway.find(R"("28")"), 4, R"("09")");
    // A parse failure says on a second line which key holds what.
    const std::tuple<const char*, std::string, bool, size_t> cases[] = {
        {nullptr, "Could not open " + console::quoted(file) + "\n", false, 1},
        {R"({"elevation_encoding": "RG_ENCODED",)", "Could not parse " + console::quoted(file) + "\nparse error at line 1", false, 2},
        {R"({"elevation_encoding": "terrarium"})",
         "Could not parse " + console::quoted(file) + "\nelevation_encoding: \"terrarium\" is not one of SINGLE_BYTE, ", false, 2},
        {unknown_runway.c_str(), "Could not parse " + console::quoted(file) + "\nstart_position.runway: \"09\" is no runway of WHIN", true, 2},
        {valid.c_str(), "Could not initialise SDL video", true, 1}};
    for (const auto& [document, error, read, lines] : cases) {
        fs::remove(file);
        if (document)
            support::write_file(file, document);
        const auto program = run({}, {"DISPLAY", "WAYLAND_DISPLAY"});
        EXPECT_EQ(program->wait(60s), 1) << program->describe();
        EXPECT_TRUE(program->err().starts_with(error) && lines_of(program->err()).size() == lines) << program->err();
        EXPECT_TRUE(std::regex_search(program->out(), std::regex(R"(^Windhollow \(Compiled \w{3} [ \d]\d \d{4} \d\d:\d\d:\d\d\)\n)")));
        EXPECT_EQ(std::pair(program->out().find("Get Pref Path: ") != std::string::npos, program->out().find("Base Path: ")),
                  std::pair(read, std::string::npos)) << program->out();
    }
}

// At start there is no working shader program to keep: a missing shader ends the run with one
// line naming the file (what a broken one says is ShaderTest's).
TEST_F(ProgramTest, AMissingShaderAtStartEndsTheRunWithOneLine)
{
    support::make_base_dir(dir, server());
    const fs::path missing = dir / "base/assets/shaders/mesh.frag";
    fs::remove(missing);
    const auto program = run({{"WINDHOLLOW_EXIT_AFTER_FRAMES", "1"}});
    EXPECT_EQ(program->wait(120s), 1) << program->describe();
    EXPECT_EQ(program->err(), "Could not build a shader program: couldn't load '" + missing.string() + "'\n");
}

TEST_F(ProgramTest, TheSettledDefaultViewShowsSkyAboveLitVariedGround)
{
    const fs::path cold = dir / "cold.png", warm = dir / "warm.png";
    auto program = run({{"WINDHOLLOW_EXIT_WHEN_SETTLED", "1"}, {"WINDHOLLOW_EXIT_AFTER_FRAMES", "400"}, {"WINDHOLLOW_SCREENSHOT", cold}});
    ASSERT_EQ(program->wait(280s), 0) << program->describe();
    const std::vector<std::string> out = lines_of(program->out());
    const auto at = [&](const std::string& line) { return std::find(out.begin(), out.end(), line) - out.begin(); };
    const auto start = at("Start Position: lat=47.257600, lon=11.351300"), largest = at("Largest Tile: z=7, x=68, y=44");
    EXPECT_TRUE(out.size() > 2 && out[1].starts_with("Get Pref Path: ") && start == at("Base Path: " + console::quoted(dir / "base")) + 1 &&
                start < largest && largest < int64_t(out.size())) << program->out();
    EXPECT_EQ(out.back(), "Screenshot: " + console::quoted(cold)) << "the last line";
    EXPECT_EQ(program->out().find("GET "), std::string::npos) << "a line per tile only when asked for (WINDHOLLOW_VERBOSE=1)";
    EXPECT_EQ(program->err().find("Error"), std::string::npos) << program->err();
    gfx::Image picture;
    ASSERT_TRUE(picture.load(cold, false));
    ASSERT_EQ(std::pair(picture.width, picture.height), std::pair(1280, 720));
    const double zenith = mean(picture, SCENE_LEFT, 0, 1280, 40, luminance), zenith_blue = mean(picture, SCENE_LEFT, 0, 1280, 40, blue);
    EXPECT_TRUE(zenith_blue > 20 && mean(picture, SCENE_LEFT, OVERLAY_BOTTOM, 1280, OVERLAY_BOTTOM + 40, blue) > 0 &&
                mean(picture, SCENE_LEFT, OVERLAY_BOTTOM, 1280, OVERLAY_BOTTOM + 40, luminance) > zenith + 5)
        << "blue sky, brighter toward the horizon";
    EXPECT_TRUE(sky_over_ground(picture));
    EXPECT_EQ(mean(picture, 0, 480, 1280, STATUS_BAR_TOP, hole), 0.0) << "no hole at all in the start view";
    const double ground = mean(picture, 0, 480, 1280, STATUS_BAR_TOP, luminance);
    const double deviation = mean(picture, 0, 480, 1280, STATUS_BAR_TOP, [&](Pixel p) { return std::abs(luminance(p) - ground); });
    EXPECT_GT(deviation, 5.0) << "imagery and relief vary";
}

TEST_F(ProgramTest, WithoutTheTileServerTheFramesRunAndCaptureFilesThatCannotBeWrittenFailTheRun)
{
    support::make_base_dir(dir, support::TileServer()); // gone once the directory is made
    const fs::path shot = dir / "missing" / "shot.png", times = dir / "times.txt";
    const fs::path stats = dir / "missing" / "frames.csv";
    const auto program = run({{"WINDHOLLOW_EXIT_AFTER_FRAMES", "2"}, {"WINDHOLLOW_SCREENSHOT", shot}, {"WINDHOLLOW_FRAME_TIMES", times},
                              {"WINDHOLLOW_FRAME_STATS", stats}});
    EXPECT_EQ(program->wait(280s), 1) << program->describe();
    EXPECT_TRUE(std::regex_match(support::read_file(times), std::regex(R"((\d+\.\d+\n){2})"))) << "a duration per frame, in ms";
    for (const std::string& expected : {std::string("/imagery/7/68/44."), std::string("/elevation/rg/7/68/44."), // the start's largest tile
                                        "Could not write the screenshot " + console::quoted(shot),
                                        "Could not write the frame statistics " + console::quoted(stats)})
        EXPECT_NE(program->err().find(expected), std::string::npos) << expected << " is named in:\n" << program->err();
}

// WINDHOLLOW_CAMERA=orbit starts behind the aircraft. A flight model naming a missing model
// file gets one line naming it, and the debug geometry shows the aircraft in magenta.
TEST_F(ProgramTest, TheOrbitCameraAtStartShowsTheDebugGeometryWithoutTheModelFile)
{
    support::make_base_dir(dir, server());
    const fs::path shot = dir / "orbit.png", flight_model = dir / "base/assets/config/FlightModel.json";
    support::write_file(flight_model, std::regex_replace(support::read_file(flight_model), std::regex("trainer\\.glb"), "none.glb"));
    const auto program = run({{"WINDHOLLOW_CAMERA", "orbit"}, {"WINDHOLLOW_EXIT_AFTER_FRAMES", "3"}, {"WINDHOLLOW_SCREENSHOT", shot}});
    ASSERT_EQ(program->wait(120s), 0) << program->describe();
    const std::string line = "Could not load the aircraft model " + console::quoted(dir / "base/assets/models/none.glb") + ": no such file\n";
    const size_t named = program->err().find(line) + 19; // "aircraft model", once
    EXPECT_EQ(std::pair(program->err().find("aircraft model"), program->err().rfind("aircraft model")), std::pair(named, named)) << program->err();
    gfx::Image picture;
    ASSERT_TRUE(picture.load(shot, false));
    EXPECT_GT(mean(picture, 500, 280, 780, 440, magenta), 0.01);
}

// Keys I (twice: shown again) and H, then a click that opens "FlightModel" and K held (read
// from the keyboard state whoever has the focus) while wheel notches scroll down to the
// throttle slider: the Options window, the Help window and the throttle at its top show.
TEST_F(ProgramTest, AWalkThroughOverlayKeysAndTheThrottleKey)
{
    const fs::path shot = dir / "shot.png";
    const auto program = run({{"WINDHOLLOW_SCREENSHOT", shot}});
    ASSERT_TRUE(program->wait_for_output("Read flightmodel config from", 120s)) << program->describe();
    window = xdotool({"search", "--sync", "--name", "^Windhollow$"});
    window = window.substr(0, window.find('\n'));
    xdotool({"windowfocus", "--sync", window, "mousemove", "--window", window, "900", "400"}); // over the scene
    // ImGui toggles a header on the release in a frame after the press and scrolls to new
    // content a frame later: with the pointer over the overlay no key tells when a frame has
    // passed, so the steps are a few frame times apart (measured first, over the scene).
    const std::string pause = std::to_string(std::clamp(2.0 * frame_seconds(*program), 1.0, 20.0));
    xdotool({"key", "--clearmodifiers", "i", "i", "h"});
    xdotool({"mousemove", "--window", window, "100", "162", "sleep", pause, "click", "1", "sleep", pause});
    std::vector<std::string> hold = {"keydown", "k"};
    for (int i = 0; i < std::max(2, int(std::ceil(2.0 * std::stod(pause)))); ++i)
        hold.insert(hold.end(), {"click", "5", "sleep", "1"});
    hold.insert(hold.end(), {"keyup", "k", "sleep", pause});
    xdotool(hold);
    program->terminate(); // the frame in progress is completed and captured
    ASSERT_EQ(program->wait(60s), 0) << program->describe();
    gfx::Image image;
    ASSERT_TRUE(image.load(shot, false));
    EXPECT_GT(mean(image, 10, 30, 280, 190, window_background), 0.3) << "the Options window";
    EXPECT_GT(mean(image, 400, 420, 880, 600, window_background), 0.8) << "the Help window";
    EXPECT_GT(mean(image, 320, 20, 1260, 60, sky), 0.9) << "sky above the level view";
    // The throttle slider's grab (ImGui's SliderGrab colour) sits at x 31 for 0, past 200 near 1.
    int first = -1, last = -1;
    for (int y = 19; y < 200; ++y)
        for (int x = 0; x < 300; ++x) {
            const Pixel p = image.data + (size_t(y) * image.width + x) * 3;
            if (std::abs(p[0] - 61) <= 6 && std::abs(p[1] - 133) <= 6 && std::abs(p[2] - 224) <= 6) {
                first = first < 0 ? x : std::min(first, x);
                last = std::max(last, x);
            }
        }
    EXPECT_TRUE(first > 190 && last - first <= 14) << "throttle grab at x " << first << ".." << last;
}

// A log that cannot be played ends the program with one line before anything else, window
// included (there is no display here).
TEST_F(ProgramTest, AReplayOfAnUnusableLogEndsWithStatusOneAndOneLine)
{
    support::make_base_dir(dir, server());
    const std::pair<std::string, std::string> logs[] = {
        {"", "No such file or directory"},
        {"time_s,lat,lon\n0,47,11\n", "the header has no columns"},
        {"time_s,lat,lon,altitude_m,heading_deg,pitch_deg,roll_deg\n0,47,11,x\n", "no usable rows (1 unreadable)"}};
    for (const auto& [text, reason] : logs) {
        const fs::path log = dir / "flight.csv";
        fs::remove(log);
        if (!text.empty())
            support::write_file(log, text);
        support::Process program(WH_EXECUTABLE_PATH, {{"--replay", log.string(), (dir / "base").string()}, {}, {"DISPLAY", "WAYLAND_DISPLAY"}});
        EXPECT_EQ(program.wait(60s), 1) << program.describe();
        EXPECT_TRUE(program.err().starts_with("Could not replay " + console::quoted(log) + ": " + reason) &&
                    lines_of(program.err()).size() == 1 && program.out().empty()) << program.describe();
    }
}

// A 4 s log at four rows a second, turning, with moving controls, played to its end: the
// replay's own flight log is the logged flight at the frames' times, and the frame statistics
// have their header and a row per frame.
TEST_F(ProgramTest, AReplayRepeatsTheLoggedFlightInItsOwnLogAndWritesTheFrameStatistics)
{
    std::string source = std::string(FlightLog::HEADER) + "\n";
    for (int i = 0; i <= 16; ++i) {
        const double t = 0.25 * i;
        source += fmt::format("{},{:.7f},{:.7f},{},600,60,1,{},{},{},{},{},0,0.8\n", t, 47.2576 + 1e-4 * t, 11.3513 + 5e-4 * t,
                              1000 + t, 70 + 10 * t, 2 - t, 5 * t, 0.1 * t - 0.2, -0.05 * t);
    }
    support::write_file(dir / "flight.csv", source);
    support::make_base_dir(dir, server(), [](nlohmann::json& config) { config["log_flight"] = true; });
    const fs::path stats = dir / "frames.csv";
    support::Process program(WH_EXECUTABLE_PATH, {{"--replay", (dir / "flight.csv").string(), (dir / "base").string()},
                                                  {{"XDG_DATA_HOME", (dir / "data").string()}, {"WINDHOLLOW_FRAME_STATS", stats.string()}}});
    const std::string marker = "Flight log: \"";
    ASSERT_TRUE(program.wait_for_output(marker, 120s)) << program.describe();
    const size_t at = program.out().find(marker) + marker.size();
    const fs::path own = program.out().substr(at, program.out().find('"', at) - at);
    const ReplayTimeline logged(*read_flight_log(dir / "flight.csv").recording);
    std::optional<FlightRecording> replayed;
    EXPECT_TRUE(support::wait_until([&] {
        replayed = read_flight_log(own).recording;
        return replayed && replayed->end_s() == logged.recording().end_s();
    }, 120s)) << "the replay reaches the log's end\n" << program.describe();
    program.terminate();
    ASSERT_EQ(program.wait(60s), 0) << program.describe();
    ASSERT_TRUE(replayed && replayed->garbage_rows + replayed->out_of_order_rows == 0);
    EXPECT_EQ(replayed->start_s(), 0.0);
    for (const FlightData& row : replayed->rows) {
        const FlightData expected = logged.sample(row.time_s);
        EXPECT_TRUE(std::abs(row.position.lat - expected.position.lat) < 2e-7 && std::abs(row.position.lon - expected.position.lon) < 2e-7 &&
                    std::abs(row.altitude_m - expected.altitude_m) < 0.01 && std::abs(row.heading_deg - expected.heading_deg) < 0.06 &&
                    std::abs(row.pitch_deg - expected.pitch_deg) < 0.01 && std::abs(row.roll_deg - expected.roll_deg) < 0.01 &&
                    std::abs(row.controls.elevator - expected.controls.elevator) < 1e-3 &&
                    std::abs(row.controls.aileron - expected.controls.aileron) < 1e-3)
            << "at " << row.time_s << " s: heading " << row.heading_deg << " for " << expected.heading_deg << ", roll " << row.roll_deg
            << " for " << expected.roll_deg << ", elevator " << row.controls.elevator << " for " << expected.controls.elevator;
    }
    const std::vector<std::string> lines = lines_of(support::read_file(stats));
    ASSERT_GT(lines.size(), replayed->rows.size()) << "a row per frame, and the frames that moved the replay wrote the log's rows";
    EXPECT_EQ(lines[0], "frame,time_s,dt_ms,leaves,sharp_share,pending_tiles");
    double time = 0.0;
    for (size_t i = 1; i < lines.size(); ++i) {
        unsigned frame = 0, leaves = 0, pending = 0;
        double time_s = -1.0, dt_ms = -1.0, share = -1.0;
        const bool read = std::sscanf(lines[i].c_str(), "%u,%lf,%lf,%u,%lf,%u", &frame, &time_s, &dt_ms, &leaves, &share, &pending) == 6;
        EXPECT_TRUE(read && frame == i - 1 && std::abs(time_s - time) < 1e-4 + 1e-6 * double(i) && dt_ms > 0.0 && leaves > 0 && share >= 0.0 &&
                    share <= 1.0) << lines[i];
        time += dt_ms / 1000.0;
    }
}

} // namespace

