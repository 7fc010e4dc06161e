#pragma once

// Capture mode at work (app/CaptureSettings.h says what the variables ask for): counts the
// settled frames, decides when the loop ends, keeps the last frame's pixels for the
// screenshot, records each frame's duration and statistics, and writes the files when the loop
// ends. A capture that was asked for and could not be written marks the run as failed.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/CaptureSettings.h"
#include "app/FrameStatsFile.h"

class Window;

class FrameCapture {
public:
    CaptureSettings settings;
    // A screenshot, frame-time or frame statistics file was asked for and could not be written.
    bool failed = false;

    // A new run of the loop: its frame limit and settled count start again.
    void start_run();
    // A finished frame, before its swap: counts it as settled (the terrain drew it whole) or
    // not, and, when it is the loop's last (quitting, or the settings end the loop after it),
    // reads its pixels for the screenshot. frames_run: frames completed before this one.
    void before_swap(const Window& window, bool settled, bool quitting, uint64_t frames_run);
    // What a frame showed, for the frame statistics.
    struct FrameFigures {
        uint32_t leaves = 0;        // terrain leaves drawn
        double sharp_share = 1.0;   // see terrain/SharpShare.h
        uint64_t pending_tiles = 0; // both tile services'
    };
    // The frame's duration (seconds), once it is known, and what it showed.
    // figures is asked only when the frame statistics are written: counting the pending
    // tiles walks both tile services' requests under their locks.
    void frame_done(float seconds, const std::function<FrameFigures()>& figures);
    // Whether the settings end the loop now that frames_run frames are done.
    bool ends_loop(uint64_t frames_run) const;
    // When the loop has ended: writes what was asked for; sets failed when that fails.
    void finish();
    // The last frame as a PNG at settings.screenshot; prints "Screenshot: …" or why not.
    bool write_screenshot();

private:
    bool write_frame_times();

    uint32_t m_settled_frames = 0;
    std::optional<std::vector<unsigned char>> m_last_frame; // RGB rows, top row first
    uint64_t m_last_frame_width = 0;
    uint64_t m_last_frame_height = 0;
    std::vector<float> m_frame_times; // seconds per frame of this run
    FrameStatsFile m_frame_stats;     // this run's rows
};
