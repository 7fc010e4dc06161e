// The sound through the real OpenAL Soft: recorded by its wave-file driver, so no sound card is
// needed, and drivers that cannot open. OpenAL Soft reads its driver list and configuration
// once per process, so each case runs in a forked copy of the test program (a death test's, whose
// exit code tells how it went).

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <unistd.h>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "sound/EngineRpm.h"
#include "sound/SoundScape.h"
#include "tests/support/SignalAnalysis.h"
#include "tests/support/Support.h"
#include "tests/support/WaveFile.h"

namespace {

// Updates as a frame loop would until the device has played seconds more; false if it takes far longer.
bool play(sound::SoundScape& scape, const sound::SoundInputs& inputs, double seconds)
{
    const double until = scape.seconds_played() + seconds;
    auto last = std::chrono::steady_clock::now();
    return support::wait_until([&] {
        const auto now = std::chrono::steady_clock::now();
        scape.update(inputs, std::chrono::duration<float>(now - std::exchange(last, now)).count());
        return scape.seconds_played() >= until;
    }, std::chrono::milliseconds(int(seconds * 1000) + 5000));
}

TEST(SoundDevice, TheWaveDriverRecordsTheEngineLouderAndHigherAtFullThrottleThanAtIdle)
{
    const support::TempDir dir("wh-sound");
    const std::filesystem::path wav = dir / "engine.wav", conf = dir / "alsoft.conf";
    support::write_file(conf, "[general]\nfrequency = 44100\n[wave]\nfile = " + wav.string() + "\n");
    constexpr double IDLE_S = 1.2, FULL_S = 2.0;
    const auto record = [&] {
        setenv("ALSOFT_DRIVERS", "wave", 1);
        setenv("ALSOFT_CONF", conf.c_str(), 1);
        std::setvbuf(std::freopen((dir / "stderr").c_str(), "w", stderr), nullptr, _IONBF, 0); // what libraries print, kept
        sound::SoundScape scape(sound::SoundSettings{});
        sound::SoundInputs inputs{.wheels_on_ground = true}; // standing, heard from outside 10 m away
        inputs.listener.position = {0.0f, 0.0f, 10.0f};
        if (!scape.active() || !play(scape, inputs, IDLE_S))
            return 2;
        inputs.throttle = 1.0f;
        return play(scape, inputs, FULL_S) ? 0 : 3; // closing the device finishes the file
    };
    ASSERT_EXIT(_exit(record()), testing::ExitedWithCode(0), "") << "2: no device or idle not played in time, 3: full throttle not";
    EXPECT_EQ(support::read_file(dir / "stderr"), "");

    const support::WaveFile recorded = support::read_wave(wav);
    ASSERT_GT(recorded.seconds(), IDLE_S + FULL_S) << recorded.rate << " Hz, " << recorded.channels << " channels";
    // Back from the end, the moment the device closed: the last half second, spooled up to full
    // throttle, and half a second of idle well before the throttle opened (what is heard lags
    // what was asked for by up to 0.3 s).
    const double end = recorded.seconds();
    const auto idle = support::slice(recorded.mono, recorded.rate, end - FULL_S - 0.95, end - FULL_S - 0.45);
    const auto full = support::slice(recorded.mono, recorded.rate, end - 0.55, end - 0.05);
    const double idle_hz = sound::EngineNote::firing_frequency(sound::engine_rpm(0.0f, 0.0f));
    const double full_hz = sound::EngineNote::firing_frequency(sound::engine_rpm(1.0f, 0.0f));
    EXPECT_NEAR(support::fundamental_hz(idle, recorded.rate, 10, 200), idle_hz, 0.03 * idle_hz);
    EXPECT_NEAR(support::fundamental_hz(full, recorded.rate, 10, 200), full_hz, 0.04 * full_hz); // still spooling up by 2 %
    EXPECT_GT(support::rms(full), 2.0 * support::rms(idle));
}

TEST(SoundDevice, NoDeviceIsOneLineAndSilenceAndDisabledSoundOpensNothing)
{
    console::Capture output;
    const sound::SoundScape disabled(sound::SoundSettings{.enabled = false});
    EXPECT_EQ(std::tuple(disabled.active(), output.out(), output.err()), std::tuple(false, "", ""));
    for (const std::string driver : {"no-such-driver", "alsa"}) {
        const support::TempDir dir("wh-sound");
        const auto open = [&] {
            setenv("ALSOFT_DRIVERS", driver.c_str(), 1);
            unsetenv("ALSOFT_LOGLEVEL");
            std::setvbuf(std::freopen((dir / "stderr").c_str(), "w", stderr), nullptr, _IONBF, 0);
            sound::SoundScape scape(sound::SoundSettings{});
            scape.update(sound::SoundInputs{}, 0.016f); // harmless without a device
            support::write_file(dir / "out", output.out() + output.err());
            _exit(0);
        };
        // A sound card takes "alsa" (and nothing is printed); without one, ALSA's own complaints stay off standard error.
        EXPECT_EXIT(open(), testing::ExitedWithCode(0), "") << driver;
        const std::string out = support::read_file(dir / "out");
        EXPECT_EQ(support::read_file(dir / "stderr"), "") << driver;
        EXPECT_TRUE(out.empty() ? driver == "alsa" : out.starts_with("No sound: no audio output device could be opened (OpenAL: ") &&
                                                         out.ends_with(")\n") && std::count(out.begin(), out.end(), '\n') == 1)
            << driver << ": " << out;
    }
}

} // namespace
