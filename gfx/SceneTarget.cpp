#include "gfx/SceneTarget.h"

#include <algorithm>
#include <cstring>

#include "console/Console.h"

namespace gfx {

void SceneTarget::configure(int width, int height, int samples)
{
    GLint max_samples = 1;
    glGetIntegerv(GL_MAX_SAMPLES, &max_samples);
    samples = std::clamp(samples, 1, std::max(max_samples, 1));
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width == m_width && height == m_height && samples == m_samples)
        return;
    m_width = width;
    m_height = height;
    m_samples = samples;
    m_framebuffer = Framebuffer(NoCreate);
    m_color = Renderbuffer(NoCreate);
    m_depth = Renderbuffer(NoCreate);
    if (samples <= 1)
        return;

    m_framebuffer = Framebuffer();
    m_color = Renderbuffer();
    m_depth = Renderbuffer();
    glBindRenderbuffer(GL_RENDERBUFFER, m_color.id());
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, m_depth.id());
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT24, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer.id());
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_color.id());
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depth.id());
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        console::eprint("Multisampling with {} samples is not available; drawing without it.\n", samples);
        m_framebuffer = Framebuffer(NoCreate);
        m_color = Renderbuffer(NoCreate);
        m_depth = Renderbuffer(NoCreate);
        m_samples = 1;
    }
}

void SceneTarget::bind() const { glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer.id()); }

void SceneTarget::resolve() const
{
    if (m_framebuffer.id() != 0) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer.id());
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glBlitFramebuffer(0, 0, m_width, m_height, 0, 0, m_width, m_height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

int automatic_samples(const char* renderer)
{
    if (renderer == nullptr)
        return 4;
    for (const char* software : {"llvmpipe", "softpipe", "SwiftShader", "Software Rasterizer", "swrast"})
        if (std::strstr(renderer, software) != nullptr)
            return 1;
    return 4;
}

} // namespace gfx
