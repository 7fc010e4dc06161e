#include "sound/AudioDevice.h"

#include <cstdarg>
#include <cstdlib>
#include <utility>

#include <AL/alc.h>
#include <alsa/asoundlib.h>
#include <fmt/format.h>

namespace sound {

namespace {

// libasound prints every failed step of opening a card that is not there ("ALSA lib
// confmisc.c:855:(parse_card) cannot find card '0'" and a dozen more) straight to standard
// error, below OpenAL Soft. The handler is process-wide; the program uses ALSA for nothing else.
void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}

std::string alc_error_text(ALCdevice* device)
{
    const ALCenum error = alcGetError(device);
    const ALCchar* text = alcGetString(device, error);
    return text != nullptr ? text : fmt::format("error {:#x}", error);
}

} // namespace

AudioDeviceOpening AudioDevice::open()
{
    setenv("ALSOFT_LOGLEVEL", "0", 0);
    snd_lib_error_set_handler(quiet_alsa);

    AudioDeviceOpening result;
    ALCdevice* device = alcOpenDevice(nullptr);
    if (device == nullptr) {
        // OpenAL Soft reports a driver that fails to open with whatever error code it has at
        // hand ("Out of Memory" for an ALSA card that is not there), so its words go in
        // parentheses after ours.
        result.failure = fmt::format("no audio output device could be opened (OpenAL: {})", alc_error_text(nullptr));
        return result;
    }
    ALCcontext* context = alcCreateContext(device, nullptr);
    if (context == nullptr || alcMakeContextCurrent(context) == ALC_FALSE) {
        result.failure = fmt::format("the audio device opened but its context could not be made (OpenAL: {})",
                                     alc_error_text(device));
        if (context != nullptr)
            alcDestroyContext(context);
        alcCloseDevice(device);
        return result;
    }
    AudioDevice opened;
    opened.m_device = device;
    opened.m_context = context;
    alcGetIntegerv(device, ALC_FREQUENCY, 1, &opened.m_frequency);
    if (opened.m_frequency <= 0)
        opened.m_frequency = 44100; // what OpenAL Soft mixes at when nothing says otherwise
    result.device = std::move(opened);
    return result;
}

AudioDevice::~AudioDevice() { close(); }

AudioDevice::AudioDevice(AudioDevice&& other) noexcept
    : m_device(std::exchange(other.m_device, nullptr))
    , m_context(std::exchange(other.m_context, nullptr))
    , m_frequency(std::exchange(other.m_frequency, 0))
{
}

AudioDevice& AudioDevice::operator=(AudioDevice&& other) noexcept
{
    if (this != &other) {
        close();
        m_device = std::exchange(other.m_device, nullptr);
        m_context = std::exchange(other.m_context, nullptr);
        m_frequency = std::exchange(other.m_frequency, 0);
    }
    return *this;
}

void AudioDevice::close() noexcept
{
    if (m_context != nullptr) {
        if (alcGetCurrentContext() == m_context)
            alcMakeContextCurrent(nullptr);
        alcDestroyContext(m_context);
    }
    // Closing the device is what finishes an output file (OpenAL Soft's wave writer fills in
    // the header's sizes here).
    if (m_device != nullptr)
        alcCloseDevice(m_device);
    m_device = nullptr;
    m_context = nullptr;
    m_frequency = 0;
}

} // namespace sound
