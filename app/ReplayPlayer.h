#pragma once

// A flight log played back (windhollow --replay): the replay's clock (replay/ReplayTimeline)
// moves with the frames and the flight takes its pose each frame in place of a physics step.
// Its keys: P pauses, seeking back and forward by ReplayTimeline::SEEK_STEP_S, the rate up and
// down its steps; at the end the last pose is held.

#include "app/Flight.h"
#include "physics/FlightRecording.h"
#include "physics/ReplayTimeline.h"

class ReplayPlayer {
public:
    // Log seconds over which the aircraft's velocity is taken, before the pose shown.
    static constexpr double VELOCITY_SPAN_S = 0.1;

    explicit ReplayPlayer(FlightRecording recording) : m_timeline(std::move(recording)) {}

    // One frame of dt wall seconds: the clock moves on and the flight shows the pose there
    // (its pause follows the replay's, for the overlay's button).
    void update(float dt, Flight& flight);

    // The keys' steps; each prints where the replay stands,
    // `Replay at <time> s of <length> s, <rate>x[, paused]`.
    void back();
    void forward();
    void faster();
    void slower();
    // Back to the start, paused.
    void restart();

    // Log seconds from the first row to where the replay stands.
    double elapsed() const { return m_timeline.time() - m_timeline.recording().start_s(); }

    ReplayTimeline& timeline() { return m_timeline; }
    const ReplayTimeline& timeline() const { return m_timeline; }

private:
    void report() const;

    ReplayTimeline m_timeline;
};
