#pragma once

// Runs the aircraft in the physics world frame by frame: the air it flies through, the forces
// and the physics steps (one step per frame as always without the aerodynamic model; fixed
// sub-steps driven by the frame's duration with it), the simulation clock, crashes, and the
// flight data the instruments and the flight log show.

#include <functional>

#include "physics/Aircraft.h"
#include "physics/StepClock.h"
#include "physics/Wind.h"
#include "tiles/LatLon.h"

// What the instruments read, in true units: metres, metres per second, degrees.
struct FlightData {
    double time_s = 0.0;          // simulated seconds since the first step
    LatLon position{};
    double altitude_m = 0.0;      // of the centre of mass above sea level
    double height_above_ground_m = 0.0; // of the centre of mass above the ground below it; NaN when none is below
    double airspeed_m_s = 0.0;    // true airspeed, relative to the air
    double ground_speed_m_s = 0.0; // horizontal, over the ground
    // The wind at the centre of mass's height under the profile, gusts included, turbulence not:
    // where it comes from (clockwise from north) and its speed. 0 and 0 without a wind.
    double wind_from_deg = 0.0;
    double wind_speed_m_s = 0.0;
    double vertical_speed_m_s = 0.0;
    double heading_deg = 0.0;     // of the nose, 0 north, 90 east
    double track_deg = 0.0;       // of the horizontal velocity, as heading; the heading when hardly moving
    double pitch_deg = 0.0;       // nose up positive
    double roll_deg = 0.0;        // right wing down positive
    ControlInputs controls{};
    bool stall_warning = false;
};

class FlightSimulation {
public:
    // With the aerodynamic model: 120 steps per simulated second, at most a quarter of a
    // second per frame (see StepClock).
    static constexpr double sub_step = 1.0 / 120.0;
    static constexpr int max_sub_steps = 30;
    // The body touching the ground faster than this (true m/s) is a crash.
    static constexpr double crash_speed = 10.0;

    // origin: the geographic position of the physics frame's origin. The aircraft must outlive
    // the simulation, which runs in the aircraft's physics world.
    FlightSimulation(Aircraft& aircraft, LatLon origin);

    // Whether the body touching something fixed counts as a crash (above crash_speed).
    bool detect_crashes = false;
    // Called after every step with the flight data after it.
    std::function<void(const FlightData&)> on_step;
    // The air the aircraft flies through, stepped with the physics: before each step's forces
    // the wind moves on for the aircraft's height and airspeed and sets its air_motion, mean
    // wind and turbulence together. Null: the air_motion stays as it is. Must outlive the
    // simulation while set.
    Wind* wind = nullptr;

    // One frame of dt seconds; nothing while paused. Without the aerodynamic model one step of
    // min(dt, PhysicsWorld::max_step), as the world always took; with it as many sub-steps as
    // dt makes due. A crash prints "Crashed at lat=…, lon=…, speed … m/s", sets paused and
    // ends the frame's stepping; true comes back then, and only then (what crashed is paused,
    // so a crash is told once).
    //
    // A body whose position, velocity or rotation is no longer finite (a flight model beyond
    // what the integrator can follow) is not stepped on: the frame prints one line,
    // "The flight went out of bounds after … s: the aircraft's state is not finite", sets
    // paused and diverged(), and on_step is not called for it. The caller puts the aircraft
    // back somewhere sane (a reset); until then every further advance does the same again.
    bool advance(float dt, bool& paused);

    // Whether the last advance ended because the state was not finite (see advance).
    bool diverged() const { return m_diverged; }
    // Simulated seconds the last advance left out because the frame was longer than the
    // flight may catch up in one frame (the quarter-second cap): 0 while the flight keeps up
    // with the wall clock, and while paused.
    double dropped_seconds() const { return m_dropped; }

    // Sets the aircraft's air_motion from the wind as it is now, without moving it on: the air
    // a paused, placed or reset aircraft reads. Nothing without a wind or a body.
    void update_air_motion();

    // The flight data now (the last finite data while the state is not finite).
    FlightData data() const;
    // Simulated seconds since the first step.
    double clock() const { return m_clock; }

private:
    // Whether the step crashed.
    bool step_once(float h, bool& paused);
    // Whether the body touches a fixed object now.
    bool touching_fixed() const;
    // The centre of mass's height above the first fixed object straight below it, true metres;
    // NaN when there is none.
    double height_above_ground() const;
    // Whether the body's position, velocity, spin and rotation are all finite numbers.
    bool state_finite() const;
    // Stops the frame after a state that is not finite: one line, paused, diverged().
    void stop_diverged(bool& paused);
    // The flight data as the body has them now, finite or not.
    FlightData measure() const;

    Aircraft* m_aircraft;
    double m_origin_x;
    double m_origin_y;
    StepClock m_steps{sub_step, max_sub_steps};
    double m_clock = 0.0;
    bool m_diverged = false;
    double m_dropped = 0.0;
    // The last finite flight data measured (by a step or by data()).
    mutable FlightData m_last_finite;
};
