#include "gfx/PassProfiler.h"

namespace gfx {

PassProfiler::PassProfiler(std::vector<std::string> gpu_passes, std::vector<std::string> cpu_parts)
    : m_gpu_names(std::move(gpu_passes))
    , m_cpu_names(std::move(cpu_parts))
    , m_frame_gpu(m_gpu_names.size(), 0.0)
    , m_frame_cpu(m_cpu_names.size(), 0.0)
    , m_gpu_samples(m_gpu_names.size())
    , m_cpu_samples(m_cpu_names.size())
{
}

PassProfiler::~PassProfiler()
{
    for (Frame& frame : m_frames)
        if (!frame.queries.empty())
            glDeleteQueries(static_cast<GLsizei>(frame.queries.size()), frame.queries.data());
}

void PassProfiler::collect(Frame& frame)
{
    std::vector<double> gpu(m_gpu_names.size(), 0.0);
    for (size_t i = 0; i < frame.used; ++i) {
        GLuint64 nanoseconds = 0;
        // LATENCY frames later the result is there; if a driver is slower still, this waits.
        glGetQueryObjectui64v(frame.queries[i], GL_QUERY_RESULT, &nanoseconds);
        gpu[frame.passes[i]] += static_cast<double>(nanoseconds) * 1e-6;
    }
    if (frame.used > 0 && frame.counted)
        for (size_t pass = 0; pass < gpu.size(); ++pass)
            m_gpu_samples[pass].push_back(gpu[pass]);
    frame.used = 0;
    frame.passes.clear();
}

void PassProfiler::begin_frame()
{
    if (m_frame_started)
        for (size_t part = 0; part < m_frame_cpu.size(); ++part)
            m_cpu_samples[part].push_back(m_frame_cpu[part]);
    m_frame_started = true;
    std::fill(m_frame_cpu.begin(), m_frame_cpu.end(), 0.0);
    m_current = (m_current + 1) % LATENCY;
    collect(m_frames[m_current]);
    m_frames[m_current].counted = true;
}

void PassProfiler::begin(size_t pass)
{
    Frame& frame = m_frames[m_current];
    if (frame.used == frame.queries.size()) {
        GLuint query = 0;
        glGenQueries(1, &query);
        frame.queries.push_back(query);
    }
    frame.passes.push_back(pass);
    glBeginQuery(GL_TIME_ELAPSED, frame.queries[frame.used++]);
    m_open = true;
}

void PassProfiler::end()
{
    if (m_open)
        glEndQuery(GL_TIME_ELAPSED);
    m_open = false;
}

void PassProfiler::add_cpu(size_t part, double milliseconds) { m_frame_cpu[part] += milliseconds; }

void PassProfiler::clear()
{
    for (auto& samples : m_gpu_samples)
        samples.clear();
    for (auto& samples : m_cpu_samples)
        samples.clear();
    for (Frame& frame : m_frames)
        frame.counted = false;
    m_frame_started = false;
}

} // namespace gfx
