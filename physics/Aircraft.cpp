#include "physics/Aircraft.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <string>

#include <btBulletDynamicsCommon.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "console/Console.h"
#include "core/Units.h"
#include "physics/Aerodynamics.h"
#include "physics/BulletMath.h"
#include "physics/FlightModelReader.h"
#include "physics/PhysicsWorld.h"

namespace {

using nlohmann::json;

// Empties list, then appends one element per entry of document[key] (an array of at most
// max_size; a missing member leaves the list empty). A throw leaves the elements appended so
// far; a value out of bounds is named by its place ("wings[2].lift_slope").
template <typename T, typename Read>
void read_list(const json::object_t& document, const char* key, size_t max_size, std::vector<T>& list, Read read)
{
    list.clear();
    const auto found = document.find(key);
    if (found == document.end()) {
        return;
    }
    if (!found->second.is_array()) {
        throw json::type_error::create(302, std::string("type must be array, but is ") + found->second.type_name(), &found->second);
    }
    if (found->second.size() > max_size) {
        throw flight_model::ValueError(key, std::to_string(found->second.size()) + " of them, at most " +
                                                std::to_string(max_size));
    }
    for (const json& element : found->second) {
        try {
            list.push_back(read(element));
        } catch (const flight_model::ValueError& error) {
            throw flight_model::ValueError(std::string(key) + "[" + std::to_string(list.size()) + "]." + error.member(),
                                           error.reason());
        }
    }
}

} // namespace

Aircraft::Aircraft(PhysicsWorld& world)
    : m_world(&world)
{
}

Aircraft::~Aircraft()
{
    if (body)
        m_world->remove_body(body);
}

void Aircraft::load_flight_model(const std::filesystem::path& path)
{
    // A directory opens as a stream on some systems and then reads nothing.
    std::error_code ignored;
    std::ifstream file;
    if (!std::filesystem::is_directory(path, ignored)) {
        file.open(path, std::ios::binary);
    }
    if (!file.is_open()) {
        console::eprint("Could not open {}\n", console::quoted(path));
        return;
    }

    try {
        // The whole document is parsed before any list is touched.
        const json document = json::parse(file);
        if (!document.is_object()) {
            throw json::type_error::create(302, std::string("type must be object, but is ") + document.type_name(), &document);
        }
        const auto& members = document.get_ref<const json::object_t&>();
        const auto switch_member = members.find("aerodynamics");
        if (switch_member != members.end() && !switch_member->second.is_boolean()) {
            throw json::type_error::create(302, std::string("type must be boolean, but is ") +
                                                    switch_member->second.type_name(), &switch_member->second);
        }
        aerodynamic = switch_member != members.end() && switch_member->second.get<bool>();
        inertia = glm::vec3(0.0f);
        if (const auto found = members.find("inertia"); found != members.end()) {
            inertia = flight_model::read_inertia(found->second);
        }
        apply_body_settings();
        read_list(members, "engines", flight_model::MAX_ENGINES, engines, flight_model::read_engine);
        double total_thrust = 0.0;
        for (const Engine& engine : engines) {
            total_thrust += engine.thrust;
        }
        if (total_thrust > flight_model::MAX_TOTAL_THRUST) {
            throw flight_model::ValueError("engines", fmt::format("{:g} N of thrust together, at most {:g} N", total_thrust,
                                                                  flight_model::MAX_TOTAL_THRUST));
        }
        read_list(members, "wheels", flight_model::MAX_WHEELS, wheels, flight_model::read_wheel);
        read_list(members, "wings", flight_model::MAX_WINGS, wings, flight_model::read_wing);
        // Last: a model the drawing cannot use leaves the physics as read.
        model.reset();
        eye = default_eye;
        if (const auto found = members.find("model"); found != members.end()) {
            model = flight_model::read_model(found->second);
        }
        if (const auto found = members.find("eye"); found != members.end()) {
            eye = flight_model::read_eye(found->second);
        }
    } catch (const json::exception& error) {
        // The library's message alone does not say which file it is about.
        console::eprint("{}: {}\n", console::quoted(path), error.what());
        return;
    } catch (const flight_model::ValueError& error) {
        console::eprint("{}: {}\n", console::quoted(path), error.what());
        return;
    }
    console::print("Read flightmodel config from {}\n", console::quoted(path));
}

void Aircraft::create_body(const glm::vec3& position)
{
    PhysicsWorld& world = *m_world;
    if (body) {
        world.remove_body(body);
        body = nullptr;
    }
    const glm::vec3 size = 2.0f * body_half_extents;
    const float mass = body_density * size.x * size.y * size.z;
    body = world.add_dynamic_body(std::make_unique<btBoxShape>(physics::to_bt(body_half_extents)), mass, position);
    apply_body_settings();
}

void Aircraft::set_latitude(double latitude_degrees)
{
    const double cosine = std::fabs(std::cos(latitude_degrees * DEG_TO_RAD));
    // Beyond the Mercator map's edge there is nothing to fly over; the factor stays finite.
    m_true_scale = static_cast<float>(1.0 / std::max(cosine, 0.05));
    apply_body_settings();
}

void Aircraft::apply_body_settings()
{
    if (!body) {
        return;
    }
    // In Mercator metres everything of a true aircraft is k times as long: gravity and every
    // force grow by k (F = m a), and turning about the centre of mass stays as quick as in
    // true metres only if the inertia grows by k too, the arms of the forces being the file's
    // lengths, taken as true metres.
    const float scale = aerodynamic ? m_true_scale : 1.0f;
    const float mass = 1.0f / body->getInvMass();
    btVector3 moments(0.0f, 0.0f, 0.0f);
    body->getCollisionShape()->calculateLocalInertia(mass, moments);
    if (aerodynamic && inertia.x > 0.0f) {
        moments = physics::to_bt(inertia);
    }
    body->setMassProps(mass, moments * scale);
    body->updateInertiaTensor();
    body->setFlags(body->getFlags() | BT_DISABLE_WORLD_GRAVITY);
    body->setGravity(btVector3(0.0f, PhysicsWorld::gravity * scale, 0.0f));
}

void Aircraft::place_body(const glm::vec3& position)
{
    place_body(position, 0.0f);
}

void Aircraft::place_body(const glm::vec3& position, float yaw)
{
    if (!body) {
        return;
    }
    const btTransform pose(btQuaternion(btVector3(0.0f, 1.0f, 0.0f), yaw), physics::to_bt(position));
    body->setWorldTransform(pose);
    body->setInterpolationWorldTransform(pose);
    body->setLinearVelocity(btVector3(0.0f, 0.0f, 0.0f));
    body->setAngularVelocity(btVector3(0.0f, 0.0f, 0.0f));
    body->setInterpolationLinearVelocity(btVector3(0.0f, 0.0f, 0.0f));
    body->setInterpolationAngularVelocity(btVector3(0.0f, 0.0f, 0.0f));
    body->clearForces();
    body->activate(true);
}

void Aircraft::set_pose(const glm::vec3& position, const glm::quat& rotation, const glm::vec3& velocity)
{
    if (!body) {
        return;
    }
    place_body(position);
    const btTransform pose(physics::to_bt(rotation), physics::to_bt(position));
    body->setWorldTransform(pose);
    body->setInterpolationWorldTransform(pose);
    body->setLinearVelocity(physics::to_bt(velocity));
    body->setInterpolationLinearVelocity(physics::to_bt(velocity));
}

void Aircraft::update(float h)
{
    if (!body) {
        return;
    }
    apply_thrust();
    if (aerodynamic) {
        apply_aerodynamics();
    }
    body->activate();

    const btCollisionWorld& world = m_world->get_scene();
    // Each wheel's damper may stop only its share of the body's motion, so that all of them
    // pushing at once cannot overshoot either; the same goes for the tyres.
    const float share = wheels.empty() ? 1.0f : 1.0f / static_cast<float>(wheels.size());
    // The rudder pedals steer the steerable wheels.
    const Traction traction{controls.rudder, controls.brake};
    std::vector<TyreContact> tyres;
    for (Wheel& wheel : wheels) {
        if (std::optional<TyreContact> tyre = wheel.step(*body, world, h, share, aerodynamic ? &traction : nullptr)) {
            tyres.push_back(*tyre);
        }
    }
    apply_tyre_forces(*body, tyres, h);
}

void Aircraft::apply_thrust()
{
    const btQuaternion rotation = body->getWorldTransform().getRotation();
    for (const Engine& engine : engines) {
        const btVector3 arm = quatRotate(rotation, physics::to_bt(engine.position));
        if (aerodynamic) {
            // Along the engine's own axis, turning with the aircraft; true newtons become
            // Mercator ones by the scale factor.
            const btVector3 direction = quatRotate(rotation, physics::to_bt(engine.direction));
            float thrust = controls.throttle * engine.thrust;
            if (engine.max_speed > 0.0f) {
                const float inflow = direction.dot(air_velocity_at(arm));
                thrust *= std::clamp(1.0f - inflow / engine.max_speed, 0.0f, 1.0f);
            }
            body->applyForce(direction * (thrust * m_true_scale), arm);
        } else {
            // Thrust acts along world +X whatever the body's attitude; only its point of
            // application turns with the body.
            body->applyForce(btVector3(controls.throttle * engine.thrust, 0.0f, 0.0f), arm);
        }
    }
}

void Aircraft::apply_aerodynamics()
{
    const btTransform& pose = body->getWorldTransform();
    const btQuaternion rotation = pose.getRotation();
    // True metres: the body's speed and height divided by the scale factor. The arms are the
    // file's lengths, already true metres (see apply_body_settings).
    const btVector3 velocity = air_velocity_at(btVector3(0.0f, 0.0f, 0.0f));
    const btVector3 spin = body->getAngularVelocity();
    const float density = aero::air_density(pose.getOrigin().y() / m_true_scale);

    for (Wing& wing : wings) {
        wing.angle_of_attack = 0.0f;
        wing.stalled = 0.0f;
        if (!(wing.area() > 0.0f)) {
            continue;
        }
        const btQuaternion wing_rotation = rotation * physics::to_bt(wing.orientation);
        const btVector3 chord = quatRotate(wing_rotation, btVector3(1.0f, 0.0f, 0.0f));
        const btVector3 normal = quatRotate(wing_rotation, btVector3(0.0f, 1.0f, 0.0f));
        const btVector3 centre = quatRotate(rotation, physics::to_bt(wing.position));

        // The wing's motion through the air, in the plane of its chord and normal; flow along
        // the span makes no force.
        const btVector3 motion = velocity + spin.cross(centre);
        const float along = motion.dot(chord);
        const float across = motion.dot(normal);
        const float speed = std::sqrt(along * along + across * across);
        if (speed < 0.01f) {
            continue;
        }
        const float control = wing.elevator * controls.elevator + wing.aileron * controls.aileron +
            wing.rudder * controls.rudder;
        const float alpha = std::remainder(std::atan2(-across, along) + wing.incidence + control, 6.2831853f);
        const aero::Coefficients c = aero::wing_coefficients(wing, alpha);
        wing.angle_of_attack = alpha;
        wing.stalled = c.stalled;

        const btVector3 drag_direction = -(chord * along + normal * across) / speed;
        const btVector3 lift_direction = (normal * along - chord * across) / speed;
        const float pressure = 0.5f * density * speed * speed * wing.area();
        const btVector3 force = (lift_direction * c.lift + drag_direction * c.drag) * pressure;
        // Attached flow lifts at the quarter chord; as it separates the centre of pressure
        // moves back to mid-chord, which pitches a stalled aircraft's nose down.
        const btVector3 arm = centre + chord * (0.25f * wing.chord_length * (1.0f - c.stalled));
        body->applyForce(force * m_true_scale, arm);
    }
}

bool Aircraft::stall_warning() const
{
    if (!aerodynamic || !body || airspeed() < 1.0f) {
        return false;
    }
    // Main wings: the roughly horizontal surfaces at least half as large as the largest one.
    const auto horizontal = [](const Wing& wing) {
        return std::fabs((wing.orientation * glm::vec3(0.0f, 1.0f, 0.0f)).y) > 0.7f;
    };
    float largest = 0.0f;
    for (const Wing& wing : wings) {
        if (horizontal(wing))
            largest = std::max(largest, wing.area());
    }
    const float margin = stall_warning_margin * DEG_TO_RAD_F;
    for (const Wing& wing : wings) {
        if (horizontal(wing) && wing.area() >= 0.5f * largest && largest > 0.0f &&
            std::fabs(wing.angle_of_attack) >= wing.stall_angle - margin) {
            return true;
        }
    }
    return false;
}

float Aircraft::speed() const
{
    return body ? body->getLinearVelocity().length() : 0.0f;
}

btVector3 Aircraft::air_velocity_at(const btVector3& arm) const
{
    // The spin's part of a point's motion is the same in Mercator and true metres: the arms
    // are true metres already.
    const btVector3 linear = body->getLinearVelocity() / m_true_scale - physics::to_bt(air_motion);
    return linear + body->getAngularVelocity().cross(arm);
}

glm::vec3 Aircraft::air_velocity() const
{
    return body ? physics::to_glm(air_velocity_at(btVector3(0.0f, 0.0f, 0.0f))) : glm::vec3(0.0f);
}

float Aircraft::airspeed() const
{
    return glm::length(air_velocity());
}

glm::vec3 Aircraft::position() const
{
    return body ? physics::to_glm(body->getWorldTransform().getOrigin()) : glm::vec3(0.0f);
}

glm::quat Aircraft::rotation() const
{
    return body ? physics::to_glm(body->getWorldTransform().getRotation()) : glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
}
