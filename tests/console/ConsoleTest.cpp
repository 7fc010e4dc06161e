#include "console/Console.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

TEST(Console, QuotedEscapesQuotesAndBackslashes)
{
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
