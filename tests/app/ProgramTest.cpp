// The windhollow program as a user runs it: console lines in order, exit statuses, failures
// before any window, capture mode, signals, and the pictures it draws of the default place
// against the local tile server, cold, warm and with the server gone.

#include <cmath>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "app/Config.h"
#include "console/Console.h"
#include "gfx/Image.h"
#include "tests/support/Support.h"
#include "tiles/WebMercator.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// The mean luminance and blue minus red of rows [top, bottom) of a 1280 x 720 picture right of
// the overlay's Options window (or from `left`), and the parts of it.
std::pair<double, double> mean(const gfx::Image& image, int top, int bottom, int left = 320)
{
    double luminance = 0, blue = 0, n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < image.width; ++x, ++n) {
            const unsigned char* p = image.data + (size_t(y) * image.width + x) * 3;
            luminance += 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2];
            blue += p[2] - p[0];
        }
    return {luminance / n, blue / n};
}
constexpr int OVERLAY_BOTTOM = 210, STATUS_BAR_TOP = 695;

class ProgramTest : public ::testing::Test {
protected:
    static const support::TileServer& server()
    {
        static const support::TileServer instance;
        return instance;
    }
    // The program on a base directory pointed at the suite's tile server (or the given one).
    std::unique_ptr<support::Process> run(std::map<std::string, std::string> env, const support::TileServer* other = nullptr,
                                          const std::vector<std::string>& unset_env = {})
    {
        env["XDG_DATA_HOME"] = (dir / "data").string();
        if (!fs::exists(dir / "base"))
            support::make_base_dir(dir, other ? *other : server());
        return std::make_unique<support::Process>(WH_EXECUTABLE_PATH, support::ProcessOptions{{(dir / "base").string()}, env, unset_env});
    }
    static std::vector<std::string> preloaded() // the zoom-7 tiles around the default start
    {
        const TileId t = tile_at(Config().start_position, 7);
        const std::string numbers = std::to_string(t.zoom) + "/" + std::to_string(t.x) + "/" + std::to_string(t.y) + ".";
        return {"/imagery/" + numbers, "/elevation/rg/" + numbers};
    }
    support::TempDir dir{"wh-program"};
};

// Without a display (which would otherwise be the failure reported), a configuration that
// cannot be used ends the program before it reads anything else.
TEST_F(ProgramTest, ConfigurationAndDisplayFailuresEndWithStatusOne)
{
    support::make_base_dir(dir, server());
    const fs::path file = dir / "base" / support::CONFIG_FILE_PATH;
    const std::string valid = support::read_file(file);
    const std::tuple<const char*, std::string, bool> cases[] = {
        {nullptr, "Could not open " + console::quoted(file) + "\n", false},
        {R"({"elevation_encoding": "RG_ENCODED",)", "Could not parse " + console::quoted(file) + "\n", false},
        {valid.c_str(), "Could not initialise SDL video", true}};
    for (const auto& [document, error, read] : cases) {
        fs::remove(file);
        if (document)
            support::write_file(file, document);
        const std::unique_ptr<support::Process> program = run({}, nullptr, {"DISPLAY", "WAYLAND_DISPLAY"});
        EXPECT_EQ(program->wait(60s), 1) << program->describe();
        EXPECT_EQ(std::pair(program->err().rfind(error, 0), lines_of(program->err()).size()), std::pair(size_t(0), size_t(1))) << program->err();
        EXPECT_TRUE(std::regex_search(program->out(), std::regex(R"(^Windhollow \(Compiled [A-Z][a-z]{2} [ 0-9]\d \d{4} \d\d:\d\d:\d\d\)\n)")));
        EXPECT_EQ(std::pair(program->out().find("Get Pref Path: ") != std::string::npos, program->out().find("Base Path: ")),
                  std::pair(read, std::string::npos)) << program->out();
    }
}

TEST_F(ProgramTest, TheSettledDefaultViewShowsSkyAboveGroundAndAWarmStartFetchesNothingPreloaded)
{
    const fs::path cold = dir / "cold.png", warm = dir / "warm.png";
    auto program = run({{"WINDHOLLOW_EXIT_WHEN_SETTLED", "1"}, {"WINDHOLLOW_EXIT_AFTER_FRAMES", "400"}, {"WINDHOLLOW_SCREENSHOT", cold}});
    ASSERT_EQ(program->wait(280s), 0) << program->describe();
    const std::vector<std::string> out = lines_of(program->out());
    const auto at = [&](const std::string& prefix) {
        return std::find_if(out.begin(), out.end(), [&](const std::string& line) { return line.rfind(prefix, 0) == 0; }) - out.begin();
    };
    EXPECT_EQ(std::tuple(at("Get Pref Path: "), at("Start Position: ") - at("Base Path: "), at("Largest Tile: ") > at("Start Position: ")),
              std::tuple(1, 1, true)) << program->out();
    for (const std::string& line : {"Base Path: " + console::quoted(dir / "base"), std::string("Start Position: lat=47.257600, lon=11.351300"),
                                    "Largest Tile: " + to_string(tile_at(Config().start_position, 7))})
        EXPECT_NE(std::find(out.begin(), out.end(), line), out.end()) << line;
    EXPECT_EQ(out.back(), "Screenshot: " + console::quoted(cold)) << "the last line";
    EXPECT_EQ(program->err().find("Error"), std::string::npos) << program->err();
    gfx::Image picture;
    ASSERT_TRUE(picture.load(cold, false));
    ASSERT_EQ(std::pair(picture.width, picture.height), std::pair(1280, 720));
    const auto [zenith, zenith_blue] = mean(picture, 0, 40);
    const auto [horizon, horizon_blue] = mean(picture, OVERLAY_BOTTOM, OVERLAY_BOTTOM + 40);
    EXPECT_TRUE(zenith_blue > 20 && horizon_blue > 0 && horizon > zenith + 5) << "blue sky, brighter toward the horizon";
    int holes = 0;
    double sum = 0, squares = 0, n = 0;
    for (int y = 480; y < STATUS_BAR_TOP; y += 2)
        for (int x = 0; x < picture.width; x += 2, ++n) {
            const unsigned char* p = picture.data + (size_t(y) * picture.width + x) * 3;
            const double l = 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2];
            holes += (std::abs(p[0] - 51) <= 2 && std::abs(p[1] - 76) <= 2 && std::abs(p[2] - 76) <= 2) || l < 8 ||
                     (p[0] > 200 && p[2] > 200 && p[1] < 60); // the clear colour, black or magenta
            sum += l;
            squares += l * l;
        }
    EXPECT_EQ(holes, 0);
    EXPECT_GT(sum / n, 30.0) << "the ground is lit";
    EXPECT_GT(std::sqrt(squares / n - (sum / n) * (sum / n)), 8.0) << "imagery and relief vary";
    EXPECT_LT(mean(picture, 480, STATUS_BAR_TOP, 0).second, zenith_blue) << "the ground is not sky-coloured";

    // Warm, ended by SIGTERM: the preloaded tiles come from the disk; unusable capture values
    // are named and ignored; the frame in progress is completed and captured.
    server().reset_stats();
    program = run({{"WINDHOLLOW_EXIT_AFTER_FRAMES", "ten"}, {"WINDHOLLOW_EXIT_WHEN_SETTLED", "maybe"}, {"WINDHOLLOW_SCREENSHOT", warm}});
    ASSERT_TRUE(program->wait_for_output("Read flightmodel config from", 120s)) << program->describe();
    program->terminate();
    ASSERT_EQ(program->wait(60s), 0) << program->describe();
    EXPECT_NE(program->err().find("Ignoring WINDHOLLOW_EXIT_AFTER_FRAMES=\"ten\""), std::string::npos) << program->err();
    EXPECT_NE(program->err().find("Ignoring WINDHOLLOW_EXIT_WHEN_SETTLED=\"maybe\""), std::string::npos) << program->err();
    EXPECT_EQ(lines_of(program->out()).back(), "Screenshot: " + console::quoted(warm));
    ASSERT_TRUE(picture.load(warm, false));
    EXPECT_EQ(std::pair(picture.width, picture.height), std::pair(1280, 720));
    for (const std::string& path : server().stats().paths)
        for (const std::string& tile : preloaded())
            EXPECT_EQ(path.find(tile), std::string::npos) << path << " was fetched again";
}

TEST_F(ProgramTest, AScreenshotThatCannotBeWrittenFailsTheRun)
{
    const fs::path shot = dir / "missing" / "shot.png";
    const auto program = run({{"WINDHOLLOW_EXIT_AFTER_FRAMES", "2"}, {"WINDHOLLOW_SCREENSHOT", shot}});
    EXPECT_EQ(program->wait(120s), 1) << program->describe();
    EXPECT_NE(program->err().find("Could not write the screenshot " + console::quoted(shot)), std::string::npos) << program->err();
}

TEST_F(ProgramTest, WithoutTheTileServerTheSkyIsStillDrawn)
{
    auto gone = std::make_unique<support::TileServer>();
    support::make_base_dir(dir, *gone);
    gone.reset();
    const fs::path shot = dir / "offline.png";
    const auto program = run({{"WINDHOLLOW_EXIT_AFTER_FRAMES", "20"}, {"WINDHOLLOW_SCREENSHOT", shot}});
    ASSERT_EQ(program->wait(280s), 0) << program->describe();
    for (const std::string& tile : preloaded())
        EXPECT_NE(program->err().find(tile), std::string::npos) << tile << " is named in:\n" << program->err();
    EXPECT_EQ(lines_of(program->out()).back(), "Screenshot: " + console::quoted(shot));
    gfx::Image picture;
    ASSERT_TRUE(picture.load(shot, false));
    EXPECT_TRUE(mean(picture, 0, 40).second > 20 && mean(picture, OVERLAY_BOTTOM, OVERLAY_BOTTOM + 40).first > mean(picture, 0, 40).first)
        << "the sky is drawn without any tile";
}

} // namespace
