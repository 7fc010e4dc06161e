#pragma once

// The frame statistics of a capture run (WINDHOLLOW_FRAME_STATS=FILE): one row per frame,
// kept in memory while the loop runs and written when it ends, as CSV:
//
//   frame,time_s,dt_ms,leaves,sharp_share,pending_tiles
//
//   frame          0 for the first frame of the run, counting up
//   time_s         the frame's start in seconds after the first frame's start (the sum of the
//                  earlier rows' dt_ms), so the first row reads 0
//   dt_ms          the frame's duration (the frame loop's dt, as WINDHOLLOW_FRAME_TIMES has it)
//   leaves         terrain leaves drawn
//   sharp_share    the share of the drawn terrain's area on screen drawn with its leaves' own
//                  imagery and elevation (see terrain/SharpShare.h for how it is measured)
//   pending_tiles  tiles requested from the tile servers and not yet arrived, both layers
//
// It can also be read back and summarised, which is how the benchmarks report a flight.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class FrameStatsFile {
public:
    static constexpr const char* HEADER = "frame,time_s,dt_ms,leaves,sharp_share,pending_tiles";

    struct Row {
        uint64_t frame = 0;
        double time_s = 0.0;
        double dt_ms = 0.0;
        uint32_t leaves = 0;
        double sharp_share = 1.0;
        uint64_t pending_tiles = 0;
    };

    // Sharp share over a stretch of a run. Each frame counts for the time it lasted (the part
    // of it inside the stretch or second): a long frame is on screen for longer.
    struct Summary {
        double mean = 0.0;         // over the stretch
        double worst_second = 0.0; // the lowest mean of a whole second [from + k, from + k + 1)
        double worst_second_from_s = 0.0;
        uint64_t frames = 0;       // rows inside the stretch
    };

    explicit FrameStatsFile(std::filesystem::path path = {}) : m_path(std::move(path)) {}

    // One frame's figures; the frame number and start time follow from the rows before.
    void add(double dt_ms, uint32_t leaves, double sharp_share, uint64_t pending_tiles);

    // Writes the header and the rows. When that fails prints one line,
    // `Could not write the frame statistics "<path>": <reason>`, and returns false.
    bool write() const;

    // A file written by write(), or nothing (with one line saying why) when it cannot be read
    // or does not start with HEADER; unreadable rows are left out.
    static std::optional<FrameStatsFile> read(const std::filesystem::path& path);

    // The sharp share from from_s to to_s (time_s); nothing when no frame lies there.
    std::optional<Summary> summarize(double from_s, double to_s) const;

    const std::vector<Row>& rows() const { return m_rows; }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::vector<Row> m_rows;
};
