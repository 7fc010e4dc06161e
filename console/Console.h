#pragma once

// The one place through which every line the program prints passes: standard output and
// standard error each have a single writer, so tests can capture either stream and lines
// written by tile workers never interleave mid-line with the main thread's.

#include <filesystem>
#include <string>
#include <string_view>

#include <fmt/format.h>

namespace console {

enum class Stream { Out, Err };

// Writes text as given (callers include the line end). Safe from any thread.
void write(Stream stream, std::string_view text);

inline void out(std::string_view text) { write(Stream::Out, text); }
inline void err(std::string_view text) { write(Stream::Err, text); }

template <typename... Args>
void print(fmt::format_string<Args...> format, Args&&... args)
{
    write(Stream::Out, fmt::format(format, std::forward<Args>(args)...));
}

template <typename... Args>
void eprint(fmt::format_string<Args...> format, Args&&... args)
{
    write(Stream::Err, fmt::format(format, std::forward<Args>(args)...));
}

// Chatter that only a user looking into a problem wants (a line per tile request): printed to
// standard output while verbose is on, dropped otherwise. Off at start. Safe from any thread.
void set_verbose(bool on);
bool verbose();

template <typename... Args>
void vprint(fmt::format_string<Args...> format, Args&&... args)
{
    if (verbose())
        write(Stream::Out, fmt::format(format, std::forward<Args>(args)...));
}

// Text in double quotes, each double quote or backslash inside preceded by a backslash:
// the form every path takes in a message.
std::string quoted(std::string_view text);
std::string quoted(const std::filesystem::path& path);

// While a Capture is alive, everything written goes into it instead of the real streams.
// Captures nest: the innermost one receives. Meant for tests.
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::string out() const;
    std::string err() const;
    void clear();

private:
    friend void write(Stream, std::string_view);
    Capture* m_previous = nullptr;
    std::string m_out;
    std::string m_err;
};

} // namespace console
