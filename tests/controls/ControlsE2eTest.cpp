// The program on an X server of its own, driven with real X input (xdotool) and judged from its
// capture of the last frame: each run is a walk-through that ends with SIGTERM, which completes
// the frame in progress and writes the screenshot. On failure the screenshots are kept and
// named in the log.

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>

#include <unistd.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "gfx/Image.h"
#include "tests/support/Support.h"

namespace {

using namespace std::chrono_literals;

// The fraction of the region's pixels for which the test holds.
double fraction(const gfx::Image& image, int x0, int y0, int x1, int y1, const std::function<bool(const unsigned char*)>& test)
{
    int64_t count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            count += test(image.data + (size_t(y) * image.width + x) * 3);
    return double(count) / double(int64_t(x1 - x0) * (y1 - y0));
}

// ImGui's window background: 6 % grey at 94 % opacity over the scene, dark grey with little
// colour. The Options window's closed headers cover a good part of its region.
bool window_background(const unsigned char* p)
{
    const int hi = std::max({p[0], p[1], p[2]}), lo = std::min({p[0], p[1], p[2]});
    return lo >= 13 && hi <= 32 && hi - lo <= 6;
}
bool sky(const unsigned char* p) { return p[2] > 90 && p[2] > p[0] + 20; }

// Runs a program on the private display and waits for it; returns its output.
std::string run(const std::filesystem::path& program, const std::vector<std::string>& args, const std::string& display)
{
    support::Process process(program, {args, {{"DISPLAY", display}}});
    EXPECT_EQ(process.wait(60s), 0) << process.describe();
    return process.out();
}

// An Xvfb of this test program's own: real pointer and keyboard input is global to a display,
// so programs run side by side on a shared one would move each other's pointer.
class Display {
public:
    Display()
    {
        for (int n = 100 + getpid() % 400, tries = 0; tries < 50 && name.empty(); ++n, ++tries) {
            if (std::filesystem::exists(fmt::format("/tmp/.X{}-lock", n)))
                continue;
            const std::string candidate = fmt::format(":{}", n);
            server = std::make_unique<support::Process>(
                "/usr/bin/Xvfb", support::ProcessOptions{{candidate, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"}});
            // Up once it takes connections; another server holding the number ends it.
            for (int i = 0; i < 150 && server->running() && name.empty(); ++i) {
                if (support::Process("/usr/bin/xdotool", {{"getdisplaygeometry"}, {{"DISPLAY", candidate}}}).wait(5s) == 0)
                    name = candidate;
                else
                    std::this_thread::sleep_for(100ms);
            }
        }
    }
    ~Display()
    {
        server->terminate();
    }

    std::string name;
    std::unique_ptr<support::Process> server;
};

// One run of the program: started, its window focused with the pointer over the scene, then
// driven with xdotool commands, ended with SIGTERM and its last frame loaded.
class Walkthrough {
public:
    explicit Walkthrough(const std::string& name) : m_shot(std::filesystem::current_path() / ("e2e-" + name + ".png"))
    {
        static Display display;
        m_display = display.name;
        EXPECT_FALSE(m_display.empty()) << "no X server of its own could be started";
        m_program = std::make_unique<support::Process>(
            WH_EXECUTABLE_PATH, support::ProcessOptions{{support::make_base_dir(m_dir, m_server).string()},
                                                        {{"XDG_DATA_HOME", (m_dir / "data").string()},
                                                         {"WINDHOLLOW_SCREENSHOT", m_shot.string()},
                                                         {"DISPLAY", m_display}}});
        EXPECT_TRUE(m_program->wait_for_output("Read flightmodel config from", 120s)) << m_program->describe();
        m_window = run("/usr/bin/xdotool", {"search", "--sync", "--name", "^Windhollow$"}, m_display);
        m_window = m_window.substr(0, m_window.find('\n'));
        xdotool({"windowfocus", "--sync", m_window, "mousemove", "--window", m_window, "900", "400"});
    }
    ~Walkthrough()
    {
        if (::testing::Test::HasFailure())
            std::printf("Screenshot kept: %s\n", m_shot.c_str());
        else
            std::filesystem::remove(m_shot);
    }

    void xdotool(std::vector<std::string> args)
    {
        for (std::string& arg : args)
            arg = arg == "WINDOW" ? m_window : arg;
        run("/usr/bin/xdotool", args, m_display);
    }
    // The time a frame takes just now, measured with key R (its binding prints a line in the
    // frame that takes the key); reloading makes the figure err on the long side.
    double frame_seconds()
    {
        const auto start = std::chrono::steady_clock::now();
        const size_t before = m_program->out().size();
        xdotool({"key", "r"});
        EXPECT_TRUE(support::wait_until([&] { return m_program->out().find("Reloaded all shaders!", before) != std::string::npos; }, 60s));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const gfx::Image& finish()
    {
        m_program->terminate();
        EXPECT_EQ(m_program->wait(60s), 0) << m_program->describe();
        EXPECT_TRUE(m_image.load(m_shot, false)) << m_shot;
        return m_image;
    }

private:
    support::TempDir m_dir{"wh-e2e"};
    support::TileServer m_server;
    std::string m_display, m_window;
    std::filesystem::path m_shot;
    std::unique_ptr<support::Process> m_program;
    gfx::Image m_image;
};

// Keys I (twice: shown again) and H, then a click that opens "FlightModel" and K held (read
// from the keyboard state whoever has the focus) while wheel notches scroll down to the
// throttle slider: the Options window, the Help window and the throttle at its top show.
TEST(ControlsE2e, OverlayKeysAndTheThrottleKey)
{
    Walkthrough run("overlay");
    // ImGui toggles a header on the release in a frame after the press and scrolls to new
    // content a frame later: with the pointer over the overlay no key tells when a frame has
    // passed, so the steps are a few frame times apart (measured first, over the scene).
    const std::string pause = std::to_string(std::clamp(2.0 * run.frame_seconds(), 1.0, 20.0));
    run.xdotool({"key", "--clearmodifiers", "i", "i", "h"});
    run.xdotool({"mousemove", "--window", "WINDOW", "100", "162", "sleep", pause, "click", "1", "sleep", pause});
    std::vector<std::string> hold = {"keydown", "k"};
    for (int i = 0; i < std::max(2, int(std::ceil(2.0 * std::stod(pause)))); ++i)
        hold.insert(hold.end(), {"click", "5", "sleep", "1"});
    hold.insert(hold.end(), {"keyup", "k", "sleep", pause});
    run.xdotool(hold);
    const gfx::Image& image = run.finish();
    ASSERT_TRUE(image.valid());
    EXPECT_GT(fraction(image, 10, 30, 280, 190, window_background), 0.3) << "the Options window";
    EXPECT_GT(fraction(image, 400, 420, 880, 600, window_background), 0.8) << "the Help window";
    EXPECT_GT(fraction(image, 320, 20, 1260, 60, sky), 0.9) << "sky above the level view";
    // The throttle slider's grab (ImGui's SliderGrab colour) sits at x 31 for 0, past 200 near 1.
    int first = -1, last = -1;
    for (int y = 19; y < 200; ++y)
        for (int x = 0; x < 300; ++x) {
            const unsigned char* p = image.data + (size_t(y) * image.width + x) * 3;
            if (std::abs(p[0] - 61) <= 6 && std::abs(p[1] - 133) <= 6 && std::abs(p[2] - 224) <= 6) {
                first = first < 0 ? x : std::min(first, x);
                last = std::max(last, x);
            }
        }
    EXPECT_TRUE(first > 190 && last - first <= 14) << "throttle grab at x " << first << ".." << last;
}

// Key I hides the overlay, H then shows nothing, and a left drag of 450 pixels down at 0.2
// degrees per pixel turns the free camera from the level view to the ground.
TEST(ControlsE2e, HiddenOverlayAndADragThatTurnsTheView)
{
    Walkthrough run("drag");
    run.xdotool({"key", "--clearmodifiers", "i", "h"});
    run.xdotool({"mousemove", "--window", "WINDOW", "900", "150", "mousedown", "1"});
    run.xdotool({"mousemove_relative", "--", "0", "450"});
    run.xdotool({"mouseup", "1"});
    const gfx::Image& image = run.finish();
    ASSERT_TRUE(image.valid());
    EXPECT_LT(fraction(image, 10, 30, 280, 190, window_background), 0.1) << "no Options window";
    EXPECT_LT(fraction(image, 400, 420, 880, 600, window_background), 0.1) << "no Help window";
    EXPECT_LT(fraction(image, 20, 20, 1260, 140, sky), 0.1) << "the view turned down";
}

} // namespace
