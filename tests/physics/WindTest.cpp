// The wind's profile by height, its gusts and Dryden turbulence: shapes, statistics over long
// runs and determinism. No physics world: the wind is values in, values out.

#include "physics/Wind.h"
#include "physics/WindProfile.h"

#include <cmath>
#include <functional>
#include <vector>

#include <glm/geometric.hpp>
#include <gtest/gtest.h>

namespace {

constexpr double FT = dryden::FEET;
constexpr double STEP = 1.0 / 120.0;

struct Statistics {
    double mean = 0.0, deviation = 0.0;
};

Statistics statistics(const std::vector<double>& x)
{
    double sum = 0.0, squares = 0.0;
    for (double v : x)
        sum += v;
    const double mean = sum / double(x.size());
    for (double v : x)
        squares += (v - mean) * (v - mean);
    return {mean, std::sqrt(squares / double(x.size()))};
}

// Correlation coefficient of x with itself lag samples later.
double autocorrelation(const std::vector<double>& x, size_t lag)
{
    const Statistics s = statistics(x);
    double sum = 0.0;
    for (size_t i = 0; i + lag < x.size(); ++i)
        sum += (x[i] - s.mean) * (x[i + lag] - s.mean);
    return sum / double(x.size() - lag) / (s.deviation * s.deviation);
}

TEST(WindProfileTest, WeakerBelowTenMetresStrongerAboveAndAlwaysDefined)
{
    const struct {
        double height, factor;
    } table[] = {
        {10.0, 1.0},    {1.5, 0.673},   {0.5, 0.484},  {0.1, 0.484}, {0.0, 0.484}, {-3.0, 0.484},
        {100.0, 1.396}, {1000.0, 1.793}, {3000.0, 1.793}, {NAN, 1.0},   {INFINITY, 1.793},
    };
    for (const auto& [height, factor] : table)
        EXPECT_NEAR(wind::profile_factor(height), factor, 0.001) << height;
    double previous = 0.0;
    for (double h = 0.5; h <= 1000.0; h *= 1.1) {
        EXPECT_GT(wind::profile_factor(h), previous) << h;
        previous = wind::profile_factor(h);
    }
    // From where it comes, towards where it blows: x east, z south.
    const struct {
        double from;
        glm::dvec3 velocity;
    } directions[] = {{270.0, {8.0, 0.0, 0.0}}, {0.0, {0.0, 0.0, 8.0}}, {90.0, {-8.0, 0.0, 0.0}},
                      {360.0, {0.0, 0.0, 8.0}}, {135.0, {-8.0 / std::sqrt(2.0), 0.0, -8.0 / std::sqrt(2.0)}}};
    for (const auto& [from, velocity] : directions) {
        const glm::dvec3 got = wind::mean_wind(from, 8.0, 10.0);
        EXPECT_LT(glm::length(got - velocity), 1e-9) << from << ": " << got.x << " " << got.y << " " << got.z;
    }
    EXPECT_EQ(wind::mean_wind(270.0, -3.0, 10.0), glm::dvec3(0.0)) << "a negative speed is calm";
}

TEST(DrydenTest, IntensitiesAndScaleLengthsByHeightAndLevel)
{
    const double light_w20 = 15.0 * dryden::KNOTS, moderate_w20 = 30.0 * dryden::KNOTS;
    const auto low = [](double h_ft, double w20) { // MIL-F-8785C's low-altitude formulas
        const double k = 0.177 + 0.000823 * h_ft;
        return DrydenParameters{glm::dvec3(0.1 * w20 / std::pow(k, 0.4), 0.1 * w20 / std::pow(k, 0.4), 0.1 * w20),
                                glm::dvec3(h_ft / std::pow(k, 1.2), h_ft / std::pow(k, 1.2), h_ft) * FT};
    };
    const struct {
        const char* name;
        Turbulence level;
        double height_m, wind_20ft;
        DrydenParameters expected;
    } table[] = {
        {"none", Turbulence::NONE, 300.0, 20.0, {glm::dvec3(0.0), glm::dvec3(1.0)}},
        {"light, 100 ft", Turbulence::LIGHT, 100 * FT, 0.0, low(100.0, light_w20)},
        {"light, 1000 ft: isotropic", Turbulence::LIGHT, 1000 * FT, 0.0,
         {glm::dvec3(0.1 * light_w20), glm::dvec3(1000.0 * FT)}},
        {"light, 2 m counts as 10 ft", Turbulence::LIGHT, 2.0, 0.0, low(10.0, light_w20)},
        {"light, a 20 m/s wind beats the level's 15 kt", Turbulence::LIGHT, 100 * FT, 20.0, low(100.0, 20.0)},
        {"moderate, 500 ft", Turbulence::MODERATE, 500 * FT, 3.0, low(500.0, moderate_w20)},
        // Chart between 3750 ft (7.4 ft/s) and 7500 ft (6.7 ft/s).
        {"light, 5000 ft", Turbulence::LIGHT, 5000 * FT, 0.0, {glm::dvec3(7.4 - 0.7 / 3.0) * FT, glm::dvec3(1750.0 * FT)}},
        {"severe, 20000 ft", Turbulence::SEVERE, 20000 * FT, 0.0, {glm::dvec3(21.05 * FT), glm::dvec3(1750.0 * FT)}},
        {"severe, 90000 ft", Turbulence::SEVERE, 90000 * FT, 0.0, {glm::dvec3(5.1 * FT), glm::dvec3(1750.0 * FT)}},
        // Halfway between 1000 ft (0.1 x 30 kt, 1000 ft) and 2000 ft (chart 9.725 ft/s, 1750 ft).
        {"moderate, 1500 ft", Turbulence::MODERATE, 1500 * FT, 0.0,
         {glm::dvec3((0.1 * moderate_w20 + 9.725 * FT) / 2.0), glm::dvec3(1375.0 * FT)}},
    };
    for (const auto& [name, level, height, wind_20ft, expected] : table) {
        const DrydenParameters got = dryden::parameters(level, height, wind_20ft);
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(got.sigma[axis], expected.sigma[axis], 1e-6) << name << ", axis " << axis;
            EXPECT_NEAR(got.length[axis], expected.length[axis], 1e-6) << name << ", axis " << axis;
        }
    }
}

// A million steps of 1/120 s: each component's standard deviation is its intensity within a
// few per cent, and its correlation over the distance flown is the spectrum's (u: e^-x/L;
// v and w: (1 - x/2L) e^-x/L, through zero at 2L).
TEST(DrydenTest, LongRunsHaveTheSpecifiedIntensityAndCorrelationLength)
{
    const struct {
        const char* name;
        Turbulence level;
        double height_m, airspeed;
    } cases[] = {
        {"moderate, 50 ft, 50 m/s", Turbulence::MODERATE, 50 * FT, 50.0},
        {"severe, 5000 ft, 120 m/s", Turbulence::SEVERE, 5000 * FT, 120.0},
    };
    for (const auto& [name, level, height, airspeed] : cases) {
        const DrydenParameters p = dryden::parameters(level, height, 0.0);
        DrydenTurbulence turbulence(7);
        std::vector<double> axes[3];
        for (auto& a : axes)
            a.reserve(1000000);
        for (int i = 0; i < 1000000; ++i) {
            turbulence.step(STEP, airspeed, p);
            for (int axis = 0; axis < 3; ++axis)
                axes[axis].push_back(turbulence.velocity()[axis]);
        }
        for (int axis = 0; axis < 3; ++axis) {
            const Statistics s = statistics(axes[axis]);
            EXPECT_NEAR(s.deviation / p.sigma[axis], 1.0, 0.04) << name << ", axis " << axis << ": " << s.deviation
                                                                 << " m/s against " << p.sigma[axis];
            EXPECT_LT(std::abs(s.mean), 0.1 * p.sigma[axis]) << name << ", axis " << axis;
            const double L = p.length[axis];
            for (double distance : {0.5 * L, L, 2.0 * L}) {
                const size_t lag = size_t(std::lround(distance / (airspeed * STEP)));
                const double x = double(lag) * airspeed * STEP / L;
                const double expected = axis == 0 ? std::exp(-x) : (1.0 - x / 2.0) * std::exp(-x);
                EXPECT_NEAR(autocorrelation(axes[axis], lag), expected, 0.05)
                    << name << ", axis " << axis << " at " << distance << " m";
            }
        }
    }
}

TEST(DrydenTest, SameSeedSameTurbulenceAndChangesOfHeightAreContinuous)
{
    DrydenTurbulence a(42), b(42), c(43);
    bool differs = false;
    double largest_jump = 0.0, largest_sigma = 0.0;
    glm::dvec3 previous(0.0);
    for (int i = 0; i < 120 * 300; ++i) {
        // A climb from 500 ft through the blend between the low and high altitude models to 2500 ft.
        const double height = (500.0 + 2000.0 * i / (120.0 * 300.0)) * FT;
        const DrydenParameters p = dryden::parameters(Turbulence::SEVERE, height, 0.0);
        a.step(STEP, 60.0, p);
        b.step(STEP, 60.0, p);
        c.step(STEP, 60.0, p);
        ASSERT_EQ(a.velocity(), b.velocity()) << "step " << i;
        differs = differs || a.velocity() != c.velocity();
        if (i > 0)
            largest_jump = std::max(largest_jump, glm::length(a.velocity() - previous));
        largest_sigma = std::max(largest_sigma, p.sigma.x);
        previous = a.velocity();
    }
    EXPECT_TRUE(differs) << "another seed, other turbulence";
    EXPECT_LT(largest_jump, 0.5 * largest_sigma) << "no step jumps by a good part of the intensity";
}

// Gusts vary the 10 m wind by a smooth process with standard deviation gusts / 2; the speed never
// goes below zero.
TEST(WindTest, GustsVaryTheSpeedSmoothly)
{
    WindGusts gusts(3);
    std::vector<double> values, increments;
    for (int i = 0; i < 1000000; ++i) {
        gusts.step(0.1, 6.0); // 10^6 steps of 0.1 s: fifty thousand time constants
        values.push_back(gusts.value());
    }
    const Statistics s = statistics(values);
    EXPECT_NEAR(s.deviation, 3.0, 0.09);
    EXPECT_LT(std::abs(s.mean), 0.1);
    for (int i = 0; i < 10000; ++i) {
        const double before = gusts.value();
        gusts.step(STEP, 6.0);
        increments.push_back(gusts.value() - before);
    }
    // A process with a derivative moves about deviation x step / time constant per step (here
    // 0.0125 m/s); a kinked one (a single lag) would move about 0.27 m/s.
    EXPECT_LT(statistics(increments).deviation, 0.03);
    gusts.step(STEP, 0.0);
    EXPECT_EQ(gusts.value(), 0.0);

    Wind calm_but_gusty(WindSettings{90.0, 0.0, 5.0, Turbulence::NONE}, 11);
    double lowest = 1.0, highest = 0.0;
    for (int i = 0; i < 120 * 600; ++i) {
        calm_but_gusty.step(STEP, 10.0, 0.0);
        lowest = std::min(lowest, calm_but_gusty.speed_10m());
        highest = std::max(highest, calm_but_gusty.speed_10m());
    }
    EXPECT_EQ(lowest, 0.0);
    EXPECT_GT(highest, 4.0);
}

// The wind a parked aircraft feels: the profile at its height from where the wind comes; the
// turbulence in the body's axes (x nose, y up, z right) with the vertical component's intensity
// on y.
TEST(WindTest, TheAirAtTheAircraftIsTheProfilesWindAndTurbulenceInBodyAxes)
{
    Wind wind(WindSettings{270.0, 10.0, 0.0, Turbulence::NONE});
    wind.step(STEP, 1.5, 6.7);
    EXPECT_LT(glm::length(wind.velocity_at(1.5) - glm::dvec3(6.73, 0.0, 0.0)), 0.01);
    EXPECT_LT(glm::length(wind.velocity_at(10.0) - glm::dvec3(10.0, 0.0, 0.0)), 1e-9);
    EXPECT_EQ(wind.turbulence_body(), glm::dvec3(0.0)) << "no turbulence asked for";
    EXPECT_NEAR(wind.wind_20ft(), 10.0 * wind::profile_factor(20.0 * FT), 1e-12);

    Wind turbulent(WindSettings{270.0, 10.0, 0.0, Turbulence::LIGHT}, 5);
    const DrydenParameters p = dryden::parameters(Turbulence::LIGHT, 30.0, turbulent.wind_20ft());
    ASSERT_GT(p.sigma.x, 1.3 * p.sigma.z) << "near the ground u and v are stronger than w";
    std::vector<double> body[3];
    for (int i = 0; i < 200000; ++i) {
        turbulent.step(STEP, 30.0, 40.0);
        for (int axis = 0; axis < 3; ++axis)
            body[axis].push_back(turbulent.turbulence_body()[axis]);
    }
    const glm::dvec3 expected(p.sigma.x, p.sigma.z, p.sigma.y);
    for (int axis = 0; axis < 3; ++axis)
        EXPECT_NEAR(statistics(body[axis]).deviation / expected[axis], 1.0, 0.08) << "axis " << axis;

    Wind again(WindSettings{270.0, 10.0, 0.0, Turbulence::LIGHT}, 5);
    for (int i = 0; i < 200000; ++i)
        again.step(STEP, 30.0, 40.0);
    EXPECT_EQ(again.turbulence_body(), turbulent.turbulence_body()) << "the same seed flies the same air";
    // Nose north (turned 90 degrees left from east): the body's x is world -z, its z world +x.
    const glm::dvec3 t = turbulent.turbulence_body();
    const glm::dvec3 air = turbulent.air_velocity(30.0, glm::angleAxis(M_PI / 2.0, glm::dvec3(0.0, 1.0, 0.0)));
    EXPECT_LT(glm::length(air - (turbulent.velocity_at(30.0) + glm::dvec3(t.z, t.y, -t.x))), 1e-9);
}

} // namespace
