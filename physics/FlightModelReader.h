#pragma once

// Reading the elements of the flight-model file. Each function takes one element of its list
// and throws the JSON library's exception for anything it cannot use: an element that is not
// an object, a value of the wrong type, a "position" with fewer than three numbers.

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "physics/Engine.h"
#include "physics/ModelDescription.h"
#include "physics/Wheel.h"
#include "physics/Wing.h"

namespace flight_model {

// What an aircraft of this program can have. The body is a 480 kg box and every step is
// 1/120 s: values far beyond these (a lift slope of 1e30, a spring of 1e12 N/m, thousands of
// wings) only make the integrator fly the aircraft to numbers that are no longer finite.
struct Bounds {
    double low;
    double high;
};
inline constexpr size_t MAX_ENGINES = 16;
inline constexpr size_t MAX_WHEELS = 16;
inline constexpr size_t MAX_WINGS = 32;
inline constexpr Bounds POSITION{-100.0, 100.0};        // each coordinate, m
inline constexpr Bounds INERTIA{1e-3, 1e6};             // each moment, kg m^2
inline constexpr Bounds THRUST{0.0, 100000.0};          // N, each engine
inline constexpr double MAX_TOTAL_THRUST = 100000.0;    // N, all engines together
inline constexpr Bounds ENGINE_MAX_SPEED{0.0, 1000.0};  // m/s
inline constexpr Bounds STIFFNESS{0.0, 1e6};            // N/m
inline constexpr Bounds DAMPING{0.0, 1e5};              // N s/m
inline constexpr Bounds STEERING{-90.0, 90.0};          // degrees
inline constexpr Bounds ROLLING_RESISTANCE{0.0, 1.0};   // fraction of the load
inline constexpr Bounds GRIP{0.0, 2.0};                 // friction coefficient
inline constexpr Bounds WINGSPAN{0.0, 100.0};           // m
inline constexpr Bounds CHORD_LENGTH{0.0, 20.0};        // m
inline constexpr Bounds INCIDENCE{-45.0, 45.0};         // degrees
inline constexpr Bounds ASPECT_RATIO{0.0, 100.0};       // 0: from wingspan and chord
inline constexpr Bounds LIFT_SLOPE{0.0, 20.0};          // per radian; 0: from the aspect ratio
inline constexpr Bounds STALL_ANGLE{0.0, 90.0};         // degrees
inline constexpr Bounds ZERO_LIFT_DRAG{0.0, 2.0};
inline constexpr Bounds EFFICIENCY{0.05, 1.0};
inline constexpr Bounds CONTROL_DEFLECTION{-45.0, 45.0}; // degrees

// A value of the right type that no aircraft can have, or a list longer than any aircraft
// needs: member() names it as the file does ("wings[2].lift_slope"), reason() says what is
// wrong ("1e+30 is outside 0–20").
class ValueError : public std::runtime_error {
public:
    ValueError(std::string member, std::string reason)
        : std::runtime_error(member + ": " + reason), m_member(std::move(member)), m_reason(std::move(reason))
    {
    }
    const std::string& member() const { return m_member; }
    const std::string& reason() const { return m_reason; }

private:
    std::string m_member;
    std::string m_reason;
};

// The readers below also throw ValueError for a member outside its bounds, named relative to
// the element ("thrust", "controls.elevator").
Engine read_engine(const nlohmann::json& element);
Wheel read_wheel(const nlohmann::json& element);
Wing read_wing(const nlohmann::json& element);

// The top-level "inertia": three numbers within INERTIA (further elements are ignored).
glm::vec3 read_inertia(const nlohmann::json& value);

// The top-level "model" (see ModelDescription and the README). The exception's message names
// the member it is about, e.g. "model.parts.rudder.axis: must have a length".
ModelDescription read_model(const nlohmann::json& value);

// The top-level "eye": the pilot's eye, three numbers in body coordinates.
glm::vec3 read_eye(const nlohmann::json& value);

// A number as a float. Booleans, which the library would quietly turn into 0 or 1, are a type
// error like any other non-number; so is a value a float cannot hold.
float read_float(const nlohmann::json& value);

// The number read_float reads, refused (ValueError naming member) outside bounds.
float read_float_within(const nlohmann::json& value, const std::string& member, Bounds bounds);

// "12–20" as the messages write a range.
std::string describe(Bounds bounds);

// A roll angle in whole degrees: the fraction is cut off toward zero. Whole turns of 720
// degrees are taken off first, which leaves the quaternion as it is and keeps any finite
// value in range of an int.
int read_whole_degrees(const nlohmann::json& value);

} // namespace flight_model
