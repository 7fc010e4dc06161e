#include "tiles/ThreadPool.h"

#include <exception>

#include "console/Console.h"

namespace {
thread_local int t_worker_index = -1;
} // namespace

ThreadPool::ThreadPool(size_t num_threads)
{
    m_workers.reserve(num_threads);
    try {
        for (size_t i = 0; i < num_threads; ++i) {
            m_workers.emplace_back([this, i] { worker_loop(static_cast<int>(i)); });
        }
    } catch (...) {
        // Joinable threads must not be destroyed: take down the ones that did start.
        stop();
        throw;
    }
}

ThreadPool::~ThreadPool() { stop(); }

void ThreadPool::enqueue(Task task)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stop) {
            return;
        }
        m_tasks.push_back(std::move(task));
    }
    m_condition.notify_one();
}

void ThreadPool::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_condition.notify_all();
    for (std::thread& worker : m_workers) {
        if (worker.joinable()) {
            worker.join();
        }
    }
    std::deque<Task> dropped;
    {
        std::lock_guard lock(m_mutex);
        dropped.swap(m_tasks);
    }
    // Destroyed here, outside the lock: a task's captures may take locks of their own.
}

bool ThreadPool::stopping()
{
    std::lock_guard lock(m_mutex);
    return m_stop;
}

int ThreadPool::current_worker_index() { return t_worker_index; }

void ThreadPool::worker_loop(int index)
{
    t_worker_index = index;
    std::unique_lock lock(m_mutex);
    while (true) {
        while (m_tasks.empty()) {
            if (m_stop) {
                return;
            }
            m_condition.wait(lock);
        }
        if (m_stop) {
            return;
        }
        Task task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        // A task that throws must not end the program nor the worker: the owner's tasks
        // report their own failures, this only catches what slipped past them.
        try {
            try {
                task();
            } catch (const std::exception& e) {
                console::eprint("Worker task failed: {}\n", e.what());
            } catch (...) {
                console::eprint("Worker task failed: unknown exception\n");
            }
        } catch (...) {
            // Even the report failed (out of memory): nothing left to do but go on.
        }
        task = nullptr; // release the captures before taking the lock again
        lock.lock();
    }
}
