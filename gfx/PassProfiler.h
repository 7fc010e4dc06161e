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
    // Frames between a query's end and the reading of its result.
    static constexpr size_t LATENCY = 4;

    // gpu_passes and cpu_parts name the sections; begin()/end() and add_cpu() take indices.
    PassProfiler(std::vector<std::string> gpu_passes, std::vector<std::string> cpu_parts);
    ~PassProfiler();
    PassProfiler(const PassProfiler&) = delete;
    PassProfiler& operator=(const PassProfiler&) = delete;

    // Starts a frame: collects the passes of the frame LATENCY frames ago.
    void begin_frame();
    // One pass at a time (GL timer queries do not nest); a pass measured twice in a frame adds.
    void begin(size_t pass);
    void end();
    // CPU milliseconds spent on a part of this frame; adds up within the frame.
    void add_cpu(size_t part, double milliseconds);

    // Every frame's time per section so far, milliseconds (GPU passes only once read back).
    const std::vector<std::string>& gpu_names() const { return m_gpu_names; }
    const std::vector<std::string>& cpu_names() const { return m_cpu_names; }
    const std::vector<double>& gpu_samples(size_t pass) const { return m_gpu_samples[pass]; }
    const std::vector<double>& cpu_samples(size_t part) const { return m_cpu_samples[part]; }
    // Forgets every sample taken so far (queries in flight are dropped when they land).
    void clear();

private:
    struct Frame {
        std::vector<GLuint> queries;  // one per (pass, use); reused
        std::vector<size_t> passes;   // the pass of each used query
        size_t used = 0;
        bool counted = true;          // false for frames begun before the last clear()
    };
    void collect(Frame& frame);

    std::vector<std::string> m_gpu_names;
    std::vector<std::string> m_cpu_names;
    std::array<Frame, LATENCY> m_frames;
    size_t m_current = 0;
    bool m_open = false;
    std::vector<double> m_frame_gpu;
    std::vector<double> m_frame_cpu;
    bool m_frame_started = false;
    std::vector<std::vector<double>> m_gpu_samples;
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
