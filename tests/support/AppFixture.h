#pragma once

// An App built against a test's own tile server in a throw-away base directory with its own tile
// cache (what construction printed kept in `startup`), and a driver that draws overlay frames
// alone (no scene) with a synthetic mouse and reads the text they show. Link wh_app and
// wh_test_support.

#include <imgui.h>
#include <imgui_internal.h>

#include "app/App.h"
#include "console/Console.h"
#include "tests/support/Support.h"

namespace support {

struct AppWorld {
    TempDir dir{"wh-app"};
    TileServer server;
    std::filesystem::path base = make_base_dir(dir, server);
    std::string startup;
    std::unique_ptr<App> app;

    // before_app runs just before the App is built (tests attach virtual joysticks there).
    explicit AppWorld(const std::function<void()>& before_app = {})
    {
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        console::Capture capture;
        const Config config = load_config(base);
        if (before_app)
            before_app();
        app = std::make_unique<App>(config);
        startup = capture.out();
    }
};

class OverlayDriver {
public:
    explicit OverlayDriver(App& app) : m_app(app)
    {
        unsigned char* pixels = nullptr; // the font atlas, which the GL backend would build
        int width = 0, height = 0;
        ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    }

    // One overlay frame with the mouse at pos and the left button down or up; draw replaces
    // the overlay's windows.
    void frame(ImVec2 pos = {-1, -1}, bool down = false, const std::function<void()>& draw = {})
    {
        ImGuiIO& io = ImGui::GetIO();
        io.DisplaySize = ImVec2(float(m_app.width), float(m_app.height));
        io.DeltaTime = 1.0f / 60.0f;
        io.MousePos = pos;
        io.MouseDown[0] = down;
        ImGui::NewFrame();
        draw ? draw() : m_app.draw_overlay();
        ImGui::Render();
    }

    // The text the windows draw, as ImGui logs it through its clipboard hook (nothing of its
    // context is read directly): every text and label on a line.
    std::string text(const std::function<void()>& draw)
    {
        static std::string captured;
        ImGui::GetIO().SetClipboardTextFn = [](void*, const char* text) { captured = text; };
        frame({-1, -1}, false, [&] {
            ImGui::LogToClipboard();
            draw();
            ImGui::LogFinish();
        });
        return captured;
    }

    // The Options window sized to show the given headers, opened as clicks would open them.
    void open(const std::vector<std::string>& headers)
    {
        frame();
        ImGuiWindow* window = ImGui::FindWindowByName("Options");
        for (const std::string& label : headers)
            window->StateStorage.SetInt(ImHashStr(label.c_str(), 0, window->ID), 1);
        ImGui::SetWindowSize("Options", {420, 710});
        frame();
    }

private:
    App& m_app;
};

} // namespace support
