#pragma once

// How fast a piston engine with a fixed-pitch propeller turns, from the throttle and the
// airspeed, in steady state (the sound lets it approach this with the engine's inertia).
//
// The engine's torque grows with the throttle from what it gives at idle:
//     Q_engine = Q_full · (i + (1 − i) · throttle),  i = (idle_rpm / static_rpm)²,
// and the propeller takes a torque that grows with the square of its speed n and falls as the
// air comes faster (its blades meet the air at a smaller angle; at the pitch speed they take
// nothing and beyond it the air drives them, the windmill):
//     Q_prop = k · n² · (1 − V / (n · p))  =  k · n² − k · n · V / p,
// with p the distance the propeller would advance per turn at no load, in metres. Where the
// two balance, n² − (V/p)·n − Q_engine/k = 0, so
//     n = V/(2p) + sqrt((V/(2p))² + n0²),   n0 = static_rpm · sqrt(i + (1 − i) · throttle),
// n0 being the speed at rest. At rest the engine turns idle_rpm at idle and static_rpm at full
// throttle; with speed both rise, and at idle in a dive the propeller windmills ever faster,
// nearly in proportion to the airspeed. Nothing holds it below a redline: the result is cut at
// max_rpm, where a real engine would be damaged.

namespace sound {

struct EngineRpmModel {
    float idle_rpm = 700.0f;    // throttle 0, standing still
    float static_rpm = 2300.0f; // throttle 1, standing still
    float pitch_m = 4.0f;       // the propeller's advance per turn at no load (effective)
    float max_rpm = 3000.0f;
};

// Steady-state revolutions per minute; throttle is clamped to 0..1, a negative airspeed counts
// as none.
float engine_rpm(float throttle, float airspeed_m_s, const EngineRpmModel& model = {});

} // namespace sound
