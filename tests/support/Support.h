#pragma once

// What the tests share: temporary directories, files, bounded waits, child processes with their
// output captured, the local tile server on a free port, and base directories pointed at it.

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace support {

// A fresh directory under the system's temporary one, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "wh-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const { return m_path / relative; }

private:
    std::filesystem::path m_path;
};

// Whole files; both throw std::runtime_error naming the path (write_file makes the directories).
std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& content);

// Polls the predicate until it holds or the time is up; returns whether it held.
template <typename Predicate>
bool wait_until(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(30))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (; !predicate(); std::this_thread::sleep_for(std::chrono::milliseconds(2)))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    return true;
}

struct ProcessOptions {
    std::vector<std::string> args;          // without the program name
    std::map<std::string, std::string> env; // set in the inherited environment
    std::vector<std::string> unset_env;     // removed from it
};

// A child process with standard input /dev/null and both output streams captured to files
// (readable while it runs). Killed when the object goes or the test program dies (start it from
// the test's own thread).
class Process {
public:
    Process(const std::filesystem::path& executable, const ProcessOptions& options = {});
    ~Process();

    // The exit code, -1 while running; after a time-out (the process is then killed) or a
    // signal, 128 + the signal.
    int wait(std::chrono::milliseconds timeout);
    bool running() { return wait(std::chrono::milliseconds(0)) == -1; }
    void terminate();
    std::string out() const { return read_file(m_dir / "out"); }
    std::string err() const { return read_file(m_dir / "err"); }
    // Until the standard output holds the text, the time is up or the process ended without it.
    bool wait_for_output(const std::string& text, std::chrono::milliseconds timeout);
    // Command, exit code and both streams, for failure messages.
    std::string describe();

private:
    TempDir m_dir{"wh-process"};
    std::string m_command;
    int m_pid = -1;
    int m_code = -1;
};

struct HttpResult {
    int status = 0; // 0: no answer
    std::string body;
};

struct TileServerStats {
    int64_t requests = 0, unexpected = 0; // tile requests and unknown URLs since start or reset
    std::vector<std::string> paths;       // requested paths in order
};

// The local tile server (wh_tileserver) on a free loopback port while the object lives, with
// more options if given (e.g. {"--latency-ms", "50"}).
class TileServer {
public:
    explicit TileServer(const std::vector<std::string>& options = {});
    std::string base_url() const { return m_url; }
    HttpResult get(const std::string& path) const; // a plain GET, no redirect followed
    TileServerStats stats() const;
    void reset_stats() const { get("/stats/reset"); }

private:
    Process m_process;
    std::string m_url;
};

inline const std::filesystem::path CONFIG_FILE_PATH = "assets/config/Windhollow.json";

// dir/base with a copy of the source tree's assets whose configuration points both tile servers
// at the server (each URL keeps its path), then changed by edit.
std::filesystem::path make_base_dir(const TempDir& dir, const TileServer& server,
                                    const std::function<void(nlohmann::json& config)>& edit = {});

} // namespace support
