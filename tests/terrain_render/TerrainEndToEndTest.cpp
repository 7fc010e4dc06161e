// The program at its default place against the local tile server: the settled picture (sky
// above, lit imagery below, no holes), the start-up lines, the warm disk cache, and a start
// with the tile server gone.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/Config.h"
#include "gfx/Image.h"
#include "tests/support/BaseDir.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"
#include "tiles/WebMercator.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Enough frames to settle at llvmpipe's pace with room to spare; the settled exit comes first.
constexpr const char* FRAME_LIMIT = "400";
constexpr auto RUN_TIMEOUT = 280s;

// Screenshot regions, in a 1280 × 720 frame: the overlay's options window covers the top left
// and the status bar the bottom rows, so both are left out.
constexpr int OVERLAY_RIGHT = 320;
constexpr int OVERLAY_BOTTOM = 210;
constexpr int STATUS_BAR_TOP = 695;

struct Rgb {
    double r = 0, g = 0, b = 0;
    double luminance() const { return 0.2126 * r + 0.7152 * g + 0.0722 * b; }
};

class Picture {
public:
    explicit Picture(const fs::path& path) { m_image.load(path, false); }
    bool valid() const { return m_image.valid(); }
    int width() const { return m_image.width; }
    int height() const { return m_image.height; }

    Rgb at(int x, int y) const
    {
        const unsigned char* p = m_image.data + (static_cast<size_t>(y) * m_image.width + x) * 3;
        return {double(p[0]), double(p[1]), double(p[2])};
    }

    // Mean colour of rows [top, bottom) from column left on.
    Rgb mean(int top, int bottom, int left = 0) const
    {
        Rgb sum;
        int n = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < m_image.width; ++x) {
                const Rgb p = at(x, y);
                sum.r += p.r;
                sum.g += p.g;
                sum.b += p.b;
                ++n;
            }
        }
        return {sum.r / n, sum.g / n, sum.b / n};
    }

private:
    gfx::Image m_image;
};

bool is_clear_colour(const Rgb& p)
{
    return std::abs(p.r - 51) <= 2 && std::abs(p.g - 76) <= 2 && std::abs(p.b - 76) <= 2;
}

bool is_black(const Rgb& p) { return p.r < 8 && p.g < 8 && p.b < 8; }
bool is_magenta(const Rgb& p) { return p.r > 200 && p.b > 200 && p.g < 60; }

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

int first_line_starting(const std::vector<std::string>& lines, const std::string& prefix)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

class TerrainEndToEnd : public ::testing::Test {
protected:
    support::ProcessOptions options(const fs::path& base, const fs::path& screenshot)
    {
        support::ProcessOptions result;
        result.args = {base.string()};
        result.env = {{"XDG_DATA_HOME", (dir / "data").string()},
                      {"WINDHOLLOW_EXIT_WHEN_SETTLED", "1"},
                      {"WINDHOLLOW_EXIT_AFTER_FRAMES", FRAME_LIMIT},
                      {"WINDHOLLOW_SCREENSHOT", screenshot.string()}};
        return result;
    }

    // The preloaded tiles of the default place: zoom 7 around the start position.
    static std::vector<std::string> preloaded_paths()
    {
        const Config defaults;
        const TileId largest = tile_at(defaults.start_position, 7);
        return {fmt::format("/imagery/{}/{}/{}.", largest.zoom, largest.x, largest.y),
                fmt::format("/elevation/rg/{}/{}/{}.", largest.zoom, largest.x, largest.y)};
    }

    support::TempDir dir{"wh-terrain-e2e"};
};

TEST_F(TerrainEndToEnd, SettledViewShowsSkyAndReliefAndAWarmCacheFetchesNothingPreloaded)
{
    support::TileServer server;
    const fs::path base = support::make_base_dir(dir, server);

    // Cold start.
    const fs::path cold_shot = dir / "cold.png";
    {
        support::Process program(WH_EXECUTABLE_PATH, options(base, cold_shot));
        const support::ExitStatus status = program.wait(RUN_TIMEOUT);
        ASSERT_TRUE(status.success()) << status.describe() << "\n" << program.describe();

        const std::vector<std::string> lines = lines_of(program.out());
        const int base_line = first_line_starting(lines, "Base Path: ");
        const int start_line = first_line_starting(lines, "Start Position: ");
        const int largest_line = first_line_starting(lines, "Largest Tile: ");
        const int shot_line = first_line_starting(lines, "Screenshot: ");
        ASSERT_GE(base_line, 0) << program.out();
        EXPECT_LT(base_line, start_line);
        EXPECT_LT(start_line, largest_line);
        EXPECT_LT(largest_line, shot_line);
        EXPECT_EQ(lines.at(static_cast<size_t>(start_line)), "Start Position: lat=47.257600, lon=11.351300");
        const Config defaults;
        EXPECT_EQ(lines.at(static_cast<size_t>(largest_line)),
                  "Largest Tile: " + to_string(tile_at(defaults.start_position, 7)));
        EXPECT_EQ(shot_line, static_cast<int>(lines.size()) - 1) << "the screenshot line is the last";
        EXPECT_EQ(program.err().find("Error"), std::string::npos) << program.err();
    }

    const Picture picture(cold_shot);
    ASSERT_TRUE(picture.valid()) << cold_shot;
    ASSERT_EQ(picture.width(), 1280);
    ASSERT_EQ(picture.height(), 720);

    // Upper part: sky, blue, brighter toward the horizon.
    const Rgb zenith_band = picture.mean(0, 40, OVERLAY_RIGHT);
    const Rgb lower_sky_band = picture.mean(OVERLAY_BOTTOM, OVERLAY_BOTTOM + 40, OVERLAY_RIGHT);
    EXPECT_GT(zenith_band.b, zenith_band.r + 20) << "blue sky at the top";
    EXPECT_GT(lower_sky_band.b, lower_sky_band.r) << "still sky below the overlay";
    EXPECT_GT(lower_sky_band.luminance(), zenith_band.luminance() + 5) << "the sky brightens toward the horizon";

    // Lower part: ground, neither holes nor a flat colour.
    int holes = 0;
    double sum = 0;
    double sum_sq = 0;
    int n = 0;
    for (int y = 480; y < STATUS_BAR_TOP; y += 2) {
        for (int x = 0; x < picture.width(); x += 2) {
            const Rgb p = picture.at(x, y);
            holes += (is_clear_colour(p) || is_black(p) || is_magenta(p)) ? 1 : 0;
            sum += p.luminance();
            sum_sq += p.luminance() * p.luminance();
            ++n;
        }
    }
    const double mean = sum / n;
    const double deviation = std::sqrt(std::max(sum_sq / n - mean * mean, 0.0));
    EXPECT_EQ(holes, 0) << "pixels of the clear colour, black or magenta in the ground";
    EXPECT_GT(deviation, 8.0) << "imagery and relief vary across the ground";
    const Rgb ground = picture.mean(480, STATUS_BAR_TOP);
    EXPECT_LT(ground.b, zenith_band.b) << "the ground is not sky-coloured";
    EXPECT_GT(mean, 30.0) << "the ground is lit";

    // Warm start: the same server and cache directory; the preloaded tiles come from disk.
    server.reset_stats();
    const fs::path warm_shot = dir / "warm.png";
    {
        support::Process program(WH_EXECUTABLE_PATH, options(base, warm_shot));
        const support::ExitStatus status = program.wait(RUN_TIMEOUT);
        ASSERT_TRUE(status.success()) << status.describe() << "\n" << program.describe();
    }
    const support::TileServerStats stats = server.stats();
    for (const std::string& path : stats.paths) {
        for (const std::string& preloaded : preloaded_paths()) {
            EXPECT_EQ(path.find(preloaded), std::string::npos) << path << " was fetched again";
        }
    }
    EXPECT_EQ(stats.unexpected, 0);
    EXPECT_TRUE(Picture(warm_shot).valid());
}

TEST_F(TerrainEndToEnd, WithoutTheTileServerTheProgramStillDrawsTheSkyAndExits)
{
    fs::path base;
    {
        support::TileServer server;
        base = support::make_base_dir(dir, server);
        server.stop();
    }
    const fs::path shot = dir / "offline.png";
    support::ProcessOptions opts = options(base, shot);
    opts.env["WINDHOLLOW_EXIT_AFTER_FRAMES"] = "20";
    support::Process program(WH_EXECUTABLE_PATH, opts);
    const support::ExitStatus status = program.wait(RUN_TIMEOUT);
    ASSERT_TRUE(status.success()) << status.describe() << "\n" << program.describe();

    const std::vector<std::string> lines = lines_of(program.out());
    const int largest_line = first_line_starting(lines, "Largest Tile: ");
    const int shot_line = first_line_starting(lines, "Screenshot: ");
    ASSERT_GE(largest_line, 0) << program.out();
    EXPECT_LT(first_line_starting(lines, "Start Position: "), largest_line);
    EXPECT_LT(largest_line, shot_line);
    EXPECT_EQ(shot_line, static_cast<int>(lines.size()) - 1) << "the screenshot line is the last";
    // The preload's two fetches fail and say so on standard error.
    for (const std::string& preloaded : preloaded_paths()) {
        EXPECT_NE(program.err().find(preloaded), std::string::npos) << preloaded << " in\n" << program.err();
    }

    const Picture picture(shot);
    ASSERT_TRUE(picture.valid());
    const Rgb top = picture.mean(0, 40, OVERLAY_RIGHT);
    EXPECT_GT(top.b, top.r + 20) << "the sky is drawn without any tile";
    const Rgb horizon = picture.mean(OVERLAY_BOTTOM, OVERLAY_BOTTOM + 40, OVERLAY_RIGHT);
    EXPECT_GT(horizon.luminance(), top.luminance());
}

} // namespace
