// The sound through the real OpenAL Soft (what it plays is recorded end to end, through the
// program, in FlightE2eTest): the device that plays to nowhere, and drivers that cannot open.
// OpenAL Soft reads its driver list and configuration once per process, so each case runs in a
// forked copy of the test program (a death test's).

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <unistd.h>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "sound/SoundScape.h"
#include "tests/support/Support.h"

namespace {

TEST(SoundDevice, NoDeviceIsOneLineTheNullDeviceOpensQuietlyAndDisabledSoundOpensNothing)
{
    console::Capture output;
    const sound::SoundScape disabled(sound::SoundSettings{.enabled = false});
    EXPECT_EQ(std::tuple(disabled.active(), output.out(), output.err()), std::tuple(false, "", ""));
    for (const std::string driver : {"no-such-driver", "alsa", "null"}) {
        const support::TempDir dir("wh-sound");
        const auto open = [&] {
            setenv("ALSOFT_DRIVERS", driver.c_str(), 1);
            unsetenv("ALSOFT_LOGLEVEL");
            std::setvbuf(std::freopen((dir / "stderr").c_str(), "w", stderr), nullptr, _IONBF, 0);
            sound::SoundScape scape(sound::SoundSettings{});
            scape.update(sound::SoundInputs{}, 0.016f); // harmless without a device; with one, queues blocks
            support::write_file(dir / "out", (scape.active() ? "(open)" : "") + output.out() + output.err());
            _exit(0);
        };
        // A sound card takes "alsa" (and nothing is printed); without one, ALSA's own complaints stay off standard error.
        EXPECT_EXIT(open(), testing::ExitedWithCode(0), "") << driver;
        const std::string out = support::read_file(dir / "out");
        EXPECT_EQ(support::read_file(dir / "stderr"), "") << driver;
        EXPECT_TRUE(out == "(open)" ? driver != "no-such-driver"
                                    : driver != "null" && out.starts_with("No sound: no audio output device could be opened (OpenAL: ") &&
                                          out.ends_with(")\n") && std::count(out.begin(), out.end(), '\n') == 1)
            << driver << ": " << out;
    }
}

} // namespace
