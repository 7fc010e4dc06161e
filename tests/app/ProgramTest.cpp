// The windhollow executable as a user runs it: console lines in order, exit statuses,
// configuration failures before any window, capture mode, signals and a missing display.

#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/Image.h"
#include "tests/support/BaseDir.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path EXECUTABLE = WH_EXECUTABLE_PATH;

class ProgramTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = std::make_unique<support::TileServer>(); }
    static void TearDownTestSuite() { s_server.reset(); }

    // A base directory pointed at the suite's tile server, with an optional edit.
    fs::path make_base(const support::ConfigEdit& edit = {})
    {
        return support::make_base_dir(m_dir, *s_server, edit);
    }

    support::ProcessOptions options(const fs::path& base, std::map<std::string, std::string> env = {})
    {
        support::ProcessOptions result;
        if (!base.empty())
            result.args = {base.string()};
        result.env = std::move(env);
        result.env["XDG_DATA_HOME"] = (m_dir / "data").string();
        return result;
    }

    static std::vector<std::string> lines(const std::string& text)
    {
        std::vector<std::string> result;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            result.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return result;
    }

    // Index of the first line starting with prefix, or -1.
    static int line_index(const std::vector<std::string>& all, const std::string& prefix)
    {
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i].rfind(prefix, 0) == 0)
                return int(i);
        return -1;
    }

    static void expect_banner(const std::string& out)
    {
        static const std::regex banner(R"(^Windhollow \(Compiled [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\)\n)");
        EXPECT_TRUE(std::regex_search(out, banner)) << out;
    }

    static inline std::unique_ptr<support::TileServer> s_server;
    support::TempDir m_dir{"wh-program"};
};

// Each document fails the load; the program says so on standard error and ends with status 1
// before opening a window — shown by running without a display, which would otherwise be the
// failure reported.
TEST_F(ProgramTest, ConfigurationFailuresEndBeforeAnyWindow)
{
    struct Case {
        const char* what;
        const char* document; // null: no file at all
        const char* prefix;
    };
    const Case cases[] = {
        {"missing file", nullptr, "Could not open "},
        {"bad JSON", R"({"elevation_encoding": "RG_ENCODED",)", "Could not parse "},
        {"trailing comment",
         R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}, "texture_server": {"url": "t"}} // x)",
         "Could not parse "},
        {"trailing text",
         R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}, "texture_server": {"url": "t"}} x)",
         "Could not parse "},
        {"wrong type", R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": 5}, "texture_server": {"url": "t"}})",
         "Could not parse "},
        {"null", R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}, "texture_server": null})",
         "Could not parse "},
        {"enum spelling",
         R"({"elevation_encoding": "rg_encoded", "elevation_server": {"url": "e"}, "texture_server": {"url": "t"}})",
         "Could not parse "},
        {"not an object", R"(["elevation_encoding"])", "Could not parse "},
        {"zero window width",
         R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}, "texture_server": {"url": "t"}, "window_width": 0})",
         "Could not parse "},
        {"one chunk vertex",
         R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}, "texture_server": {"url": "t"}, "chunk_vertex_count": 1})",
         "Could not parse "},
        {"negative threads",
         R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e", "num_threads": -1}, "texture_server": {"url": "t"}})",
         "Could not parse "},
        {"zoom too deep",
         R"({"elevation_encoding": "RG_ENCODED", "elevation_server": {"url": "e"}, "texture_server": {"url": "t", "max_zoom": 31}})",
         "Could not parse "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path base = make_base();
        fs::path file = base / support::CONFIG_FILE_PATH;
        if (c.document)
            support::write_file(file, c.document);
        else
            fs::remove(file);

        support::ProcessOptions opts = options(base);
        opts.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
        support::Process program(EXECUTABLE, opts);
        support::ExitStatus status = program.wait(30s);
        EXPECT_TRUE(status.exited && status.code == 1) << status.describe() << "\n" << program.describe();
        EXPECT_EQ(program.err(), std::string(c.prefix) + console::quoted(file) + "\n");
        expect_banner(program.out());
        EXPECT_EQ(program.out().find("Base Path: "), std::string::npos) << program.out();
    }
}

TEST_F(ProgramTest, RunsFramesPrintsItsLinesInOrderAndWritesTheLastFrame)
{
    fs::path base = make_base([](nlohmann::json& config) {
        config["window_width"] = 640;
        config["window_height"] = 360;
    });
    fs::path shot = m_dir / "shot.png";
    support::Process program(EXECUTABLE, options(base, {{"WINDHOLLOW_EXIT_AFTER_FRAMES", "5"},
                                                         {"WINDHOLLOW_SCREENSHOT", shot.string()}}));
    support::ExitStatus status = program.wait(120s);
    ASSERT_TRUE(status.success()) << status.describe() << "\n" << program.describe();

    const std::string out = program.out();
    expect_banner(out);
    std::vector<std::string> all = lines(out);
    const int pref = line_index(all, "Get Pref Path: ");
    const int base_line = line_index(all, "Base Path: ");
    const int start = line_index(all, "Start Position: ");
    const int screenshot = line_index(all, "Screenshot: ");
    EXPECT_EQ(line_index(all, "Get Base Path: "), -1) << "a base was given:\n" << out;
    EXPECT_EQ(pref, 1) << out;
    ASSERT_GE(base_line, 0) << out;
    EXPECT_EQ(all[size_t(base_line)], "Base Path: " + console::quoted(base)) << out;
    EXPECT_EQ(start, base_line + 1) << out;
    EXPECT_EQ(all[size_t(start)], "Start Position: lat=47.257600, lon=11.351300");
    EXPECT_LT(pref, base_line);
    EXPECT_GT(screenshot, start) << out;
    EXPECT_EQ(program.err().find("Ignoring"), std::string::npos) << program.err();

    gfx::Image image;
    ASSERT_TRUE(image.load(shot, false)) << shot;
    EXPECT_EQ(image.width, 640);
    EXPECT_EQ(image.height, 360);
}

TEST_F(ProgramTest, AScreenshotThatCannotBeWrittenFailsTheRun)
{
    fs::path base = make_base();
    fs::path shot = m_dir / "no-such-directory" / "shot.png";
    support::Process program(EXECUTABLE, options(base, {{"WINDHOLLOW_EXIT_AFTER_FRAMES", "2"},
                                                         {"WINDHOLLOW_SCREENSHOT", shot.string()}}));
    support::ExitStatus status = program.wait(120s);
    EXPECT_TRUE(status.exited && status.code == 1) << status.describe() << "\n" << program.describe();
    EXPECT_NE(program.err().find("Could not write the screenshot " + console::quoted(shot)), std::string::npos)
        << program.err();
    EXPECT_FALSE(fs::exists(shot));
}

TEST_F(ProgramTest, WithoutAnArgumentTheProgramDirectoryIsTheBase)
{
    // A copy of the program inside a prepared base directory finds the assets beside it.
    fs::path base = make_base();
    fs::path copy = base / "windhollow";
    fs::copy_file(EXECUTABLE, copy);
    fs::permissions(copy, fs::perms::owner_exec, fs::perm_options::add);

    support::Process program(copy, options({}, {{"WINDHOLLOW_EXIT_AFTER_FRAMES", "2"}}));
    support::ExitStatus status = program.wait(120s);
    ASSERT_TRUE(status.success()) << status.describe() << "\n" << program.describe();
    std::vector<std::string> all = lines(program.out());
    ASSERT_GE(all.size(), 3u) << program.out();
    EXPECT_EQ(all[1], "Get Base Path: " + console::quoted(std::string_view(base.string() + "/"))) << program.out();
    EXPECT_EQ(line_index(all, "Get Pref Path: "), 2) << program.out();
    EXPECT_EQ(all[size_t(line_index(all, "Base Path: "))], "Base Path: " + console::quoted(std::string_view(base.string() + "/")));
}

TEST_F(ProgramTest, SignalsEndTheLoopInOrderAndStillWriteTheFrame)
{
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig == SIGTERM ? "SIGTERM" : "SIGINT");
        fs::path base = make_base();
        fs::path shot = m_dir / ("signal-" + std::to_string(sig) + ".png");
        // Unusable capture values are named and ignored: the program runs on until the signal.
        support::Process program(EXECUTABLE, options(base, {{"WINDHOLLOW_EXIT_AFTER_FRAMES", "ten"},
                                                             {"WINDHOLLOW_EXIT_WHEN_SETTLED", "maybe"},
                                                             {"WINDHOLLOW_SCREENSHOT", shot.string()}}));
        ASSERT_TRUE(program.wait_for_output("Start Position: ", 60s)) << program.describe();
        EXPECT_TRUE(program.running()) << program.describe();
        program.signal(sig);
        support::ExitStatus status = program.wait(60s);
        ASSERT_TRUE(status.success()) << status.describe() << "\n" << program.describe();

        EXPECT_NE(program.err().find("Ignoring WINDHOLLOW_EXIT_AFTER_FRAMES=\"ten\""), std::string::npos) << program.err();
        EXPECT_NE(program.err().find("Ignoring WINDHOLLOW_EXIT_WHEN_SETTLED=\"maybe\""), std::string::npos)
            << program.err();
        EXPECT_NE(program.out().find("Screenshot: " + console::quoted(shot)), std::string::npos) << program.out();
        gfx::Image image;
        ASSERT_TRUE(image.load(shot, false)) << shot;
        EXPECT_EQ(image.width, 1280);
        EXPECT_EQ(image.height, 720);
    }
}

TEST_F(ProgramTest, NoDisplayFailsCleanly)
{
    fs::path base = make_base();
    support::ProcessOptions opts = options(base, {{"WINDHOLLOW_EXIT_AFTER_FRAMES", "1"}});
    opts.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
    support::Process program(EXECUTABLE, opts);
    support::ExitStatus status = program.wait(60s);
    EXPECT_TRUE(status.exited && status.code == 1) << status.describe() << "\n" << program.describe();
    std::vector<std::string> err = lines(program.err());
    ASSERT_EQ(err.size(), 1u) << program.err();
    EXPECT_EQ(err[0].rfind("Could not initialise SDL video", 0), 0u) << program.err();
    EXPECT_NE(program.out().find("Get Pref Path: "), std::string::npos) << "the configuration was read first";
    EXPECT_EQ(program.out().find("Base Path: "), std::string::npos) << program.out();
}

} // namespace
