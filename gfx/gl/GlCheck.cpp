#include "gfx/gl/GlCheck.h"

#include <GL/glew.h>

#include "console/Console.h"

namespace gfx {
namespace {

GlErrorSource g_error_source = nullptr;

} // namespace

void set_gl_error_source(GlErrorSource source) { g_error_source = source; }

void gl_check(std::string_view call_text, const char* file, int line)
{
    // Exactly one read: draining the queue here would hide which later call saw which code.
    const GLenum code = g_error_source ? g_error_source() : glGetError();
    if (code == GL_NO_ERROR)
        return;
    console::print("OpenGL error {}, at {}:{} - for {}\n", static_cast<int>(code), file, line, call_text);
}

} // namespace gfx
