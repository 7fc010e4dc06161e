#pragma once

// Where a frame's time goes: the GPU time of each named pass, from GL_TIME_ELAPSED queries,
// and the CPU time of named stretches of the frame's own work. Query results are read a few
// frames late, so measuring never makes the program wait for the GPU. Benchmarks switch it
// on; the program runs without one (every hook takes a null profiler).
//
// Render thread only.

#include <array>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include <GL/glew.h>

namespace gfx {

class PassProfiler {
public:
    // gpu_passes and cpu_parts name the sections; begin()/end() and add_cpu() take indices.
    // Every sample_every-th frame is a sample frame for the GPU passes.
    PassProfiler(std::vector<std::string> gpu_passes, std::vector<std::string> cpu_parts, size_t sample_every = 4);
    ~PassProfiler();
    PassProfiler(const PassProfiler&) = delete;
    PassProfiler& operator=(const PassProfiler&) = delete;

    // Starts a frame (and closes the one before).
    void begin_frame();
    // Whether this frame samples the GPU passes. A renderer that queues its work (all tiled and
    // software ones) would otherwise charge one pass with another's: a sample frame finishes
    // the GPU's work before and after each pass, so its query holds that pass alone, and the
    // frame itself is slower than the others. Its CPU parts are not counted.
    bool sampling() const { return m_sampling; }
    // One pass at a time (GL timer queries do not nest); a pass measured twice in a frame adds.
    void begin(size_t pass);
    void end();
    // CPU milliseconds spent on a part of this frame; adds up within the frame.
    void add_cpu(size_t part, double milliseconds);

    const std::vector<std::string>& gpu_names() const { return m_gpu_names; }
    const std::vector<std::string>& cpu_names() const { return m_cpu_names; }
    // Milliseconds per section, one value per sample frame (GPU) or per other frame (CPU).
    // gpu_samples are the timer queries' answers; drained_samples the wall time from the
    // pass's start to the end of its work, with nothing else in the pipeline. A software
    // rasteriser's queries time only its own queueing (Mesa's llvmpipe), not its
    // rasterisation, so there only the second says what a pass costs.
    const std::vector<double>& gpu_samples(size_t pass) const { return m_gpu_samples[pass]; }
    const std::vector<double>& drained_samples(size_t pass) const { return m_drained_samples[pass]; }
    const std::vector<double>& cpu_samples(size_t part) const { return m_cpu_samples[part]; }
    // Forgets every sample taken so far.
    void clear();

private:
    void close_frame();

    std::vector<std::string> m_gpu_names;
    std::vector<std::string> m_cpu_names;
    size_t m_sample_every;
    size_t m_frame = 0;
    bool m_started = false;
    bool m_sampling = false;
    GLuint m_query = 0;
    bool m_open = false;
    size_t m_pass = 0;
    std::chrono::steady_clock::time_point m_pass_start;
    std::vector<double> m_frame_gpu;
    std::vector<double> m_frame_drained;
    std::vector<double> m_frame_cpu;
    std::vector<std::vector<double>> m_gpu_samples;
    std::vector<std::vector<double>> m_drained_samples;
    std::vector<std::vector<double>> m_cpu_samples;
};

// Adds the wall time of its scope to a CPU part of the profiler; does nothing without one.
class CpuScope {
public:
    CpuScope(PassProfiler* profiler, size_t part)
        : m_profiler(profiler), m_part(part), m_start(profiler ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{})
    {
    }
    ~CpuScope()
    {
        if (m_profiler)
            m_profiler->add_cpu(m_part, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count());
    }
    CpuScope(const CpuScope&) = delete;
    CpuScope& operator=(const CpuScope&) = delete;

private:
    PassProfiler* m_profiler;
    size_t m_part;
    std::chrono::steady_clock::time_point m_start;
};

// Measures its scope as a GPU pass; does nothing without a profiler.
class GpuScope {
public:
    GpuScope(PassProfiler* profiler, size_t pass) : m_profiler(profiler)
    {
        if (m_profiler)
            m_profiler->begin(pass);
    }
    ~GpuScope()
    {
        if (m_profiler)
            m_profiler->end();
    }
    GpuScope(const GpuScope&) = delete;
    GpuScope& operator=(const GpuScope&) = delete;

private:
    PassProfiler* m_profiler;
};

} // namespace gfx

namespace gfx::frame {

// The sections of one frame of the program, as its benchmarks report them.
enum GpuPass : size_t { SHADOW, TERRAIN, SKY, SCENE, OVERLAY, GPU_PASS_COUNT };
enum CpuPart : size_t { SELECTION, TEXTURES, DRAW_CALLS, UI, SWAP, CPU_PART_COUNT };

inline std::vector<std::string> gpu_pass_names()
{
    return {"shadow map", "terrain", "sky", "aircraft and debug geometry", "overlay"};
}
inline std::vector<std::string> cpu_part_names()
{
    return {"selection", "texture uploads", "uniforms and draw calls", "overlay widgets", "swap (finish and present)"};
}

} // namespace gfx::frame
