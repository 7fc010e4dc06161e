// Frame cost and streaming latency of the whole program on this machine's GL (Mesa llvmpipe
// under Xvfb here): frames per second, median and 95th-percentile frame time of the settled
// start view and of a scripted flight at 500 m and 3000 m above the ground, beside an empty frame (clear, ImGui frame,
// swap) measured in the same process; the time until the view is settled after the start and
// after a jump to another named place, with the local tile server answering at once, with 50
// and 150 ms added latency, and at 50 ms with flaky first answers (20 % answered 503, or 5 %
// of the connections dropped), and at 150 ms with 4 workers per server instead of 2; for each
// jump the tiles fetched over HTTP, the bound (tiles fetched / connections x latency + the time
// at 0 ms; fetched: requests the server answered) and the tiles fetched but never drawn;
// resident GPU textures and peak memory halfway through the flight and after it.
//
// Run under a display, from the build directory:
//   xvfb-run -a -s "-screen 0 1920x1080x24" bench/bench_frame [flight | settle | still]
// Each scenario runs in a child process of its own (a fresh window, tile cache and
// physics world); the parent starts the tile servers and prints what the children report.

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include "app/App.h"
#include "app/Config.h"
#include "app/FrameStatsFile.h"
#include "app/StartPositions.h"
#include "console/Console.h"
#include "core/Units.h"
#include "terrain/TileKey.h"
#include "tests/support/Support.h"
#include "tiles/HttpClient.h"
#include "tiles/TileService.h"
#include "tiles/WebMercator.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int FLIGHT_FRAMES = 240;         // per altitude
constexpr float FLIGHT_STEP_SECONDS = 0.1f; // simulated time per frame: the path does not depend on the speed of the machine
constexpr int EMPTY_FRAMES = 60;
constexpr int STILL_FRAMES = 30;
constexpr uint32_t SETTLED_FRAMES = 3;
constexpr double SETTLE_LIMIT_SECONDS = 120.0;
constexpr uint32_t JUMP_TARGET = 1; // "Salzburg", 130 km from the start
constexpr int YARDSTICK_SAMPLES = 4;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- Parent: tile servers and child processes ---------------------------------------------

// A scenario's child, bench_frame itself with the given arguments and its own tile cache; its
// standard output is copied to ours once it ends. Returns its exit code.
int run_self(const std::vector<std::string>& args, const std::filesystem::path& data_home = {})
{
    support::ProcessOptions options;
    options.args = args;
    if (!data_home.empty())
        options.env["XDG_DATA_HOME"] = data_home.string();
    support::Process process(fs::read_symlink("/proc/self/exe"), options);
    const int code = process.wait(std::chrono::minutes(30));
    console::out(process.out());
    return code;
}

// What a child reports back about its jump: seconds until settled (negative: did not settle),
// tiles fetched over HTTP and of those never drawn, connections to the servers.
struct JumpFigures {
    double seconds = -1.0;
    uint64_t fetched = 0; // requests the tile server answered during the jump
    uint64_t wasted = 0;
    int connections = 0;
};

std::optional<JumpFigures> run_child(const std::string& scenario, const support::TileServer& server,
                                     const std::string& label, int workers)
{
    const support::TempDir root("wh-bench");
    const fs::path base = support::make_base_dir(root, server, [workers](nlohmann::json& config) {
        if (workers > 0)
            for (const char* name : {"texture_server", "elevation_server"})
                config[name]["num_threads"] = workers;
    });
    const fs::path result_file = root / "jump.txt";
    const int code = run_self({"--child", scenario, base.string(), label, result_file.string()}, root / "data");
    std::optional<JumpFigures> figures;
    if (std::ifstream in(result_file); in) {
        JumpFigures f;
        if (in >> f.seconds >> f.fetched >> f.wasted >> f.connections)
            figures = f;
    }
    if (code != 0)
        return std::nullopt;
    return figures;
}

// ---- Child: one App driven frame by frame ----------------------------------------------------

void pump_events()
{
    SDL_Event event;
    while (SDL_PollEvent(&event))
        ImGui_ImplSDL2_ProcessEvent(&event);
}

// Frames until the terrain has been complete for SETTLED_FRAMES frames in a row; seconds, or
// nothing when it did not settle within the limit.
std::optional<double> frames_until_settled(App& app, Clock::time_point since)
{
    uint32_t in_a_row = 0;
    while (seconds_since(since) < SETTLE_LIMIT_SECONDS) {
        pump_events();
        app.render_frame();
        in_a_row = app.terrain().frame_complete() ? in_a_row + 1 : 0;
        if (in_a_row >= SETTLED_FRAMES)
            return seconds_since(since);
    }
    return std::nullopt;
}

// Wall time of each frame, and the CPU time the whole process (llvmpipe's threads included)
// spent on it: on a machine shared with other work the second moves much less than the first.
struct FrameTimes {
    std::vector<double> wall_ms;
    std::vector<double> cpu_ms;
    std::vector<double> leaves;    // drawn per frame
    std::vector<double> triangles; // of the terrain, per frame
    FrameStatsFile stats;          // of the frames that drew terrain: how sharp it was

    void append(const FrameTimes& more)
    {
        for (auto [to, from] : {std::pair{&wall_ms, &more.wall_ms}, std::pair{&cpu_ms, &more.cpu_ms},
                                std::pair{&leaves, &more.leaves}, std::pair{&triangles, &more.triangles}})
            to->insert(to->end(), from->begin(), from->end());
        for (const FrameStatsFile::Row& row : more.stats.rows())
            stats.add(row.dt_ms, row.leaves, row.sharp_share, row.pending_tiles);
    }
};

double process_cpu_ms()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

class FrameRecorder {
public:
    FrameRecorder() : m_wall(Clock::now()), m_cpu(process_cpu_ms()) {}
    // app: the frame drew terrain whose figures go with the times (null: it did not).
    void frame_done(App* app)
    {
        // A frame that sampled the passes waited for each of them: it counts for the
        // breakdown, not for the frame times.
        if (app && app->renderer().profiler && app->renderer().profiler->sampling()) {
            m_wall = Clock::now();
            m_cpu = process_cpu_ms();
            return;
        }
        if (app) {
            const TerrainFrameStats& stats = app->terrain().last_frame_stats();
            times.leaves.push_back(double(stats.drawn));
            times.triangles.push_back(double(stats.triangles));
        }
        const Clock::time_point wall = Clock::now();
        const double cpu = process_cpu_ms();
        if (app) {
            const TerrainFrameStats& stats = app->terrain().last_frame_stats();
            const TextureCache& cache = app->terrain().texture_cache;
            times.stats.add(std::chrono::duration<double, std::milli>(wall - m_wall).count(), stats.drawn,
                            stats.coverage.share(),
                            cache.service_stats(TileKind::TEXTURE).pending + cache.service_stats(TileKind::ELEVATION).pending);
        }
        times.wall_ms.push_back(std::chrono::duration<double, std::milli>(wall - m_wall).count());
        times.cpu_ms.push_back(cpu - m_cpu);
        m_wall = wall;
        m_cpu = cpu;
    }
    // The first frame includes the time before the loop.
    FrameTimes finish()
    {
        if (!times.wall_ms.empty()) {
            times.wall_ms.erase(times.wall_ms.begin());
            times.cpu_ms.erase(times.cpu_ms.begin());
        }
        return times;
    }

private:
    FrameTimes times;
    Clock::time_point m_wall;
    double m_cpu;
};

struct FrameFigures {
    double fps = 0;
    double median_ms = 0;
    double p95_ms = 0;
    double cpu_median_ms = 0;
    std::string breakdown; // per-pass medians, when the profiler ran
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median GPU time of each pass and CPU time of each part of the frames just measured.
std::string breakdown(const gfx::PassProfiler& profiler)
{
    std::string text = "    passes, drained (timer query):";
    for (size_t i = 0; i < profiler.gpu_names().size(); ++i)
        text += fmt::format(" {} {:.2f} ({:.2f}) ms;", profiler.gpu_names()[i], median(profiler.drained_samples(i)),
                            median(profiler.gpu_samples(i)));
    text += "\n    CPU:";
    for (size_t i = 0; i < profiler.cpu_names().size(); ++i)
        text += fmt::format(" {} {:.2f} ms;", profiler.cpu_names()[i], median(profiler.cpu_samples(i)));
    return text + "\n";
}

FrameFigures figures(const FrameTimes& times)
{
    std::vector<double> ms = times.wall_ms;
    FrameFigures f;
    f.cpu_median_ms = median(times.cpu_ms);
    if (!times.leaves.empty())
        f.breakdown = fmt::format("    terrain: {:.0f} leaves, {:.0f} triangles (medians)\n", median(times.leaves),
                                  median(times.triangles));
    // The whole run: its frames' time_s start at 0.
    const std::vector<FrameStatsFile::Row>& rows = times.stats.rows();
    if (!rows.empty()) {
        if (const auto sharp = times.stats.summarize(0.0, rows.back().time_s + rows.back().dt_ms / 1000.0))
            f.breakdown += fmt::format("    sharp share: mean {:.3f}, worst second {:.3f} (from {:.0f} s)\n", sharp->mean,
                                       sharp->worst_second, sharp->worst_second_from_s);
    }
    if (ms.empty())
        return f;
    std::sort(ms.begin(), ms.end());
    double total = 0;
    for (double v : ms)
        total += v;
    f.fps = 1000.0 * double(ms.size()) / total;
    f.median_ms = ms[ms.size() / 2];
    f.p95_ms = ms[std::min(ms.size() - 1, size_t(std::ceil(0.95 * double(ms.size()))) - 1)];
    return f;
}

// A straight flight north-east from the start, following the ground at the given height
// above it (metres), looking 10° down along the track.
FrameTimes fly(App& app, double above_ground, double speed, int first_frame, int end_frame)
{
    BaseCamera& camera = app.cameras().active();
    const double scale = double(App::SCALING_FACTOR);
    const double heading = 45.0 * DEG_TO_RAD;
    FrameRecorder recorder;
    for (int i = first_frame; i < end_frame; ++i) {
        const double distance = speed * FLIGHT_STEP_SECONDS * i * scale;
        const double x = std::sin(heading) * distance;
        const double z = -std::cos(heading) * distance;
        const LatLon below = app.world_frame().world_to_latlon(x, z);
        const std::optional<HeightSample> sample = app.heights().height_at(below, app.heights().max_zoom());
        const double ground = sample ? mercator_height(sample->metres, below.lat) : 0.0;
        camera.set_position(glm::vec3(float(x), float((ground + above_ground) * scale), float(z)));
        camera.set_rotation(glm::vec3(-0.1745f, float(-heading), 0.0f));
        pump_events();
        app.render_frame();
        recorder.frame_done(&app);
    }
    return recorder.finish();
}

// The settled start view without motion: drawing alone, nothing to stream.
FrameTimes still_frames(App& app)
{
    app.renderer().profiler->clear();
    FrameRecorder recorder;
    for (int i = 0; i < STILL_FRAMES; ++i) {
        pump_events();
        app.render_frame();
        recorder.frame_done(&app);
    }
    return recorder.finish();
}

// Clear, ImGui, swap: `bind` makes ready where the scene would be drawn, `resolve` finishes
// it after the clear, `swap` shows the frame.
template <class Bind, class Resolve, class Swap>
FrameTimes record_empty_frames(Bind bind, Resolve resolve, Swap swap)
{
    FrameRecorder recorder;
    for (int i = 0; i < EMPTY_FRAMES; ++i) {
        pump_events();
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
        bind();
        glClearColor(0.2f, 0.29803923f, 0.29803923f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        resolve();
        ImGui::Render();
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        swap();
        recorder.frame_done(nullptr);
    }
    return recorder.finish();
}

// The empty frame with the scene drawn at the given samples per pixel.
FrameTimes empty_frames(App& app, int samples)
{
    gfx::SceneTarget& target = app.renderer().scene_target;
    const Window& window = app.window();
    target.configure(int(window.width), int(window.height), samples);
    return record_empty_frames(
        [&] {
            target.bind();
            glViewport(0, 0, GLsizei(window.width), GLsizei(window.height));
        },
        [&] { target.resolve(); }, [&] { SDL_GL_SwapWindow(window.sdl_window); });
}

std::string seconds_text(const std::optional<double>& s)
{
    return s ? fmt::format("{:.2f} s", *s) : fmt::format("not settled within {:.0f} s", SETTLE_LIMIT_SECONDS);
}

double peak_memory_mib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Tile requests the local server has answered (both layers come from the one server), and the
// tiles that arrived over HTTP but were never handed to the renderer, summed over both layers.
std::pair<uint64_t, uint64_t> fetched_and_wasted(App& app, const Config& config)
{
    const std::string& url = config.texture_server.url;
    const size_t path = url.find('/', url.find("//") + 2);
    HttpClient http;
    const HttpResponse answer = http.get(url.substr(0, path) + "/stats");
    const std::string text(answer.body.begin(), answer.body.end());
    const size_t at = text.find("\"requests\":");
    const uint64_t requests = at == std::string::npos ? 0 : std::strtoull(text.c_str() + at + 11, nullptr, 10);
    uint64_t wasted = 0;
    for (TileKind kind : {TileKind::TEXTURE, TileKind::ELEVATION})
        wasted += app.terrain().texture_cache.service_stats(kind).wasted;
    return {requests, wasted};
}

// Decoded images the two tile services hold, not yet taken up by the renderer.
uint64_t images_held(App& app)
{
    return app.terrain().texture_cache.service_stats(TileKind::TEXTURE).stored +
           app.terrain().texture_cache.service_stats(TileKind::ELEVATION).stored;
}

// The yardstick the frame times are divided by: the empty frame (clear, ImGui, swap) of a
// window made as the program made its window before multisampling became a setting: the
// window's own framebuffer multisampled (3 samples asked for). Writes the medians of wall and
// process CPU milliseconds to result_file.
int yardstick_child(const fs::path& result_file)
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return 1;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 3);
    SDL_Window* window = SDL_CreateWindow("Windhollow yardstick", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 1280,
                                          720, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (context == nullptr) {
        SDL_Quit();
        return 1;
    }
    glewExperimental = GL_TRUE;
    glewInit();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ImGui_ImplSDL2_InitForOpenGL(window, context);
    ImGui_ImplOpenGL3_Init();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_MULTISAMPLE);
    glViewport(0, 0, 1280, 720);
    const FrameTimes times = record_empty_frames([] {}, [] {}, [&] { SDL_GL_SwapWindow(window); });
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    std::ofstream(result_file) << median(times.wall_ms) << ' ' << median(times.cpu_ms) << '\n';
    return 0;
}

// Runs the yardstick in a process of its own: wall and CPU milliseconds, or nothing.
std::optional<std::pair<double, double>> measure_yardstick()
{
    const support::TempDir root("wh-bench");
    const fs::path result_file = root / "yardstick.txt";
    run_self({"--yardstick", result_file.string()});
    std::optional<std::pair<double, double>> result;
    if (std::ifstream in(result_file); in) {
        std::pair<double, double> medians;
        if (in >> medians.first >> medians.second)
            result = medians;
    }
    return result;
}

int child(const std::string& scenario, const fs::path& base, const std::string& label, const fs::path& result_file)
{
    std::vector<std::string> report;
    {
        // The program's own start-up and tile lines stay out of the figures.
        console::Capture capture;
        const Clock::time_point start = Clock::now();
        Config config = load_config(base);
        App app(config);
        app.renderer().profiler =
            std::make_unique<gfx::PassProfiler>(gfx::frame::gpu_pass_names(), gfx::frame::cpu_part_names());
        const std::optional<double> start_settled = frames_until_settled(app, start);
        std::optional<double> jump_settled;
        if (scenario != "still") {
            const auto [fetched_before, wasted_before] = fetched_and_wasted(app, config);
            const Clock::time_point jump = Clock::now();
            app.select_start_position(JUMP_TARGET);
            jump_settled = frames_until_settled(app, jump);
            // Tiles that arrive after the settled frames (withdrawn ones still on the wire)
            // count too: a few more frames let them land.
            for (int i = 0; i < 10; ++i) {
                pump_events();
                app.render_frame();
            }
            const auto [fetched_after, wasted_after] = fetched_and_wasted(app, config);
            std::ofstream(result_file) << (jump_settled ? *jump_settled : -1.0) << ' ' << fetched_after - fetched_before
                                       << ' ' << wasted_after - wasted_before << ' '
                                       << config.texture_server.num_threads + config.elevation_server.num_threads
                                       << '\n';
        }
        // A still run makes no jump, so it has none to report.
        report.push_back(scenario == "still"
                             ? fmt::format("{}: start until settled {}\n", label, seconds_text(start_settled))
                             : fmt::format("{}: start until settled {}; jump to \"{}\" until settled {}\n", label,
                                           seconds_text(start_settled), start_positions[JUMP_TARGET].name,
                                           seconds_text(jump_settled)));

        if (scenario == "flight" || scenario == "still") {
            app.select_start_position(0);
            frames_until_settled(app, Clock::now());
            FrameFigures still = figures(still_frames(app));
            gfx::PassProfiler& profiler = *app.renderer().profiler;
            still.breakdown += breakdown(profiler);
            // BENCH_SCREENSHOT=file.png: a picture of the settled start view, to compare looks.
            if (const char* shot = std::getenv("BENCH_SCREENSHOT")) {
                FrameCapture& frame_capture = app.capture();
                frame_capture.settings.screenshot = shot;
                frame_capture.settings.exit_after_frames = 1;
                frame_capture.start_run();
                pump_events();
                app.render_frame();
                frame_capture.write_screenshot();
                frame_capture.settings = CaptureSettings{};
            }
            // The same view with the sun 15 degrees below the horizon: the night sky and its stars.
            Atmosphere& atmosphere = app.terrain().atmosphere;
            const double day_elevation = atmosphere.sun_elevation;
            atmosphere.sun_elevation = -15.0;
            FrameFigures night = figures(still_frames(app));
            night.breakdown += breakdown(profiler);
            atmosphere.sun_elevation = day_elevation;
            FrameFigures low;
            FrameFigures high;
            double half_peak = 0.0;
            size_t half_textures = 0;
            uint64_t half_held = 0;
            double low_peak = 0.0;
            if (scenario == "flight") {
                profiler.clear();
                FrameTimes low_times = fly(app, 500.0, 120.0, 0, FLIGHT_FRAMES / 2);
                half_peak = peak_memory_mib();
                half_textures = app.terrain().texture_cache.size();
                half_held = images_held(app);
                low_times.append(fly(app, 500.0, 120.0, FLIGHT_FRAMES / 2, FLIGHT_FRAMES));
                low = figures(low_times);
                low.breakdown += breakdown(profiler);
                low_peak = peak_memory_mib();
                app.select_start_position(0);
                profiler.clear();
                high = figures(fly(app, 3000.0, 250.0, 0, FLIGHT_FRAMES));
                high.breakdown += breakdown(profiler);
            }
            // The empty frame with the scene's framebuffer at 4 samples, and at this run's setting;
            // the yardstick (measured by the parent) is the empty frame of the former window.
            FrameFigures empty = figures(empty_frames(app, YARDSTICK_SAMPLES));
            const int samples = app.renderer().msaa_samples;
            const FrameFigures bare = figures(empty_frames(app, samples));
            FrameFigures yardstick = empty;
            if (const char* measured = std::getenv("BENCH_YARDSTICK"))
                std::sscanf(measured, "%lf %lf", &yardstick.median_ms, &yardstick.cpu_median_ms);
            const size_t textures = app.terrain().texture_cache.size();
            const GLubyte* renderer = glGetString(GL_RENDERER);
            report.push_back(fmt::format("GL renderer: {}, window {}x{}\n",
                                         renderer ? reinterpret_cast<const char*>(renderer) : "?", app.window().width,
                                         app.window().height));
            const auto line = [](const char* what, const FrameFigures& f) {
                return fmt::format("{:<28} {:7.2f} fps   median {:8.2f} ms   p95 {:8.2f} ms   process CPU {:8.2f} ms\n{}",
                                   what, f.fps, f.median_ms, f.p95_ms, f.cpu_median_ms, f.breakdown);
            };
            const bool flights = scenario == "flight";
            report.push_back(line("settled start view, still:", still));
            report.push_back(line("the same at night:", night));
            if (flights) {
                report.push_back(line("flight at 500 m:", low));
                report.push_back(line("flight at 3000 m:", high));
            }
            report.push_back(fmt::format("{:<28} median {:8.2f} ms   process CPU {:8.2f} ms\n",
                                         "empty frame, former window:", yardstick.median_ms, yardstick.cpu_median_ms));
            report.push_back(line("empty frame, 4 samples:", empty));
            report.push_back(line(fmt::format("empty frame, {} sample(s):", samples).c_str(), bare));
            report.push_back(fmt::format("scene drawn with {} sample(s) per pixel\n", samples));
            // One ratio per scenario measured, against each empty frame.
            const auto ratios = [&](const char* heading, double FrameFigures::*time, const FrameFigures& against,
                                    bool spread) {
                std::string text = fmt::format("    {}still {:.2f}x", heading, still.*time / against.*time);
                for (const auto& [name, f] : {std::pair{"500 m", &low}, std::pair{"3000 m", &high}}) {
                    if (flights)
                        text += fmt::format("; flight at {} {:.2f}x", name, (*f).*time / against.*time);
                    if (flights && spread)
                        text += fmt::format(" (p95/median {:.2f})", f->p95_ms / f->median_ms);
                }
                return text + "\n";
            };
            report.push_back("ratios to the empty frame of the former window (goals: still <= 8, flights <= 10, "
                             "flight p95/median <= 2):\n");
            report.push_back(ratios("", &FrameFigures::median_ms, yardstick, true));
            report.push_back(ratios("by process CPU time: ", &FrameFigures::cpu_median_ms, yardstick, false));
            report.push_back(ratios("to the 4-sample empty frame of this window: ", &FrameFigures::median_ms, empty, false));
            if (flights) {
                report.push_back(fmt::format("resident GPU textures after the flights: {}\n", textures));
                report.push_back(fmt::format("peak memory (max RSS): {:.1f} MiB after half the 500 m flight ({} frames, {} "
                                             "resident textures, {} decoded images held), {:.1f} MiB after all of it, "
                                             "{:.1f} MiB after both flights ({} decoded images held)\n",
                                             half_peak, FLIGHT_FRAMES / 2, half_textures, half_held, low_peak,
                                             peak_memory_mib(), images_held(app)));
            }
        }
    }
    for (const std::string& text : report)
        console::out(text);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 6 && std::string(argv[1]) == "--child")
        return child(argv[2], argv[3], argv[4], argv[5]);
    if (argc >= 3 && std::string(argv[1]) == "--yardstick")
        return yardstick_child(argv[2]);

    console::out("bench_frame: scripted flights, settle times; each scenario in its own process\n");
    if (const std::optional<std::pair<double, double>> yardstick = measure_yardstick()) {
        // The flight children divide by it.
        setenv("BENCH_YARDSTICK", fmt::format("{} {}", yardstick->first, yardstick->second).c_str(), 1);
    } else {
        console::err("bench_frame: the yardstick window could not be made; ratios use the 4-sample empty frame\n");
    }
    struct Scenario {
        int latency_ms;
        const char* kind;
        std::vector<std::string> server_args;
        const char* note;
        int workers = 0; // per server; 0: the shipped configuration's
    };
    const std::vector<Scenario> scenarios = {
        {0, "flight", {}, ""},
        {50, "settle", {}, ""},
        {150, "settle", {}, ""},
        {50, "settle", {"--flaky-first", "20"}, ", 20 % first answers 503"},
        {50, "settle", {"--drop-first", "5"}, ", 5 % first connections dropped"},
        {150, "settle", {}, ", 4 workers per server", 4},
    };
    int failures = 0;
    std::optional<double> jump_at_zero;
    std::vector<std::string> summary;
    // An argument picks the scenarios of one kind ("flight" or "settle"), or "still": only the
    // settled start view and the empty frames, for quick comparisons.
    const std::string only = argc >= 2 ? argv[1] : "";
    for (const Scenario& scenario : scenarios) {
        const bool still = only == "still" && std::string(scenario.kind) == "flight";
        if (!only.empty() && only != scenario.kind && !still)
            continue;
        std::vector<std::string> server_args = {"--latency-ms", std::to_string(scenario.latency_ms)};
        server_args.insert(server_args.end(), scenario.server_args.begin(), scenario.server_args.end());
        std::optional<JumpFigures> jump;
        const std::string label = fmt::format("tile server +{} ms{}", scenario.latency_ms, scenario.note);
        try {
            const support::TileServer server(server_args);
            jump = run_child(still ? "still" : scenario.kind, server, label, scenario.workers);
        } catch (const std::exception& error) {
            console::eprint("bench_frame: the tile server did not start: {}\n", error.what());
            return 1;
        }
        if (still)
            continue;
        if (!jump) {
            ++failures;
            continue;
        }
        if (scenario.latency_ms == 0 && jump->seconds >= 0)
            jump_at_zero = jump->seconds;
        const double bound = double(jump->fetched) / double(std::max(jump->connections, 1)) *
                                 (scenario.latency_ms / 1000.0) + jump_at_zero.value_or(0.0);
        summary.push_back(fmt::format(
            "jump, {}: settled {}, bound {:.2f} s ({:.2f}x), {} tiles fetched over {} connections, {} never drawn "
            "({:.1f} %)\n",
            label, jump->seconds >= 0 ? fmt::format("{:.2f} s", jump->seconds) : std::string("never"), bound,
            jump->seconds >= 0 ? jump->seconds / bound : 0.0, jump->fetched, jump->connections, jump->wasted,
            jump->fetched > 0 ? 100.0 * double(jump->wasted) / double(jump->fetched) : 0.0));
    }
    for (const std::string& line : summary)
        console::out(line);
    return failures == 0 ? 0 : 1;
}
