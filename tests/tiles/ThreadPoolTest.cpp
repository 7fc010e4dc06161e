#include "tiles/ThreadPool.h"

#include <atomic>
#include <set>
#include <stdexcept>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "tests/support/Support.h"

namespace {

using support::wait_until;

// Every task runs once on one of the workers, which run side by side and know their index;
// a throwing task is reported and its worker goes on.
TEST(ThreadPool, WorkersRunEveryTaskOnceSideBySide)
{
    console::Capture capture;
    std::atomic<int> ran{0}, waiting{0};
    std::atomic<bool> open{false};
    std::mutex mutex;
    std::set<int> indices;
    ThreadPool pool(3);
    for (int i = 0; i < 3; ++i)
        pool.enqueue([&] {
            {
                std::lock_guard lock(mutex);
                indices.insert(ThreadPool::current_worker_index());
            }
            ++waiting;
            wait_until([&] { return open.load(); });
        });
    EXPECT_TRUE(wait_until([&] { return waiting == 3; })) << "three tasks at once need three workers";
    open = true;
    pool.enqueue([] { throw std::runtime_error("boom"); });
    pool.enqueue([] { throw 42; });
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t)
        producers.emplace_back([&] {
            for (int i = 0; i < 100; ++i)
                pool.enqueue([&] {
                    ++ran;
                    pool.enqueue([&] { ++ran; }); // tasks may queue more
                });
        });
    for (std::thread& producer : producers)
        producer.join();
    EXPECT_TRUE(wait_until([&] { return ran == 800; })) << ran;
    pool.stop();
    EXPECT_EQ(ran, 800);
    EXPECT_EQ(indices, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(ThreadPool::current_worker_index(), -1);
    EXPECT_EQ(capture.err(), "Worker task failed: boom\nWorker task failed: unknown exception\n");
}

TEST(ThreadPool, StopFinishesTheRunningTaskAndDropsTheQueue)
{
    std::atomic<int> ran{0};
    std::atomic<bool> started{false}, finished{false};
    ThreadPool pool(1);
    // The running task goes on only once stop() has begun, so no queued task can slip in.
    pool.enqueue([&] {
        started = true;
        wait_until([&] { return pool.stopping(); });
        finished = true;
    });
    for (int i = 0; i < 10; ++i)
        pool.enqueue([&] { ++ran; });
    ASSERT_TRUE(wait_until([&] { return started.load(); }));
    pool.stop();
    EXPECT_TRUE(finished);
    pool.enqueue([&] { ++ran; });
    ThreadPool idle(0);
    idle.enqueue([&] { ++ran; });
    idle.stop();
    EXPECT_EQ(ran, 0) << "queued tasks, tasks after stop and tasks without workers never run";
}

} // namespace
