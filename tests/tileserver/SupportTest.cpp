// The helpers every other test leans on: temporary directories, child processes and base
// directories.

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "tests/support/BaseDir.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;

namespace {

support::ProcessOptions shell(const std::string& script)
{
    support::ProcessOptions options;
    options.args = {"-c", script};
    return options;
}

} // namespace

TEST(TempDir, ExistsWhileAliveAndIsRemovedWithItsContents)
{
    std::filesystem::path kept;
    {
        support::TempDir dir;
        kept = dir.path();
        ASSERT_TRUE(std::filesystem::is_directory(kept)) << kept;
        support::write_file(dir / "a/b/c.txt", "hello");
        EXPECT_EQ(support::read_file(dir / "a/b/c.txt"), "hello");
    }
    EXPECT_FALSE(std::filesystem::exists(kept)) << kept;
}

TEST(TempDir, TwoDirectoriesDifferAndAMoveHandsOverOwnership)
{
    support::TempDir a;
    support::TempDir b;
    EXPECT_NE(a.path(), b.path());
    std::filesystem::path path = a.path();
    support::TempDir c(std::move(a));
    EXPECT_EQ(c.path(), path);
    EXPECT_TRUE(a.path().empty());
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(TempDir, ReadingAMissingFileThrows)
{
    support::TempDir dir;
    EXPECT_THROW(support::read_file(dir / "missing"), std::runtime_error);
}

TEST(Process, CapturesBothStreamsAndTheExitCode)
{
    support::Process process("/bin/sh", shell("echo to-out; echo to-err >&2; exit 3"));
    support::ExitStatus status = process.wait(10s);
    EXPECT_FALSE(status.timed_out);
    EXPECT_TRUE(status.exited) << status.describe();
    EXPECT_EQ(status.code, 3);
    EXPECT_FALSE(status.success());
    EXPECT_EQ(process.out(), "to-out\n");
    EXPECT_EQ(process.err(), "to-err\n");
}

TEST(Process, SetsAndRemovesEnvironmentVariablesAndArguments)
{
    ::setenv("WH_SUPPORT_TEST_INHERITED", "inherited", 1);
    ::setenv("WH_SUPPORT_TEST_REMOVED", "present", 1);
    support::ProcessOptions options =
        shell("echo \"$WH_SUPPORT_TEST_SET|$WH_SUPPORT_TEST_INHERITED|${WH_SUPPORT_TEST_REMOVED-unset}|$0|$1\"");
    options.args.push_back("zero");
    options.args.push_back("first arg");
    options.env = {{"WH_SUPPORT_TEST_SET", "set value"}};
    options.unset_env = {"WH_SUPPORT_TEST_REMOVED"};
    support::Process process("/bin/sh", options);
    EXPECT_TRUE(process.wait(10s).success()) << process.describe();
    EXPECT_EQ(process.out(), "set value|inherited|unset|zero|first arg\n");
    ::unsetenv("WH_SUPPORT_TEST_INHERITED");
    ::unsetenv("WH_SUPPORT_TEST_REMOVED");
}

TEST(Process, RunsInTheGivenWorkingDirectory)
{
    support::TempDir dir;
    support::ProcessOptions options = shell("pwd -P");
    options.working_dir = dir.path();
    support::Process process("/bin/sh", options);
    EXPECT_TRUE(process.wait(10s).success()) << process.describe();
    EXPECT_EQ(process.out(), std::filesystem::canonical(dir.path()).string() + "\n");
}

TEST(Process, AProgramThatCannotRunEndsWithStatus127)
{
    support::TempDir dir;
    support::Process process(dir / "no-such-program");
    support::ExitStatus status = process.wait(10s);
    EXPECT_TRUE(status.exited) << status.describe();
    EXPECT_EQ(status.code, 127);
    EXPECT_NE(process.err().find("cannot execute"), std::string::npos) << process.err();
}

TEST(Process, WaitKillsAProcessThatOverrunsItsTime)
{
    support::Process process("/bin/sh", shell("sleep 30"));
    auto start = std::chrono::steady_clock::now();
    support::ExitStatus status = process.wait(200ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_TRUE(status.timed_out);
    EXPECT_FALSE(status.exited);
    EXPECT_EQ(status.signal, SIGKILL) << status.describe();
    EXPECT_FALSE(process.running());
    // Asking again gives the same answer without waiting.
    EXPECT_TRUE(process.wait(0ms).timed_out);
}

TEST(Process, TerminateDeliversSigtermAndOutputIsReadableWhileRunning)
{
    support::Process process(
        "/bin/sh", shell("trap 'echo terminated; exit 7' TERM; echo ready; while :; do sleep 0.02; done"));
    ASSERT_TRUE(process.wait_for_output("ready", 10s)) << process.describe();
    EXPECT_TRUE(process.running());
    process.terminate();
    support::ExitStatus status = process.wait(10s);
    EXPECT_TRUE(status.exited) << status.describe();
    EXPECT_EQ(status.code, 7);
    EXPECT_NE(process.out().find("terminated"), std::string::npos) << process.out();
}

TEST(Process, WaitForGivesUpWhenTheProcessEndsWithoutTheText)
{
    support::Process process("/bin/sh", shell("echo something else; echo on-err >&2"));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(process.wait_for_output("never printed", 30s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s) << "it should stop waiting once the process ended";
    EXPECT_TRUE(process.wait_for_output("on-err", 1s, /*from_stderr=*/true));
    EXPECT_TRUE(process.wait_for(
        [](const std::string& out, const std::string& err) { return out == "something else\n" && err == "on-err\n"; },
        1s));
}

TEST(Process, OutputWrittenInPiecesIsReadCompletely)
{
    support::Process process("/bin/sh", shell("printf first; sleep 0.1; printf -- '-second'; sleep 0.1; "
                                              "head -c 300000 /dev/zero | tr '\\0' x; printf end"));
    ASSERT_TRUE(process.wait_for_output("first", 10s)) << process.describe();
    ASSERT_TRUE(process.wait_for_output("first-second", 10s)) << process.describe();
    ASSERT_TRUE(process.wait(10s).success()) << process.describe();
    const std::string& out = process.out();
    EXPECT_EQ(out.size(), std::string("first-second").size() + 300000 + 3);
    EXPECT_EQ(out.rfind("first-secondxxx", 0), 0u);
    EXPECT_EQ(out.substr(out.size() - 4), "xend");
}

TEST(Process, DestructorKillsTheWholeProcessGroup)
{
    pid_t grandchild = 0;
    {
        support::Process process("/bin/sh", shell("sleep 30 & echo $!; wait"));
        ASSERT_TRUE(process.wait_for([](const std::string& out, const std::string&) { return out.find('\n') != std::string::npos; },
                                     10s))
            << process.describe();
        grandchild = static_cast<pid_t>(std::stol(process.out()));
        ASSERT_EQ(::kill(grandchild, 0), 0);
    }
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (::kill(grandchild, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(::kill(grandchild, 0), -1) << "the background sleep " << grandchild << " outlived its group";
}

TEST(BaseDir, RebaseUrlKeepsThePathAndReplacesSchemeHostAndPort)
{
    struct Case {
        std::string url;
        std::string expected;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8765/imagery", "http://127.0.0.1:4000/imagery"},
        {"http://127.0.0.1:8765/elevation/rg", "http://127.0.0.1:4000/elevation/rg"},
        {"https://tiles.example.org", "http://127.0.0.1:4000"},
        {"http://localhost/a/b?c=d", "http://127.0.0.1:4000/a/b?c=d"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(support::rebase_url(c.url, "http://127.0.0.1:4000"), c.expected) << c.url;
    }
}

TEST(BaseDir, CopiesTheAssetsAndPointsBothServersAtTheGivenServer)
{
    support::TempDir source;
    support::write_file(source / "assets/config/Windhollow.json", R"({
  "elevation_encoding": "RG_ENCODED",
  "texture_server": {"url": "http://127.0.0.1:8765/imagery", "file_ending": ".jpg", "pattern": "ZXY_Y_SOUTH"},
  "elevation_server": {"url": "http://127.0.0.1:8765/elevation/rg", "file_ending": ".png"},
  "window_width": 1024
})");
    support::write_file(source / "assets/shaders/sky.vert", "void main() {}\n");

    support::TempDir target;
    std::filesystem::path base = support::make_base_dir_from(source / "assets", target / "base", "http://127.0.0.1:5555",
                                                             [](nlohmann::json& config) { config["log_flight"] = true; });
    EXPECT_EQ(base, target / "base");
    EXPECT_EQ(support::read_file(base / "assets/shaders/sky.vert"), "void main() {}\n");
    nlohmann::json config = nlohmann::json::parse(support::read_file(base / support::CONFIG_FILE_PATH));
    EXPECT_EQ(config["texture_server"]["url"], "http://127.0.0.1:5555/imagery");
    EXPECT_EQ(config["elevation_server"]["url"], "http://127.0.0.1:5555/elevation/rg");
    EXPECT_EQ(config["texture_server"]["file_ending"], ".jpg");
    EXPECT_EQ(config["texture_server"]["pattern"], "ZXY_Y_SOUTH");
    EXPECT_EQ(config["window_width"], 1024);
    EXPECT_EQ(config["log_flight"], true);

    // A second call into the same place starts from a clean copy.
    support::write_file(base / "assets/stale.txt", "old");
    support::make_base_dir_from(source / "assets", target / "base", "http://127.0.0.1:6666");
    EXPECT_FALSE(std::filesystem::exists(base / "assets/stale.txt"));
    config = nlohmann::json::parse(support::read_file(base / support::CONFIG_FILE_PATH));
    EXPECT_EQ(config["texture_server"]["url"], "http://127.0.0.1:6666/imagery");
    EXPECT_FALSE(config.contains("log_flight"));
}

TEST(BaseDir, AConfigurationWithoutServerUrlsIsReported)
{
    support::TempDir source;
    support::write_file(source / "assets/config/Windhollow.json", R"({"texture_server": {}})");
    support::TempDir target;
    EXPECT_THROW(support::make_base_dir_from(source / "assets", target / "base", "http://127.0.0.1:1"), std::runtime_error);
    support::write_file(source / "assets/config/Windhollow.json", "{ not json");
    EXPECT_THROW(support::make_base_dir_from(source / "assets", target / "base", "http://127.0.0.1:1"), std::runtime_error);
}

TEST(BaseDir, TheShippedConfigurationIsPointedAtATestServer)
{
    if (!std::filesystem::exists(std::filesystem::path(WH_SOURCE_DIR) / support::CONFIG_FILE_PATH)) {
        GTEST_SKIP() << "no shipped configuration in this tree yet";
    }
    support::TempDir dir;
    support::TileServer server;
    std::filesystem::path base = support::make_base_dir(dir, server);
    nlohmann::json config = nlohmann::json::parse(support::read_file(base / support::CONFIG_FILE_PATH));
    for (const char* key : {"texture_server", "elevation_server"}) {
        std::string url = config[key]["url"];
        EXPECT_EQ(url.rfind(server.base_url() + "/", 0), 0u) << key << ": " << url;
    }
}
