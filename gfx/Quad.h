#pragma once

#include <array>
#include <memory>

#include "gfx/Drawable.h"
#include "gfx/gl/Buffer.h"
#include "gfx/gl/VertexArray.h"

namespace gfx {

// Unit square in the plane y = 0.5 (the cube's top face), two triangles. Casts no shadow.
class Quad : public Drawable {
public:
    static const std::array<glm::vec3, 6> VERTICES;

    Quad();
    ~Quad() override;

    // model program: glDrawArrays of the 6 vertices.
    void draw(const Transform& transform, const ShaderSet& shaders, const Camera& camera) const override;

private:
    std::unique_ptr<VertexArray> m_vertex_array;
    std::unique_ptr<Buffer> m_vertex_buffer;
};

} // namespace gfx
