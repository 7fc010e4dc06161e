// The program as a user meets it from outside, through the real executables and without a
// display: --help and --version, other arguments that look like options refused, any other first
// argument the base directory, and a copy
// installed with cmake --install that finds its assets and has a valid desktop entry.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/Support.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(CommandLine, HelpAndVersionAnswerUnknownOptionsAreRefusedAndOtherArgumentsAreTheBaseDirectory)
{
    struct Case {
        std::string argument;
        int exit_code;
        std::vector<std::string> out_contains; // "{data}" stands for the XDG_DATA_HOME given
        std::string out_matches;               // the whole standard output, when not empty
        std::string err_contains;              // empty: standard error stays empty
    };
    const std::vector<std::string> usage = {"Usage: windhollow [BASE_DIR]\n", "assets/config/Windhollow.json",
        "assets/config/FlightModel.json", "WINDHOLLOW_EXIT_AFTER_FRAMES=", "WINDHOLLOW_SCREENSHOT=",
        "WINDHOLLOW_EXIT_WHEN_SETTLED=", "WINDHOLLOW_FRAME_TIMES=", "{data}/Windhollow/Windhollow/tiles/"};
    const Case cases[] = {
        {"--help", 0, usage, "", ""},
        {"-h", 0, usage, "", ""},
        {"--version", 0, {}, R"(Windhollow [0-9]+\.[0-9]+\.[0-9]+ \(Compiled [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9:]{8}\)\n)", ""},
        {"--verbose", 2, {}, "", "Unknown option \"--verbose\"\nUsage: windhollow [BASE_DIR]\n"},
        {"-", 2, {}, "", "Unknown option \"-\"\nUsage: windhollow [BASE_DIR]\n"},
        {"./--verbose", 1, {"Windhollow (Compiled "}, "", "Could not open \"./--verbose/assets/config/Windhollow.json\""},
    };
    for (const Case& c : cases) {
        support::TempDir data("wh-cli");
        support::Process program(WH_EXECUTABLE_PATH, {.args = {c.argument}, .env = {{"XDG_DATA_HOME", data.path().string()}},
                                                      .unset_env = {"DISPLAY", "WAYLAND_DISPLAY"}});
        EXPECT_EQ(program.wait(30s), c.exit_code) << c.argument << ": " << program.describe();
        for (std::string text : c.out_contains) {
            if (size_t at = text.find("{data}"); at != std::string::npos)
                text.replace(at, 6, data.path().string());
            EXPECT_NE(program.out().find(text), std::string::npos) << c.argument << " lacks " << text << ":\n" << program.out();
        }
        if (!c.out_matches.empty()) {
            EXPECT_TRUE(std::regex_match(program.out(), std::regex(c.out_matches))) << c.argument << ":\n" << program.out();
        }
        EXPECT_EQ(c.err_contains.empty(), program.err().empty()) << c.argument << ":\n" << program.err();
        EXPECT_NE(program.err().find(c.err_contains), std::string::npos) << c.argument << ":\n" << program.err();
        EXPECT_FALSE(fs::exists(data / "Windhollow")) << c.argument << " created the per-user data folder";
    }
}

TEST(Install, TheInstalledProgramFindsItsAssetsAndTheDesktopEntryIsValid)
{
    support::TempDir dir("wh-install");
    const fs::path prefix = dir / "prefix";
    support::Process install(WH_CMAKE_COMMAND, {.args = {"--install", WH_BUILD_DIR, "--prefix", prefix.string()}});
    ASSERT_EQ(install.wait(60s), 0) << install.describe();

    // Without a display the program stops at the window, after the configuration has loaded:
    // "Get Pref Path" is printed only for a configuration that was found and parsed.
    support::Process program(prefix / "bin/windhollow", {.env = {{"XDG_DATA_HOME", (dir / "data").string()}},
                                                         .unset_env = {"DISPLAY", "WAYLAND_DISPLAY"}});
    program.wait(30s);
    EXPECT_NE(program.out().find("Get Pref Path: "), std::string::npos) << program.describe();

    const fs::path entry_path = prefix / "share/applications/windhollow.desktop";
    support::Process validate("/usr/bin/desktop-file-validate", {.args = {entry_path.string()}});
    EXPECT_EQ(validate.wait(30s), 0) << validate.describe();
    const std::string entry = support::read_file(entry_path);
    std::smatch exec, icon;
    ASSERT_TRUE(std::regex_search(entry, exec, std::regex("\nExec=([^ \n]+)")) &&
                std::regex_search(entry, icon, std::regex("\nIcon=([^\n]+)")));
    EXPECT_EQ(::access((prefix / "bin" / exec[1].str()).c_str(), X_OK), 0) << exec[1];
    EXPECT_TRUE(fs::is_regular_file(prefix / "share/icons/hicolor/scalable/apps" / (icon[1].str() + ".svg"))) << icon[1];
}
