// A copy installed with cmake --install runs from its prefix: the program finds its assets in
// share/windhollow, and the desktop entry is valid and names an installed program and icon.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// One key's value from a desktop entry, empty when missing.
std::string desktop_key(const std::string& entry, const std::string& key)
{
    std::smatch match;
    return std::regex_search(entry, match, std::regex("(^|\n)" + key + "=([^\n]*)")) ? match[2].str() : "";
}

} // namespace

TEST(Install, TheInstalledProgramFindsItsAssetsAndTheDesktopEntryIsValid)
{
    support::TempDir dir("wh-install");
    const fs::path prefix = dir / "prefix";
    support::Process install(WH_CMAKE_COMMAND, {.args = {"--install", WH_BUILD_DIR, "--prefix", prefix.string()}});
    ASSERT_TRUE(install.wait(60s).success()) << install.describe();

    // Without a display the program stops at the window, after the configuration has loaded:
    // "Get Pref Path" follows only a configuration that was found and parsed.
    support::ProcessOptions options;
    options.env = {{"XDG_DATA_HOME", (dir / "data").string()}};
    options.unset_env = {"DISPLAY", "WAYLAND_DISPLAY"};
    options.working_dir = dir.path();
    support::Process program(prefix / "bin/windhollow", options);
    program.wait(30s);
    EXPECT_NE(program.out().find("Get Base Path: \"" + (prefix / "bin/").string() + "\""), std::string::npos) << program.describe();
    EXPECT_NE(program.out().find("Get Pref Path: "), std::string::npos) << program.describe();

    const fs::path entry_path = prefix / "share/applications/windhollow.desktop";
    support::Process validate("/usr/bin/desktop-file-validate", {.args = {entry_path.string()}});
    EXPECT_TRUE(validate.wait(30s).success()) << validate.describe();
    const std::string entry = support::read_file(entry_path);
    const fs::path program_run = prefix / "bin" / desktop_key(entry, "Exec");
    EXPECT_TRUE(fs::is_regular_file(program_run) &&
                (fs::status(program_run).permissions() & fs::perms::owner_exec) != fs::perms::none)
        << program_run;
    EXPECT_TRUE(fs::is_regular_file(prefix / "share/icons/hicolor/scalable/apps" / (desktop_key(entry, "Icon") + ".svg")))
        << desktop_key(entry, "Icon");
}
