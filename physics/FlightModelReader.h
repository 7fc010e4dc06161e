#pragma once

// Reading the elements of the flight-model file. Each function takes one element of its list
// and throws the JSON library's exception for anything it cannot use: an element that is not
// an object, a value of the wrong type, a "position" with fewer than three numbers.

#include <nlohmann/json.hpp>

#include "physics/Engine.h"
#include "physics/ModelDescription.h"
#include "physics/Wheel.h"
#include "physics/Wing.h"

namespace flight_model {

Engine read_engine(const nlohmann::json& element);
Wheel read_wheel(const nlohmann::json& element);
Wing read_wing(const nlohmann::json& element);

// The top-level "inertia": three positive numbers (further elements are ignored).
glm::vec3 read_inertia(const nlohmann::json& value);

// The top-level "model" (see ModelDescription and the README). The exception's message names
// the member it is about, e.g. "model.parts.rudder.axis: must have a length".
ModelDescription read_model(const nlohmann::json& value);

// The top-level "eye": the pilot's eye, three numbers in body coordinates.
glm::vec3 read_eye(const nlohmann::json& value);

// A number as a float. Booleans, which the library would quietly turn into 0 or 1, are a type
// error like any other non-number; so is a value a float cannot hold.
float read_float(const nlohmann::json& value);

// A roll angle in whole degrees: the fraction is cut off toward zero. Whole turns of 720
// degrees are taken off first, which leaves the quaternion as it is and keeps any finite
// value in range of an int.
int read_whole_degrees(const nlohmann::json& value);

} // namespace flight_model
