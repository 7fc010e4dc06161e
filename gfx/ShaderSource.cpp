#include "gfx/ShaderSource.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "console/Console.h"

namespace gfx {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_line_end(char c) { return c == '\r' || c == '\n'; }

struct Directive {
    size_t begin = 0;          // start of the directive's line
    size_t end = 0;            // its line break (or the end of the text), which stays
    bool is_include = false;   // otherwise an inject directive
    std::string file_name;
};

// A character of the text, or '\0' past its end (where a C string would end).
char at(std::string_view text, size_t i) { return i < text.size() ? text[i] : '\0'; }

// Recognises a directive on the line starting at line_begin; the caller skips to the line end.
std::optional<Directive> parse_directive_line(std::string_view text, size_t line_begin)
{
    size_t s = line_begin;
    while (is_blank(at(text, s)))
        ++s;
    if (at(text, s) != '#')
        return std::nullopt;
    ++s;
    while (is_blank(at(text, s)))
        ++s;

    auto line_end_from = [&](size_t i) {
        while (i < text.size() && !is_line_end(text[i]))
            ++i;
        return i;
    };

    const std::string_view rest = text.substr(s);
    if (rest.starts_with("include") && is_space(at(text, s + 7))) {
        s += 7;
        while (is_blank(at(text, s)))
            ++s;
        if (at(text, s) != '"')
            return std::nullopt;
        const size_t name_begin = ++s;
        while (s < text.size() && text[s] != '"' && !is_line_end(text[s]))
            ++s;
        if (at(text, s) != '"')
            return std::nullopt; // no closing quote on this line: plain text
        Directive directive;
        directive.begin = line_begin;
        directive.end = line_end_from(s);
        directive.is_include = true;
        directive.file_name = std::string(text.substr(name_begin, s - name_begin));
        return directive;
    }
    if (rest.starts_with("inject") && (s + 6 >= text.size() || is_space(text[s + 6]))) {
        Directive directive;
        directive.begin = line_begin;
        directive.end = line_end_from(s);
        return directive;
    }
    return std::nullopt;
}

std::vector<Directive> find_directives(std::string_view text)
{
    std::vector<Directive> directives;
    size_t s = 0;
    while (s < text.size()) {
        if (auto directive = parse_directive_line(text, s))
            directives.push_back(std::move(*directive));
        while (s < text.size() && !is_line_end(text[s]))
            ++s;
        // CR LF and LF CR are one line break each.
        if (s < text.size()) {
            const bool pair = s + 1 < text.size() && is_line_end(text[s + 1]) && text[s + 1] != text[s];
            s += pair ? 2 : 1;
        }
    }
    return directives;
}

std::optional<std::string> read_file(const std::string& path)
{
    // A directory opens like a file on some systems and then reads as empty.
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string contents((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        return std::nullopt;
    return contents;
}

// Identity of a file for cycle detection: the same file reached through "a.glsl" and
// "./a.glsl" must compare equal.
std::string file_identity(const std::string& path)
{
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    if (error)
        return std::filesystem::path(path).lexically_normal().string();
    return canonical.string();
}

// A line break at text[i] ("\r\n" counts once, at its "\n").
bool breaks_line(std::string_view text, size_t i)
{
    return text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'));
}

class Expander {
public:
    Expander(std::string_view inject, const std::string& include_dir) : m_inject(inject), m_include_dir(include_dir) {}

    // Appends the expansion of the file; false (error() set) on failure.
    bool expand_file(const std::string& path)
    {
        const std::string identity = file_identity(path);
        for (const std::string& open : m_open_files) {
            if (open == identity)
                return fail("Error: include cycle at '" + path + "'");
        }
        if (static_cast<int>(m_open_files.size()) > MAX_INCLUDE_DEPTH)
            return fail("Error: includes nested too deep at '" + path + "'");

        std::optional<std::string> contents = read_file(path);
        if (!contents)
            return fail("Error: couldn't load '" + path + "'");

        m_open_files.push_back(identity);
        const bool expanded = expand_text(*contents, path);
        m_open_files.pop_back();
        return expanded;
    }

    // Appends the expansion of text, whose lines are those of file.
    bool expand_text(std::string_view text, const std::string& file)
    {
        size_t copied_up_to = 0;
        int line = 1; // of text[copied_up_to]
        for (const Directive& directive : find_directives(text)) {
            append(text.substr(copied_up_to, directive.begin - copied_up_to), file, line);
            line += count_breaks(text, copied_up_to, directive.begin);
            if (directive.is_include) {
                if (!expand_file(join(directive.file_name)))
                    return false;
            } else {
                append(m_inject, file, line);
            }
            copied_up_to = directive.end;
        }
        append(text.substr(copied_up_to), file, line);
        return true;
    }

    ExpandedSource result() &&
    {
        if (m_failed)
            return {std::nullopt, std::move(m_error), {}};
        return {std::move(m_output), {}, std::move(m_lines)};
    }

private:
    bool fail(std::string message)
    {
        m_failed = true;
        m_error = std::move(message);
        return false;
    }

    static int count_breaks(std::string_view text, size_t from, size_t to)
    {
        int breaks = 0;
        for (size_t i = from; i < to; ++i)
            breaks += breaks_line(text, i) ? 1 : 0;
        return breaks;
    }

    // Appends chunk, whose first character is on line first_line of file; each output line
    // is credited to where its first character came from.
    void append(std::string_view chunk, const std::string& file, int first_line)
    {
        int line = first_line;
        for (size_t i = 0; i < chunk.size(); ++i) {
            if (m_at_line_start) {
                m_lines.push_back({file, line});
                m_at_line_start = false;
            }
            m_output.push_back(chunk[i]);
            if (breaks_line(chunk, i)) {
                ++line;
                m_at_line_start = true;
            }
        }
    }

    // Every include resolves against the top-level file's directory. A top-level file given
    // without a directory has its includes beside it in the working directory, not in "/".
    std::string join(const std::string& file_name) const
    {
        return m_include_dir.empty() ? file_name : m_include_dir + "/" + file_name;
    }

    std::string_view m_inject;
    const std::string& m_include_dir;
    std::vector<std::string> m_open_files;
    std::string m_output;
    std::vector<SourceLine> m_lines;
    bool m_at_line_start = true;
    bool m_failed = false;
    std::string m_error;
};

} // namespace

ExpandedSource expand_includes(std::string_view text, std::string_view inject, const std::string& include_dir)
{
    Expander expander(inject, include_dir);
    expander.expand_text(text, {});
    return std::move(expander).result();
}

ExpandedSource expand_include_file(const std::string& path, std::string_view inject, const std::string& include_dir)
{
    Expander expander(inject, include_dir);
    expander.expand_file(path);
    return std::move(expander).result();
}

std::string include_dir_of(const std::string& path)
{
    const size_t last_separator = path.find_last_of('/');
    if (last_separator == std::string::npos)
        return {};
    size_t end = last_separator;
    while (end > 0 && path[end - 1] == '/')
        --end;
    if (end == 0)
        return "/"; // a file in the root directory
    return path.substr(0, end);
}

std::optional<std::string> load_source(const std::string& path)
{
    ExpandedSource source = expand_include_file(path, {}, include_dir_of(path));
    if (!source.text)
        console::err(source.error + "\n");
    return std::move(source.text);
}

} // namespace gfx
