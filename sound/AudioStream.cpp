#include "sound/AudioStream.h"

#include <algorithm>
#include <cmath>

namespace sound {

AudioStream::AudioStream(int frequency)
    : m_frequency(frequency)
    , m_buffers(max_blocks)
    , m_block(block_frames)
    , m_pcm(block_frames)
{
    for (const AlBuffer& buffer : m_buffers)
        m_free.push_back(buffer.name());
}

bool AudioStream::valid() const
{
    return m_source.valid() && std::all_of(m_buffers.begin(), m_buffers.end(), [](const AlBuffer& b) { return b.valid(); });
}

void AudioStream::feed(int ahead_frames, const std::function<void(std::span<float>)>& render)
{
    if (!valid())
        return;
    const ALuint source = m_source.name();
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    for (ALint i = 0; i < processed; ++i) {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(source, 1, &buffer);
        m_free.push_back(buffer);
        m_frames_unqueued += block_frames;
    }

    const int wanted_blocks = std::clamp((ahead_frames + block_frames - 1) / block_frames, 1, max_blocks);
    while (max_blocks - int(m_free.size()) < wanted_blocks) {
        render(m_block);
        // 16-bit mono: every OpenAL implementation takes it, and the mixer works in float anyway.
        for (int i = 0; i < block_frames; ++i)
            m_pcm[i] = int16_t(std::lrint(std::clamp(m_block[i], -1.0f, 1.0f) * 32767.0f));
        const ALuint buffer = m_free.back();
        m_free.pop_back();
        alBufferData(buffer, AL_FORMAT_MONO16, m_pcm.data(), ALsizei(m_pcm.size() * sizeof(int16_t)), m_frequency);
        alSourceQueueBuffers(source, 1, &buffer);
    }

    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    if (state != AL_PLAYING)
        alSourcePlay(source);
}

int64_t AudioStream::frames_played() const
{
    if (!valid())
        return 0;
    ALint state = 0, processed = 0, offset = 0;
    alGetSourcei(m_source.name(), AL_SOURCE_STATE, &state);
    alGetSourcei(m_source.name(), AL_BUFFERS_PROCESSED, &processed);
    alGetSourcei(m_source.name(), AL_SAMPLE_OFFSET, &offset);
    // A playing source counts its offset from the first buffer still queued, played or not; a
    // stopped one has played all of them and reports no offset.
    return m_frames_unqueued + (state == AL_PLAYING ? offset : int64_t(processed) * block_frames);
}

} // namespace sound
