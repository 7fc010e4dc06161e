#pragma once

// The only place where the program's tile threads are made: a fixed set of workers taking
// tasks first in, first out from one queue.
//
// Thread-safety: enqueue may be called from any thread, including from a task. The
// constructor, stop and the destructor belong to the owner's thread; stop must not be called
// from one of the pool's own tasks (a worker cannot join itself).

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ThreadPool {
public:
    using Task = std::function<void()>;

    // Starts num_threads workers. If one cannot be started, the ones already running are
    // stopped and joined and the std::system_error is passed on.
    explicit ThreadPool(size_t num_threads);
    // stop().
    ~ThreadPool();

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Appends the task at the back of the queue and wakes one waiting worker. Tasks enqueued
    // after stop() are dropped without running.
    void enqueue(Task task);

    // Sets the stop flag, wakes every worker, joins them in order of creation (a task under
    // way completes first) and drops the tasks still queued without running them. Idempotent.
    void stop();

    size_t size() const { return m_workers.size(); }

    // Whether stop() has begun. Any thread.
    bool stopping();

    // The index (0 .. size() - 1) of the calling thread within the pool that runs it, or -1 on
    // a thread that is not a pool worker. Lets the owner keep per-worker state (an HTTP
    // connection) without thread-local storage.
    static int current_worker_index();

private:
    void worker_loop(int index);

    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<std::thread> m_workers;
    std::deque<Task> m_tasks;
};
