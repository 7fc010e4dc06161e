#pragma once

// glTF accessors read into plain arrays. Every offset, stride and count is checked against the
// buffer it points into: a file that points outside its own data is refused, never read beyond.

#include <cstdint>
#include <string>
#include <vector>

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

namespace tinygltf {
class Model;
}

namespace gfx::gltf {

// The reason a file cannot be used: thrown by the readers and the loader, caught where the load
// turns it into an error value.
struct Refusal {
    std::string reason;
};

[[noreturn]] void refuse(std::string reason);

// The accessor's elements; what names the accessor's user in a refusal ("mesh 2's normals").
std::vector<glm::vec3> read_vec3(const tinygltf::Model& gltf, int accessor, const std::string& what);
std::vector<glm::vec2> read_vec2(const tinygltf::Model& gltf, int accessor, const std::string& what);
// Unsigned integers of any width, as indices.
std::vector<uint32_t> read_indices(const tinygltf::Model& gltf, int accessor, const std::string& what);

} // namespace gfx::gltf
