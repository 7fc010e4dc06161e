// How sharp the terrain stays along a fast, low flight: a level flight at 90 m/s, 300 m above the
// valley floor east-north-east of the default start, for 60 s of wall time, against the local
// tile server answering after 50 ms with imagery that does not compress (tiles of aerial-photo
// size), from a cold tile cache, two connections per server as shipped.
//
// The flight is a flight log in the program's own format, played in real time by the replay's
// clock: the first-person camera sits at the logged position and looks along the heading, 10°
// below the nose (as bench_frame's flights look). Each frame's figures go into a frame
// statistics file; the report is read back from that file:
//   - the mean sharp share between 10 s and 60 s (see terrain/SharpShare.h), and the worst
//     one-second mean, each frame counting for its duration;
//   - the tiles fetched (requests the tile server answered) and of those never drawn: dropped
//     before the renderer took them (and of those, how many only the fetching ahead had asked
//     for), and still held untaken when the flight ends; and how many of the requests were
//     made ahead of need (app/StreamingAhead).
// The flight goes on for StreamingAhead::HORIZON_S after the measured span without fetching
// ahead and without being measured, so that tiles fetched ahead for the last seconds count as
// wasted only if the view passes them by, as they would on a longer flight.
//
// Run under a display, from the repository root or anywhere:
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bench_stream [SECONDS] [off]
// "off" flies without fetching ahead (the streaming of the view alone), for comparison in the
// same build: alternate runs of both on a shared machine.
// The flight runs in a child process of its own (a fresh window, tile cache and data folder);
// the parent starts the tile server, writes the flight log and prints the figures.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <SDL.h>
#include <backends/imgui_impl_sdl.h>
#include <glm/gtc/quaternion.hpp>

#include "app/App.h"
#include "app/Config.h"
#include "app/FrameStatsFile.h"
#include "console/Console.h"
#include "physics/FlightLog.h"
#include "physics/FlightRecording.h"
#include "physics/ReplayTimeline.h"
#include "terrain/Elevation.h"
#include "terrain/LodSelection.h"
#include "terrain/TileKey.h"
#include "tests/support/Support.h"
#include "tools/World.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double SPEED_M_S = 90.0;
constexpr double ABOVE_GROUND_M = 300.0;
// Along the valley floor: the ground stays within about 20 m of its mean for 6 km.
constexpr double HEADING_DEG = 70.0;
constexpr double LOOK_DOWN_DEG = 10.0;
constexpr double ROW_SECONDS = 0.5;
constexpr double MEASURED_FROM_S = 10.0;
constexpr double DEFAULT_SECONDS = 60.0;

// The level flight as the program would log it, one row per ROW_SECONDS, written by the
// program's own flight-log writer into directory; returns the file.
fs::path write_flight(const fs::path& directory, double seconds)
{
    const LatLon start{tileserver::World::START_LAT, tileserver::World::START_LON};
    std::vector<FlightData> rows;
    double ground_sum = 0.0;
    for (double t = 0.0; t <= seconds + 5.0; t += ROW_SECONDS) {
        FlightData row;
        row.time_s = t;
        row.position = great_circle_destination(start, HEADING_DEG, SPEED_M_S * t);
        const tileserver::GroundPoint at = tileserver::World::from_latlon(row.position.lat, row.position.lon);
        row.height_above_ground_m = tileserver::World::sample(at, 5.0).height; // the ground, for now
        ground_sum += row.height_above_ground_m;
        row.airspeed_m_s = SPEED_M_S;
        row.heading_deg = HEADING_DEG;
        row.controls.throttle = 0.8f;
        rows.push_back(row);
    }
    const double altitude = ground_sum / double(rows.size()) + ABOVE_GROUND_M;
    console::Capture quiet; // "Flight log: …"
    FlightLog log(directory);
    for (FlightData& row : rows) {
        row.height_above_ground_m = altitude - row.height_above_ground_m;
        row.altitude_m = altitude;
        log.write(row);
    }
    log.flush();
    return log.is_open() ? log.path() : fs::path();
}

void pump_events()
{
    SDL_Event event;
    while (SDL_PollEvent(&event))
        ImGui_ImplSDL2_ProcessEvent(&event);
}

// The camera at the pose, looking along the heading LOOK_DOWN_DEG below the nose.
void place_camera(gfx::Transform& camera, const FlightData& pose, const WorldFrame& frame)
{
    const WorldXZ xz = latlon_to_world(pose.position, frame.origin_x, frame.origin_y, frame.scaling_factor);
    const double y = double(mercator_height(float(pose.altitude_m), pose.position.lat)) * frame.scaling_factor;
    camera.set_position(glm::vec3(float(xz.x), float(y), float(xz.z)));
    const float heading = float(glm::radians(pose.heading_deg));
    const float pitch = float(glm::radians(pose.pitch_deg - LOOK_DOWN_DEG));
    camera.set_rotation(glm::angleAxis(-heading, glm::vec3(0.0f, 1.0f, 0.0f)) * glm::angleAxis(pitch, glm::vec3(1.0f, 0.0f, 0.0f)));
}

// The flight, in the child: frames until `seconds` of wall time have passed, each recorded in
// the statistics file; then the tiles never taken go to result_file.
int fly(const fs::path& base, const fs::path& flight, const fs::path& stats_file, const fs::path& result_file,
        double seconds, bool ahead)
{
    const FlightLogRead read = read_flight_log(flight);
    if (!read.recording) {
        console::eprint("bench_stream: could not read {}: {}\n", console::quoted(flight), read.error);
        return 1;
    }
    ReplayTimeline replay(*read.recording);
    FrameStatsFile stats(stats_file);
    std::string errors;
    uint64_t wasted = 0;
    uint64_t held = 0;
    uint64_t prefetched = 0;
    uint64_t wasted_ahead = 0;
    {
        // The program's start-up and tile lines stay out of the report.
        console::Capture quiet;
        Config config = load_config(base);
        App app(config);
        app.cameras().active_index = 0;
        app.streaming_ahead().enabled = ahead;
        const WorldFrame frame = app.world_frame();
        TextureCache& cache = app.terrain().texture_cache;
        double dt = 0.0;
        double flown = 0.0;
        Clock::time_point last = Clock::now();
        while (flown < seconds + StreamingAhead::HORIZON_S) {
            if (flown >= seconds)
                app.streaming_ahead().enabled = false;
            replay.advance(dt);
            place_camera(app.cameras().active(), replay.pose(), frame);
            pump_events();
            app.render_frame();
            const Clock::time_point now = Clock::now();
            dt = std::chrono::duration<double>(now - last).count();
            last = now;
            flown += dt;
            if (flown - dt >= seconds)
                continue;
            const TerrainFrameStats& terrain = app.terrain().last_frame_stats();
            const uint64_t pending =
                cache.service_stats(TileKind::TEXTURE).pending + cache.service_stats(TileKind::ELEVATION).pending;
            stats.add(dt * 1000.0, terrain.drawn, terrain.coverage.share(), pending);
        }
        for (TileKind kind : {TileKind::TEXTURE, TileKind::ELEVATION}) {
            wasted += cache.service_stats(kind).wasted;
            held += cache.service_stats(kind).stored;
            prefetched += cache.service_stats(kind).prefetched;
            wasted_ahead += cache.service_stats(kind).wasted_ahead;
        }
        errors = quiet.err();
    }
    if (!errors.empty())
        console::eprint("bench_stream: the flight printed on standard error:\n{}", errors.substr(0, 2000));
    if (!stats.write())
        return 1;
    std::ofstream(result_file) << wasted << ' ' << held << ' ' << prefetched << ' ' << wasted_ahead << '\n';
    return 0;
}

// The mean of a row's figure over the rows from the given time on.
template <typename Field>
double mean_from(const std::vector<FrameStatsFile::Row>& rows, double from_s, Field field)
{
    double sum = 0.0;
    size_t n = 0;
    for (const FrameStatsFile::Row& row : rows)
        if (row.time_s >= from_s) {
            sum += double(field(row));
            ++n;
        }
    return n > 0 ? sum / double(n) : 0.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 8 && std::string(argv[1]) == "--child")
        return fly(argv[2], argv[3], argv[4], argv[5], std::atof(argv[6]), std::string(argv[7]) == "on");
    const double seconds = argc >= 2 ? std::max(std::atof(argv[1]), MEASURED_FROM_S + 1.0) : DEFAULT_SECONDS;
    const bool ahead = !(argc >= 3 && std::string(argv[2]) == "off");

    support::TileServer server({"--latency-ms", "50", "--incompressible-imagery"});
    support::TempDir dir("wh-bench-stream");
    const fs::path base = support::make_base_dir(dir, server);
    const fs::path flight = write_flight(dir / "log", seconds);
    if (flight.empty()) {
        console::err("bench_stream: the flight log could not be written\n");
        return 1;
    }
    console::print("bench_stream: level flight at {:.0f} m/s, {:.0f} m above the ground, heading {:.0f}°, for {:.0f} s; "
                   "tile server +50 ms, incompressible imagery, cold cache; fetching ahead {}\n",
                   SPEED_M_S, ABOVE_GROUND_M, HEADING_DEG, seconds, ahead ? "on" : "off");

    const fs::path stats_file = dir / "frames.csv";
    const fs::path result_file = dir / "tiles.txt";
    support::ProcessOptions options;
    options.args = {"--child", base.string(), flight.string(), stats_file.string(), result_file.string(),
                    std::to_string(seconds), ahead ? "on" : "off"};
    options.env["XDG_DATA_HOME"] = (dir / "data").string();
    support::Process child(fs::read_symlink("/proc/self/exe"), options);
    const int code = child.wait(std::chrono::milliseconds(int64_t((seconds + 180.0) * 1000.0)));
    if (code != 0) {
        console::eprint("bench_stream: the flight failed: {}\n", child.describe());
        return 1;
    }
    console::err(child.err());
    const std::optional<FrameStatsFile> frames = FrameStatsFile::read(stats_file);
    uint64_t wasted = 0;
    uint64_t held = 0;
    uint64_t prefetched = 0;
    uint64_t wasted_ahead = 0;
    std::ifstream(result_file) >> wasted >> held >> prefetched >> wasted_ahead;
    const std::optional<FrameStatsFile::Summary> sharp = frames ? frames->summarize(MEASURED_FROM_S, seconds) : std::nullopt;
    if (!sharp) {
        console::err("bench_stream: no frames between 10 s and the end\n");
        return 1;
    }
    std::vector<double> durations;
    for (const FrameStatsFile::Row& row : frames->rows())
        durations.push_back(row.dt_ms);
    std::sort(durations.begin(), durations.end());
    const std::vector<FrameStatsFile::Row>& rows = frames->rows();
    console::print("frames: {} ({:.1f} per second, median {:.1f} ms, 95th percentile {:.1f} ms); from {:.0f} s on "
                   "{:.0f} leaves drawn and {:.1f} tiles pending on average\n",
                   rows.size(), double(rows.size()) / seconds, durations[durations.size() / 2],
                   durations[std::min(durations.size() - 1, durations.size() * 95 / 100)], MEASURED_FROM_S,
                   mean_from(rows, MEASURED_FROM_S, [](const FrameStatsFile::Row& row) { return row.leaves; }),
                   mean_from(rows, MEASURED_FROM_S, [](const FrameStatsFile::Row& row) { return row.pending_tiles; }));
    console::print("sharp share from {:.0f} s to {:.0f} s: mean {:.3f}, worst second {:.3f} (from {:.0f} s)\n",
                   MEASURED_FROM_S, seconds, sharp->mean, sharp->worst_second, sharp->worst_second_from_s);
    console::print("tiles fetched: {} (requests the tile server answered; {} asked for ahead of need); never drawn: "
                   "{} dropped untaken ({} of them asked for only ahead of need), {} held untaken at the end\n",
                   server.stats().requests, prefetched, wasted, wasted_ahead, held);
    return 0;
}
