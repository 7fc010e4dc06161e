#include "app/ReplayPlayer.h"

void ReplayPlayer::update(float dt, Flight& flight)
{
    m_timeline.advance(double(dt));
    const FlightData pose = m_timeline.pose();
    flight.show(pose, m_timeline.sample(pose.time_s - VELOCITY_SPAN_S));
    flight.paused = m_timeline.paused();
}
