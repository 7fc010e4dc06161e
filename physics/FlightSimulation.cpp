#include "physics/FlightSimulation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <btBulletDynamicsCommon.h>

#include "console/Console.h"
#include "physics/PhysicsWorld.h"
#include "tiles/WebMercator.h"

namespace {

constexpr double DEGREES = 57.29577951308232;

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

void FlightSimulation::advance(float dt, bool& paused)
{
    m_diverged = false;
    m_dropped = 0.0;
    if (paused || !m_aircraft->body) {
        return;
    }
    if (!state_finite()) {
        stop_diverged(paused);
        return;
    }
    if (!m_aircraft->aerodynamic) {
        if (dt > 0.0f) {
            m_dropped = std::max(0.0, static_cast<double>(dt) - static_cast<double>(PhysicsWorld::max_step));
            step_once(std::min(dt, PhysicsWorld::max_step), paused);
        }
        return;
    }
    const int steps = m_steps.steps_for(dt);
    m_dropped = m_steps.dropped();
    for (int i = 0; i < steps && !paused; ++i) {
        step_once(static_cast<float>(sub_step), paused);
    }
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

void FlightSimulation::step_once(float h, bool& paused)
{
    Aircraft& aircraft = *m_aircraft;
    const float speed_before = aircraft.body->getLinearVelocity().length() / aircraft.true_scale();
    aircraft.update(h);
    PhysicsWorld::instance().step(h);
    m_clock += h;
    if (!state_finite()) {
        stop_diverged(paused);
        return;
    }
    const bool crashed = detect_crashes && speed_before > crash_speed && touching_fixed();
    if (!crashed && !on_step) {
        return;
    }
    const FlightData now = measure();
    if (!shown_values_finite(now)) {
        // Finite numbers can still be beyond what the instruments show (a speed whose square
        // overflows): as good as lost.
        stop_diverged(paused);
        return;
    }
    m_last_finite = now;
    if (crashed) {
        console::print("Crashed at {}, speed {:.1f} m/s\n", to_string(now.position), speed_before);
        paused = true;
    }
    if (on_step) {
        on_step(now);
    }
}

bool FlightSimulation::touching_fixed() const
{
    const btRigidBody* body = m_aircraft->body;
    btDispatcher* dispatcher = PhysicsWorld::instance().get_scene().getDispatcher();
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
    d.airspeed_m_s = v.length() / k;
    d.vertical_speed_m_s = v.y() / k;

    // The ground below: the first fixed object straight down (the aircraft's own box is not
    // fixed and is passed through).
    const btVector3 below = p - btVector3(0.0f, GROUND_SEARCH, 0.0f);
    btCollisionWorld::ClosestRayResultCallback ground(p, below);
    ground.m_collisionFilterMask = btBroadphaseProxy::StaticFilter;
    PhysicsWorld::instance().get_scene().rayTest(p, below, ground);
    d.height_above_ground_m = ground.hasHit() ? (p.y() - ground.m_hitPointWorld.y()) / k
                                              : std::numeric_limits<double>::quiet_NaN();

    const btQuaternion rotation = pose.getRotation();
    const btVector3 nose = quatRotate(rotation, btVector3(1.0f, 0.0f, 0.0f));
    const btVector3 up = quatRotate(rotation, btVector3(0.0f, 1.0f, 0.0f));
    const btVector3 right = quatRotate(rotation, btVector3(0.0f, 0.0f, 1.0f));
    // North is -Z, east +X.
    const double heading = std::atan2(nose.x(), -nose.z()) * DEGREES;
    d.heading_deg = heading < 0.0 ? heading + 360.0 : heading;
    d.pitch_deg = std::asin(std::clamp(static_cast<double>(nose.y()), -1.0, 1.0)) * DEGREES;
    d.roll_deg = std::atan2(-right.y(), up.y()) * DEGREES;
    d.stall_warning = aircraft.stall_warning();
    return d;
}
