#include "app/CameraRig.h"

#include "app/CockpitCamera.h"
#include "app/FirstPersonCamera.h"
#include "app/OrbitCamera.h"
#include "app/StartPositions.h"
#include "physics/Aircraft.h"

CameraRig::CameraRig(const WorldFrame& frame, LatLon start, float aspect_ratio)
    : m_frame(frame)
{
    auto first_person = std::make_unique<FirstPersonCamera>(0.2f);
    first_person->set_perspective(FIELD_OF_VIEW, aspect_ratio, NEAR_PLANE, FAR_PLANE);
    // Above the configured start position, which is the world's origin, looking east.
    const StartPosition row{"", start.lat, start.lon, START_HEADING, START_ALTITUDE};
    place_at_start_position(*first_person, row, frame);
    cameras.push_back(std::move(first_person));

    auto orbit = std::make_unique<OrbitCamera>(&target, 15.0f * float(frame.scaling_factor));
    orbit->on_update(0.0f);
    orbit->set_perspective(FIELD_OF_VIEW, aspect_ratio, NEAR_PLANE, FAR_PLANE);
    cameras.push_back(std::move(orbit));

    const float units_per_metre = float(frame.scaling_factor);
    auto cockpit = std::make_unique<CockpitCamera>(Aircraft::default_eye, units_per_metre);
    // The panel and the windscreen are closer than the other cameras' near plane.
    cockpit->set_perspective(FIELD_OF_VIEW, aspect_ratio, CockpitCamera::NEAR_METRES * units_per_metre, FAR_PLANE);
    cameras.push_back(std::move(cockpit));
}

CameraRig::~CameraRig() = default;

void CameraRig::switch_next()
{
    active_index = (active_index + 1) % cameras.size();
}

OrbitCamera& CameraRig::orbit_camera()
{
    return static_cast<OrbitCamera&>(*cameras[ORBIT]);
}

CockpitCamera& CameraRig::cockpit()
{
    return static_cast<CockpitCamera&>(*cameras[COCKPIT]);
}

void CameraRig::choose(CameraChoice choice)
{
    switch (choice) {
    case CameraChoice::Free: active_index = FREE; break;
    case CameraChoice::Orbit: active_index = ORBIT; break;
    case CameraChoice::Cockpit: active_index = COCKPIT; break;
    }
}

void CameraRig::follow(const gfx::Transform& pose, float dt)
{
    target = pose;
    orbit_camera().follow(pose.get_world_position(), pose.get_world_rotation(), dt);
    cockpit().follow(pose.get_world_position(), pose.get_world_rotation());
}

void CameraRig::set_aspect_ratio(float aspect_ratio)
{
    for (std::unique_ptr<BaseCamera>& camera : cameras)
        camera->set_aspect_ratio(aspect_ratio);
}

void CameraRig::update(float dt)
{
    for (std::unique_ptr<BaseCamera>& camera : cameras)
        camera->on_update(dt);
}

void CameraRig::select_start_position(uint32_t index)
{
    if (index >= start_positions.size())
        return;
    start_position_index = index;
    place_at_start_position(free_camera(), start_positions[index], m_frame);
}
