#include "sound/AlSource.h"

#include <utility>

namespace sound {

AlSource::AlSource()
{
    alGetError(); // a stale error from elsewhere must not be taken for this one
    alGenSources(1, &m_name);
    if (alGetError() != AL_NO_ERROR)
        m_name = 0;
}

AlSource::~AlSource() { destroy(); }

AlSource::AlSource(AlSource&& other) noexcept : m_name(std::exchange(other.m_name, 0)) {}

AlSource& AlSource::operator=(AlSource&& other) noexcept
{
    if (this != &other) {
        destroy();
        m_name = std::exchange(other.m_name, 0);
    }
    return *this;
}

void AlSource::destroy() noexcept
{
    if (m_name != 0)
        alDeleteSources(1, &m_name);
    m_name = 0;
}

} // namespace sound
