// The program flown through real X input: P unpauses, K opens the throttle, W pulls up; the
// flight log shows what happened, and OpenAL Soft's wave-file driver records what it sounds like.
// The shipped configuration's start: on a runway.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "sound/EngineNote.h"
#include "sound/EngineRpm.h"
#include "tests/support/SignalAnalysis.h"
#include "tests/support/Support.h"
#include "tests/support/WaveFile.h"

#ifndef WH_EXECUTABLE_PATH
#error "the end-to-end tests need the program (WH_EXECUTABLE_PATH)"
#endif

namespace {

using namespace std::chrono_literals;

// The rows of a flight log, each column by its header name.
std::vector<std::map<std::string, double>> read_log(const std::filesystem::path& path)
{
    std::vector<std::map<std::string, double>> rows;
    std::istringstream text(support::read_file(path));
    std::string line;
    std::vector<std::string> names;
    while (std::getline(text, line)) {
        std::istringstream fields(line);
        std::string field;
        std::map<std::string, double> row;
        for (size_t i = 0; std::getline(fields, field, ','); ++i) {
            if (names.size() < i + 1)
                names.push_back(field);
            else
                row[names[i]] = std::strtod(field.c_str(), nullptr);
        }
        if (row.size() == names.size() && !row.empty())
            rows.push_back(row);
    }
    return rows;
}

class FlightRun {
public:
    // The sound goes to OpenAL Soft's device that plays to nowhere unless env says otherwise.
    explicit FlightRun(const std::function<void(nlohmann::json& config)>& edit,
                       std::map<std::string, std::string> env = {{"ALSOFT_DRIVERS", "null"}})
    {
        // An X server of its own: real input goes to whatever a display's focus is on.
        m_display = std::make_unique<support::Process>(
            "/usr/bin/Xvfb", support::ProcessOptions{{"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"}});
        EXPECT_TRUE(m_display->wait_for_output("\n", 20s));
        m_display_name = ":";
        m_display_name += m_display->out().substr(0, m_display->out().find('\n'));
        support::ProcessOptions options;
        options.args = {support::make_base_dir(m_dir, m_server, edit).string()};
        options.env = env;
        options.env.insert({{"XDG_DATA_HOME", (m_dir / "data").string()}, {"DISPLAY", m_display_name}});
        m_program = std::make_unique<support::Process>(WH_EXECUTABLE_PATH, options);
    }

    ~FlightRun()
    {
        m_program->terminate();
        EXPECT_EQ(m_program->wait(60s), 0) << m_program->describe();
        m_display->terminate();
        m_display->wait(10s);
    }

    // The log's path once the program has said it, and the window focused with the pointer
    // over the scene, away from the overlay windows.
    std::filesystem::path start()
    {
        const std::string marker = "Flight log: \"";
        if (!m_program->wait_for_output(marker, 120s))
            return {};
        const size_t at = m_program->out().find(marker) + marker.size();
        const std::filesystem::path log = m_program->out().substr(at, m_program->out().find('"', at) - at);
        const std::string window = xdotool({"search", "--sync", "--name", "^Windhollow$"});
        xdotool({"windowfocus", "--sync", window.substr(0, window.find('\n'))});
        xdotool({"mousemove", "500", "250"});
        return log;
    }

    std::string out() const { return m_program->out(); }

    std::string xdotool(const std::vector<std::string>& args)
    {
        support::Process process("/usr/bin/xdotool", support::ProcessOptions{args, {{"DISPLAY", m_display_name}}});
        EXPECT_EQ(process.wait(20s), 0) << process.describe();
        return process.out();
    }

    // Polls the log until the last row satisfies the condition (bounded); returns it.
    std::map<std::string, double> wait_for_row(const std::filesystem::path& log,
                                               const std::function<bool(const std::map<std::string, double>&)>& condition,
                                               std::chrono::seconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline && m_program->running()) {
            const auto rows = read_log(log);
            if (!rows.empty() && condition(rows.back()))
                return rows.back();
            std::this_thread::sleep_for(100ms);
        }
        ADD_FAILURE() << "the flight log never showed it:\n" << m_program->describe();
        return {};
    }

private:
    support::TempDir m_dir{"wh-flight-e2e"};
    support::TileServer m_server;
    std::unique_ptr<support::Process> m_display;
    std::string m_display_name;
    std::unique_ptr<support::Process> m_program;
};

// One run does both: the aircraft starts on a hillside that falls about 10 degrees to the east,
// stands there on its brakes, nose down with the slope, then takes off down it and climbs.
TEST(FlightE2e, StandsTiltedOnASlopeThenTakesOffAndClimbs)
{
    FlightRun run([](nlohmann::json& config) {
        config["log_flight"] = true;
        config["terrain_ground"] = true;
        config["start_position"] = {{"lat", 47.283645}, {"lon", 11.291739}};
        config["window_width"] = 640; // small frames come quickly on a software renderer
        config["window_height"] = 360;
    });
    const std::filesystem::path log = run.start();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(support::read_file(log).substr(0, support::read_file(log).find('\n')),
              "time_s,lat,lon,altitude_m,height_above_ground_m,airspeed_m_s,vertical_speed_m_s,heading_deg,pitch_deg,"
              "roll_deg,elevator,aileron,rudder,throttle");

    run.xdotool({"keydown", "b", "key", "p"});
    const auto parked = run.wait_for_row(log, [](const auto& row) { return row.at("time_s") > 6.0; }, 240s);
    EXPECT_LT(parked.at("height_above_ground_m"), 2.0) << "on its wheels";
    EXPECT_LT(parked.at("airspeed_m_s"), 0.3) << "held by the brakes";
    // How steep depends on the tiles on hand by then (the camera is kilometres away); on its
    // brakes the nose sinks a little further.
    EXPECT_LT(parked.at("pitch_deg"), -5.0) << "nose down with the slope";
    EXPECT_GT(parked.at("pitch_deg"), -20.0);

    run.xdotool({"keyup", "b", "keydown", "k"});
    // The take-off roll, then back stick until the wheels are well clear of the ground.
    run.wait_for_row(log, [](const auto& row) { return row.at("airspeed_m_s") > 24.0; }, 240s);
    run.xdotool({"keyup", "k", "keydown", "w"});
    const auto airborne = run.wait_for_row(log, [](const auto& row) { return row.at("height_above_ground_m") > 6.0; }, 120s);
    run.xdotool({"keyup", "w"});
    EXPECT_GT(airborne.at("elevator"), 0.3) << "the pull reached the aircraft";
    EXPECT_NEAR(airborne.at("throttle"), 1.0, 0.02);
    const auto later = run.wait_for_row(log, [&](const auto& row) { return row.at("time_s") > airborne.at("time_s") + 15.0; }, 240s);
    EXPECT_GT(later.at("altitude_m") - airborne.at("altitude_m"), 25.0) << "climbed in 15 s";
    EXPECT_GT(later.at("height_above_ground_m"), 25.0);
    std::printf("parked: pitch %.1f, roll %.1f; airborne at %.1f s, %.1f m/s; %.1f m higher 15 s later\n",
                parked.at("pitch_deg"), parked.at("roll_deg"), airborne.at("time_s"), airborne.at("airspeed_m_s"),
                later.at("altitude_m") - airborne.at("altitude_m"));
}

// Heard from the orbit camera, standing on its brakes: the engine at idle, then at full
// throttle. What was heard when depends on how fast the frames come, so the recording is read
// from its sounds: it is silent until P, and the last sound before the program ended is the
// full throttle's.
TEST(FlightE2e, TheRecordedEngineIsLouderAndHigherAtFullThrottleThanAtIdle)
{
    const support::TempDir dir("wh-sound-e2e");
    const std::filesystem::path wav = dir / "sound.wav", conf = dir / "alsoft.conf";
    support::write_file(conf, "[wave]\nfile = " + wav.string() + "\n");
    {
        FlightRun run([](nlohmann::json& config) {
            config["log_flight"] = true;
            config["window_width"] = 640;
            config["window_height"] = 360;
        }, {{"ALSOFT_DRIVERS", "wave"}, {"ALSOFT_CONF", conf.string()}});
        const std::filesystem::path log = run.start();
        ASSERT_FALSE(log.empty());
        run.xdotool({"keydown", "b", "key", "n", "p"});
        // Simulated time never runs ahead of the wall clock: what the log shows has been heard.
        run.wait_for_row(log, [](const auto& row) { return row.at("time_s") > 1.5; }, 120s);
        run.xdotool({"keydown", "k"});
        const auto full = run.wait_for_row(log, [](const auto& row) { return row.at("throttle") > 0.999; }, 120s);
        run.wait_for_row(log, [&](const auto& row) { return row.at("time_s") > full.at("time_s") + 1.5; }, 120s);
        EXPECT_EQ(run.out().find("No sound"), std::string::npos) << run.out();
    } // the device closes with the program, which finishes the file

    const support::WaveFile recorded = support::read_wave(wav);
    const auto audible = [&](float x) { return std::abs(x) > 1e-3f; };
    const double onset = double(std::find_if(recorded.mono.begin(), recorded.mono.end(), audible) - recorded.mono.begin()) / recorded.rate;
    const double end = double(std::find_if(recorded.mono.rbegin(), recorded.mono.rend(), audible).base() - recorded.mono.begin()) / recorded.rate;
    ASSERT_GT(end - onset, 3.0) << recorded.seconds() << " s at " << recorded.rate << " Hz, sound from " << onset << " s to " << end << " s";
    // Idle once the aircraft has dropped onto its wheels; spooled up to full throttle.
    const auto idle = support::slice(recorded.mono, recorded.rate, onset + 0.8, onset + 1.4);
    const auto loud = support::slice(recorded.mono, recorded.rate, end - 0.7, end - 0.1);
    const double idle_hz = support::fundamental_hz(idle, recorded.rate, 10, 200);
    const double full_hz = support::fundamental_hz(loud, recorded.rate, 10, 200);
    std::printf("idle: RMS %.4f, %.1f Hz; full throttle: RMS %.4f, %.1f Hz\n", support::rms(idle), idle_hz, support::rms(loud), full_hz);
    // At idle the fall onto the wheels has left the propeller turning a little faster.
    EXPECT_NEAR(idle_hz, sound::EngineNote::firing_frequency(sound::engine_rpm(0.0f, 0.0f)), 4.0);
    EXPECT_NEAR(full_hz, sound::EngineNote::firing_frequency(sound::engine_rpm(1.0f, 0.0f)), 4.0);
    EXPECT_GT(support::rms(loud), 2.0 * support::rms(idle));
}

// The shipped configuration starts on runway 28 of WHIN: released, the aircraft stands at the
// threshold (the start position, 47.2576 / 11.3513) on its wheels, level, heading 280.
TEST(FlightE2e, TheShippedStartIsOnTheRunwaysThreshold)
{
    FlightRun run([](nlohmann::json& c) { c["log_flight"] = true, c["window_width"] = 640, c["window_height"] = 360; });
    const std::filesystem::path log = run.start();
    ASSERT_FALSE(log.empty());
    run.xdotool({"keydown", "b", "key", "p"});
    const auto parked = run.wait_for_row(log, [](const auto& row) { return row.at("time_s") > 5.0; }, 240s);
    EXPECT_NEAR(parked.at("lat"), 47.2576, 1e-5) << "a metre"; // stood still after the drop
    EXPECT_NEAR(parked.at("lon"), 11.3513, 1.5e-5) << "a metre";
    EXPECT_NEAR(parked.at("heading_deg"), 280.0, 1.0);
    EXPECT_LT(parked.at("height_above_ground_m"), 2.0) << "on its wheels";
    EXPECT_LT(std::abs(parked.at("pitch_deg")) + std::abs(parked.at("roll_deg")), 2.0) << "level on the runway";
}

} // namespace
