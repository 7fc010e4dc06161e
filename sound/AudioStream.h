#pragma once

// One source playing a mono signal that is made while it plays: small buffers queued ahead of
// the play cursor and refilled, frame by frame, from a render function that carries on where the
// last block ended.
//
// Why streaming rather than a looped recording played at a varied pitch (AL_PITCH) and gain:
// the engine's firing frequency must follow its speed exactly and without clicks, and its
// timbre must change with power (a looped buffer only speeds up whole, its harmonics and its
// noise alike), the wind must change brightness as well as level, and the tyres and the horn
// come and go at any moment. A synthesiser whose oscillators keep their phase from block to block
// does all of that: a change of speed bends the frequency within a block instead of jumping
// between loops, and nothing restarts. The cost is latency: what is queued ahead plays before a
// change is heard, so only a little more than two frames' worth is kept queued (SoundScape
// decides how much).

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sound/AlBuffer.h"
#include "sound/AlSource.h"

namespace sound {

class AudioStream {
public:
    static constexpr int block_frames = 512;
    static constexpr int max_blocks = 32;

    // A source and its buffers at frequency samples per second (needs a current context).
    explicit AudioStream(int frequency);

    // Whether the source and every buffer could be made.
    bool valid() const;
    int frequency() const { return m_frequency; }
    ALuint source() const { return m_source.name(); }

    // Takes back the blocks the source has played, then renders and queues blocks until at
    // least ahead_frames are queued (at most max_blocks), and starts the source again if it had
    // played everything (a frame that came too late): a gap, never a repeat.
    void feed(int ahead_frames, const std::function<void(std::span<float>)>& render);

    // Frames of this stream the device has played so far.
    int64_t frames_played() const;

private:
    int m_frequency;
    AlSource m_source;
    std::vector<AlBuffer> m_buffers;
    std::vector<ALuint> m_free;  // buffers not queued
    int64_t m_frames_unqueued = 0;
    std::vector<float> m_block;
    std::vector<int16_t> m_pcm;
};

} // namespace sound
