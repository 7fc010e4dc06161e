#pragma once

// One App per test program, built against the local tile server in a throw-away base
// directory with its own tile cache, and a driver that works the overlay with a synthetic
// mouse: frames of the overlay alone (no scene, no window backends), items found by hovering
// over them, clicks and drags as ImGui sees them from a real mouse.

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <imgui.h>
#include <imgui_internal.h>

#include "app/App.h"
#include "app/Config.h"
#include "tests/support/BaseDir.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace controls_test {

struct AppWorld {
    support::TempDir dir{"wh-controls"};
    support::TileServer server;
    std::filesystem::path base;
    std::unique_ptr<App> app;

    // before_app runs after SDL's joystick subsystem is up and before the App opens its
    // devices (tests attach virtual joysticks there).
    explicit AppWorld(const std::function<void()>& before_app = {})
    {
        base = support::make_base_dir(dir, server);
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        const Config config = load_config(base);
        if (before_app)
            before_app();
        app = std::make_unique<App>(config);
    }

    ~AppWorld() { app.reset(); }
};

class OverlayDriver {
public:
    explicit OverlayDriver(App& app)
        : m_app(app)
    {
        // The atlas is built here rather than by the GL backend: these frames draw nothing.
        unsigned char* pixels = nullptr;
        int width = 0;
        int height = 0;
        ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    }

    // One overlay frame with the mouse at pos, the left button down or up.
    void frame(ImVec2 pos, bool down)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.DisplaySize = ImVec2(static_cast<float>(m_app.width), static_cast<float>(m_app.height));
        io.DeltaTime = 1.0f / 60.0f;
        io.MousePos = pos;
        io.MouseDown[0] = down;
        ImGui::NewFrame();
        m_app.draw_overlay();
        ImGui::Render();
    }

    // One frame in which the text that draw puts into its window is captured as ImGui logs
    // it: every Text and label, one line each. ImGui ends a log at the End of the first
    // top-level window, so draw is meant to draw one window.
    std::string capture_text(const std::function<void()>& draw)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.DisplaySize = ImVec2(static_cast<float>(m_app.width), static_cast<float>(m_app.height));
        io.DeltaTime = 1.0f / 60.0f;
        io.MousePos = ImVec2(-1.0f, -1.0f);
        io.MouseDown[0] = false;
        // The log reaches us through the clipboard hook: the library's own context fields
        // past its text-edit state need not match these headers (Debian builds ImGui against
        // the system stb), so nothing there is read directly.
        static std::string captured;
        captured.clear();
        const auto saved_set = io.SetClipboardTextFn;
        io.SetClipboardTextFn = [](void*, const char* text) { captured = text; };
        ImGui::NewFrame();
        ImGui::LogToClipboard();
        draw();
        ImGui::LogFinish();
        ImGui::Render();
        io.SetClipboardTextFn = saved_set;
        return captured;
    }

    // Opens collapsing headers of the window (top-level labels) as a click would.
    static void open_headers(const char* window_name, const std::vector<std::string>& labels)
    {
        ImGuiWindow* window = ImGui::FindWindowByName(window_name);
        if (window == nullptr)
            return;
        for (const std::string& label : labels)
            window->StateStorage.SetInt(ImHashStr(label.c_str(), 0, window->ID), 1);
    }

    // A couple of idle frames so that windows exist and have their sizes.
    void settle()
    {
        frame(ImVec2(-1.0f, -1.0f), false);
        frame(ImVec2(-1.0f, -1.0f), false);
    }

    // The ID an item with this label gets at the top level of the named window.
    static ImGuiID item_id(const char* window_name, const char* label)
    {
        ImGuiWindow* window = ImGui::FindWindowByName(window_name);
        if (window == nullptr)
            return 0;
        return ImHashStr(label, 0, window->ID);
    }

    // Sweeps the mouse over the window until ImGui reports the item hovered; returns where.
    std::optional<ImVec2> find(const char* window_name, const char* label)
    {
        return find_id(window_name, item_id(window_name, label));
    }

    std::optional<ImVec2> find_id(const char* window_name, ImGuiID id)
    {
        ImGuiWindow* window = ImGui::FindWindowByName(window_name);
        if (id == 0 || window == nullptr)
            return std::nullopt;
        const ImVec2 min = window->Pos;
        const ImVec2 max(window->Pos.x + window->Size.x, window->Pos.y + window->Size.y);
        for (float x = min.x + 20.0f; x < max.x; x += 40.0f) {
            for (float y = min.y + 2.0f; y < max.y; y += 3.0f) {
                frame(ImVec2(x, y), false);
                if (ImGui::GetCurrentContext()->HoveredId == id)
                    return ImVec2(x, y);
            }
        }
        return std::nullopt;
    }

    // Press and release on the item; false when it could not be found.
    bool click(const char* window_name, const char* label) { return click_id(window_name, item_id(window_name, label)); }

    bool click_id(const char* window_name, ImGuiID id)
    {
        const std::optional<ImVec2> pos = find_id(window_name, id);
        if (!pos)
            return false;
        frame(*pos, true);
        frame(*pos, false);
        frame(ImVec2(-1.0f, -1.0f), false);
        return true;
    }

    // Presses on the item, drags the mouse to x (same height) and lets go there.
    bool drag_to_x(const char* window_name, const char* label, float x)
    {
        const std::optional<ImVec2> pos = find(window_name, label);
        if (!pos)
            return false;
        frame(*pos, true);
        frame(ImVec2(x, pos->y), true);
        frame(ImVec2(x, pos->y), false);
        frame(ImVec2(-1.0f, -1.0f), false);
        return true;
    }

    // Makes the window tall enough to show everything opened in it.
    static void enlarge(const char* window_name, ImVec2 size) { ImGui::SetWindowSize(window_name, size); }

private:
    App& m_app;
};

} // namespace controls_test
