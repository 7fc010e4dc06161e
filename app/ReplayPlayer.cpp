#include "app/ReplayPlayer.h"

#include "console/Console.h"

void ReplayPlayer::update(float dt, Flight& flight)
{
    m_timeline.advance(double(dt));
    const FlightData pose = m_timeline.pose();
    flight.show(pose, m_timeline.sample(pose.time_s - VELOCITY_SPAN_S));
    flight.paused = m_timeline.paused();
}

void ReplayPlayer::back()
{
    m_timeline.seek_back();
    report();
}

void ReplayPlayer::forward()
{
    m_timeline.seek_forward();
    report();
}

void ReplayPlayer::faster()
{
    m_timeline.faster();
    report();
}

void ReplayPlayer::slower()
{
    m_timeline.slower();
    report();
}

void ReplayPlayer::restart()
{
    m_timeline.seek(m_timeline.recording().start_s() - m_timeline.time());
    m_timeline.set_paused(true);
    report();
}

void ReplayPlayer::report() const
{
    const FlightRecording& log = m_timeline.recording();
    console::print("Replay at {:.1f} s of {:.1f} s, {:g}x{}\n", m_timeline.time() - log.start_s(), log.end_s() - log.start_s(),
                   m_timeline.rate(), m_timeline.paused() ? ", paused" : "");
}
