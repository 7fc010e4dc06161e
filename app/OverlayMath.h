#pragma once

// The arithmetic behind the overlay's readouts that no other part of the program needs: pure
// functions on values, so tests need no window.

#include <cstdint>

#include <glm/vec3.hpp>

// Compass heading of a camera whose local +Z axis in the world is z_axis (it looks along
// -z_axis; the world's -z is north and +x east): degrees clockwise from north, rounded, always
// 0 to 359. Facing north reads 0 and east 90, as in the table of named places; looking
// straight up or down, or a broken axis, reads 0.
int32_t compass_heading(const glm::vec3& z_axis);
