#pragma once

// Owns one OpenAL buffer (a block of samples a source plays). Move-only; name 0 is the empty
// state, safe to destroy. Needs a current context (see AudioDevice) for its whole life.

#include <AL/al.h>

namespace sound {

class AlBuffer {
public:
    // Generates the name; without a current context it stays 0 (see valid()).
    AlBuffer();
    ~AlBuffer();
    AlBuffer(const AlBuffer&) = delete;
    AlBuffer& operator=(const AlBuffer&) = delete;
    AlBuffer(AlBuffer&& other) noexcept;
    AlBuffer& operator=(AlBuffer&& other) noexcept;

    bool valid() const { return m_name != 0; }
    ALuint name() const { return m_name; }

private:
    void destroy() noexcept;

    ALuint m_name = 0;
};

} // namespace sound
