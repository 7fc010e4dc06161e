#include "gfx/PassProfiler.h"

#include <algorithm>

namespace gfx {

PassProfiler::PassProfiler(std::vector<std::string> gpu_passes, std::vector<std::string> cpu_parts, size_t sample_every)
    : m_gpu_names(std::move(gpu_passes))
    , m_cpu_names(std::move(cpu_parts))
    , m_sample_every(std::max<size_t>(sample_every, 1))
    , m_frame_gpu(m_gpu_names.size(), 0.0)
    , m_frame_drained(m_gpu_names.size(), 0.0)
    , m_frame_cpu(m_cpu_names.size(), 0.0)
    , m_gpu_samples(m_gpu_names.size())
    , m_drained_samples(m_gpu_names.size())
    , m_cpu_samples(m_cpu_names.size())
{
}

PassProfiler::~PassProfiler()
{
    if (m_query != 0)
        glDeleteQueries(1, &m_query);
}

void PassProfiler::close_frame()
{
    if (!m_started)
        return;
    if (m_sampling) {
        for (size_t pass = 0; pass < m_frame_gpu.size(); ++pass) {
            m_gpu_samples[pass].push_back(m_frame_gpu[pass]);
            m_drained_samples[pass].push_back(m_frame_drained[pass]);
        }
    } else {
        for (size_t part = 0; part < m_frame_cpu.size(); ++part)
            m_cpu_samples[part].push_back(m_frame_cpu[part]);
    }
}

void PassProfiler::begin_frame()
{
    close_frame();
    m_started = true;
    m_sampling = m_frame++ % m_sample_every == 0;
    std::fill(m_frame_gpu.begin(), m_frame_gpu.end(), 0.0);
    std::fill(m_frame_drained.begin(), m_frame_drained.end(), 0.0);
    std::fill(m_frame_cpu.begin(), m_frame_cpu.end(), 0.0);
}

void PassProfiler::begin(size_t pass)
{
    if (!m_sampling || m_open)
        return;
    if (m_query == 0)
        glGenQueries(1, &m_query);
    // Whatever came before is done before the clock starts.
    glFinish();
    m_pass_start = std::chrono::steady_clock::now();
    glBeginQuery(GL_TIME_ELAPSED, m_query);
    m_pass = pass;
    m_open = true;
}

void PassProfiler::end()
{
    if (!m_open)
        return;
    glFinish();
    m_frame_drained[m_pass] +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_pass_start).count();
    glEndQuery(GL_TIME_ELAPSED);
    GLuint64 nanoseconds = 0;
    glGetQueryObjectui64v(m_query, GL_QUERY_RESULT, &nanoseconds);
    m_frame_gpu[m_pass] += static_cast<double>(nanoseconds) * 1e-6;
    m_open = false;
}

void PassProfiler::add_cpu(size_t part, double milliseconds) { m_frame_cpu[part] += milliseconds; }

void PassProfiler::clear()
{
    for (auto& samples : m_gpu_samples)
        samples.clear();
    for (auto& samples : m_drained_samples)
        samples.clear();
    for (auto& samples : m_cpu_samples)
        samples.clear();
    m_started = false;
}

} // namespace gfx
