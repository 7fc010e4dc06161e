#include "app/CaptureSettings.h"

#include "console/Console.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

CaptureSettings CaptureSettings::parse(const char* exit_after_frames, const char* screenshot,
                                       const char* exit_when_settled, const char* frame_times, const char* camera,
                                       const char* frame_stats)
{
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
    if (screenshot != nullptr && *screenshot != '\0')
        settings.screenshot = screenshot;
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

CaptureSettings CaptureSettings::from_environment()
{
    return parse(std::getenv("WINDHOLLOW_EXIT_AFTER_FRAMES"), std::getenv("WINDHOLLOW_SCREENSHOT"),
                 std::getenv("WINDHOLLOW_EXIT_WHEN_SETTLED"), std::getenv("WINDHOLLOW_FRAME_TIMES"),
                 std::getenv("WINDHOLLOW_CAMERA"), std::getenv("WINDHOLLOW_FRAME_STATS"));
}
