// windhollow --help and --version answer and exit 0 without a display and without creating the
// per-user data folder; any other first argument is still the base directory.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;

TEST(CommandLine, HelpAndVersionAnswerAndExitWhileOtherArgumentsStayTheBaseDirectory)
{
    struct Case {
        std::string argument;
        int exit_code;
        std::vector<std::string> out_contains; // "{data}" stands for the XDG_DATA_HOME given
        std::string out_matches;               // whole standard output, when not empty
        std::string err_contains;              // empty: standard error stays empty
    };
    const std::vector<std::string> usage = {
        "Usage: windhollow [BASE_DIR]\n",      "assets/config/Windhollow.json",  "assets/config/FlightModel.json",
        "WINDHOLLOW_EXIT_AFTER_FRAMES=",       "WINDHOLLOW_SCREENSHOT=",         "WINDHOLLOW_EXIT_WHEN_SETTLED=",
        "WINDHOLLOW_FRAME_TIMES=",             "{data}/Windhollow/Windhollow/tiles/",
    };
    const Case cases[] = {
        {"--help", 0, usage, "", ""},
        {"-h", 0, usage, "", ""},
        {"--version", 0, {}, R"(Windhollow [0-9]+\.[0-9]+\.[0-9]+ \(Compiled [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9:]{8}\)\n)", ""},
        {"--verbose", 1, {"Windhollow (Compiled "}, "", "Could not open \"--verbose/assets/config/Windhollow.json\""},
    };
    for (const Case& c : cases) {
        support::TempDir data("wh-cli");
        support::ProcessOptions options;
        options.args = {c.argument};
        options.env = {{"XDG_DATA_HOME", data.path().string()}};
        options.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
        options.working_dir = data.path();
        support::Process program(WH_EXECUTABLE_PATH, options);
        support::ExitStatus status = program.wait(30s);
        EXPECT_TRUE(status.exited && status.code == c.exit_code) << c.argument << ": " << status.describe();
        for (std::string text : c.out_contains) {
            if (size_t at = text.find("{data}"); at != std::string::npos)
                text.replace(at, 6, data.path().string());
            EXPECT_NE(program.out().find(text), std::string::npos) << c.argument << " lacks " << text << " in\n" << program.out();
        }
        if (!c.out_matches.empty()) {
            EXPECT_TRUE(std::regex_match(program.out(), std::regex(c.out_matches))) << c.argument << ":\n" << program.out();
        }
        if (c.err_contains.empty()) {
            EXPECT_EQ(program.err(), "") << c.argument;
        } else {
            EXPECT_NE(program.err().find(c.err_contains), std::string::npos) << c.argument << ":\n" << program.err();
        }
        EXPECT_FALSE(std::filesystem::exists(data / "Windhollow")) << c.argument << " created the data folder";
    }
}
