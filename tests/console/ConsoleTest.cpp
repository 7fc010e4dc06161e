#include "console/Console.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

TEST(Console, CapturesNestAndSeparateTheStreams)
{
    console::Capture outer;
    console::out("a\n");
    {
        console::Capture inner;
        console::print("{} {}\n", 1, "two");
        console::eprint("bad {}\n", 3);
        EXPECT_EQ(inner.out(), "1 two\n");
        EXPECT_EQ(inner.err(), "bad 3\n");
    }
    console::err("b\n");
    EXPECT_EQ(outer.out(), "a\n");
    EXPECT_EQ(outer.err(), "b\n");
    EXPECT_EQ(console::quoted(std::string_view(R"(a"b\c)")), R"("a\"b\\c")");
}

TEST(Console, LinesFromManyThreadsStayWhole)
{
    console::Capture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 200; ++i)
                console::print("{}\n", std::string(40, 'x'));
        });
    for (std::thread& thread : threads)
        thread.join();
    std::string expected;
    for (int i = 0; i < 800; ++i)
        expected += std::string(40, 'x') + "\n";
    EXPECT_EQ(capture.out(), expected);
}
