#pragma once

// The flight: the physics world it owns, the aircraft in it, the air it flies through, the
// simulation that steps them, the flight log, the ground under them and the aircraft's model
// with its moving parts. Nothing here draws; the frame reads the poses.

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/AircraftModel.h"
#include "app/FlightGround.h"
#include "gfx/Transform.h"
#include "physics/Aircraft.h"
#include "physics/DebugGeometry.h"
#include "physics/FlightLog.h"
#include "physics/FlightSimulation.h"
#include "physics/PhysicsWorld.h"
#include "physics/Wind.h"
#include "physics/WindSettings.h"
#include "terrain/HeightStore.h"
#include "terrain/WorldFrame.h"

struct FlightSettings {
    std::filesystem::path flight_model_file;
    std::filesystem::path assets_dir; // where the flight model's "model" file is looked for
    bool terrain_ground = false; // the terrain is the ground (else a flat plane)
    bool log_flight = false;
    std::filesystem::path log_directory; // where the flight log goes
    LatLon start;                        // the world's origin
    float start_yaw = 0.0f;              // the aircraft's heading there (radians, 0 east, + toward north)
    double scaling_factor = 0.05;        // world units per physics metre
    WindSettings wind;                   // calm by default
};

class Flight {
public:
    // Builds the world and the aircraft SPAWN_HEIGHT above the ground at the start, waiting for
    // the finest elevation tile there (start-up only), reads the flight model and the model it
    // names (a model that cannot be used is named in one line; the flight goes on without one)
    // and opens the log. heights must outlive the flight.
    Flight(const FlightSettings& settings, HeightStore& heights);
    ~Flight();
    Flight(const Flight&) = delete;
    Flight& operator=(const Flight&) = delete;

    // One frame of dt seconds: the ground follows the aircraft (paused or not), the model's
    // parts follow the controls (the propeller turns only while the flight runs), then, unless
    // paused, the simulation advances with the wind (a crash pauses) and the log gets its rows.
    // Paused, the aircraft reads the air where it hangs or stands, the wind held as it is. A
    // state that stopped being finite (see FlightSimulation::advance) puts the aircraft back at
    // the start, paused.
    void update(float dt);
    // The aircraft back at the start, heading as it started, at rest, its engine stopped (X
    // pauses as well).
    void reset();
    // Key T: the aircraft on the ground at (x, z) physics metres, turned by yaw, paused.
    void place_at(float x, float z, float yaw);

    // A replay's pose in place of a step (the simulation is not stepped, the ground not
    // followed): the body at the pose's position, altitude and attitude, moving as it did from
    // before to pose, the controls as logged, the model's moving parts moved on by the log time
    // since the last pose shown (so they and the instruments follow). data()
    // answers the pose from now on; the flight log gets it as a row when its time moved.
    void show(const FlightData& pose, const FlightData& before);

    // The flight data now: the simulation's, or the pose shown last.
    FlightData data() const { return m_shown ? *m_shown : m_simulation->data(); }
    // Whether the last update ended in a crash (which paused the flight).
    bool crashed_this_frame() const { return m_crashed; }
    // The share of the wall clock's time the flight kept up with over about the last second:
    // 1 while it keeps up (and while paused), less while frames longer than the simulation may
    // catch up in one (a quarter of a second) slow it down.
    double real_time_share() const { return m_real_time_share; }
    const FlightSimulation& simulation() const { return *m_simulation; }
    FlightGround& ground() { return m_ground; }
    const FlightGround& ground() const { return m_ground; }
    // The body's pose in world units.
    gfx::Transform pose() const;
    // The physics shapes, and the wings and wheels, in world units.
    std::vector<BoxPlacement> scene_boxes() const;
    std::vector<BoxPlacement> flight_model_boxes() const;

    PhysicsWorld world; // first: everything else lives in it
    Aircraft aircraft;
    // Its settings may change at any time (the Options); the simulation steps it.
    Wind wind;
    std::optional<AircraftModel> model; // none: the debug geometry shows the aircraft
    bool paused = true;

private:
    FlightSettings m_settings;
    FlightGround m_ground;
    std::unique_ptr<FlightSimulation> m_simulation;
    std::unique_ptr<FlightLog> m_log;
    std::optional<FlightData> m_shown;
    bool m_crashed = false;
    double m_real_time_share = 1.0;
};
