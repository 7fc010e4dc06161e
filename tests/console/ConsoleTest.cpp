#include "console/Console.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

TEST(Console, CaptureSeparatesStreamsAndNests)
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
}

TEST(Console, QuotedEscapesQuotesAndBackslashes)
{
    EXPECT_EQ(console::quoted(std::string_view("plain")), "\"plain\"");
    EXPECT_EQ(console::quoted(std::string_view(R"(a"b\c)")), R"("a\"b\\c")");
    EXPECT_EQ(console::quoted(std::filesystem::path("/tmp/x y")), "\"/tmp/x y\"");
}

TEST(Console, LinesFromManyThreadsStayWhole)
{
    console::Capture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                console::print("thread {} line {}\n", t, i);
        });
    for (auto& thread : threads)
        thread.join();
    std::string text = capture.out();
    size_t lines = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(text.compare(start, 7, "thread "), 0) << text.substr(start, end - start);
        ++lines;
        start = end + 1;
    }
    EXPECT_EQ(lines, 800u);
}
