#include "physics/FlightModelReader.h"

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include <glm/gtc/quaternion.hpp>

#include "core/Units.h"

namespace flight_model {
namespace {

using nlohmann::json;

double read_number(const json& value)
{
    if (!value.is_number()) {
        throw json::type_error::create(302, std::string("type must be number, but is ") + value.type_name(), &value);
    }
    return value.get<double>();
}

const json::object_t& read_object(const json& element)
{
    if (!element.is_object()) {
        throw json::type_error::create(302, std::string("type must be object, but is ") + element.type_name(), &element);
    }
    return element.get_ref<const json::object_t&>();
}

// The member's value, or nullptr when the element does not have it.
const json* member(const json::object_t& object, const char* key)
{
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &found->second;
}

float read_float_or(const json::object_t& object, const char* key, float fallback, Bounds bounds)
{
    const json* value = member(object, key);
    return value ? read_float_within(*value, key, bounds) : fallback;
}

// An angle given in degrees (within bounds), as radians.
float read_degrees_or(const json::object_t& object, const char* key, float fallback_radians, Bounds bounds)
{
    const json* value = member(object, key);
    return value ? read_float_within(*value, key, bounds) * DEG_TO_RAD_F : fallback_radians;
}

bool read_bool_or(const json::object_t& object, const char* key, bool fallback)
{
    const json* value = member(object, key);
    if (!value) {
        return fallback;
    }
    if (!value->is_boolean()) {
        throw json::type_error::create(302, std::string("type must be boolean, but is ") + value->type_name(), value);
    }
    return value->get<bool>();
}

glm::vec3 read_vector(const json& value)
{
    return {read_float(value.at(0)), read_float(value.at(1)), read_float(value.at(2))};
}

// Elements 0, 1 and 2 of the array within bounds; further elements are ignored.
glm::vec3 read_vector_within(const json& value, const std::string& name, Bounds bounds)
{
    const glm::vec3 v = read_vector(value);
    for (int i = 0; i < 3; ++i) {
        if (!(v[i] >= bounds.low && v[i] <= bounds.high)) {
            throw ValueError(name + "[" + std::to_string(i) + "]", value.at(static_cast<size_t>(i)).dump() +
                                                                   " is outside " + describe(bounds));
        }
    }
    return v;
}

// Elements 0, 1 and 2 of the array; further elements are ignored. A missing element gives the
// library's out-of-range error for its index.
glm::vec3 read_position(const json::object_t& object)
{
    const json* value = member(object, "position");
    if (!value) {
        return glm::vec3(0.0f);
    }
    return read_vector_within(*value, "position", POSITION);
}

// Whole numbers print without a fraction, others as the shortest text that reads back.
std::string number_text(double value)
{
    return value == std::trunc(value) && std::abs(value) < 1e15 ? std::to_string(static_cast<long long>(value))
                                                                 : json(value).dump();
}

// The library's message without its "[json.exception.<kind>.<id>] " prefix.
std::string bare_message(const json::exception& error)
{
    const std::string text = error.what();
    const size_t end = text.find("] ");
    return end == std::string::npos ? text : text.substr(end + 2);
}

// Runs read and, should it throw, throws the same kind of error again with the member's path in
// front of the message: a file holds many numbers and the library does not say which one it
// was.
template <typename Read>
auto in_member(const std::string& path, Read read) -> decltype(read())
{
    try {
        return read();
    } catch (const json::type_error& error) {
        throw json::type_error::create(error.id, path + ": " + bare_message(error), nullptr);
    } catch (const json::out_of_range& error) {
        throw json::out_of_range::create(error.id, path + ": " + bare_message(error), nullptr);
    }
}

[[noreturn]] void refuse(const std::string& path, const std::string& reason, const json& value)
{
    throw json::out_of_range::create(406, path + ": " + reason + ", not " + value.dump(), nullptr);
}

std::string read_name(const json& value, const std::string& path)
{
    if (!value.is_string() || value.get_ref<const std::string&>().empty()) {
        refuse(path, "must be a text that is not empty", value);
    }
    return value.get<std::string>();
}

// At least three numbers (further ones ignored), all finite.
glm::vec3 read_finite_vector(const json& value, const std::string& path)
{
    const glm::vec3 v = in_member(path, [&] { return read_vector(value); });
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
        refuse(path, "must be finite numbers", value);
    }
    return v;
}

float read_number_in(const json& value, const std::string& path, float low, float high)
{
    const float number = in_member(path, [&] { return read_float(value); });
    if (!(number >= low && number <= high)) {
        refuse(path, "must lie within " + json(low).dump() + " and " + json(high).dump(), value);
    }
    return number;
}

ModelPart read_part(PartKind kind, const json& value, const std::string& path)
{
    const auto& object = in_member(path, [&]() -> const json::object_t& { return read_object(value); });
    const auto required = [&](const char* key) -> const json& {
        const json* found = member(object, key);
        if (!found) {
            throw json::out_of_range::create(403, path + ": the member \"" + key + "\" is missing", nullptr);
        }
        return *found;
    };
    ModelPart part;
    part.node = read_name(required("node"), path + ".node");
    const glm::vec3 axis = read_finite_vector(required("axis"), path + ".axis");
    const float length = std::sqrt(glm::dot(axis, axis));
    if (!(length > 0.0f) || !std::isfinite(length)) {
        refuse(path + ".axis", "must have a length", required("axis"));
    }
    part.axis = axis / length;
    if (kind != PartKind::Propeller) {
        part.max_angle = read_number_in(required("max_deg"), path + ".max_deg", -180.0f, 180.0f) * DEG_TO_RAD_F;
        return part;
    }
    const float limit = 100000.0f;
    if (const json* rpm = member(object, "rpm")) {
        if (!rpm->is_array() || rpm->size() < 2) {
            refuse(path + ".rpm", "must be two numbers, idle and full throttle", *rpm);
        }
        part.idle_rpm = read_number_in(rpm->at(0), path + ".rpm", 0.0f, limit);
        part.full_rpm = read_number_in(rpm->at(1), path + ".rpm", 0.0f, limit);
    }
    if (const json* disc = member(object, "disc")) {
        part.disc = read_name(*disc, path + ".disc");
    }
    if (const json* disc_rpm = member(object, "disc_rpm")) {
        part.disc_rpm = read_number_in(*disc_rpm, path + ".disc_rpm", 0.0f, limit);
    }
    return part;
}

} // namespace

ModelDescription read_model(const nlohmann::json& value)
{
    const auto& object = in_member("model", [&]() -> const json::object_t& { return read_object(value); });
    ModelDescription model;
    const json* file = member(object, "file");
    if (!file) {
        throw json::out_of_range::create(403, "model: the member \"file\" is missing", nullptr);
    }
    model.file = read_name(*file, "model.file");
    if (const json* offset = member(object, "offset")) {
        model.offset = read_finite_vector(*offset, "model.offset");
    }
    if (const json* scale = member(object, "scale")) {
        model.scale = in_member("model.scale", [&] { return read_float(*scale); });
        if (!(model.scale > 0.0f) || !std::isfinite(model.scale)) {
            refuse("model.scale", "must be a positive number", *scale);
        }
    }
    if (const json* rotation = member(object, "rotation")) {
        const glm::vec3 degrees = read_finite_vector(*rotation, "model.rotation");
        const glm::vec3 r = degrees * DEG_TO_RAD_F;
        // About the body's X first, then Y, then Z.
        model.rotation = glm::angleAxis(r.z, glm::vec3(0.0f, 0.0f, 1.0f)) * glm::angleAxis(r.y, glm::vec3(0.0f, 1.0f, 0.0f)) *
                         glm::angleAxis(r.x, glm::vec3(1.0f, 0.0f, 0.0f));
    }
    if (const json* parts = member(object, "parts")) {
        const auto& entries = in_member("model.parts", [&]() -> const json::object_t& { return read_object(*parts); });
        for (const auto& [name, part] : entries) {
            bool known = false;
            for (const PartKind kind : ALL_PART_KINDS) {
                if (name == part_name(kind)) {
                    model.part(kind) = read_part(kind, part, "model.parts." + name);
                    known = true;
                }
            }
            if (!known) {
                throw json::out_of_range::create(403, "model.parts." + name +
                    ": not a part (elevator, aileron_left, aileron_right, rudder, propeller, nose_wheel)", nullptr);
            }
        }
    }
    return model;
}

glm::vec3 read_eye(const nlohmann::json& value)
{
    return read_finite_vector(value, "eye");
}

float read_float(const nlohmann::json& value)
{
    const double number = read_number(value);
    if (std::abs(number) > static_cast<double>(std::numeric_limits<float>::max())) {
        throw nlohmann::json::out_of_range::create(406, "number out of range of a float: " + value.dump(), &value);
    }
    return static_cast<float>(number);
}

std::string describe(Bounds bounds)
{
    return number_text(bounds.low) + "\u2013" + number_text(bounds.high);
}

float read_float_within(const nlohmann::json& value, const std::string& name, Bounds bounds)
{
    const float number = read_float(value);
    if (!(number >= bounds.low && number <= bounds.high)) {
        throw ValueError(name, value.dump() + " is outside " + describe(bounds));
    }
    return number;
}

int read_whole_degrees(const nlohmann::json& value)
{
    const double whole = std::fmod(std::trunc(read_number(value)), 720.0);
    return static_cast<int>(whole);
}

glm::vec3 read_inertia(const nlohmann::json& value)
{
    return read_vector_within(value, "inertia", INERTIA);
}

Engine read_engine(const nlohmann::json& element)
{
    const auto& object = read_object(element);
    Engine engine;
    engine.position = read_position(object);
    engine.thrust = read_float_or(object, "thrust", 0.0f, THRUST);
    if (const json* direction = member(object, "direction")) {
        const glm::vec3 d = read_vector(*direction);
        const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
        if (!(length > 0.0f) || !std::isfinite(length)) {
            throw json::out_of_range::create(406, "engine direction must have a length: " + direction->dump(), direction);
        }
        engine.direction = d / length;
    }
    engine.max_speed = read_float_or(object, "max_speed", engine.max_speed, ENGINE_MAX_SPEED);
    return engine;
}

Wheel read_wheel(const nlohmann::json& element)
{
    const auto& object = read_object(element);
    const glm::vec3 position = read_position(object);
    const float stiffness = read_float_or(object, "stiffness", 30000.0f, STIFFNESS);
    const float damping = read_float_or(object, "damping", 1000.0f, DAMPING);
    Wheel wheel = Wheel::attached_at(position, stiffness, damping);
    wheel.steering_angle = read_degrees_or(object, "steering", wheel.steering_angle, STEERING);
    wheel.brakes = read_bool_or(object, "brakes", wheel.brakes);
    wheel.rolling_resistance = read_float_or(object, "rolling_resistance", wheel.rolling_resistance, ROLLING_RESISTANCE);
    wheel.grip = read_float_or(object, "grip", wheel.grip, GRIP);
    return wheel;
}

Wing read_wing(const nlohmann::json& element)
{
    const auto& object = read_object(element);
    Wing wing;
    wing.position = read_position(object);
    const json* roll = member(object, "roll_angle");
    wing.orientation = Wing::roll_orientation(roll ? read_whole_degrees(*roll) : 0);
    wing.wingspan = read_float_or(object, "wingspan", 0.0f, WINGSPAN);
    wing.chord_length = read_float_or(object, "chord_length", 0.0f, CHORD_LENGTH);
    wing.incidence = read_degrees_or(object, "incidence", wing.incidence, INCIDENCE);
    wing.aspect_ratio = read_float_or(object, "aspect_ratio", wing.aspect_ratio, ASPECT_RATIO);
    wing.lift_slope = read_float_or(object, "lift_slope", wing.lift_slope, LIFT_SLOPE);
    wing.stall_angle = read_degrees_or(object, "stall_angle", wing.stall_angle, STALL_ANGLE);
    wing.zero_lift_drag = read_float_or(object, "zero_lift_drag", wing.zero_lift_drag, ZERO_LIFT_DRAG);
    wing.efficiency = read_float_or(object, "efficiency", wing.efficiency, EFFICIENCY);
    if (const json* controls = member(object, "controls")) {
        const auto& deflections = read_object(*controls);
        try {
            wing.elevator = read_degrees_or(deflections, "elevator", 0.0f, CONTROL_DEFLECTION);
            wing.aileron = read_degrees_or(deflections, "aileron", 0.0f, CONTROL_DEFLECTION);
            wing.rudder = read_degrees_or(deflections, "rudder", 0.0f, CONTROL_DEFLECTION);
        } catch (const ValueError& error) {
            throw ValueError("controls." + error.member(), error.reason());
        }
    }
    return wing;
}

} // namespace flight_model
