#include "tests/support/TileServer.h"

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <stdexcept>

namespace support {

std::filesystem::path TileServerOptions::default_tileserver_path() { return WH_TILESERVER_PATH; }

std::string HttpResult::header(const std::string& name) const
{
    auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

HttpResult http_get(const std::string& url, bool follow_redirects, std::chrono::milliseconds timeout)
{
    static const std::regex split(R"(^(https?://[^/]+)(/.*)?$)");
    std::smatch parts;
    if (!std::regex_match(url, parts, split)) {
        throw std::runtime_error("not an http URL: " + url);
    }
    httplib::Client client(parts[1].str());
    client.set_follow_location(follow_redirects);
    client.set_connection_timeout(timeout);
    client.set_read_timeout(timeout);
    client.set_keep_alive(false);
    std::string path = parts[2].matched ? parts[2].str() : "/";

    HttpResult result;
    httplib::Result answer = client.Get(path);
    if (!answer) {
        return result;
    }
    result.status = answer->status;
    result.body = std::move(answer->body);
    for (const auto& [name, value] : answer->headers) {
        result.headers.emplace(name, value);
    }
    return result;
}

TileServer::TileServer(TileServerOptions options)
{
    ProcessOptions process_options;
    process_options.args = {"--port", "0"};
    if (options.latency_ms > 0) {
        process_options.args.push_back("--latency-ms");
        process_options.args.push_back(std::to_string(options.latency_ms));
    }
    process_options.args.insert(process_options.args.end(), options.extra_args.begin(), options.extra_args.end());
    // In the ThreadSanitizer tree the server is a fixture, not under test: reports from inside
    // the uninstrumented cpp-httplib library must not stop it in the middle of a client's test.
    process_options.env["TSAN_OPTIONS"] = "report_bugs=0";
    m_process = std::make_unique<Process>(options.executable, process_options);

    static const std::regex listening(R"(Listening on http://127\.0\.0\.1:(\d+)\n)");
    std::smatch match;
    bool up = m_process->wait_for(
        [&](const std::string& out, const std::string&) { return std::regex_search(out, match, listening); },
        options.start_timeout);
    if (!up) {
        std::string what = "the tile server did not start: " + m_process->describe();
        m_process.reset();
        throw std::runtime_error(what);
    }
    // match refers to a temporary string by now; take the number from a fresh read.
    std::string out = m_process->out();
    std::regex_search(out, match, listening);
    m_port = std::stoi(match[1].str());
}

TileServer::~TileServer() { stop(); }

ExitStatus TileServer::stop(std::chrono::milliseconds timeout)
{
    if (!m_process) {
        return {};
    }
    m_process->terminate();
    return m_process->wait(timeout);
}

HttpResult TileServer::get(const std::string& path, bool follow_redirects) const
{
    return http_get(base_url() + path, follow_redirects);
}

TileServerStats TileServer::stats() const
{
    HttpResult answer = get("/stats");
    if (answer.status != 200) {
        throw std::runtime_error("GET /stats answered " + std::to_string(answer.status));
    }
    try {
        nlohmann::json json = nlohmann::json::parse(answer.body);
        TileServerStats stats;
        stats.requests = json.at("requests").get<int64_t>();
        stats.unexpected = json.at("unexpected").get<int64_t>();
        stats.paths = json.at("paths").get<std::vector<std::string>>();
        return stats;
    } catch (const nlohmann::json::exception& error) {
        throw std::runtime_error(std::string("GET /stats gave unexpected JSON (") + error.what() + "): " + answer.body);
    }
}

void TileServer::reset_stats() const
{
    HttpResult answer = get("/stats/reset");
    if (answer.status != 200) {
        throw std::runtime_error("GET /stats/reset answered " + std::to_string(answer.status));
    }
}

} // namespace support
