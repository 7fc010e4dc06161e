#include "console/Console.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace console {
namespace {

std::mutex& console_mutex()
{
    static std::mutex mutex;
    return mutex;
}

Capture* g_capture = nullptr;
std::atomic<bool> g_verbose{false};

} // namespace

void set_verbose(bool on) { g_verbose.store(on, std::memory_order_relaxed); }

bool verbose() { return g_verbose.load(std::memory_order_relaxed); }

void write(Stream stream, std::string_view text)
{
    std::lock_guard lock(console_mutex());
    if (g_capture) {
        (stream == Stream::Out ? g_capture->m_out : g_capture->m_err).append(text);
        return;
    }
    std::FILE* file = stream == Stream::Out ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), file);
    // Flushed line by line so that a log read by another process (or cut short by a
    // signal) holds every line in the order it was written.
    std::fflush(file);
}

std::string quoted(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + 2);
    result.push_back('"');
    for (char c : text) {
        if (c == '"' || c == '\\')
            result.push_back('\\');
        result.push_back(c);
    }
    result.push_back('"');
    return result;
}

std::string quoted(const std::filesystem::path& path) { return quoted(std::string_view(path.native())); }

Capture::Capture()
{
    std::lock_guard lock(console_mutex());
    m_previous = g_capture;
    g_capture = this;
}

Capture::~Capture()
{
    std::lock_guard lock(console_mutex());
    // Captures are scoped, so the innermost is always the one ending.
    g_capture = m_previous;
}

std::string Capture::out() const
{
    std::lock_guard lock(console_mutex());
    return m_out;
}

std::string Capture::err() const
{
    std::lock_guard lock(console_mutex());
    return m_err;
}

void Capture::clear()
{
    std::lock_guard lock(console_mutex());
    m_out.clear();
    m_err.clear();
}

} // namespace console
