#include "app/CaptureSettings.h"

#include "console/Console.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string_view>

CaptureSettings CaptureSettings::parse(const char* exit_after_frames, const char* screenshot,
                                       const char* exit_when_settled, const char* frame_times)
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
    if (exit_when_settled != nullptr && *exit_when_settled != '\0') {
        std::string_view text(exit_when_settled);
        if (text == "1")
            settings.exit_when_settled = true;
        else if (text != "0")
            console::eprint("Ignoring WINDHOLLOW_EXIT_WHEN_SETTLED={}: expected 1 or 0\n", console::quoted(text));
    }
    return settings;
}

CaptureSettings CaptureSettings::from_environment()
{
    return parse(std::getenv("WINDHOLLOW_EXIT_AFTER_FRAMES"), std::getenv("WINDHOLLOW_SCREENSHOT"),
                 std::getenv("WINDHOLLOW_EXIT_WHEN_SETTLED"), std::getenv("WINDHOLLOW_FRAME_TIMES"));
}
