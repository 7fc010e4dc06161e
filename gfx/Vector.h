#pragma once

#include <memory>

#include "gfx/Drawable.h"
#include "gfx/gl/VertexArray.h"

namespace gfx {

// A line from the transform's origin to `vector`. No vertex data: the vector program builds
// both ends from the vertex index and u_vector. Casts no shadow.
class Vector : public Drawable {
public:
    Vector();
    ~Vector() override;

    // vector program: glDrawArrays(GL_LINES, 0, 2).
    void draw(const Transform& transform, const ShaderSet& shaders, const Camera& camera) const override;

    glm::vec3 vector{1.0f, 0.0f, 0.0f};

private:
    std::unique_ptr<VertexArray> m_vertex_array;
};

} // namespace gfx
