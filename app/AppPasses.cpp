// App: terrain creation, shadow map set-up and the frame's drawing passes.

#include "app/App.h"

#include <GL/glew.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

void App::create_terrain() {}

void App::setup_shadow_map() {}

void App::reload_terrain_shaders() {}

// Capture mode (WINDHOLLOW_EXIT_WHEN_SETTLED) ends the loop once this has held for a few
// frames in a row. Asked from swap_buffers, after the frame's terrain was drawn.
bool App::capture_settled() const { return true; }

// Ends with swap_buffers(), never a bare SDL_GL_SwapWindow: the capture mode reads the last
// frame there, before the swap.
void App::render_frame(float)
{
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, GLsizei(width), GLsizei(height));
    glClearColor(0.2f, 0.29803923f, 0.29803923f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    if (show_overlay)
        draw_overlay();

    ImGui::Render();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    swap_buffers();
}
