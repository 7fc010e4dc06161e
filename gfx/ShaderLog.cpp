#include "gfx/ShaderLog.h"

#include <regex>

#include "console/Console.h"

namespace gfx {
namespace {

struct Located {
    size_t line = 0; // of the compiled text, from 1
    std::string message;
};

// The line a log entry points at and its message, when it has the form of a known compiler.
bool locate(const std::string& entry, Located& located)
{
    static const std::regex mesa(R"(^\s*\d+:(\d{1,9})\(\d+\):\s*(.*)$)");
    static const std::regex nvidia(R"(^\s*\d+\((\d{1,9})\)\s*:\s*(.*)$)");
    static const std::regex amd(R"(^\s*(ERROR|WARNING):\s*\d+:(\d{1,9}):\s*(.*)$)");
    std::smatch match;
    if (std::regex_match(entry, match, mesa) || std::regex_match(entry, match, nvidia)) {
        located.line = std::stoul(match[1].str());
        located.message = match[2].str();
        return true;
    }
    if (std::regex_match(entry, match, amd)) {
        located.line = std::stoul(match[2].str());
        located.message = (match[1].str() == "ERROR" ? "error: " : "warning: ") + match[3].str();
        return true;
    }
    return false;
}

} // namespace

std::vector<std::string> describe_compile_log(std::string_view log, const std::vector<SourceLine>& lines,
                                              const std::string& file)
{
    std::vector<std::string> described;
    size_t begin = 0;
    while (begin < log.size()) {
        size_t end = log.find('\n', begin);
        if (end == std::string_view::npos)
            end = log.size();
        std::string entry(log.substr(begin, end - begin));
        begin = end + 1;
        while (!entry.empty() && (entry.back() == '\r' || entry.back() == ' ' || entry.back() == '\0'))
            entry.pop_back();
        if (entry.find_first_not_of(" \t") == std::string::npos)
            continue;
        Located located;
        // Digits beyond any line count are no line of the text: the entry stays as it is.
        if (locate(entry, located) && located.line >= 1 && located.line <= lines.size()) {
            const SourceLine& origin = lines[located.line - 1];
            described.push_back(console::quoted(std::string_view(origin.file.empty() ? file : origin.file)) + " line " +
                                std::to_string(origin.line) + ": " + located.message);
        } else {
            described.push_back(console::quoted(std::string_view(file)) + ": " + entry);
        }
    }
    return described;
}

} // namespace gfx
