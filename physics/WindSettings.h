#pragma once

// What the user asks of the air: a mean wind, its gusts and the turbulence's strength. Every
// member has a calm default; the configuration's "wind" object and the Options fill it.

#include <cstdint>
#include <string_view>
#include <utility>

enum class Turbulence : int32_t { NONE = 0, LIGHT = 1, MODERATE = 2, SEVERE = 3 };

// The names the configuration file and the Options use, in the enum's order.
inline constexpr std::pair<std::string_view, Turbulence> TURBULENCE_NAMES[] = {
    {"none", Turbulence::NONE},
    {"light", Turbulence::LIGHT},
    {"moderate", Turbulence::MODERATE},
    {"severe", Turbulence::SEVERE},
};

struct WindSettings {
    // Where the wind comes from, degrees clockwise from north (270: a west wind, blowing east),
    // 0-360.
    double from_deg = 0.0;
    // The mean wind 10 m above the ground, as weather reports give it, m/s, >= 0.
    double speed_m_s = 0.0;
    // How far gusts raise the 10 m wind at their peaks, m/s, >= 0 (see WindGusts.h).
    double gusts_m_s = 0.0;
    Turbulence turbulence = Turbulence::NONE;

    friend bool operator==(const WindSettings&, const WindSettings&) = default;
};
