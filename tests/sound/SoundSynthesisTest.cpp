// The aircraft's sounds as the synthesisers make them, measured from their samples: pitch,
// level, brightness, and silence where there must be none.

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "sound/AircraftSynth.h"
#include "sound/EngineRpm.h"
#include "sound/TouchdownDetector.h"
#include "tests/support/SignalAnalysis.h"

namespace {

using namespace sound;
using support::rms;

constexpr int RATE = 44100;

// seconds of one generator's samples, or of the whole mix.
template <typename Generator>
std::vector<float> take(Generator& generator, double seconds)
{
    std::vector<float> samples(size_t(seconds * RATE));
    if constexpr (std::is_same_v<Generator, AircraftSynth>)
        generator.render(samples);
    else
        std::generate(samples.begin(), samples.end(), [&] { return generator.next(); });
    return samples;
}

// Without the first 0.2 s, in which every glide settles.
std::span<const float> settled(const std::vector<float>& samples) { return support::slice(samples, RATE, 0.2, 1e9); }

double peak(std::span<const float> samples) { return std::ranges::max(samples, {}, [](float x) { return std::abs(x); }); }

TEST(SoundSynthesis, TheEnginesFiringFrequencyFollowsItsSpeedAndItsLevelRisesWithPower)
{
    double quieter = 0.0;
    for (const auto& [rpm, load] : {std::pair(700.0f, 0.0f), {1200.0f, 0.2f}, {2300.0f, 1.0f}, {2800.0f, 1.0f}}) {
        EngineNote engine(RATE);
        engine.set(rpm, load);
        const std::vector<float> samples = take(engine, 0.7);
        const double expected = rpm / 60.0 * 2.0; // four cylinders, each firing every second turn
        EXPECT_NEAR(support::fundamental_hz(settled(samples), RATE, 15, 200), expected, 0.01 * expected) << rpm << " rpm";
        EXPECT_GT(rms(settled(samples)), quieter * 1.05) << rpm << " rpm, load " << load << ", against the row before";
        quieter = rms(settled(samples));
    }
}

TEST(SoundSynthesis, TheEngineSpeedRisesWithThrottleAndWithAirspeedAsThePropellerWindmills)
{
    const EngineRpmModel model;
    EXPECT_NEAR(engine_rpm(0.0f, 0.0f), model.idle_rpm, 0.5f);
    EXPECT_NEAR(engine_rpm(1.0f, 0.0f), model.static_rpm, 0.5f);
    for (const float v : {0.0f, 30.0f, 60.0f})
        for (const float t : {0.0f, 0.5f})
            EXPECT_TRUE(engine_rpm(t + 0.5f, v) > engine_rpm(t, v) && engine_rpm(t, v + 30.0f) > engine_rpm(t, v))
                << "throttle " << t << " at " << v << " m/s: " << engine_rpm(t, v);
    // At idle in a dive the air turns the propeller far faster than the idling engine would.
    EXPECT_GT(engine_rpm(0.0f, 60.0f), 1.5f * model.idle_rpm);
    // Out-of-range inputs are taken as their limits; nothing runs past max_rpm.
    EXPECT_EQ(engine_rpm(2.0f, -5.0f), engine_rpm(1.0f, 0.0f));
    EXPECT_EQ(engine_rpm(1.0f, 500.0f), model.max_rpm);
}

TEST(SoundSynthesis, TheStallHornSoundsOnlyWhileTheWarningIsOn)
{
    StallHorn horn(RATE);
    EXPECT_EQ(peak(take(horn, 0.3)), 0.0);
    horn.set(true);
    const std::vector<float> during = take(horn, 0.5);
    horn.set(false);
    const std::vector<float> after = take(horn, 0.5);
    EXPECT_GT(rms(settled(during)), 0.05);
    EXPECT_NEAR(support::fundamental_hz(settled(during), RATE, 200, 2000), StallHorn::frequency_hz, 0.02 * StallHorn::frequency_hz);
    EXPECT_GT(peak(support::slice(after, RATE, 0.0, 0.01)), 0.0) << "it stops over a few milliseconds, not at once";
    EXPECT_EQ(peak(support::slice(after, RATE, 0.1, 0.5)), 0.0);
}

TEST(SoundSynthesis, TheTyresRumbleOnlyWhileRollingAndTheAirRushesLouderAndBrighterWithSpeed)
{
    double quieter = 0.0;
    for (const auto& [on_ground, speed] : {std::pair(false, 20.0f), {true, 0.0f}, {true, 5.0f}, {true, 25.0f}}) {
        TyreRumble rumble(RATE);
        rumble.set(on_ground, speed);
        const std::vector<float> samples = take(rumble, 0.6);
        EXPECT_TRUE(on_ground && speed > 0.0f ? rms(settled(samples)) > 1.5 * quieter : peak(samples) == 0.0)
            << "on the ground " << on_ground << " at " << speed << " m/s: " << rms(samples);
        quieter = rms(settled(samples));
    }
    // The air, outside and in the cockpit: level and brightness.
    auto rush = [](float airspeed, bool cockpit) {
        AirRush air(RATE);
        air.set(airspeed, cockpit);
        const std::vector<float> samples = take(air, 0.8);
        return std::pair(rms(settled(samples)), support::brightness_hz(settled(samples), RATE));
    };
    EXPECT_LT(rush(0.0f, false).first, 1e-6);
    for (const float v : {10.0f, 30.0f, 60.0f}) {
        const auto [level, brightness] = rush(v, false);
        const auto [faster_level, faster_brightness] = rush(v * 1.5f, false);
        const auto [inside_level, inside_brightness] = rush(v, true);
        EXPECT_TRUE(faster_level > 1.5 * level && faster_brightness > 1.1 * brightness)
            << v << " m/s: " << level << ", " << brightness << " Hz; half as fast again " << faster_level << ", " << faster_brightness;
        EXPECT_TRUE(inside_level < 0.6 * level && inside_brightness < 0.6 * brightness)
            << v << " m/s: " << level << ", " << brightness << " Hz; in the cockpit " << inside_level << ", " << inside_brightness;
    }
}

// The whole mix, the engine off to hear the tyres alone: rolling, touchdowns at 25 and 2 m/s,
// light and hard braking.
TEST(SoundSynthesis, TouchdownsAtSpeedAndHardBrakingMakeTheTyresSqueal)
{
    for (const auto& [brake, touchdown_speed, squeal] : {std::tuple(0.0f, 0.0f, false), {0.0f, 25.0f, true}, {0.0f, 2.0f, false},
                                                         {0.3f, 0.0f, false}, {1.0f, 0.0f, true}}) {
        AircraftSynth synth(RATE);
        synth.set_state({.airspeed_m_s = 25.0f, .on_ground = true, .ground_speed_m_s = 25.0f});
        take(synth, 0.5);
        synth.set_state({.airspeed_m_s = 25.0f, .on_ground = true, .ground_speed_m_s = 25.0f, .brake = brake});
        if (touchdown_speed > 0.0f)
            synth.touchdown(1.0f, touchdown_speed);
        const std::vector<float> samples = take(synth, 0.15);
        // The rumble lies far below 1 kHz; a squeal brings the brightness above it.
        EXPECT_EQ(support::brightness_hz(samples, RATE) > 1000.0, squeal)
            << "brake " << brake << ", touchdown at " << touchdown_speed << " m/s: " << support::brightness_hz(samples, RATE) << " Hz";
    }
}

TEST(SoundSynthesis, PausingSilencesEverythingButACrashPlaysOut)
{
    AircraftSoundState flying{.engine_rpm = 2300.0f, .engine_load = 1.0f, .airspeed_m_s = 60.0f, .stall_warning = true};
    AircraftSynth synth(RATE);
    synth.set_state(flying);
    EXPECT_GT(rms(take(synth, 0.3)), 0.1);
    flying.paused = true;
    synth.set_state(flying);
    EXPECT_LT(peak(support::slice(take(synth, 0.7), RATE, 0.2, 1.0)), 1e-3) << "paused";
    synth.crash(); // the crash pauses the flight as it happens
    const std::vector<float> crash = take(synth, CrashSound::duration_s);
    EXPECT_GT(rms(support::slice(crash, RATE, 0.0, 0.5)), 0.1);
    EXPECT_LT(peak(take(synth, 0.5)), 1e-3) << "after the crash";
}

TEST(SoundSynthesis, ATouchdownIsTheFirstContactAfterAFlightAndCarriesTheSinkRateBeforeIt)
{
    using Frame = std::tuple<bool, float, std::optional<float>>; // on the ground, vertical speed, the touchdown
    const std::pair<const char*, std::vector<Frame>> cases[] = {
        {"landing", {{false, -1, {}}, {false, -1, {}}, {false, -2, {}}, {false, -1.5f, {}}, {true, -0.2f, 1.5f}, {true, 0, {}}}},
        {"a bump while rolling", {{true, 0, {}}, {false, 0.5f, {}}, {false, -0.5f, {}}, {true, 0, {}}}},
        {"a climb is no sink", {{false, 2, {}}, {false, 2, {}}, {false, 1, {}}, {false, 0.5f, {}}, {true, 0, 0.0f}}},
    };
    for (const auto& [what, frames] : cases) {
        TouchdownDetector detector;
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ(detector.update(std::get<0>(frames[i]), std::get<1>(frames[i]), 0.1f), std::get<2>(frames[i])) << what << ", frame " << i;
    }
}

} // namespace
