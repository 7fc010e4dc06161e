#include "tools/RequestStats.h"

#include <nlohmann/json.hpp>

namespace tileserver {

void RequestStats::record_tile(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    ++m_requests;
    remember(path);
}

void RequestStats::record_unexpected(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    ++m_unexpected;
    remember(path);
}

void RequestStats::remember(const std::string& path)
{
    m_paths.push_back(path);
    if (m_paths.size() > MAX_PATHS) {
        m_paths.pop_front();
    }
}

void RequestStats::reset()
{
    std::lock_guard lock(m_mutex);
    m_requests = 0;
    m_unexpected = 0;
    m_paths.clear();
}

std::string RequestStats::to_json() const
{
    nlohmann::json json;
    {
        std::lock_guard lock(m_mutex);
        json["requests"] = m_requests;
        json["unexpected"] = m_unexpected;
        json["paths"] = nlohmann::json::array();
        for (const std::string& path : m_paths) {
            json["paths"].push_back(path);
        }
    }
    // Paths come from clients: replace invalid UTF-8 rather than fail.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace tileserver
