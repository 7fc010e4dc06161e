#pragma once

// A GLSL compiler's log told in the shader files' own terms. The compiler numbers the lines of
// the text it was given, which is the expansion of a file and everything it includes; each
// log line that points at such a line is turned round to name the file and the line in it.
// Pure text work: no GL.

#include <string>
#include <string_view>
#include <vector>

#include "gfx/ShaderSource.h"

namespace gfx {

// The log's lines, one message each, with no line end:
//   "<file>" line <n>: <message>   for a line pointing into the source (the forms of Mesa
//                                  "0:12(5): error: …", NVIDIA "0(12) : error C1008: …" and
//                                  AMD/Intel "ERROR: 0:12: …" are understood)
//   "<file>": <log line>           for any other (file: the stage's own file)
// Empty lines are left out. file is quoted as every path in a message is.
std::vector<std::string> describe_compile_log(std::string_view log, const std::vector<SourceLine>& lines,
                                              const std::string& file);

} // namespace gfx
