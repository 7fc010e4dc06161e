#pragma once

// Owns one OpenAL source (a voice placed in the scene). Move-only; name 0 is the empty
// state, safe to destroy. Needs a current context (see AudioDevice) for its whole life.

#include <AL/al.h>

namespace sound {

class AlSource {
public:
    // Generates the name; without a current context it stays 0 (see valid()).
    AlSource();
    ~AlSource();
    AlSource(const AlSource&) = delete;
    AlSource& operator=(const AlSource&) = delete;
    AlSource(AlSource&& other) noexcept;
    AlSource& operator=(AlSource&& other) noexcept;

    bool valid() const { return m_name != 0; }
    ALuint name() const { return m_name; }

private:
    void destroy() noexcept;

    ALuint m_name = 0;
};

} // namespace sound
