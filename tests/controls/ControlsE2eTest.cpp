// The program under a real X server (an Xvfb of the test's own) driven with real X input
// (xdotool): the overlay keys, a mouse drag and the throttle key, judged from the program's
// own capture of its last frame. Each run ends with SIGTERM, which completes the frame in progress (the X events sent
// before it are taken in the same frame or earlier) and writes the screenshot.
//
// On failure the screenshots stay where the log says; on success they are removed.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "gfx/Image.h"
#include "tests/support/BaseDir.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

#ifndef WH_EXECUTABLE_PATH
#error "the end-to-end tests need the program (WH_EXECUTABLE_PATH)"
#endif

namespace {

using namespace std::chrono_literals;

const std::filesystem::path XDOTOOL = "/usr/bin/xdotool";
const std::filesystem::path XVFB = "/usr/bin/Xvfb";

// Where the Options window is (top-left) and where the scene can be touched without touching
// an overlay window, in window pixels of the default 1280 x 720 window.
constexpr int SCENE_X = 900;
constexpr int SCENE_Y = 400;

// A rectangle of window pixels.
struct Region {
    int x0, y0, x1, y1;
};

// Fraction of pixels in the region that look like ImGui's window background: the default
// style's 6% grey at 94% opacity, 14.4 + 0.06 x the scene behind in each channel, so dark
// grey from 14 to 30 with little colour (unlike black, or the scene itself). The Options
// window's closed headers cover a good part of its region, so about 0.4 means shown.
double window_background_fraction(const gfx::Image& image, Region r)
{
    int64_t count = 0;
    int64_t total = 0;
    for (int y = r.y0; y < r.y1; ++y) {
        for (int x = r.x0; x < r.x1; ++x) {
            const unsigned char* p = image.data + (static_cast<size_t>(y) * image.width + x) * image.channels;
            const int hi = std::max({p[0], p[1], p[2]});
            const int lo = std::min({p[0], p[1], p[2]});
            if (lo >= 13 && hi <= 32 && hi - lo <= 6)
                ++count;
            ++total;
        }
    }
    return total == 0 ? 0.0 : static_cast<double>(count) / static_cast<double>(total);
}

// Horizontal extent of the pixels of ImGui's slider-grab colour within the region, or -1, -1.
std::pair<int, int> grab_extent(const gfx::Image& image, Region r)
{
    int first = -1;
    int last = -1;
    for (int y = r.y0; y < r.y1; ++y) {
        for (int x = r.x0; x < r.x1; ++x) {
            const unsigned char* p = image.data + (static_cast<size_t>(y) * image.width + x) * image.channels;
            // SliderGrab (0.24, 0.52, 0.88); the active grab's colour is the check mark's too.
            const bool grab = std::abs(p[0] - 61) <= 6 && std::abs(p[1] - 133) <= 6 && std::abs(p[2] - 224) <= 6;
            if (grab) {
                first = first < 0 ? x : std::min(first, x);
                last = std::max(last, x);
            }
        }
    }
    return {first, last};
}

// Fraction of sky-like pixels in the region: blue clearly above red, not dark.
double sky_fraction(const gfx::Image& image, Region r)
{
    int64_t count = 0;
    int64_t total = 0;
    for (int y = r.y0; y < r.y1; ++y) {
        for (int x = r.x0; x < r.x1; ++x) {
            const unsigned char* p = image.data + (static_cast<size_t>(y) * image.width + x) * image.channels;
            if (p[2] > 90 && p[2] > p[0] + 20)
                ++count;
            ++total;
        }
    }
    return total == 0 ? 0.0 : static_cast<double>(count) / static_cast<double>(total);
}

// Mean absolute difference per channel between two pictures of the same size in the region.
double mean_difference(const gfx::Image& a, const gfx::Image& b, Region r)
{
    if (a.width != b.width || a.height != b.height)
        return 255.0;
    double sum = 0.0;
    int64_t count = 0;
    for (int y = r.y0; y < r.y1; ++y) {
        for (int x = r.x0; x < r.x1; ++x) {
            const size_t i = (static_cast<size_t>(y) * a.width + x) * a.channels;
            for (int c = 0; c < 3; ++c)
                sum += std::abs(a.data[i + c] - b.data[i + c]);
            count += 3;
        }
    }
    return count == 0 ? 0.0 : sum / static_cast<double>(count);
}

// An X server of this test program's own (Xvfb on a free display number): real pointer and
// keyboard input is global to a display, so tests that run side by side on a shared one
// would move each other's pointer and steal each other's focus.
class PrivateDisplay {
public:
    PrivateDisplay()
    {
        for (int n = 100 + static_cast<int>(::getpid() % 400), tries = 0; tries < 50; ++n, ++tries) {
            std::string name = ":";
            name += std::to_string(n);
            std::string lock = "/tmp/.X";
            lock += std::to_string(n);
            lock += "-lock";
            if (std::filesystem::exists(lock))
                continue;
            support::ProcessOptions options;
            options.args = {name, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"};
            auto server = std::make_unique<support::Process>(XVFB, options);
            if (answers(name, *server)) {
                m_server = std::move(server);
                m_name = name;
                return;
            }
        }
    }

    ~PrivateDisplay()
    {
        if (m_server) {
            m_server->terminate();
            m_server->wait(10s);
        }
    }

    bool ok() const { return m_server != nullptr; }
    const std::string& name() const { return m_name; }

private:
    // Whether the server comes up and takes connections (bounded); false if it ends first,
    // as it does when another server holds the number.
    static bool answers(const std::string& name, support::Process& server)
    {
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!server.running())
                return false;
            support::ProcessOptions options;
            options.args = {"getdisplaygeometry"};
            options.env = {{"DISPLAY", name}};
            support::Process probe(XDOTOOL, options);
            if (probe.wait(5s).success())
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    std::unique_ptr<support::Process> m_server;
    std::string m_name;
};

// The one private display of this test program.
PrivateDisplay& display()
{
    static PrivateDisplay instance;
    return instance;
}

// Runs xdotool on the private display with the arguments and waits for it; returns its
// standard output.
std::string xdotool(const std::vector<std::string>& args, std::chrono::milliseconds timeout = 20s)
{
    support::ProcessOptions options;
    options.args = args;
    options.env = {{"DISPLAY", display().name()}};
    support::Process process(XDOTOOL, options);
    const support::ExitStatus status = process.wait(timeout);
    EXPECT_TRUE(status.success()) << "xdotool failed: " << status.describe() << "\n" << process.describe();
    return process.out();
}

// One run of the program: started, driven, ended with SIGTERM, its last frame captured.
class ProgramRun {
public:
    explicit ProgramRun(const std::string& name)
        : m_shot(std::filesystem::path(WH_SCREENSHOT_DIR) / (name + ".png"))
    {
        std::filesystem::create_directories(m_shot.parent_path());
        std::filesystem::remove(m_shot);
        m_base = support::make_base_dir(m_dir, m_server);
        std::filesystem::create_directories(m_dir / "work");
        support::ProcessOptions options;
        options.args = {m_base.string()};
        options.env = {{"XDG_DATA_HOME", (m_dir / "data").string()},
                       {"WINDHOLLOW_SCREENSHOT", m_shot.string()},
                       {"DISPLAY", display().name()}};
        options.working_dir = m_dir / "work";
        m_program = std::make_unique<support::Process>(WH_EXECUTABLE_PATH, options);
    }

    // Waits until the window is up and the loop runs, gives the window the keyboard focus
    // and rests the pointer over the scene. False when that does not happen in time.
    bool ready()
    {
        if (!display().ok()) {
            ADD_FAILURE() << "no private X server could be started";
            return false;
        }
        if (!m_program->wait_for_output("Read flightmodel config from", 120s))
            return false;
        // --sync waits for the window to be mapped (bounded by xdotool's own wait below).
        const std::string found = xdotool({"search", "--sync", "--name", "^Windhollow$"});
        m_window = found.substr(0, found.find('\n'));
        if (m_window.empty())
            return false;
        xdotool({"windowfocus", "--sync", m_window});
        move(SCENE_X, SCENE_Y);
        return true;
    }

    // How long the program takes for a frame just now, measured with key R (the pointer must
    // be over the scene): its binding prints "Reloaded all shaders!" in the frame that takes
    // the key, and reloading makes the figure err on the long side.
    double frame_seconds()
    {
        const std::string marker = "Reloaded all shaders!";
        double worst = 0.0;
        for (int i = 0; i < 2; ++i) {
            const size_t before = count(m_program->out(), marker);
            const auto start = std::chrono::steady_clock::now();
            keys({"r"});
            const bool seen = m_program->wait_for(
                [&](const std::string& out, const std::string&) { return count(out, marker) > before; }, 60s);
            EXPECT_TRUE(seen) << "key R was not taken: " << m_program->describe();
            worst = std::max(worst, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        return worst;
    }

    void move(int x, int y) { xdotool({"mousemove", "--window", m_window, std::to_string(x), std::to_string(y)}); }
    void keys(const std::vector<std::string>& names)
    {
        std::vector<std::string> args = {"key", "--clearmodifiers"};
        args.insert(args.end(), names.begin(), names.end());
        xdotool(args);
    }
    void run_xdotool(const std::vector<std::string>& args, std::chrono::milliseconds timeout = 20s)
    {
        xdotool(args, timeout);
    }

    // SIGTERM, then the screenshot. Returns whether the program ended well and wrote it.
    bool finish()
    {
        m_program->terminate();
        const support::ExitStatus status = m_program->wait(60s);
        EXPECT_TRUE(status.success()) << status.describe() << "\n" << m_program->describe();
        if (!status.success() || !std::filesystem::exists(m_shot))
            return false;
        return m_image.load(m_shot, false);
    }

    const gfx::Image& image() const { return m_image; }
    const std::filesystem::path& shot() const { return m_shot; }
    std::string describe() { return m_program->describe(); }

private:
    static size_t count(const std::string& text, const std::string& part)
    {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
            ++n;
        return n;
    }

    support::TempDir m_dir{"wh-controls-e2e"};
    support::TileServer m_server;
    std::filesystem::path m_base;
    std::filesystem::path m_shot;
    std::unique_ptr<support::Process> m_program;
    std::string m_window;
    gfx::Image m_image;
};

// Keeps the screenshots of a failed test and names them in the log; removes them otherwise.
class ScreenshotKeeper {
public:
    void add(const std::filesystem::path& shot) { m_shots.push_back(shot); }
    ~ScreenshotKeeper()
    {
        const bool failed = testing::Test::HasFailure();
        for (const auto& shot : m_shots) {
            if (failed)
                std::printf("Screenshot kept: %s\n", shot.c_str());
            else
                std::filesystem::remove(shot);
        }
    }

private:
    std::vector<std::filesystem::path> m_shots;
};

const Region OPTIONS_REGION{10, 30, 280, 190};
// Below the help window's lines of text, inside it, away from the Options window.
const Region HELP_REGION{400, 420, 880, 600};

} // namespace

TEST(ControlsE2e, KeysIAndHShowAndHideTheOverlay)
{
    struct Case {
        const char* name;
        std::vector<std::string> keys;
        bool options;
        bool help;
    };
    const std::vector<Case> cases = {
        {"start", {}, true, false},
        {"i-hides", {"i"}, false, false},
        {"i-twice-shows", {"i", "i"}, true, false},
        {"h-shows-help", {"h"}, true, true},
        {"h-while-hidden", {"i", "h"}, false, false},
    };
    ScreenshotKeeper keeper;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramRun run(std::string("overlay-") + c.name);
        keeper.add(run.shot());
        ASSERT_TRUE(run.ready()) << run.describe();
        if (!c.keys.empty())
            run.keys(c.keys);
        ASSERT_TRUE(run.finish()) << run.describe();
        const double options = window_background_fraction(run.image(), OPTIONS_REGION);
        const double help = window_background_fraction(run.image(), HELP_REGION);
        std::printf("%s: Options region %.3f, Help region %.3f (%s)\n", c.name, options, help, run.shot().c_str());
        if (c.options)
            EXPECT_GT(options, 0.3) << "the Options window is not shown: " << run.shot();
        else
            EXPECT_LT(options, 0.1) << "the Options window is shown: " << run.shot();
        if (c.help)
            EXPECT_GT(help, 0.8) << "the Help window is not shown: " << run.shot();
        else
            EXPECT_LT(help, 0.1) << "the Help window is shown: " << run.shot();
    }
}

TEST(ControlsE2e, KeyKRaisesTheThrottleTheOverlayShows)
{
    // The Options window (300 x 200 at the top left); the throttle slider's frame spans x 29
    // to 224, its grab sits at x 31 to 40 for 0 and at 212 to 221 for 1.
    const Region options{0, 19, 300, 200};
    ScreenshotKeeper keeper;
    ProgramRun run("throttle-k");
    keeper.add(run.shot());
    ASSERT_TRUE(run.ready()) << run.describe();

    // Open "FlightModel" and scroll the window down to its throttle slider. ImGui takes a
    // click from where it last saw the pointer and toggles a header on the release in a frame
    // after the press, and the window can scroll to the new content only in a frame after
    // that. With the pointer over the overlay no key marker can tell when a frame has passed,
    // so the pointer rests on the header throughout, the steps are a few frame times apart
    // (measured just before), and wheel notches keep coming while K is held.
    const double frame = run.frame_seconds();
    const double pause = std::clamp(2.0 * frame, 1.0, 20.0);
    std::printf("frame time about %.2f s, pausing %.2f s between pointer steps\n", frame, pause);
    const auto within = [](double seconds) {
        return std::chrono::milliseconds(static_cast<int64_t>(1000.0 * seconds)) + 20s;
    };
    const std::string p = std::to_string(pause);
    run.move(100, 162);
    // A quick click: while a button is held SDL captures the pointer, and without a window
    // manager the position ImGui then reads is off by the window's place on the screen.
    run.run_xdotool({"sleep", p, "click", "1", "sleep", p}, within(2.0 * pause));
    // K is read from the keyboard state once a frame, whoever has the focus: held over a few
    // frames and well over the second it takes to reach about 0.95.
    std::vector<std::string> hold = {"keydown", "k"};
    const int seconds = static_cast<int>(std::ceil(std::max(2.0, 2.0 * pause)));
    for (int i = 0; i < seconds; ++i)
        hold.insert(hold.end(), {"click", "5", "sleep", "1"});
    hold.insert(hold.end(), {"keyup", "k", "sleep", p});
    run.run_xdotool(hold, within(seconds + pause));
    ASSERT_TRUE(run.finish()) << run.describe();

    const std::pair<int, int> grab = grab_extent(run.image(), options);
    std::printf("throttle grab after K: x %d..%d\n", grab.first, grab.second);
    ASSERT_GE(grab.first, 0) << "no throttle slider shown: " << run.shot();
    EXPECT_LE(grab.second - grab.first, 14) << "not one slider grab: " << run.shot();
    // Throttle 0 puts the grab at x 31; about 0.95 and more puts it past x 200.
    EXPECT_GT(grab.first, 190) << "the throttle did not rise: " << run.shot();
}

TEST(ControlsE2e, LeftDragTurnsTheActiveCamera)
{
    // The free camera starts level at 3000 m: sky in the upper part of the view. A drag of
    // 450 pixels down at 0.2 degrees per pixel turns it to look straight down at the ground.
    // Everything else being equal between the two runs, the upper band must change from sky
    // to something else.
    const Region top_band{20, 20, 1260, 140};
    ScreenshotKeeper keeper;
    std::vector<std::unique_ptr<ProgramRun>> runs;
    for (bool drag : {false, true}) {
        runs.push_back(std::make_unique<ProgramRun>(drag ? "drag-down" : "drag-none"));
        ProgramRun& run = *runs.back();
        keeper.add(run.shot());
        ASSERT_TRUE(run.ready()) << run.describe();
        run.keys({"i"}); // the scene alone
        if (drag) {
            run.move(SCENE_X, 150);
            run.run_xdotool({"mousedown", "1"});
            run.run_xdotool({"mousemove_relative", "--", "0", "450"});
            run.run_xdotool({"mouseup", "1"});
        }
        ASSERT_TRUE(run.finish()) << run.describe();
    }
    const gfx::Image& level = runs[0]->image();
    const gfx::Image& down = runs[1]->image();
    const double sky_level = sky_fraction(level, top_band);
    const double sky_down = sky_fraction(down, top_band);
    const double difference = mean_difference(level, down, top_band);
    std::printf("upper band: sky %.3f level, %.3f after the drag; mean difference %.1f\n", sky_level, sky_down,
                difference);
    ASSERT_GT(sky_level, 0.9) << "no sky above the level view: " << runs[0]->shot();
    EXPECT_GT(difference, 30.0) << "the view did not turn: " << runs[1]->shot();
}
