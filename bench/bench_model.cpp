// What the aircraft's model and the head-up display cost per frame on this machine's GL (Mesa
// llvmpipe under Xvfb here), to set beside bench_frame's frame times: the shipped model drawn
// into a 1280 x 720 target as the orbit camera sees it (15 m behind) and as the cockpit camera
// does, its depth pass into a 2048 x 2048 shadow map, and the head-up display built and drawn
// with Dear ImGui. Medians of 60 frames, each ended with glFinish.
//
// Run under a display, from the build directory:
//   xvfb-run -a -s "-screen 0 1920x1080x24" bench/bench_model

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include <GL/glew.h>
#include <SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>

#include "app/AircraftModel.h"
#include "app/CockpitCamera.h"
#include "app/Hud.h"
#include "console/Console.h"
#include "gfx/ModelRenderer.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PerspectiveCamera.h"
#include "gfx/ShaderSet.h"
#include "gfx/gl/gl.h"
#include "physics/Aircraft.h"
#include "physics/PhysicsWorld.h"
#include "tests/support/OffscreenTarget.h"

namespace {

constexpr int WIDTH = 1280, HEIGHT = 720, FRAMES = 60, SHADOW_SIZE = 2048;
constexpr float UNITS_PER_METRE = 0.05f; // the program's world scale

double median_ms(const std::function<void()>& frame)
{
    std::vector<double> times;
    for (int i = 0; i < FRAMES; ++i) {
        const auto start = std::chrono::steady_clock::now();
        frame();
        glFinish();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + FRAMES / 2, times.end());
    return times[FRAMES / 2];
}

} // namespace

int main()
{
    SDL_Init(SDL_INIT_VIDEO);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_Window* window = SDL_CreateWindow("bench_model", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window || !SDL_GL_CreateContext(window) || (glewExperimental = GL_TRUE, glewInit()) != GLEW_OK) {
        console::eprint("No GL 4.3 context: {}\n", SDL_GetError());
        return 1;
    }
    console::print("GL renderer: {}\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    {
        const std::filesystem::path assets = std::filesystem::path(WH_SOURCE_DIR) / "assets";
        gfx::ShaderSet shaders(assets / "shaders");
        PhysicsWorld world;
        Aircraft aircraft(world);
        aircraft.load_flight_model(assets / "config/FlightModel.json");
        std::optional<AircraftModel> model = aircraft.model ? AircraftModel::load(*aircraft.model, assets) : std::nullopt;
        if (!model)
            return 1;
        gfx::ModelRenderer renderer(model->model());
        ControlInputs controls;
        controls.throttle = 0.6f;
        controls.aileron = 0.3f;
        model->update(controls, 2.0f); // the engine running: the disc shown

        const OffscreenTarget target(WIDTH, HEIGHT, true);
        gfx::Texture shadow_map;
        shadow_map.bind();
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, SHADOW_SIZE, SHADOW_SIZE, 0, GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
        gfx::Texture::set_parameter(GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        gfx::Texture::set_parameter(GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        gfx::Framebuffer shadow_target;
        glBindFramebuffer(GL_FRAMEBUFFER, shadow_target.id());
        glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, shadow_map.id(), 0);
        glDrawBuffer(GL_NONE);

        // The body 100 m up, heading north-east, a little banked.
        const glm::vec3 body(0.0f, 100.0f * UNITS_PER_METRE, 0.0f);
        const glm::quat attitude = glm::angleAxis(0.8f, glm::vec3(0, 1, 0)) * glm::angleAxis(0.15f, glm::vec3(1, 0, 0));
        const glm::mat4 placed = model->world_matrix(body, attitude, UNITS_PER_METRE);
        gfx::SceneLighting lighting;
        lighting.sun_direction = glm::normalize(glm::vec3(0.4f, 0.8f, 0.3f));
        lighting.shadows = true;
        const float reach = model->reach() * UNITS_PER_METRE;
        gfx::OrthoCamera light(-reach, reach, -reach, reach, 0.0f, 4.0f * reach);
        light.look_at(body + 2.0f * reach * lighting.sun_direction, body, glm::vec3(0, 1, 0));
        lighting.light_space = light.get_view_projection();

        gfx::PerspectiveCamera orbit;
        orbit.set_perspective(0.7853982f, float(WIDTH) / HEIGHT, 0.12f, 10000.0f);
        orbit.look_at(body + attitude * glm::vec3(-15.0f, 4.0f, 0.0f) * UNITS_PER_METRE, body, glm::vec3(0, 1, 0));
        CockpitCamera cockpit(aircraft.eye, UNITS_PER_METRE);
        cockpit.set_perspective(0.7853982f, float(WIDTH) / HEIGHT, 0.005f, 10000.0f);
        cockpit.follow(body, attitude);

        const auto view = [&](const gfx::Camera& camera) {
            return [&] {
                glBindFramebuffer(GL_FRAMEBUFFER, target.id());
                glViewport(0, 0, WIDTH, HEIGHT);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                glEnable(GL_DEPTH_TEST);
                glEnable(GL_BLEND);
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                shadow_map.bind(3);
                renderer.draw(shaders, camera, lighting, placed, model->pose());
            };
        };
        const auto clear_only = [&] {
            glBindFramebuffer(GL_FRAMEBUFFER, target.id());
            glViewport(0, 0, WIDTH, HEIGHT);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        };
        const double clear = median_ms(clear_only);
        const double depth_pass = median_ms([&] {
            glBindFramebuffer(GL_FRAMEBUFFER, shadow_target.id());
            glViewport(0, 0, SHADOW_SIZE, SHADOW_SIZE);
            glClear(GL_DEPTH_BUFFER_BIT);
            glEnable(GL_DEPTH_TEST);
            renderer.draw_depth(shaders, light, placed, model->pose());
        });
        const double orbit_ms = median_ms(view(orbit)) - clear;
        const double cockpit_ms = median_ms(view(cockpit)) - clear;
        const double update = median_ms([&] { model->update(controls, 1.0f / 60.0f); });

        ImGui::CreateContext();
        ImGui::GetIO().DisplaySize = ImVec2(WIDTH, HEIGHT);
        ImGui::GetIO().IniFilename = nullptr;
        ImGui_ImplOpenGL3_Init("#version 430");
        Hud hud;
        FlightData data;
        data.heading_deg = 45.0;
        data.pitch_deg = 3.0;
        data.roll_deg = 8.0;
        data.airspeed_m_s = 38.0;
        data.track_deg = 47.0;
        data.altitude_m = 612.0;
        const double hud_ms = median_ms([&] {
            clear_only();
            ImGui_ImplOpenGL3_NewFrame();
            ImGui::GetIO().DeltaTime = 1.0f / 60.0f;
            ImGui::NewFrame();
            hud.draw(*ImGui::GetBackgroundDrawList(), data, hud::View{float(WIDTH), float(HEIGHT), 0.7853982f});
            ImGui::Render();
            ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        }) - clear;
        ImGui_ImplOpenGL3_Shutdown();
        ImGui::DestroyContext();

        console::print("Model: {} triangles, {} draw calls\n", model->model().triangle_count(), renderer.draw_calls(model->pose()));
        console::print("Orbit view (15 m behind):  {:.2f} ms\n", orbit_ms);
        console::print("Cockpit view:              {:.2f} ms\n", cockpit_ms);
        console::print("Shadow map depth pass:     {:.2f} ms (clear of {} x {} included)\n", depth_pass, SHADOW_SIZE, SHADOW_SIZE);
        console::print("Parts update:              {:.3f} ms\n", update);
        console::print("Head-up display:           {:.2f} ms\n", hud_ms);
        console::print("(clear of the 1280 x 720 target: {:.2f} ms, taken off the views)\n", clear);
    }
    SDL_Quit();
    return 0;
}
