#pragma once

// The program's sound: the OpenAL output, the aircraft's synthesised sound streamed into one
// source, and the listener at the camera, brought up to date once a frame. The aircraft's
// sounds come from one place (the engine, the wheels and the wings are a few metres apart, which
// no ear tells from outside), so they are mixed into one mono stream before OpenAL places it:
// at the aircraft from outside, around the listener in the cockpit.
//
// Without a device (disabled, or none opened) every call does nothing.

#include <memory>
#include <string>

#include "sound/AircraftSynth.h"
#include "sound/AudioDevice.h"
#include "sound/AudioStream.h"
#include "sound/SoundInputs.h"
#include "sound/SoundSettings.h"
#include "sound/TouchdownDetector.h"

namespace sound {

class SoundScape {
public:
    // Outside the cockpit the sound is at full level within this distance and halves with each
    // doubling beyond it (OpenAL's inverse distance, clamped).
    static constexpr float reference_distance_m = 15.0f;
    // The engine follows a change of throttle or airspeed with this time constant (the inertia
    // of the engine and propeller).
    static constexpr float spool_time_s = 0.4f;

    // With settings.enabled, opens the default output (see AudioDevice::open: make it before
    // other threads start); when that fails it prints the one line "No sound: <reason>" and stays
    // silent. Disabled, it opens nothing and prints nothing.
    explicit SoundScape(const SoundSettings& settings);
    ~SoundScape();
    SoundScape(const SoundScape&) = delete;
    SoundScape& operator=(const SoundScape&) = delete;

    // Whether a device is open and playing.
    bool active() const { return m_stream != nullptr; }
    // The reason there is no sound, when opening failed ("" otherwise).
    const std::string& failure() const { return m_failure; }

    // Volume and mute take effect at once; enabled is read only when the object is made.
    void set_settings(const SoundSettings& settings);
    const SoundSettings& settings() const { return m_settings; }

    // One frame of dt seconds: the engine's speed follows the throttle and airspeed, touchdowns
    // and a crash sound, the listener and the source move, and what the frame asks for is
    // rendered ahead of the play cursor.
    void update(const SoundInputs& inputs, float dt);

    // Seconds of the aircraft's sound the device has played (0 without one).
    double seconds_played() const;
    // The engine's speed the sound follows now, revolutions per minute.
    float engine_rpm() const { return m_rpm; }

private:
    void place(const SoundInputs& inputs);

    SoundSettings m_settings;
    std::string m_failure;
    AudioDevice m_device;                  // before the stream: the stream's source and buffers
    std::unique_ptr<AudioStream> m_stream; // go first
    std::unique_ptr<AircraftSynth> m_synth;
    TouchdownDetector m_touchdown;
    float m_rpm = -1.0f;  // -1: not yet set
    float m_frame_s = 0.0f;
};

} // namespace sound
