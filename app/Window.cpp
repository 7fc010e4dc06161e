#include "app/Window.h"

#include "console/Console.h"
#include "gfx/gl/GlCheck.h"

#include <GL/glew.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

namespace {

void set_context_attributes()
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    // Multisampling belongs to the scene's own framebuffer (gfx/SceneTarget.h), where it can
    // be changed while the program runs; the window's is drawn into once resolved.
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
}

} // namespace

Window::Window(int32_t initial_width, int32_t initial_height, const std::string& title)
    : width(uint64_t(initial_width > 0 ? initial_width : 1))
    , height(uint64_t(initial_height > 0 ? initial_height : 1))
{
    try {
        // GLEW here is built for GLX, so the context must come from SDL's X11 driver; left to
        // itself SDL would fall back to an EGL-based driver when there is no X display and
        // hand over a context GLEW cannot fully serve. SDL_VIDEODRIVER still overrides this.
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_DEFAULT);
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0)
            throw WindowError(std::string("Could not initialise SDL video (is there a display?): ") + SDL_GetError());
        m_sdl_initialised = true;

        create_window_and_context(title);

        glewExperimental = GL_TRUE;
        GLenum glew_status = glewInit();
        // GLEW built for GLX reports GLEW_ERROR_NO_GLX_DISPLAY when the context does not come
        // from GLX (EGL under some drivers and setups) — but it says so only after it has
        // loaded the core entry points, which is all this program uses.
        if (glew_status != GLEW_OK && glew_status != GLEW_ERROR_NO_GLX_DISPLAY) {
            throw WindowError(std::string("Could not load the OpenGL functions (glewInit): ") +
                              reinterpret_cast<const char*>(glewGetErrorString(glew_status)));
        }
        if (!GLEW_VERSION_4_3) {
            const GLubyte* version = glGetString(GL_VERSION);
            throw WindowError(std::string("OpenGL 4.3 is not available, the driver offers ") +
                              (version ? reinterpret_cast<const char*>(version) : "no version"));
        }
        // Loading may leave an error behind (extension queries on a core context); it
        // belongs to no call of this program, so it is not reported at the first check.
        while (glGetError() != GL_NO_ERROR) {
        }

        IMGUI_CHECKVERSION();
        ImGui::CreateContext();
        m_imgui_context = true;
        // No settings are written back anywhere, and an imgui.ini in the working directory
        // would be exactly that.
        ImGui::GetIO().IniFilename = nullptr;
        if (!ImGui_ImplSDL2_InitForOpenGL(sdl_window, gl_context))
            throw WindowError("Could not start the ImGui SDL2 backend");
        m_imgui_sdl_backend = true;
        if (!ImGui_ImplOpenGL3_Init())
            throw WindowError("Could not start the ImGui OpenGL3 backend");
        m_imgui_gl_backend = true;

        GL_CHECK(glEnable(GL_DEPTH_TEST));
        GL_CHECK(glEnable(GL_CULL_FACE));
        // Front faces are culled: the scene's meshes are wound for it.
        GL_CHECK(glCullFace(GL_FRONT));
        GL_CHECK(glEnable(GL_MULTISAMPLE));
        glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
        glEnable(GL_POLYGON_SMOOTH);
        glViewport(0, 0, GLsizei(width), GLsizei(height));
    } catch (...) {
        teardown();
        throw;
    }
}

void Window::create_window_and_context(const std::string& title)
{
    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE;
    set_context_attributes();
    sdl_window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, int(width),
                                  int(height), flags);
    if (sdl_window == nullptr)
        throw WindowError(std::string("Could not create the window: ") + SDL_GetError());
    gl_context = SDL_GL_CreateContext(sdl_window);
    if (gl_context == nullptr) {
        std::string reason = SDL_GetError();
        SDL_DestroyWindow(sdl_window);
        sdl_window = nullptr;
        throw WindowError("Could not create an OpenGL 4.3 core context: " + reason);
    }
}

Window::~Window() { teardown(); }

void Window::teardown() noexcept
{
    if (m_imgui_gl_backend)
        ImGui_ImplOpenGL3_Shutdown();
    if (m_imgui_sdl_backend)
        ImGui_ImplSDL2_Shutdown();
    if (m_imgui_context)
        ImGui::DestroyContext();
    m_imgui_gl_backend = m_imgui_sdl_backend = m_imgui_context = false;
    if (gl_context != nullptr)
        SDL_GL_DeleteContext(gl_context);
    gl_context = nullptr;
    if (sdl_window != nullptr)
        SDL_DestroyWindow(sdl_window);
    sdl_window = nullptr;
    if (m_sdl_initialised)
        SDL_Quit();
    m_sdl_initialised = false;
}

float Window::aspect_ratio() const
{
    return float(width) / float(height == 0 ? 1 : height);
}

void Window::resize(uint64_t new_width, uint64_t new_height)
{
    width = new_width;
    height = new_height;
    glViewport(0, 0, GLsizei(width), GLsizei(height));
}
