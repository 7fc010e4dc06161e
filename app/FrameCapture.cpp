#include "app/FrameCapture.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

#include <GL/glew.h>
#include <fmt/format.h>

#include "app/Window.h"
#include "console/Console.h"
#include "gfx/Image.h"

void FrameCapture::start_run()
{
    m_settled_frames = 0;
    m_last_frame.reset();
    m_frame_times.clear();
    m_frame_stats = FrameStatsFile(settings.frame_stats);
}

bool FrameCapture::ends_loop(uint64_t frames_run) const
{
    if (settings.exit_after_frames && frames_run >= *settings.exit_after_frames)
        return true;
    return settings.exit_when_settled && m_settled_frames >= CaptureSettings::SETTLED_FRAMES;
}

void FrameCapture::before_swap(const Window& window, bool settled, bool quitting, uint64_t frames_run)
{
    if (settings.exit_when_settled)
        m_settled_frames = settled ? m_settled_frames + 1 : 0;
    // The frame being finished is the loop's last when quit is already set (it is checked
    // before the next frame) or the settings end the loop once it is counted.
    const bool last_frame = quitting || ends_loop(frames_run + 1);
    if (!last_frame || settings.screenshot.empty() || window.width == 0 || window.height == 0)
        return;
    // Read before the swap: the back buffer holds the finished frame, the front buffer's
    // content after a swap is not defined.
    const size_t width = window.width;
    const size_t height = window.height;
    std::vector<unsigned char> pixels(width * height * 3);
    GLint pack_alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack_alignment);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, GLsizei(width), GLsizei(height), GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, pack_alignment);
    // GL rows run bottom-up; images top-down.
    const size_t row = width * 3;
    std::vector<unsigned char> flipped(pixels.size());
    for (size_t y = 0; y < height; ++y)
        std::memcpy(flipped.data() + y * row, pixels.data() + (height - 1 - y) * row, row);
    m_last_frame = std::move(flipped);
    m_last_frame_width = width;
    m_last_frame_height = height;
}

void FrameCapture::frame_done(float seconds, const std::function<FrameFigures()>& figures)
{
    if (!settings.frame_times.empty())
        m_frame_times.push_back(seconds);
    if (!settings.frame_stats.empty()) {
        const FrameFigures figured = figures();
        m_frame_stats.add(double(seconds) * 1000.0, figured.leaves, figured.sharp_share, figured.pending_tiles);
    }
}

void FrameCapture::finish()
{
    if (!settings.screenshot.empty() && !write_screenshot())
        failed = true;
    if (!settings.frame_times.empty() && !write_frame_times())
        failed = true;
    if (!settings.frame_stats.empty() && !m_frame_stats.write())
        failed = true;
}

bool FrameCapture::write_frame_times()
{
    std::string text;
    for (float seconds : m_frame_times)
        text += fmt::format("{:.3f}\n", double(seconds) * 1000.0);
    std::ofstream file(settings.frame_times, std::ios::binary | std::ios::trunc);
    file.write(text.data(), std::streamsize(text.size()));
    file.close();
    if (!file) {
        console::eprint("Could not write the frame times {}: the file cannot be written\n",
                        console::quoted(settings.frame_times));
        return false;
    }
    return true;
}

bool FrameCapture::write_screenshot()
{
    const auto& path = settings.screenshot;
    if (!m_last_frame) {
        console::eprint("Could not write the screenshot {}: no frame was drawn\n", console::quoted(path));
        return false;
    }
    const size_t size = m_last_frame->size();
    auto* pixels = static_cast<unsigned char*>(std::malloc(size));
    if (pixels == nullptr) {
        console::eprint("Could not write the screenshot {}: out of memory\n", console::quoted(path));
        return false;
    }
    std::memcpy(pixels, m_last_frame->data(), size);
    gfx::Image image =
        gfx::Image::from_pixels(pixels, int32_t(m_last_frame_width), int32_t(m_last_frame_height), 3);
    std::vector<unsigned char> png = gfx::encode_png(image);
    if (png.empty()) {
        console::eprint("Could not write the screenshot {}: PNG encoding failed\n", console::quoted(path));
        return false;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    file.close();
    if (!file) {
        console::eprint("Could not write the screenshot {}: the file cannot be written\n", console::quoted(path));
        return false;
    }
    console::print("Screenshot: {}\n", console::quoted(path));
    return true;
}
