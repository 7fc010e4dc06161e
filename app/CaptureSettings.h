#pragma once

// Capture mode: unattended runs that end by themselves and leave a picture of the last frame.
//   WINDHOLLOW_EXIT_AFTER_FRAMES=N   end the loop after N frames, as closing the window does
//   WINDHOLLOW_SCREENSHOT=file.png   write the last drawn frame there as PNG when the loop
//                                    ends, whatever ended it (SIGTERM and SIGINT included);
//                                    a name not ending in .png (any case) is refused
//   WINDHOLLOW_EXIT_WHEN_SETTLED=1   end the loop once the terrain has been complete for
//                                    SETTLED_FRAMES frames in a row (or at the frame limit)
//   WINDHOLLOW_FRAME_TIMES=file      write each frame's duration there when the loop ends:
//                                    milliseconds, one decimal number per line, in frame order
//   WINDHOLLOW_CAMERA=free|orbit|cockpit   the camera drawn from at start
//   WINDHOLLOW_FRAME_STATS=file      write each frame's statistics there when the loop ends
//                                    (CSV, see FrameStatsFile)

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

enum class CameraChoice { Free, Orbit, Cockpit };

struct CaptureSettings {
    static constexpr uint32_t SETTLED_FRAMES = 3;

    std::optional<uint64_t> exit_after_frames; // at least 1
    std::filesystem::path screenshot;          // empty: none
    bool exit_when_settled = false;
    std::filesystem::path frame_times;         // empty: none
    std::optional<CameraChoice> camera;        // none: the program's own choice
    std::filesystem::path frame_stats;         // empty: none

    // Reads the variables above. A value that cannot be used prints one line on standard
    // error and is ignored; an empty value counts as unset.
    static CaptureSettings from_environment();

    // The same from given values by variable name (a missing name: unset), for tests.
    static CaptureSettings parse(const std::map<std::string, std::string>& values);
};
