#pragma once

// What the user decides about sound: whether there is any (the configuration's "sound"; false
// opens no device) and, in Options, the volume and the mute.

#include <algorithm>

namespace sound {

struct SoundSettings {
    bool enabled = true;
    float volume = 1.0f; // 0 .. 1
    bool muted = false;

    // The listener's gain these settings ask for.
    float gain() const { return muted ? 0.0f : std::clamp(volume, 0.0f, 1.0f); }
};

} // namespace sound
