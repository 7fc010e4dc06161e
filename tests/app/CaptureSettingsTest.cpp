#include "app/CaptureSettings.h"

#include "console/Console.h"

#include <gtest/gtest.h>

namespace {

TEST(CaptureSettings, UnsetMeansAnOrdinaryRun)
{
    console::Capture capture;
    CaptureSettings settings = CaptureSettings::parse(nullptr, nullptr, nullptr);
    EXPECT_FALSE(settings.exit_after_frames.has_value());
    EXPECT_TRUE(settings.screenshot.empty());
    EXPECT_FALSE(settings.exit_when_settled);
    settings = CaptureSettings::parse("", "", "");
    EXPECT_FALSE(settings.exit_after_frames.has_value());
    EXPECT_TRUE(settings.screenshot.empty());
    EXPECT_FALSE(settings.exit_when_settled);
    EXPECT_EQ(capture.err(), "");
}

TEST(CaptureSettings, FrameCounts)
{
    struct Case {
        const char* text;
        std::optional<uint64_t> frames;
    };
    const Case cases[] = {
        {"1", 1},         {"120", 120},  {"18446744073709551615", UINT64_MAX},
        {"0", {}},        {"-5", {}},    {"abc", {}},
        {"12abc", {}},    {" 12", {}},   {"12 ", {}},
        {"1.5", {}},      {"+3", {}},    {"18446744073709551616", {}},
    };
    for (const Case& c : cases) {
        console::Capture capture;
        CaptureSettings settings = CaptureSettings::parse(c.text, nullptr, nullptr);
        EXPECT_EQ(settings.exit_after_frames, c.frames) << '"' << c.text << '"';
        if (c.frames)
            EXPECT_EQ(capture.err(), "") << c.text;
        else
            EXPECT_EQ(capture.err(), std::string("Ignoring WINDHOLLOW_EXIT_AFTER_FRAMES=") + console::quoted(std::string_view(c.text)) +
                                         ": expected a whole number of frames, 1 or more\n");
    }
}

TEST(CaptureSettings, ScreenshotAndSettledExit)
{
    console::Capture capture;
    CaptureSettings settings = CaptureSettings::parse("3", "/tmp/frame.png", "1");
    EXPECT_EQ(settings.exit_after_frames, 3u);
    EXPECT_EQ(settings.screenshot, "/tmp/frame.png");
    EXPECT_TRUE(settings.exit_when_settled);
    EXPECT_FALSE(CaptureSettings::parse(nullptr, nullptr, "0").exit_when_settled);
    EXPECT_EQ(capture.err(), "");

    EXPECT_FALSE(CaptureSettings::parse(nullptr, nullptr, "yes").exit_when_settled);
    EXPECT_EQ(capture.err(), "Ignoring WINDHOLLOW_EXIT_WHEN_SETTLED=\"yes\": expected 1 or 0\n");
}

} // namespace
