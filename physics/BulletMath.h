#pragma once

// Conversions between the GLM types the rest of the program speaks and Bullet's own types.
// Bullet is built here in single precision, so every conversion is exact.

#include <LinearMath/btQuaternion.h>
#include <LinearMath/btVector3.h>
#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>

namespace physics {

inline btVector3 to_bt(const glm::vec3& v) { return {v.x, v.y, v.z}; }
inline btQuaternion to_bt(const glm::quat& q) { return {q.x, q.y, q.z, q.w}; }

inline glm::vec3 to_glm(const btVector3& v) { return {v.x(), v.y(), v.z()}; }
// glm::quat's constructor takes w first.
inline glm::quat to_glm(const btQuaternion& q) { return {q.w(), q.x(), q.y(), q.z()}; }

} // namespace physics
