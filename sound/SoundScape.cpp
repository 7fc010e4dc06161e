#include "sound/SoundScape.h"

#include <algorithm>
#include <cmath>

#include <AL/al.h>

#include "console/Console.h"
#include "sound/EngineRpm.h"

namespace sound {

namespace {

// What is kept queued ahead of the play cursor: a little more than two frames, so one slow
// frame does not leave the source without samples, within these bounds (the upper one is the
// longest a change waits before it is heard).
constexpr float MIN_AHEAD_S = 0.06f;
constexpr float MAX_AHEAD_S = 0.3f;
constexpr float FRAMES_AHEAD = 2.5f;
// Beyond this the sound is no quieter (a distant aircraft stays faintly audible).
constexpr float MAX_DISTANCE_M = 3000.0f;

} // namespace

SoundScape::SoundScape(const SoundSettings& settings) : m_settings(settings)
{
    if (!settings.enabled)
        return;
    AudioDeviceOpening opening = AudioDevice::open();
    if (!opening.device) {
        m_failure = opening.failure;
        console::print("No sound: {}\n", m_failure);
        return;
    }
    m_device = std::move(*opening.device);
    auto stream = std::make_unique<AudioStream>(m_device.frequency());
    if (!stream->valid()) {
        m_failure = "the audio device has no room for a source";
        console::print("No sound: {}\n", m_failure);
        m_device = AudioDevice();
        return;
    }
    m_stream = std::move(stream);
    m_synth = std::make_unique<AircraftSynth>(float(m_device.frequency()));
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    alSourcef(m_stream->source(), AL_REFERENCE_DISTANCE, reference_distance_m);
    alSourcef(m_stream->source(), AL_MAX_DISTANCE, MAX_DISTANCE_M);
    // No Doppler shift: the cameras jump and turn faster than any aircraft flies, and their
    // speed would bend the engine's pitch for nothing.
    alDopplerFactor(0.0f);
    set_settings(settings);
}

SoundScape::~SoundScape() = default;

void SoundScape::set_settings(const SoundSettings& settings)
{
    m_settings.volume = settings.volume;
    m_settings.muted = settings.muted;
    if (active())
        alListenerf(AL_GAIN, m_settings.gain());
}

void SoundScape::update(const SoundInputs& inputs, float dt)
{
    if (!active())
        return;
    const float h = std::clamp(dt, 0.0f, 1.0f);
    const float target_rpm = sound::engine_rpm(inputs.throttle, inputs.airspeed_m_s);
    if (m_rpm < 0.0f)
        m_rpm = target_rpm;
    else if (!inputs.paused)
        m_rpm += (target_rpm - m_rpm) * (1.0f - std::exp(-h / spool_time_s));

    AircraftSoundState state;
    state.engine_rpm = m_rpm;
    state.engine_load = inputs.throttle;
    state.airspeed_m_s = inputs.airspeed_m_s;
    state.stall_warning = inputs.stall_warning;
    state.on_ground = inputs.wheels_on_ground;
    state.ground_speed_m_s = inputs.ground_speed_m_s;
    state.brake = inputs.brake;
    state.in_cockpit = inputs.in_cockpit;
    state.paused = inputs.paused;
    m_synth->set_state(state);
    if (!inputs.paused)
        if (const std::optional<float> sink = m_touchdown.update(inputs.wheels_on_ground, inputs.vertical_speed_m_s, h))
            m_synth->touchdown(*sink, inputs.ground_speed_m_s);
    if (inputs.crashed)
        m_synth->crash();

    place(inputs);

    // A slow frame is followed at once; a fast one lowers the expectation gradually.
    m_frame_s = std::max(h, m_frame_s + 0.1f * (h - m_frame_s));
    const float ahead_s = std::clamp(FRAMES_AHEAD * m_frame_s, MIN_AHEAD_S, MAX_AHEAD_S);
    m_stream->feed(int(ahead_s * float(m_stream->frequency())), [this](std::span<float> block) { m_synth->render(block); });
}

void SoundScape::place(const SoundInputs& inputs)
{
    const SoundListener& listener = inputs.listener;
    const float orientation[6] = {listener.forward.x, listener.forward.y, listener.forward.z,
                                  listener.up.x,      listener.up.y,      listener.up.z};
    alListener3f(AL_POSITION, listener.position.x, listener.position.y, listener.position.z);
    alListenerfv(AL_ORIENTATION, orientation);
    const ALuint source = m_stream->source();
    if (inputs.in_cockpit) {
        // All around the listener: at its own place, so neither panned nor faded.
        alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    } else {
        alSourcei(source, AL_SOURCE_RELATIVE, AL_FALSE);
        alSource3f(source, AL_POSITION, inputs.aircraft_position.x, inputs.aircraft_position.y, inputs.aircraft_position.z);
    }
}

double SoundScape::seconds_played() const
{
    return active() ? double(m_stream->frames_played()) / double(m_stream->frequency()) : 0.0;
}

} // namespace sound
