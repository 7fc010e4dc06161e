#include "app/CaptureSettings.h"

#include "console/Console.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <string_view>

namespace {

// variable(name): the variable's text, or null when unset.
CaptureSettings read_settings(const std::function<const char*(const char*)>& variable)
{
    const char* exit_after_frames = variable("WINDHOLLOW_EXIT_AFTER_FRAMES");
    const char* screenshot = variable("WINDHOLLOW_SCREENSHOT");
    const char* exit_when_settled = variable("WINDHOLLOW_EXIT_WHEN_SETTLED");
    const char* frame_times = variable("WINDHOLLOW_FRAME_TIMES");
    const char* camera = variable("WINDHOLLOW_CAMERA");
    const char* frame_stats = variable("WINDHOLLOW_FRAME_STATS");
    CaptureSettings settings;
    if (exit_after_frames != nullptr && *exit_after_frames != '\0') {
        std::string_view text(exit_after_frames);
        uint64_t frames = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), frames);
        if (error != std::errc() || end != text.data() + text.size() || frames == 0) {
            console::eprint("Ignoring WINDHOLLOW_EXIT_AFTER_FRAMES={}: expected a whole number of frames, 1 or more\n",
                            console::quoted(text));
        } else {
            settings.exit_after_frames = frames;
        }
    }
    if (screenshot != nullptr && *screenshot != '\0') {
        // The picture is written as PNG: under another ending it would be a file that lies
        // about what it holds.
        std::string extension = std::filesystem::path(screenshot).extension().string();
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (extension == ".png")
            settings.screenshot = screenshot;
        else
            console::eprint("Ignoring WINDHOLLOW_SCREENSHOT={}: expected a file name ending in .png\n",
                            console::quoted(std::string_view(screenshot)));
    }
    if (frame_times != nullptr && *frame_times != '\0')
        settings.frame_times = frame_times;
    if (frame_stats != nullptr && *frame_stats != '\0')
        settings.frame_stats = frame_stats;
    if (exit_when_settled != nullptr && *exit_when_settled != '\0') {
        std::string_view text(exit_when_settled);
        if (text == "1")
            settings.exit_when_settled = true;
        else if (text != "0")
            console::eprint("Ignoring WINDHOLLOW_EXIT_WHEN_SETTLED={}: expected 1 or 0\n", console::quoted(text));
    }
    if (camera != nullptr && *camera != '\0') {
        const std::string_view text(camera);
        if (text == "free")
            settings.camera = CameraChoice::Free;
        else if (text == "orbit")
            settings.camera = CameraChoice::Orbit;
        else if (text == "cockpit")
            settings.camera = CameraChoice::Cockpit;
        else
            console::eprint("Ignoring WINDHOLLOW_CAMERA={}: expected free, orbit or cockpit\n", console::quoted(text));
    }
    return settings;
}

} // namespace

CaptureSettings CaptureSettings::parse(const std::map<std::string, std::string>& values)
{
    return read_settings([&](const char* name) {
        const auto found = values.find(name);
        return found != values.end() ? found->second.c_str() : nullptr;
    });
}

CaptureSettings CaptureSettings::from_environment()
{
    return read_settings([](const char* name) { return std::getenv(name); });
}
