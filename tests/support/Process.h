#pragma once

// A child process with its standard output and standard error captured to files, which can be
// read while it runs. The child gets its own process group and is killed if the test process
// dies, so a crashed test leaves no program behind. (That kill is tied to the thread that
// started the child: start processes from the test's own thread, not from a short-lived one.)
// Standard input is /dev/null.
//
//   support::ProcessOptions options;
//   options.args = {base_dir.string()};
//   options.env = {{"XDG_DATA_HOME", (dir / "data").string()}};
//   options.unset_env = {"DISPLAY"};
//   support::Process program(WH_EXECUTABLE_PATH, options);
//   ASSERT_TRUE(program.wait_for_output("Largest Tile: ", std::chrono::seconds(20))) << program.describe();
//   program.terminate();                                   // SIGTERM
//   support::ExitStatus status = program.wait(std::chrono::seconds(10));   // kills on time-out
//   EXPECT_TRUE(status.success()) << status.describe() << program.err();

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "tests/support/TempDir.h"

namespace support {

struct ProcessOptions {
    std::vector<std::string> args;                 // without the program name
    std::map<std::string, std::string> env;        // set or replaced in the inherited environment
    std::vector<std::string> unset_env;            // removed from the inherited environment
    std::filesystem::path working_dir;             // empty: the test's own
};

struct ExitStatus {
    bool timed_out = false; // did not end in time and was killed (the fields below then describe the kill)
    bool exited = false;    // ended through exit(); code is valid
    int code = -1;
    int signal = 0;         // the signal that ended it, when !exited

    bool success() const { return !timed_out && exited && code == 0; }
    std::string describe() const; // "exit 0", "signal 11 (Segmentation fault)", "timed out, killed"
};

class Process {
public:
    // Starts the executable; throws std::runtime_error when it cannot be started.
    Process(const std::filesystem::path& executable, ProcessOptions options = {});
    // Kills the whole process group if the child still runs, then reaps it.
    ~Process();

    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return m_pid; }
    bool running();

    // Waits at most timeout for the child to end; when it does not, kills its process group
    // (SIGKILL) and reports timed_out. Calling again after the end returns the same status.
    ExitStatus wait(std::chrono::milliseconds timeout);

    // Sends a signal to the child itself (not its group) while it runs.
    void signal(int sig);
    void terminate() { signal(SIGTERM); }

    // Everything captured so far. Files are read incrementally (only what was added since the
    // last call), so polling a chatty program stays cheap. A Process is meant for one thread.
    const std::string& out() const;
    const std::string& err() const;
    const std::filesystem::path& out_path() const { return m_out_path; }
    const std::filesystem::path& err_path() const { return m_err_path; }

    // Polls (every 10 ms) until the predicate holds for (stdout, stderr) or the time is up, or
    // the child has ended and its final output does not satisfy it. Returns whether it held.
    bool wait_for(const std::function<bool(const std::string& out, const std::string& err)>& predicate,
                  std::chrono::milliseconds timeout);
    // Same for a substring of standard output (or standard error with from_stderr).
    bool wait_for_output(std::string_view text, std::chrono::milliseconds timeout, bool from_stderr = false);

    // The command line, pid, state and both captured streams, for failure messages.
    std::string describe();

private:
    bool reap(bool block);

    struct Capture {
        std::filesystem::path path;
        std::string text;
        const std::string& refresh();
    };

    std::string m_command;
    TempDir m_capture_dir{"wh-proc"};
    std::filesystem::path m_out_path;
    std::filesystem::path m_err_path;
    mutable Capture m_out{m_out_path, {}};
    mutable Capture m_err{m_err_path, {}};
    pid_t m_pid = -1;
    bool m_ended = false;
    ExitStatus m_status;
};

} // namespace support
