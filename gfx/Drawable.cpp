#include "gfx/Drawable.h"

namespace gfx {

Drawable::~Drawable() = default;

void Drawable::draw_depth(const Transform& /*transform*/, const ShaderSet& /*shaders*/, const Camera& /*light_camera*/) const {}

} // namespace gfx
