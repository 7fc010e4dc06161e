#include "tiles/ThreadPool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "console/Console.h"

namespace {

using namespace std::chrono_literals;

// Polls the condition every millisecond until it holds or the time is up.
template <typename Predicate>
bool wait_until(Predicate predicate, std::chrono::milliseconds timeout = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A gate that tasks wait at until the test opens it.
class Gate {
public:
    void wait()
    {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_condition.wait(lock, [this] { return m_open; });
    }
    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_condition.notify_all();
    }
    int waiting()
    {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_open = false;
    int m_waiting = 0;
};

} // namespace

TEST(ThreadPool, OneWorkerRunsTasksFirstInFirstOut)
{
    std::mutex mutex;
    std::vector<int> order;
    std::atomic<int> done{0};
    {
        ThreadPool pool(1);
        for (int i = 0; i < 50; ++i) {
            pool.enqueue([&, i] {
                std::lock_guard lock(mutex);
                order.push_back(i);
                ++done;
            });
        }
        ASSERT_TRUE(wait_until([&] { return done == 50; })) << "ran " << done << " of 50";
    }
    std::vector<int> expected(50);
    for (int i = 0; i < 50; ++i) expected[i] = i;
    EXPECT_EQ(order, expected);
}

TEST(ThreadPool, WorkersRunInParallelAndKnowTheirIndex)
{
    ThreadPool pool(3);
    EXPECT_EQ(pool.size(), 3u);
    EXPECT_EQ(ThreadPool::current_worker_index(), -1) << "the test thread is no worker";
    Gate gate;
    std::mutex mutex;
    std::set<int> indices;
    for (int i = 0; i < 3; ++i) {
        pool.enqueue([&] {
            {
                std::lock_guard lock(mutex);
                indices.insert(ThreadPool::current_worker_index());
            }
            gate.wait();
        });
    }
    // All three tasks block at once only if three workers run them side by side.
    ASSERT_TRUE(wait_until([&] { return gate.waiting() == 3; })) << gate.waiting() << " waiting";
    gate.open();
    EXPECT_EQ(indices, (std::set<int>{0, 1, 2}));
}

TEST(ThreadPool, StopDropsQueuedTasksAndFinishesTheRunningOne)
{
    Gate gate;
    std::atomic<int> ran{0};
    std::atomic<bool> first_finished{false};
    auto pool = std::make_unique<ThreadPool>(1);
    pool->enqueue([&] {
        gate.wait();
        first_finished = true;
    });
    for (int i = 0; i < 10; ++i) {
        pool->enqueue([&] { ++ran; });
    }
    ASSERT_TRUE(wait_until([&] { return gate.waiting() == 1; }));
    ThreadPool* raw = pool.get();
    std::thread opener([&] {
        // Release the running task only once stop() has raised the flag, so the worker cannot
        // take a queued task in between.
        EXPECT_TRUE(wait_until([&] { return raw->stopping(); }));
        gate.open();
    });
    pool->stop();
    opener.join();
    EXPECT_TRUE(first_finished) << "the task under way completes before the join returns";
    EXPECT_EQ(ran, 0) << "queued tasks are dropped";
}

TEST(ThreadPool, ZeroWorkersNeverRunAnything)
{
    std::atomic<int> ran{0};
    {
        ThreadPool pool(0);
        EXPECT_EQ(pool.size(), 0u);
        for (int i = 0; i < 5; ++i) pool.enqueue([&] { ++ran; });
    }
    EXPECT_EQ(ran, 0);
}

TEST(ThreadPool, ThrowingTaskIsReportedAndTheWorkerGoesOn)
{
    console::Capture capture;
    std::atomic<int> ran{0};
    {
        ThreadPool pool(1);
        pool.enqueue([] { throw std::runtime_error("boom"); });
        pool.enqueue([] { throw 42; });
        pool.enqueue([&] { ++ran; });
        ASSERT_TRUE(wait_until([&] { return ran == 1; }));
    }
    EXPECT_EQ(capture.err(), "Worker task failed: boom\nWorker task failed: unknown exception\n");
}

TEST(ThreadPool, EnqueueFromManyThreadsAndFromTasks)
{
    std::atomic<int> ran{0};
    ThreadPool pool(2);
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t) {
        producers.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                pool.enqueue([&] {
                    ++ran;
                    pool.enqueue([&] { ++ran; }); // a task may queue follow-up work
                });
            }
        });
    }
    for (std::thread& p : producers) p.join();
    EXPECT_TRUE(wait_until([&] { return ran == 800; })) << "ran " << ran << " of 800";
}

TEST(ThreadPool, EnqueueAfterStopIsDropped)
{
    std::atomic<int> ran{0};
    ThreadPool pool(1);
    pool.stop();
    pool.enqueue([&] { ++ran; });
    pool.stop(); // idempotent
    EXPECT_EQ(ran, 0);
}
