// The program under a real X server (Xvfb) driven with real X input (xdotool): the overlay
// keys, a mouse drag and the throttle key, judged from the program's own capture of its last
// frame. Each run ends with SIGTERM, which completes the frame in progress (the X events sent
// before it are taken in the same frame or earlier) and writes the screenshot.
//
// On failure the screenshots stay where the log says; on success they are removed.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

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

// Where the Options window is (top-left) and where the scene can be touched without touching
// an overlay window, in window pixels of the default 1280 x 720 window.
constexpr int SCENE_X = 900;
constexpr int SCENE_Y = 400;
// Long enough for several frames of the program even under a software GL driver.
const std::string UI_PAUSE = "2";

// A rectangle of window pixels.
struct Region {
    int x0, y0, x1, y1;
};

// Fraction of pixels in the region that look like ImGui's window background: dark grey
// (the default style's 6% grey at 94% opacity lets little of the scene through). The Options
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
            if (hi <= 34 && hi - lo <= 8)
                ++count;
            ++total;
        }
    }
    return total == 0 ? 0.0 : static_cast<double>(count) / static_cast<double>(total);
}

// Horizontal extent of the pixels of ImGui's slider-grab colours within the region, or -1, -1.
std::pair<int, int> grab_extent(const gfx::Image& image, Region r)
{
    int first = -1;
    int last = -1;
    for (int y = r.y0; y < r.y1; ++y) {
        for (int x = r.x0; x < r.x1; ++x) {
            const unsigned char* p = image.data + (static_cast<size_t>(y) * image.width + x) * image.channels;
            // SliderGrab (0.24, 0.52, 0.88) and SliderGrabActive (0.26, 0.59, 0.98).
            const bool grab = (std::abs(p[0] - 61) <= 6 && std::abs(p[1] - 133) <= 6 && std::abs(p[2] - 224) <= 6) ||
                              (std::abs(p[0] - 66) <= 6 && std::abs(p[1] - 150) <= 6 && std::abs(p[2] - 250) <= 6);
            if (grab) {
                first = first < 0 ? x : std::min(first, x);
                last = std::max(last, x);
            }
        }
    }
    return {first, last};
}

// Mean absolute difference between neighbouring pixels in the region: near 0 for a smooth
// sky or a plain colour, clearly more for imagery.
double texture_energy(const gfx::Image& image, Region r)
{
    double sum = 0.0;
    int64_t count = 0;
    for (int y = r.y0; y + 1 < r.y1; ++y) {
        for (int x = r.x0; x + 1 < r.x1; ++x) {
            const unsigned char* p = image.data + (static_cast<size_t>(y) * image.width + x) * image.channels;
            const unsigned char* right = p + image.channels;
            const unsigned char* below = p + static_cast<size_t>(image.width) * image.channels;
            for (int c = 0; c < 3; ++c)
                sum += std::abs(p[c] - right[c]) + std::abs(p[c] - below[c]);
            ++count;
        }
    }
    return count == 0 ? 0.0 : sum / static_cast<double>(count);
}

// Runs xdotool with the arguments and waits for it; returns its standard output.
std::string xdotool(const std::vector<std::string>& args)
{
    support::ProcessOptions options;
    options.args = args;
    support::Process process(XDOTOOL, options);
    const support::ExitStatus status = process.wait(20s);
    EXPECT_TRUE(status.success()) << "xdotool failed: " << status.describe() << "\n" << process.describe();
    return process.out();
}

// One run of the program: started, driven, ended with SIGTERM, its last frame captured.
class ProgramRun {
public:
    ProgramRun(const std::string& name, const std::string& imgui_ini = {})
        : m_shot(std::filesystem::path(WH_SCREENSHOT_DIR) / (name + ".png"))
    {
        std::filesystem::create_directories(m_shot.parent_path());
        std::filesystem::remove(m_shot);
        m_base = support::make_base_dir(m_dir, m_server);
        // The overlay keeps its window layout in imgui.ini in the working directory.
        std::filesystem::create_directories(m_dir / "work");
        if (!imgui_ini.empty())
            support::write_file(m_dir / "work/imgui.ini", imgui_ini);
        support::ProcessOptions options;
        options.args = {m_base.string()};
        options.env = {{"XDG_DATA_HOME", (m_dir / "data").string()}, {"WINDHOLLOW_SCREENSHOT", m_shot.string()}};
        options.working_dir = m_dir / "work";
        m_program = std::make_unique<support::Process>(WH_EXECUTABLE_PATH, options);
    }

    // Waits until the window is up and the loop runs, gives the window the keyboard focus
    // and rests the pointer over the scene. False when that does not happen in time.
    bool ready()
    {
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

    void move(int x, int y) { xdotool({"mousemove", "--window", m_window, std::to_string(x), std::to_string(y)}); }
    void keys(const std::vector<std::string>& names)
    {
        std::vector<std::string> args = {"key", "--clearmodifiers"};
        args.insert(args.end(), names.begin(), names.end());
        xdotool(args);
    }
    void run_xdotool(const std::vector<std::string>& args) { xdotool(args); }

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
    // A taller Options window (as a user would leave it) so that the flight-model section fits.
    const std::string ini = "[Window][Options]\nPos=0,0\nSize=300,600\nCollapsed=0\n";
    // The throttle slider's row once "FlightModel" is open, in the default style.
    const Region throttle_row{20, 228, 300, 258};
    ScreenshotKeeper keeper;
    std::pair<int, int> idle;
    std::pair<int, int> raised;
    for (bool hold_k : {false, true}) {
        ProgramRun run(hold_k ? "throttle-k" : "throttle-idle", ini);
        keeper.add(run.shot());
        ASSERT_TRUE(run.ready()) << run.describe();
        // Open "FlightModel". ImGui takes a click only from a pointer it has already seen over
        // the header in an earlier frame, and toggles on the release in the frame after the
        // press; with the pointer over the overlay no key marker can tell when a frame has
        // passed, so each step gets a pause of many frames.
        run.move(100, 162);
        run.run_xdotool({"sleep", UI_PAUSE, "click", "1", "sleep", UI_PAUSE});
        if (hold_k) {
            // K is read from the keyboard state every frame, whoever has the focus; held for
            // well over the second it takes to reach about 0.95.
            run.run_xdotool({"keydown", "k", "sleep", "1.5", "keyup", "k"});
        }
        ASSERT_TRUE(run.finish()) << run.describe();
        (hold_k ? raised : idle) = grab_extent(run.image(), throttle_row);
    }
    std::printf("throttle grab: idle x %d..%d, after K x %d..%d\n", idle.first, idle.second, raised.first, raised.second);
    ASSERT_GE(idle.first, 0) << "no slider grab found in the idle run";
    ASSERT_GE(raised.first, 0) << "no slider grab found after K";
    // Idle, the grab sits at the slider's left end; after K, near its right end.
    EXPECT_GT(raised.first, idle.first + 120) << "the throttle did not rise";
}

TEST(ControlsE2e, LeftDragTurnsTheActiveCamera)
{
    // The free camera starts level at 3000 m: sky in the upper part of the view. A drag of
    // 450 pixels down at 0.2 degrees per pixel turns it to look straight down: ground all over.
    const Region top_band{400, 20, 1240, 140};
    ScreenshotKeeper keeper;
    double level = 0.0;
    double turned = 0.0;
    for (bool drag : {false, true}) {
        ProgramRun run(drag ? "drag-down" : "drag-none");
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
        (drag ? turned : level) = texture_energy(run.image(), top_band);
    }
    std::printf("upper band texture: level %.3f, after the drag %.3f\n", level, turned);
    EXPECT_GT(turned, 3.0 * level + 1.0) << "the view did not turn down to the ground";
}
