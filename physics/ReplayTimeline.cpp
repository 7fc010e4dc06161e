#include "physics/ReplayTimeline.h"

#include <algorithm>
#include <cmath>

#include "physics/FlightInterpolation.h"

ReplayTimeline::ReplayTimeline(FlightRecording recording) : m_recording(std::move(recording))
{
    m_time = m_recording.start_s();
}

void ReplayTimeline::advance(double wall_seconds)
{
    if (m_paused || !(wall_seconds > 0.0))
        return;
    m_time = std::min(m_time + wall_seconds * rate(), m_recording.end_s());
}

void ReplayTimeline::seek(double seconds)
{
    if (!std::isfinite(seconds))
        return;
    m_time = std::clamp(m_time + seconds, m_recording.start_s(), m_recording.end_s());
}

void ReplayTimeline::faster()
{
    m_rate_index = std::min(m_rate_index + 1, RATES.size() - 1);
}

void ReplayTimeline::slower()
{
    m_rate_index = m_rate_index > 0 ? m_rate_index - 1 : 0;
}

FlightData ReplayTimeline::sample(double log_time) const
{
    const std::vector<FlightData>& rows = m_recording.rows;
    if (rows.empty())
        return {};
    if (!(log_time > rows.front().time_s))
        return rows.front();
    if (log_time >= rows.back().time_s)
        return rows.back();
    // The first row after the time; the one before it is at or before the time.
    const auto after = std::upper_bound(rows.begin(), rows.end(), log_time,
                                        [](double t, const FlightData& row) { return t < row.time_s; });
    return interpolate_flight(*(after - 1), *after, log_time);
}

std::vector<ComingPose> ReplayTimeline::coming(double horizon_s, double step_s) const
{
    std::vector<ComingPose> poses;
    if (m_paused || at_end() || !(step_s > 0.0))
        return poses;
    for (int k = 1; k * step_s <= horizon_s + 1e-9; ++k) {
        const double ahead = k * step_s;
        const double log_time = std::min(m_time + ahead * rate(), m_recording.end_s());
        poses.push_back({ahead, sample(log_time)});
        if (log_time >= m_recording.end_s())
            break;
    }
    return poses;
}
