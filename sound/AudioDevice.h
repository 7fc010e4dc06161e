#pragma once

// The open OpenAL output: one device and the one context made current on it. Move-only; the
// empty object (default, or moved from) owns nothing and is safe to destroy. Everything else in
// sound/ that talks to OpenAL needs an open device, made current, to outlive it.

#include <optional>
#include <string>

#include <AL/alc.h>

namespace sound {

struct AudioDeviceOpening;

class AudioDevice {
public:
    AudioDevice() = default;
    ~AudioDevice();
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;
    AudioDevice(AudioDevice&& other) noexcept;
    AudioDevice& operator=(AudioDevice&& other) noexcept;

    // Opens the default output (OpenAL Soft picks the driver: ALSOFT_DRIVERS and the
    // configuration file ALSOFT_CONF decide, both read once per process on the first OpenAL
    // call) and makes its context current. Never throws: a missing driver or device comes back
    // as the failure.
    //
    // OpenAL Soft and ALSA print their own diagnostics on standard error when no device opens;
    // this keeps them quiet unless the user asked for them (ALSOFT_LOGLEVEL), so the program's
    // one line says it. Because that sets ALSOFT_LOGLEVEL in the environment when it is unset,
    // the first open must come before any other thread runs.
    static AudioDeviceOpening open();

    bool is_open() const { return m_context != nullptr; }
    // Output samples per second (0 when empty).
    int frequency() const { return m_frequency; }

private:
    void close() noexcept;

    ALCdevice* m_device = nullptr;
    ALCcontext* m_context = nullptr;
    int m_frequency = 0;
};

// What opening gives: a device, or the reason there is none (a sentence for "No sound: ").
struct AudioDeviceOpening {
    std::optional<AudioDevice> device;
    std::string failure;
};

} // namespace sound
