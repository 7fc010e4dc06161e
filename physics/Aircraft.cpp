#include "physics/Aircraft.h"

#include <fstream>
#include <memory>
#include <string>

#include <btBulletDynamicsCommon.h>
#include <nlohmann/json.hpp>

#include "console/Console.h"
#include "physics/BulletMath.h"
#include "physics/FlightModelReader.h"
#include "physics/PhysicsWorld.h"

namespace {

using nlohmann::json;

// Empties list, then appends one element per entry of document[key] (an array; a missing
// member leaves the list empty). A throw leaves the elements appended so far.
template <typename T, typename Read>
void read_list(const json::object_t& document, const char* key, std::vector<T>& list, Read read)
{
    list.clear();
    const auto found = document.find(key);
    if (found == document.end()) {
        return;
    }
    if (!found->second.is_array()) {
        throw json::type_error::create(302, std::string("type must be array, but is ") + found->second.type_name(), &found->second);
    }
    for (const json& element : found->second) {
        list.push_back(read(element));
    }
}

} // namespace

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
        read_list(members, "engines", engines, flight_model::read_engine);
        read_list(members, "wheels", wheels, flight_model::read_wheel);
        read_list(members, "wings", wings, flight_model::read_wing);
    } catch (const json::exception& error) {
        // The library's message alone does not say which file it is about.
        console::eprint("{}: {}\n", console::quoted(path), error.what());
        return;
    }
    console::print("Read flightmodel config from {}\n", console::quoted(path));
}

void Aircraft::create_body(const glm::vec3& position)
{
    PhysicsWorld& world = PhysicsWorld::instance();
    if (body) {
        world.remove_body(body);
        body = nullptr;
    }
    const glm::vec3 size = 2.0f * body_half_extents;
    const float mass = body_density * size.x * size.y * size.z;
    body = world.add_dynamic_body(std::make_unique<btBoxShape>(physics::to_bt(body_half_extents)), mass, position);
}

void Aircraft::place_body(const glm::vec3& position)
{
    if (!body) {
        return;
    }
    const btTransform pose(btQuaternion::getIdentity(), physics::to_bt(position));
    body->setWorldTransform(pose);
    body->setInterpolationWorldTransform(pose);
    body->setLinearVelocity(btVector3(0.0f, 0.0f, 0.0f));
    body->setAngularVelocity(btVector3(0.0f, 0.0f, 0.0f));
    body->setInterpolationLinearVelocity(btVector3(0.0f, 0.0f, 0.0f));
    body->setInterpolationAngularVelocity(btVector3(0.0f, 0.0f, 0.0f));
    body->clearForces();
    body->activate(true);
}

void Aircraft::update(float h)
{
    if (!body) {
        return;
    }
    const btQuaternion rotation = body->getWorldTransform().getRotation();
    for (const Engine& engine : engines) {
        // Thrust acts along world +X whatever the body's attitude; only its point of
        // application turns with the body.
        const btVector3 force(controls.throttle * engine.thrust, 0.0f, 0.0f);
        body->applyForce(force, quatRotate(rotation, physics::to_bt(engine.position)));
    }
    body->activate();

    const btCollisionWorld& world = PhysicsWorld::instance().get_scene();
    // Each wheel's damper may stop only its share of the body's motion, so that all of them
    // pushing at once cannot overshoot either.
    const float share = wheels.empty() ? 1.0f : 1.0f / static_cast<float>(wheels.size());
    for (Wheel& wheel : wheels) {
        wheel.step(*body, world, h, share);
    }
}

float Aircraft::speed() const
{
    return body ? body->getLinearVelocity().length() : 0.0f;
}

glm::vec3 Aircraft::position() const
{
    return body ? physics::to_glm(body->getWorldTransform().getOrigin()) : glm::vec3(0.0f);
}

glm::quat Aircraft::rotation() const
{
    return body ? physics::to_glm(body->getWorldTransform().getRotation()) : glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
}
