#include "sound/AlBuffer.h"

#include <utility>

namespace sound {

AlBuffer::AlBuffer()
{
    alGetError(); // a stale error from elsewhere must not be taken for this one
    alGenBuffers(1, &m_name);
    if (alGetError() != AL_NO_ERROR)
        m_name = 0;
}

AlBuffer::~AlBuffer() { destroy(); }

AlBuffer::AlBuffer(AlBuffer&& other) noexcept : m_name(std::exchange(other.m_name, 0)) {}

AlBuffer& AlBuffer::operator=(AlBuffer&& other) noexcept
{
    if (this != &other) {
        destroy();
        m_name = std::exchange(other.m_name, 0);
    }
    return *this;
}

void AlBuffer::destroy() noexcept
{
    if (m_name != 0)
        alDeleteBuffers(1, &m_name);
    m_name = 0;
}

} // namespace sound
