#pragma once

// Where the frame's 3D passes draw: straight into the window's framebuffer, or, with
// multisampling, into a multisampled framebuffer of the window's size that is resolved into
// the window's once per frame. The overlay is drawn after the resolve, on the window's
// framebuffer. Keeping multisampling out of the window itself lets it change while the
// program runs, and lets software rasterisers, for which every sample costs a full fragment
// shader run, draw without it.
//
// Render thread only.

#include <GL/glew.h>

#include "gfx/gl/Framebuffer.h"
#include "gfx/gl/Renderbuffer.h"

namespace gfx {

class SceneTarget {
public:
    SceneTarget() = default;
    SceneTarget(const SceneTarget&) = delete;
    SceneTarget& operator=(const SceneTarget&) = delete;

    // Sets the size and the sample count (1 or less: none; more is cut to what the driver
    // offers). Allocates only when either changed. Leaves framebuffer 0 bound.
    void configure(int width, int height, int samples);

    // Samples per pixel of the scene (1 without multisampling).
    int samples() const { return m_samples; }

    // Binds the framebuffer the scene is drawn into (0 without multisampling).
    void bind() const;
    // Resolves the multisampled colour into the window's framebuffer and leaves that bound;
    // without multisampling only binds it.
    void resolve() const;

private:
    Framebuffer m_framebuffer{NoCreate};
    Renderbuffer m_color{NoCreate};
    Renderbuffer m_depth{NoCreate};
    int m_width = 0;
    int m_height = 0;
    int m_samples = 1;
};

// The sample count to use when the configuration leaves it to the program: none on software
// rasterisers (the renderer string names one), 4 otherwise.
int automatic_samples(const char* renderer);

} // namespace gfx
