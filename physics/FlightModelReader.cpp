#include "physics/FlightModelReader.h"

#include <cmath>
#include <limits>
#include <string>

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
    return value ? read_float_within(*value, key, bounds) * 0.017453292f : fallback_radians;
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

} // namespace

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
