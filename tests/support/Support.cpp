#include "tests/support/Support.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

namespace support {

TempDir::TempDir(const std::string& prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make " + pattern);
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!(text << in.rdbuf()) && !in)
        throw std::runtime_error("cannot read " + path.string());
    return text.str();
}

void write_file(const std::filesystem::path& path, const std::string& content)
{
    std::filesystem::create_directories(path.parent_path());
    if (!(std::ofstream(path, std::ios::binary) << content))
        throw std::runtime_error("cannot write " + path.string());
}

Process::Process(const std::filesystem::path& executable, const ProcessOptions& options)
{
    std::vector<std::string> args{"/usr/bin/env"}; // which edits the environment, then runs the program
    for (const std::string& name : options.unset_env)
        args.insert(args.end(), {"-u", name});
    for (const auto& [name, value] : options.env)
        args.push_back(name + "=" + value);
    args.push_back(executable);
    args.insert(args.end(), options.args.begin(), options.args.end());
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
        m_command += "'" + arg + "' ";
    }
    argv.push_back(nullptr);
    // Everything the child needs is made before fork: the test may run other threads.
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC), out = ::open((m_dir / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644),
              err = ::open((m_dir / "err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const pid_t parent = ::getpid();
    if ((m_pid = ::fork()) == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // dies with the test program; the check closes the race
        if (::getppid() == parent && ::dup2(in, 0) == 0 && ::dup2(out, 1) == 1 && ::dup2(err, 2) == 2)
            ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (int fd : {in, out, err})
        ::close(fd);
    if (m_pid < 0)
        throw std::runtime_error("cannot start " + m_command);
}

Process::~Process()
{
    if (running()) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

void Process::terminate() { ::kill(m_pid, SIGTERM); }

int Process::wait(std::chrono::milliseconds timeout)
{
    int status = 0;
    if (m_code != -1)
        return m_code;
    if (!wait_until([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout)) {
        if (timeout.count() == 0)
            return -1; // still running
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
    }
    return m_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool Process::wait_for_output(const std::string& text, std::chrono::milliseconds timeout)
{
    bool found = false;
    wait_until([&] {
        const bool ended = !running(); // first, so that output written just before the end counts
        return (found = out().find(text) != std::string::npos) || ended;
    }, timeout);
    return found;
}

std::string Process::describe()
{
    return m_command + " (exit " + std::to_string(wait(std::chrono::milliseconds(0))) + ")\n--- stdout ---\n" + out() +
           "\n--- stderr ---\n" + err();
}

namespace {

ProcessOptions server_options(const std::vector<std::string>& options)
{
    ProcessOptions process{{"--port", "0"}};
    process.args.insert(process.args.end(), options.begin(), options.end());
    // In the ThreadSanitizer tree the server is a fixture, not under test: reports from inside
    // the uninstrumented cpp-httplib library must not stop it in the middle of a client's test.
    process.env["TSAN_OPTIONS"] = "report_bugs=0";
    return process;
}

} // namespace

TileServer::TileServer(const std::vector<std::string>& options) : m_process(WH_TILESERVER_PATH, server_options(options))
{
    static const std::regex listening(R"(^Listening on (http://127\.0\.0\.1:\d+)\n)");
    std::smatch match;
    const std::string out = m_process.wait_for_output("\n", std::chrono::seconds(30)) ? m_process.out() : "";
    if (!std::regex_search(out, match, listening))
        throw std::runtime_error("the tile server did not start: " + m_process.describe());
    m_url = match[1];
}

HttpResult TileServer::get(const std::string& path) const
{
    httplib::Result answer = httplib::Client(m_url).Get(path);
    return answer ? HttpResult{answer->status, answer->body} : HttpResult{};
}

TileServerStats TileServer::stats() const
{
    const nlohmann::json json = nlohmann::json::parse(get("/stats").body); // throws on anything unexpected
    return {json.at("requests").get<int64_t>(), json.at("unexpected").get<int64_t>(), json.at("paths").get<std::vector<std::string>>()};
}

std::filesystem::path make_base_dir(const TempDir& dir, const TileServer& server,
                                    const std::function<void(nlohmann::json& config)>& edit)
{
    const std::filesystem::path base = dir / "base";
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base);
    std::filesystem::copy(WH_SOURCE_DIR "/assets", base / "assets", std::filesystem::copy_options::recursive);
    nlohmann::json config = nlohmann::json::parse(read_file(base / CONFIG_FILE_PATH));
    for (const char* name : {"texture_server", "elevation_server"}) {
        const std::string url = config[name]["url"];
        config[name]["url"] = server.base_url() + url.substr(url.find('/', url.find("://") + 3));
    }
    if (edit)
        edit(config);
    write_file(base / CONFIG_FILE_PATH, config.dump(2));
    return base;
}

} // namespace support
