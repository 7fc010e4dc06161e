#include "app/AircraftSound.h"

#include <algorithm>
#include <cmath>

#include <btBulletDynamicsCommon.h>

AircraftSound::AircraftSound(const sound::SoundSettings& settings, float world_scale)
    : m_scape(settings)
    , m_world_scale(world_scale)
{
}

void AircraftSound::update(const Flight& flight, const CameraRig& cameras, float dt)
{
    if (m_scape.active())
        m_scape.update(inputs(flight, cameras), dt);
}

sound::SoundInputs AircraftSound::inputs(const Flight& flight, const CameraRig& cameras) const
{
    const Aircraft& aircraft = flight.aircraft;
    const FlightData data = flight.data();
    const float k = aircraft.true_scale();

    sound::SoundInputs in;
    in.throttle = aircraft.controls.throttle;
    in.brake = aircraft.controls.brake;
    in.airspeed_m_s = aircraft.airspeed();
    in.vertical_speed_m_s = float(data.vertical_speed_m_s);
    in.stall_warning = data.stall_warning;
    in.wheels_on_ground = std::any_of(aircraft.wheels.begin(), aircraft.wheels.end(), [](const Wheel& w) { return w.touching; });
    if (aircraft.body != nullptr) {
        const btVector3 v = aircraft.body->getLinearVelocity();
        in.ground_speed_m_s = std::hypot(v.x(), v.z()) / k;
    }
    in.crashed = flight.crashed_this_frame();
    in.paused = flight.paused;
    in.in_cockpit = cameras.listener_in_cockpit();
    in.aircraft_position = aircraft.position() / k;

    const BaseCamera& camera = cameras.active();
    const glm::quat rotation = camera.get_world_rotation();
    in.listener.position = camera.get_world_position() / m_world_scale / k;
    in.listener.forward = rotation * glm::vec3(0.0f, 0.0f, -1.0f);
    in.listener.up = rotation * glm::vec3(0.0f, 1.0f, 0.0f);
    return in;
}
