#pragma once

// Where a replay stands in its recording: a time in the log's own clock that runs with the
// wall clock times a rate, can be paused and moved by seeking, and stops at the last row,
// whose pose is then held. The pose at any time is interpolated between the rows around it
// (see FlightInterpolation), so a log of any row rate plays smoothly. Pure: the caller hands
// in the wall time that passed.

#include <array>
#include <cstddef>
#include <vector>

#include "physics/FlightRecording.h"
#include "physics/FlightSimulation.h"

// A pose the replay will reach: ahead_s wall seconds from now at the current rate.
struct ComingPose {
    double ahead_s = 0.0;
    FlightData data;
};

class ReplayTimeline {
public:
    // The rates the replay steps through, slowest first.
    static constexpr std::array<double, 5> RATES = {0.25, 0.5, 1.0, 2.0, 4.0};
    static constexpr size_t NORMAL_RATE = 2; // 1×
    // How far one seek moves, log seconds.
    static constexpr double SEEK_STEP_S = 10.0;

    // Starts at the first row, playing at 1×. The recording must have a row (as every
    // recording read_flight_log returns does); an empty one replays a resting default pose.
    explicit ReplayTimeline(FlightRecording recording);

    // The wall clock moved on by wall_seconds: the log time moves by that times the rate,
    // unless paused, and stops at the last row.
    void advance(double wall_seconds);

    void set_paused(bool paused) { m_paused = paused; }
    void toggle_paused() { m_paused = !m_paused; }
    bool paused() const { return m_paused; }

    // Moves the time by seconds of the log (negative: back), within the first and last rows.
    void seek(double seconds);
    void seek_forward() { seek(SEEK_STEP_S); }
    void seek_back() { seek(-SEEK_STEP_S); }

    // The next rate up or down RATES; stays at either end.
    void faster();
    void slower();
    double rate() const { return RATES[m_rate_index]; }

    double time() const { return m_time; }
    bool at_end() const { return m_time >= m_recording.end_s(); }

    // The flight now, and at any log time (clamped to the recording), with time_s the log time.
    FlightData pose() const { return sample(m_time); }
    FlightData sample(double log_time) const;

    // The poses at step_s, 2·step_s, … wall seconds ahead, up to horizon_s, at the current
    // rate: where the aircraft is going, for fetching its terrain early. Ends at the last row
    // (reached once, not repeated); empty while paused or at the end.
    std::vector<ComingPose> coming(double horizon_s, double step_s) const;

    const FlightRecording& recording() const { return m_recording; }

private:
    FlightRecording m_recording;
    double m_time = 0.0;
    size_t m_rate_index = NORMAL_RATE;
    bool m_paused = false;
};
