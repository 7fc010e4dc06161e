#pragma once

// The program's one SDL window with its OpenGL 4.3 core context, the GL entry points, the
// Dear ImGui context with its SDL2 and OpenGL3 backends, and the fixed GL state every pass
// relies on. App holds it as its first member, so all of this exists before any other part
// and is torn down after all of them.

#include <cstdint>
#include <stdexcept>
#include <string>

#include <SDL.h>

// The window, its context or the GL loader could not be set up. The message is one line
// naming the step and the library's own reason; whatever was created is already torn down.
class WindowError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Window {
public:
    // width and height in pixels (both at least 1), title as UTF-8. Throws WindowError.
    Window(int32_t width, int32_t height, const std::string& title);
    ~Window();

    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    Window(Window&&) = delete;
    Window& operator=(Window&&) = delete;

    // width / height. A height of 0 (a minimised window) counts as 1, so the ratio stays
    // finite and cameras keep a usable projection.
    float aspect_ratio() const;

    // Stores the new client size and sets the viewport to it.
    void resize(uint64_t new_width, uint64_t new_height);

    uint64_t width = 0;
    uint64_t height = 0;
    SDL_Window* sdl_window = nullptr;
    SDL_GLContext gl_context = nullptr;

private:
    void create_window_and_context(const std::string& title);
    // Undoes whatever the constructor got done, in reverse order; safe on a partial setup.
    void teardown() noexcept;

    bool m_sdl_initialised = false;
    bool m_imgui_context = false;
    bool m_imgui_sdl_backend = false;
    bool m_imgui_gl_backend = false;
};
