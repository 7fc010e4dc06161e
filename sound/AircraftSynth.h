#pragma once

// Everything the aircraft sounds like, mixed into one mono signal sample by sample: the
// engine, the air, the stall horn, the tyres and the crash, heard from inside the cockpit
// (the engine and tyres muffled through its walls, the air quieter and darker, the horn beside
// you) or from outside (bright, the horn faint). Pure arithmetic, no OpenAL: what a test renders
// is what the program plays.
//
// Pausing fades everything to silence within a few hundredths of a second, except a crash
// already under way: the crash is what pauses the flight, and it plays out.

#include <span>

#include "sound/AirRush.h"
#include "sound/CrashSound.h"
#include "sound/EngineNote.h"
#include "sound/OnePole.h"
#include "sound/Smoothed.h"
#include "sound/StallHorn.h"
#include "sound/TyreRumble.h"
#include "sound/TyreSqueal.h"

namespace sound {

// What the sounds follow, set once a frame.
struct AircraftSoundState {
    float engine_rpm = 0.0f;  // 0: the engine stands still
    float engine_load = 0.0f; // 0..1, the throttle
    float airspeed_m_s = 0.0f;
    bool stall_warning = false;
    bool on_ground = false;   // any wheel touching
    float ground_speed_m_s = 0.0f;
    float brake = 0.0f;       // 0..1
    bool in_cockpit = false;
    bool paused = false;
};

class AircraftSynth {
public:
    // Brakes at least this hard, at least this fast, make the tyres squeal.
    static constexpr float squeal_brake = 0.5f;
    static constexpr float squeal_speed_m_s = 3.0f;
    // A touchdown slower than this over the ground spins the wheels up without a squeal.
    static constexpr float touchdown_squeal_speed_m_s = 5.0f;

    explicit AircraftSynth(float rate);

    float rate() const { return m_rate; }
    void set_state(const AircraftSoundState& state);
    // The wheels met the ground sinking at sink_m_s while moving at ground_speed_m_s.
    void touchdown(float sink_m_s, float ground_speed_m_s);
    void crash();

    void render(std::span<float> out);

private:
    float m_rate;
    AircraftSoundState m_state;
    EngineNote m_engine;
    AirRush m_air;
    StallHorn m_horn;
    TyreRumble m_rumble;
    TyreSqueal m_squeal;
    CrashSound m_crash;
    Smoothed m_running;      // 1 while the flight runs, 0 paused
    Smoothed m_walls;        // the cockpit's low-pass cutoff on the engine and tyres, Hz
    Smoothed m_horn_gain;
    OnePole m_walls_engine, m_walls_tyres;
    OnePole m_dc;            // takes out any offset the mix has
    int m_until_cutoff = 0;
};

} // namespace sound
