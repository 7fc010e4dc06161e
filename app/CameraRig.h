#pragma once

// The application's cameras: the free first-person camera (index 0), the orbit camera around
// the aircraft (index 1) and the cockpit camera at the pilot's eye (index 2), which one is
// looked through, and what the last two follow: the aircraft's pose of the current frame,
// handed over by the loop once the flight has stepped.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/BaseCamera.h"
#include "app/CaptureSettings.h"
#include "gfx/Transform.h"
#include "tiles/LatLon.h"
#include "terrain/WorldFrame.h"

class CockpitCamera;
class OrbitCamera;

class CameraRig {
public:
    static constexpr float FIELD_OF_VIEW = 0.7853982f; // 45 degrees
    static constexpr float NEAR_PLANE = 0.12f;
    static constexpr float FAR_PLANE = 10000.0f;
    // Where the free camera starts above the start position: metres, degrees from north.
    static constexpr float START_ALTITUDE = 3000.0f;
    static constexpr float START_HEADING = 90.0f;
    // The row of Select Position chosen last; none until the user picks one.
    static constexpr uint32_t NO_START_POSITION = UINT32_MAX;

    static constexpr size_t FREE = 0, ORBIT = 1, COCKPIT = 2;

    // The free camera above start, looking east; the orbit camera 15 m behind the target; the
    // cockpit camera at the default eye (cockpit().eye sets the flight model's).
    CameraRig(const WorldFrame& frame, LatLon start, float aspect_ratio);
    ~CameraRig();
    CameraRig(const CameraRig&) = delete;
    CameraRig& operator=(const CameraRig&) = delete;

    BaseCamera& active() { return *cameras[active_index]; }
    const BaseCamera& active() const { return *cameras[active_index]; }
    BaseCamera& free_camera() { return *cameras[FREE]; }
    OrbitCamera& orbit_camera();
    CockpitCamera& cockpit();
    bool free_camera_active() const { return active_index == FREE; }
    bool cockpit_active() const { return active_index == COCKPIT; }
    // Whether the sound is heard from inside the aircraft: the cockpit camera is looked through.
    bool listener_in_cockpit() const { return cockpit_active(); }

    // The next camera in the list, wrapping around: free, orbit, cockpit.
    void switch_next();
    // The named camera is looked through.
    void choose(CameraChoice choice);
    void set_aspect_ratio(float aspect_ratio);
    // The aircraft's pose this frame, world units (the body's nose along its +X): the orbit
    // camera centres on it, trailing its heading over dt seconds, and the cockpit camera sits
    // in it.
    void follow(const gfx::Transform& pose, float dt);
    // Every camera, once a frame.
    void update(float dt);
    // Moves the free camera to the named place (whichever camera is active) and remembers it.
    void select_start_position(uint32_t index);

    std::vector<std::unique_ptr<BaseCamera>> cameras;
    size_t active_index = 0;
    gfx::Transform target;
    float free_camera_speed = 200.0f; // world units per second
    uint32_t start_position_index = NO_START_POSITION;

private:
    WorldFrame m_frame;
};
