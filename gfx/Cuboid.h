#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "gfx/Drawable.h"
#include "gfx/gl/Buffer.h"
#include "gfx/gl/VertexArray.h"

namespace gfx {

// Axis-aligned unit cube centred on the origin; scaled and placed by the transform. One
// instance is reused for every debug box of a frame.
class Cuboid : public Drawable {
public:
    static const std::array<glm::vec3, 8> VERTICES;
    static const std::array<uint32_t, 36> INDICES;

    Cuboid();
    ~Cuboid() override;

    // model program: glDrawElements of the 36 indices.
    void draw(const Transform& transform, const ShaderSet& shaders, const Camera& camera) const override;
    // depth program, same draw; nothing at all when cast_shadow is false.
    void draw_depth(const Transform& transform, const ShaderSet& shaders, const Camera& light_camera) const override;

private:
    std::unique_ptr<VertexArray> m_vertex_array;
    std::unique_ptr<Buffer> m_vertex_buffer;
    std::unique_ptr<Buffer> m_index_buffer;
};

} // namespace gfx
