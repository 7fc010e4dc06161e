#include "tests/support/Process.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace support {

namespace {

int open_capture(const std::filesystem::path& path)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + path.string() + ": " + std::strerror(errno));
    }
    return fd;
}

} // namespace

std::string ExitStatus::describe() const
{
    std::string text;
    if (timed_out) {
        text = "timed out, killed; ";
    }
    if (exited) {
        return text + "exit " + std::to_string(code);
    }
    if (signal != 0) {
        return text + "signal " + std::to_string(signal) + " (" + ::strsignal(signal) + ")";
    }
    return text + "not ended";
}

Process::Process(const std::filesystem::path& executable, ProcessOptions options)
    : m_out_path(m_capture_dir / "stdout.txt"), m_err_path(m_capture_dir / "stderr.txt")
{
    // Everything the child needs is built before fork: between fork and exec only
    // async-signal-safe calls are allowed, as the test process may run other threads.
    std::vector<std::string> argv_text;
    argv_text.push_back(executable.string());
    for (const std::string& arg : options.args) {
        argv_text.push_back(arg);
    }
    m_command = argv_text[0];
    for (size_t i = 1; i < argv_text.size(); ++i) {
        m_command += " '" + argv_text[i] + "'";
    }

    std::set<std::string> removed(options.unset_env.begin(), options.unset_env.end());
    std::vector<std::string> env_text;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string item = *entry;
        std::string name = item.substr(0, item.find('='));
        if (removed.count(name) == 0 && options.env.count(name) == 0) {
            env_text.push_back(std::move(item));
        }
    }
    for (const auto& [name, value] : options.env) {
        if (removed.count(name) == 0) {
            env_text.push_back(name + "=" + value);
        }
    }

    std::vector<char*> argv;
    for (std::string& arg : argv_text) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& item : env_text) {
        envp.push_back(item.data());
    }
    envp.push_back(nullptr);
    std::string working_dir = options.working_dir.string();

    int out_fd = open_capture(m_out_path);
    int err_fd = open_capture(m_err_path);
    int null_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_t parent = ::getpid();

    pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        // Dies with the test (PR_SET_PDEATHSIG follows the thread that forked, normally the
        // test's main thread); the getppid check closes the race with an already dead parent.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        ::dup2(null_fd, STDIN_FILENO);
        ::dup2(out_fd, STDOUT_FILENO);
        ::dup2(err_fd, STDERR_FILENO);
        if (!working_dir.empty() && ::chdir(working_dir.c_str()) != 0) {
            const char message[] = "cannot change to the working directory\n";
            [[maybe_unused]] auto written = ::write(STDERR_FILENO, message, sizeof message - 1);
            ::_exit(127);
        }
        ::execve(argv[0], argv.data(), envp.data());
        const char message[] = "cannot execute the program\n";
        [[maybe_unused]] auto written = ::write(STDERR_FILENO, message, sizeof message - 1);
        ::_exit(127);
    }
    int fork_errno = errno;
    ::close(out_fd);
    ::close(err_fd);
    if (null_fd >= 0) {
        ::close(null_fd);
    }
    if (pid < 0) {
        throw std::runtime_error("cannot start " + m_command + ": " + std::strerror(fork_errno));
    }
    m_pid = pid;
    // Also set from this side so that a group kill right after start cannot miss the child.
    ::setpgid(pid, pid);
}

Process::~Process()
{
    if (m_pid > 0 && !m_ended) {
        ::kill(-m_pid, SIGKILL);
        ::kill(m_pid, SIGKILL);
        reap(true);
    }
}

bool Process::reap(bool block)
{
    if (m_ended) {
        return true;
    }
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == m_pid) {
        m_ended = true;
        if (WIFEXITED(status)) {
            m_status.exited = true;
            m_status.code = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            m_status.signal = WTERMSIG(status);
        }
        return true;
    }
    if (result < 0) {
        m_ended = true; // not our child any more (already reaped elsewhere): nothing to wait for
        return true;
    }
    return false;
}

bool Process::running() { return !reap(false); }

ExitStatus Process::wait(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-m_pid, SIGKILL);
            ::kill(m_pid, SIGKILL);
            reap(true);
            m_status.timed_out = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_status;
}

void Process::signal(int sig)
{
    if (!reap(false)) {
        ::kill(m_pid, sig);
    }
}

const std::string& Process::Capture::refresh()
{
    std::ifstream in(path, std::ios::binary);
    if (in) {
        in.seekg(static_cast<std::streamoff>(text.size()));
        char buffer[65536];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
            text.append(buffer, static_cast<size_t>(in.gcount()));
        }
    }
    return text;
}

const std::string& Process::out() const { return m_out.refresh(); }
const std::string& Process::err() const { return m_err.refresh(); }

bool Process::wait_for(const std::function<bool(const std::string&, const std::string&)>& predicate,
                       std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        bool ended = !running();
        // Read after the check so output written just before the end is seen.
        if (predicate(out(), err())) {
            return true;
        }
        if (ended || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool Process::wait_for_output(std::string_view text, std::chrono::milliseconds timeout, bool from_stderr)
{
    return wait_for(
        [&](const std::string& out_text, const std::string& err_text) {
            return (from_stderr ? err_text : out_text).find(text) != std::string::npos;
        },
        timeout);
}

std::string Process::describe()
{
    // The ends of long outputs are what explain a failure.
    auto tail = [](std::string text) {
        constexpr size_t limit = 8000;
        return text.size() <= limit ? text : "[...]" + text.substr(text.size() - limit);
    };
    std::string state = running() ? "running" : m_status.describe();
    return "process " + m_command + " (pid " + std::to_string(m_pid) + ", " + state + ")\n--- stdout ---\n" +
           tail(out()) + "\n--- stderr ---\n" + tail(err());
}

} // namespace support
