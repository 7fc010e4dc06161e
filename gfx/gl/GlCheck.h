#pragma once

// The GL error check. GL reports errors through a queue that nothing drains on its own, so
// selected calls are followed by one read of that queue; a code raised by an unchecked call
// surfaces at the next checked one, with that call's text and place.

#include <string_view>

namespace gfx {

// Reads glGetError() once; for a non-zero code prints
// "OpenGL error <code>, at <file>:<line> - for <call_text>" to standard output. Further queued
// codes stay queued for the next check. Never throws or aborts.
void gl_check(std::string_view call_text, const char* file, int line);

// Where gl_check reads its code from: glGetError, unless a test substitutes a scripted queue
// (drivers differ in how many codes they queue, so "one read per check" is tested against
// the substitute). nullptr restores glGetError. Render thread only.
using GlErrorSource = unsigned int (*)();
void set_gl_error_source(GlErrorSource source);

} // namespace gfx

// Makes a GL call, then checks it with the call's own source text and location:
//   GL_CHECK(glEnable(GL_DEPTH_TEST));  // reports "... - for glEnable(GL_DEPTH_TEST)"
// The argument is stringized before macro expansion, so GLEW's function macros do not leak
// into the text.
#define GL_CHECK(call)                                  \
    do {                                                \
        call;                                           \
        ::gfx::gl_check(#call, __FILE__, __LINE__);     \
    } while (false)
