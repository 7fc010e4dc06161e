#include "physics/FlightSimulation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <btBulletDynamicsCommon.h>

#include "console/Console.h"
#include "core/Units.h"
#include "physics/BulletMath.h"
#include "physics/PhysicsWorld.h"
#include "tiles/WebMercator.h"

namespace {

// How far down the ground below the aircraft is looked for, physics metres.
constexpr float GROUND_SEARCH = 100000.0f;

bool finite(const btVector3& v) { return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z()); }

// Position, speeds and attitude: what the instruments and the log show. The height above the
// ground is NaN by design when there is no ground below.
bool shown_values_finite(const FlightData& d)
{
    for (const double value : {d.position.lat, d.position.lon, d.altitude_m, d.airspeed_m_s, d.vertical_speed_m_s,
                               d.heading_deg, d.pitch_deg, d.roll_deg}) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    return true;
}

} // namespace

FlightSimulation::FlightSimulation(Aircraft& aircraft, LatLon origin)
    : m_aircraft(&aircraft)
    , m_origin_x(mercator_x(origin.lon))
    , m_origin_y(mercator_y(origin.lat))
{
}

bool FlightSimulation::advance(float dt, bool& paused)
{
    m_diverged = false;
    m_dropped = 0.0;
    if (paused || !m_aircraft->body) {
        return false;
    }
    if (!state_finite()) {
        stop_diverged(paused);
        return false;
    }
    if (!m_aircraft->aerodynamic) {
        if (!(dt > 0.0f))
            return false;
        m_dropped = std::max(0.0, static_cast<double>(dt) - static_cast<double>(PhysicsWorld::max_step));
        return step_once(std::min(dt, PhysicsWorld::max_step), paused);
    }
    const int steps = m_steps.steps_for(dt);
    m_dropped = m_steps.dropped();
    for (int i = 0; i < steps && !paused; ++i) {
        if (step_once(static_cast<float>(sub_step), paused)) {
            return true;
        }
    }
    return false;
}

bool FlightSimulation::step_once(float h, bool& paused)
{
    Aircraft& aircraft = *m_aircraft;
    const float speed_before = aircraft.body->getLinearVelocity().length() / aircraft.true_scale();
    if (wind) {
        wind->step(h, height_above_ground(), aircraft.airspeed());
        update_air_motion();
    }
    aircraft.update(h);
    aircraft.world().step(h);
    m_clock += h;
    if (!state_finite()) {
        stop_diverged(paused);
        return false;
    }
    const bool crashed = detect_crashes && speed_before > crash_speed && touching_fixed();
    if (!crashed && !on_step) {
        return false;
    }
    const FlightData now = measure();
    if (!shown_values_finite(now)) {
        // Finite numbers can still be beyond what the instruments show (a speed whose square
        // overflows): as good as lost.
        stop_diverged(paused);
        return false;
    }
    m_last_finite = now;
    if (crashed) {
        console::print("Crashed at {}, speed {:.1f} m/s\n", to_string(now.position), speed_before);
        paused = true;
    }
    if (on_step) {
        on_step(now);
    }
    return crashed;
}

bool FlightSimulation::state_finite() const
{
    const btRigidBody* body = m_aircraft->body;
    const btQuaternion rotation = body->getWorldTransform().getRotation();
    return finite(body->getWorldTransform().getOrigin()) && finite(body->getLinearVelocity()) &&
        finite(body->getAngularVelocity()) && std::isfinite(rotation.x()) && std::isfinite(rotation.y()) &&
        std::isfinite(rotation.z()) && std::isfinite(rotation.w());
}

void FlightSimulation::stop_diverged(bool& paused)
{
    console::print("The flight went out of bounds after {:.2f} s: the aircraft's state is not finite\n", m_clock);
    m_diverged = true;
    paused = true;
}

void FlightSimulation::update_air_motion()
{
    if (!wind || !m_aircraft->body)
        return;
    const glm::dquat rotation(physics::to_glm(m_aircraft->body->getWorldTransform().getRotation()));
    m_aircraft->air_motion = glm::vec3(wind->air_velocity(height_above_ground(), rotation));
}

double FlightSimulation::height_above_ground() const
{
    // The first fixed object straight down (the aircraft's own box is not fixed and is passed
    // through).
    const btVector3 p = m_aircraft->body->getWorldTransform().getOrigin();
    const btVector3 below = p - btVector3(0.0f, GROUND_SEARCH, 0.0f);
    btCollisionWorld::ClosestRayResultCallback ground(p, below);
    ground.m_collisionFilterMask = btBroadphaseProxy::StaticFilter;
    m_aircraft->world().get_scene().rayTest(p, below, ground);
    return ground.hasHit() ? (p.y() - ground.m_hitPointWorld.y()) / m_aircraft->true_scale()
                           : std::numeric_limits<double>::quiet_NaN();
}

bool FlightSimulation::touching_fixed() const
{
    const btRigidBody* body = m_aircraft->body;
    btDispatcher* dispatcher = m_aircraft->world().get_scene().getDispatcher();
    for (int i = 0; i < dispatcher->getNumManifolds(); ++i) {
        const btPersistentManifold* manifold = dispatcher->getManifoldByIndexInternal(i);
        const btCollisionObject* other = manifold->getBody0() == body ? manifold->getBody1()
                                       : manifold->getBody1() == body ? manifold->getBody0()
                                                                      : nullptr;
        if (other == nullptr || !other->isStaticOrKinematicObject()) {
            continue;
        }
        for (int j = 0; j < manifold->getNumContacts(); ++j) {
            if (manifold->getContactPoint(j).getDistance() <= 0.01f) {
                return true;
            }
        }
    }
    return false;
}

FlightData FlightSimulation::data() const
{
    const FlightData now = measure();
    if (shown_values_finite(now)) {
        m_last_finite = now;
        return now;
    }
    FlightData last = m_last_finite;
    last.time_s = m_clock;
    last.controls = now.controls;
    return last;
}

FlightData FlightSimulation::measure() const
{
    const Aircraft& aircraft = *m_aircraft;
    FlightData d;
    d.time_s = m_clock;
    d.controls = aircraft.controls;
    const btRigidBody* body = aircraft.body;
    if (!body) {
        return d;
    }
    const double k = aircraft.true_scale();
    const btTransform& pose = body->getWorldTransform();
    const btVector3 p = pose.getOrigin();
    const btVector3 v = body->getLinearVelocity();

    d.position = LatLon{mercator_lat(m_origin_y + p.z()), wrap_longitude(mercator_lon(m_origin_x + p.x()))};
    d.altitude_m = p.y() / k;
    d.airspeed_m_s = aircraft.airspeed();
    d.vertical_speed_m_s = v.y() / k;
    d.ground_speed_m_s = std::hypot(v.x(), v.z()) / k;
    d.height_above_ground_m = height_above_ground();
    if (wind) {
        d.wind_from_deg = wind->settings().from_deg;
        d.wind_speed_m_s = glm::length(wind->velocity_at(d.height_above_ground_m));
    }

    const btQuaternion rotation = pose.getRotation();
    const btVector3 nose = quatRotate(rotation, btVector3(1.0f, 0.0f, 0.0f));
    const btVector3 up = quatRotate(rotation, btVector3(0.0f, 1.0f, 0.0f));
    const btVector3 right = quatRotate(rotation, btVector3(0.0f, 0.0f, 1.0f));
    // North is -Z, east +X.
    const double heading = std::atan2(nose.x(), -nose.z()) * RAD_TO_DEG;
    d.heading_deg = heading < 0.0 ? heading + 360.0 : heading;
    // Below a few centimetres a second the direction of the motion is noise.
    const double track = std::hypot(v.x(), v.z()) / k > 0.05 ? std::atan2(v.x(), -v.z()) * RAD_TO_DEG : heading;
    d.track_deg = track < 0.0 ? track + 360.0 : track;
    d.pitch_deg = std::asin(std::clamp(static_cast<double>(nose.y()), -1.0, 1.0)) * RAD_TO_DEG;
    d.roll_deg = std::atan2(-right.y(), up.y()) * RAD_TO_DEG;
    d.stall_warning = aircraft.stall_warning();
    return d;
}
