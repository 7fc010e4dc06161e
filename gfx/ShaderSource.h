#pragma once

// Shader source files with include directives, expanded before compilation so that shader
// files can share code. Pure text and file logic: no GL, testable without a window.
//
// Directives (a line whose first non-blank character is '#'):
//   #include "name"   replaced by the expanded file <include dir>/name. Nested includes are
//                     resolved against the same include directory (the top-level file's),
//                     never against the including file's own directory.
//   #inject           replaced by the inject text (the program passes an empty one).
// Blanks (spaces, tabs) may stand before and after the '#'. "include" must be followed by
// whitespace and a double-quoted name closed on the same line; anything else (a longer word,
// an unquoted or unterminated name) is left unchanged for the GLSL compiler to judge. The
// directive line is replaced up to, not including, its line break. No #line or other text is
// added, so compiler line numbers count lines of the expanded text.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

// Deepest include nesting accepted; deeper nesting is reported as an error rather than
// exhausting the stack.
inline constexpr int MAX_INCLUDE_DEPTH = 32;

// Where a line of expanded text comes from: the file (as its path was given; empty for the
// text handed to expand_includes) and the line in it, counted from 1.
struct SourceLine {
    std::string file;
    int line = 0;
};

struct ExpandedSource {
    std::optional<std::string> text; // empty when expansion failed
    std::string error;               // the failure's message (no line end) when text is empty
    // lines[k] is where line k + 1 of text starts (a line break is "\n", "\r\n" or a lone
    // "\r", as the GLSL compilers count them), so a compiler's line number can name the file
    // and line it means.
    std::vector<SourceLine> lines;
};

// Expands the directives of one text. Failures: a missing or unreadable file
// "Error: couldn't load '<path>'"; an include cycle "Error: include cycle at '<path>'";
// nesting beyond MAX_INCLUDE_DEPTH "Error: includes nested too deep at '<path>'".
ExpandedSource expand_includes(std::string_view text, std::string_view inject, const std::string& include_dir);

// Reads the file at path (binary) and expands it as above.
ExpandedSource expand_include_file(const std::string& path, std::string_view inject, const std::string& include_dir);

// The directory part of a path: without its last component and without trailing separators
// ("a/b/c.vert" → "a/b", "c.vert" → "", "/c.vert" → "/").
std::string include_dir_of(const std::string& path);

// Reads and expands a shader source file with its own directory as include directory and
// an empty inject text. On failure prints the error and a line end to standard error and
// returns nothing.
std::optional<std::string> load_source(const std::string& path);

} // namespace gfx
