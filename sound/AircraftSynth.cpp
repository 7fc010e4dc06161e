#include "sound/AircraftSynth.h"

#include <algorithm>
#include <cmath>

namespace sound {

namespace {

// The cockpit's walls pass the engine and tyres below this; outside nearly everything passes.
constexpr float CABIN_CUTOFF_HZ = 900.0f;
constexpr float OPEN_CUTOFF_HZ = 8000.0f;
// Outside, the horn in the cockpit is heard faintly.
constexpr float HORN_OUTSIDE = 0.25f;
constexpr int CUTOFF_INTERVAL = 32;

} // namespace

AircraftSynth::AircraftSynth(float rate)
    : m_rate(rate)
    , m_engine(rate)
    , m_air(rate)
    , m_horn(rate)
    , m_rumble(rate)
    , m_squeal(rate)
    , m_crash(rate)
    , m_running(0.01f, rate)
    , m_walls(0.02f, rate, OPEN_CUTOFF_HZ)
    , m_horn_gain(0.02f, rate, HORN_OUTSIDE)
{
    m_dc.set_cutoff(5.0f, rate);
}

void AircraftSynth::set_state(const AircraftSoundState& state)
{
    m_state = state;
    const bool rolling = state.on_ground && state.ground_speed_m_s >= TyreRumble::min_speed_m_s;
    m_engine.set(state.engine_rpm, state.engine_load);
    m_air.set(state.airspeed_m_s, state.in_cockpit);
    m_horn.set(state.stall_warning && !state.paused);
    m_rumble.set(state.on_ground && !state.paused, state.ground_speed_m_s);
    const bool skidding = rolling && !state.paused && state.brake >= squeal_brake &&
                          std::abs(state.ground_speed_m_s) >= squeal_speed_m_s;
    m_squeal.set_sustained(skidding ? 0.4f * state.brake * std::min(std::abs(state.ground_speed_m_s) / 20.0f, 1.0f) : 0.0f);
    m_running.set_target(state.paused ? 0.0f : 1.0f);
    m_walls.set_target(state.in_cockpit ? CABIN_CUTOFF_HZ : OPEN_CUTOFF_HZ);
    m_horn_gain.set_target(state.in_cockpit ? 1.0f : HORN_OUTSIDE);
}

void AircraftSynth::touchdown(float sink_m_s, float ground_speed_m_s)
{
    if (m_state.paused || std::abs(ground_speed_m_s) < touchdown_squeal_speed_m_s)
        return;
    const float sink = std::clamp(sink_m_s, 0.0f, 3.0f);
    m_squeal.trigger(0.3f + 0.25f * sink, 0.12f + 0.1f * sink);
}

void AircraftSynth::crash() { m_crash.trigger(); }

void AircraftSynth::render(std::span<float> out)
{
    for (float& sample : out) {
        if (--m_until_cutoff <= 0) {
            const float cutoff = m_walls.value();
            m_walls_engine.set_cutoff(cutoff, m_rate);
            m_walls_tyres.set_cutoff(cutoff, m_rate);
            m_until_cutoff = CUTOFF_INTERVAL;
        }
        m_walls.next();
        const float running = m_running.next();
        const float flight = m_walls_engine.low_pass(m_engine.next()) + m_air.next() +
                             m_horn_gain.next() * m_horn.next() +
                             m_walls_tyres.low_pass(m_rumble.next() + m_squeal.next());
        const float mixed = m_dc.high_pass(running * flight + m_crash.next());
        // A soft ceiling instead of a hard clip when everything sounds at once.
        sample = std::tanh(mixed);
    }
}

} // namespace sound
