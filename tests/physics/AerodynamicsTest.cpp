// The shipped aircraft flown with the aerodynamic model in the physics world alone, with
// scripted controls: what a pilot would check, in true units, at the default start latitude.

#include <algorithm>
#include <cmath>
#include <ctime>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <utility>

#include <btBulletDynamicsCommon.h>
#include <gtest/gtest.h>

#include "app/Config.h"
#include "console/Console.h"
#include "physics/Aerodynamics.h"
#include "physics/FlightLog.h"
#include "physics/FlightSimulation.h"
#include "physics/StepClock.h"
#include "physics/WindProfile.h"
#include "tests/physics/PhysicsFixture.h"

namespace {

constexpr double LATITUDE = 47.2576;
constexpr float GROUND = 600.0f; // physics metres

class FlightTest : public physics_test::PhysicsFixture {
protected:
    Aircraft aircraft{world()};
    FlightSimulation sim{aircraft, LatLon{LATITUDE, 11.3513}};
    bool paused = false;
    float k = 1.0f;

    void SetUp() override
    {
        PhysicsFixture::SetUp();
        world().add_ground_plane(glm::vec3(0.0f, GROUND, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
        aircraft.create_body(glm::vec3(0.0f, GROUND + 2.0f, 0.0f));
        aircraft.set_latitude(LATITUDE);
        console::Capture capture;
        aircraft.load_flight_model(std::filesystem::path(WH_SOURCE_DIR) / FLIGHT_MODEL_FILE);
        ASSERT_EQ(capture.err(), "");
        ASSERT_TRUE(aircraft.aerodynamic);
        k = aircraft.true_scale();
    }

    // Level flight, nose east, height metres above the ground at speed m/s (true units).
    void start_flying(float height, float speed)
    {
        aircraft.place_body(glm::vec3(0.0f, GROUND + height * k, 0.0f));
        aircraft.body->setLinearVelocity(btVector3(speed * k, 0.0f, 0.0f));
    }

    // Flies for seconds in frames of 1/60 s; pilot sets the controls before every frame and
    // sees the flight data. Stops the test at the first value that is not finite.
    void fly(double seconds, const std::function<void(const FlightData&)>& pilot = {})
    {
        for (int frame = 0; frame < static_cast<int>(seconds * 60.0 + 0.5); ++frame) {
            if (pilot)
                pilot(sim.data());
            sim.advance(1.0f / 60.0f, paused);
            const FlightData d = sim.data();
            for (const double value : {d.altitude_m, d.airspeed_m_s, d.vertical_speed_m_s, d.pitch_deg, d.roll_deg,
                                       d.heading_deg}) {
                ASSERT_TRUE(std::isfinite(value)) << "at " << d.time_s << " s";
            }
        }
    }

    bool on_wheels() const
    {
        return std::any_of(aircraft.wheels.begin(), aircraft.wheels.end(), [](const Wheel& w) { return w.touching; });
    }
};

TEST_F(FlightTest, TakesOffWithAGentlePullAndClimbsAtFullThrottle)
{
    fly(2.0); // settle on the wheels
    ASSERT_TRUE(on_wheels());
    EXPECT_LT(sim.data().airspeed_m_s, 0.05) << "parked on level ground, it stays put";
    const float start_x = aircraft.position().x;
    double roll = -1.0;
    double lift_off_speed = 0.0;
    aircraft.controls.throttle = 1.0f;
    fly(60.0, [&](const FlightData& d) {
        // Rotate from 20 m/s with 0.4 of back stick; hands off once clear of the ground.
        aircraft.controls.elevator = roll < 0.0 && d.airspeed_m_s > 20.0 ? 0.4f : 0.0f;
        if (roll < 0.0 && !on_wheels() && d.height_above_ground_m > 3.0) {
            roll = (aircraft.position().x - start_x) / k;
            lift_off_speed = d.airspeed_m_s;
        }
    });
    EXPECT_GT(roll, 100.0);
    EXPECT_LT(roll, 400.0) << "ground roll, m";
    EXPECT_GT(lift_off_speed, 22.0);
    EXPECT_LT(lift_off_speed, 35.0);
    const double altitude = sim.data().altitude_m;
    fly(30.0);
    const double climb = (sim.data().altitude_m - altitude) / 30.0;
    EXPECT_GT(climb, 2.0) << "m/s";
    EXPECT_LT(climb, 5.0) << "m/s";
}

TEST_F(FlightTest, GlideDescendsAtASteadyRate)
{
    start_flying(1500.0f, 33.0f);
    fly(45.0); // engine idle, hands off: let it settle into its glide
    double lowest = 0.0;
    double highest = -100.0;
    const double altitude = sim.data().altitude_m;
    fly(40.0, [&](const FlightData& d) {
        lowest = std::min(lowest, d.vertical_speed_m_s);
        highest = std::max(highest, d.vertical_speed_m_s);
    });
    const double mean = (sim.data().altitude_m - altitude) / 40.0;
    EXPECT_LT(mean, -1.5);
    EXPECT_GT(mean, -5.0);
    EXPECT_LT(highest - lowest, 2.5) << "vertical speed from " << lowest << " to " << highest;
    EXPECT_FALSE(sim.data().stall_warning);
}

TEST_F(FlightTest, FullBackStickAtIdleStallsAndTheNoseDrops)
{
    start_flying(1500.0f, 33.0f);
    fly(3.0);
    aircraft.controls.elevator = 1.0f;
    bool warned = false;
    double top = -90.0;
    double drop = 0.0;
    double sink = 0.0;
    float deepest = 0.0f;
    fly(15.0, [&](const FlightData& d) {
        warned = warned || d.stall_warning;
        top = std::max(top, d.pitch_deg);
        drop = std::max(drop, top - d.pitch_deg);
        sink = std::min(sink, d.vertical_speed_m_s);
        deepest = std::max(deepest, aircraft.wings[0].angle_of_attack);
    });
    EXPECT_TRUE(warned);
    EXPECT_GT(deepest, aircraft.wings[0].stall_angle) << "the wing went past its stall angle";
    EXPECT_GT(drop, 20.0) << "degrees the nose fell from its highest, stick still back";
    EXPECT_LT(sink, -8.0) << "the lift collapsed: m/s";
    // Past the stall the wing gives less lift than at it, not only more drag.
    const Wing& wing = aircraft.wings[0];
    EXPECT_LT(aero::wing_coefficients(wing, wing.stall_angle + 0.15f).lift,
              0.7f * aero::wing_coefficients(wing, wing.stall_angle).lift);
}

// Each control held for a second from level flight turns the aircraft the documented way:
// elevator +1 nose up, aileron +1 right wing down, rudder +1 nose right.
struct ControlCase {
    const char* name;
    float ControlInputs::*control;
    double FlightData::*angle;
    double change; // at least this much, with this sign, degrees
};

class ControlSignTest : public FlightTest, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(ControlSignTest, TurnsTheAircraftTheDocumentedWay)
{
    const ControlCase c = GetParam();
    start_flying(1500.0f, 33.0f);
    aircraft.controls.throttle = 0.6f;
    const double before = sim.data().*c.angle;
    aircraft.controls.*c.control = 1.0f;
    fly(1.0);
    const double change = std::remainder(sim.data().*c.angle - before, 360.0);
    EXPECT_GT(change / c.change, 1.0) << c.name << " changed the angle by " << change;
}

INSTANTIATE_TEST_SUITE_P(Controls, ControlSignTest,
    ::testing::Values(ControlCase{"elevator", &ControlInputs::elevator, &FlightData::pitch_deg, 5.0},
                      ControlCase{"aileron", &ControlInputs::aileron, &FlightData::roll_deg, 20.0},
                      ControlCase{"rudder", &ControlInputs::rudder, &FlightData::heading_deg, 2.0}));

// A bank held for a moment and let go: the aircraft turns that way.
class BankedTurnTest : public FlightTest, public ::testing::WithParamInterface<float> {};

TEST_P(BankedTurnTest, ChangesTheHeading)
{
    const float aileron = GetParam();
    start_flying(1500.0f, 33.0f);
    aircraft.controls.throttle = 1.0f;
    aircraft.controls.aileron = aileron;
    fly(1.5);
    EXPECT_GT(sim.data().roll_deg * aileron, 10.0) << "banked";
    aircraft.controls.aileron = 0.0f;
    aircraft.controls.elevator = 0.1f;
    double turned = 0.0;
    double heading = sim.data().heading_deg;
    fly(20.0, [&](const FlightData& d) {
        turned += std::remainder(d.heading_deg - heading, 360.0);
        heading = d.heading_deg;
    });
    EXPECT_GT(turned * aileron, 90.0) << "degrees of heading";
    EXPECT_GT(sim.data().height_above_ground_m, 1200.0);
}

INSTANTIATE_TEST_SUITE_P(Sides, BankedTurnTest, ::testing::Values(0.5f, -0.5f));

// Hands off in a wind from the north, started moving with the air, the aircraft flies through
// the air as in calm air and the air carries it south: wind x time across its track.
TEST_F(FlightTest, ACrosswindCarriesTheAircraftDownwind)
{
    Wind wind(WindSettings{0.0, 10.0, 0.0, Turbulence::NONE});
    sim.wind = &wind;
    start_flying(1500.0f, 33.0f);
    const float across = static_cast<float>(wind.velocity_at(1500.0).z); // south, m/s (the profile's top)
    aircraft.body->setLinearVelocity(btVector3(33.0f, 0.0f, across) * k);
    fly(20.0);
    EXPECT_NEAR(aircraft.position().z / k, across * 20.0f, 0.02f * across * 20.0f) << "m south; wind " << across << " m/s";
    EXPECT_NEAR(sim.data().ground_speed_m_s, std::hypot(sim.data().airspeed_m_s, across), 2.0);
}

// Parked, braked, in a tail wind: the airspeed is the profile's wind at the centre of mass's
// height, read at once while paused (the wind not stepped) and while the flight runs, and the
// aircraft stays put.
TEST_F(FlightTest, AParkedAircraftReadsTheWindAtItsOwnHeight)
{
    fly(2.0);
    Wind wind(WindSettings{270.0, 8.0, 0.0, Turbulence::NONE});
    sim.wind = &wind;
    aircraft.controls.brake = 1.0f;
    for (bool stepping : {false, true}) {
        if (stepping)
            fly(3.0);
        else
            sim.update_air_motion();
        const FlightData d = sim.data();
        const double expected = 8.0 * wind::profile_factor(d.height_above_ground_m);
        EXPECT_NEAR(d.airspeed_m_s, expected, 1e-3 * expected)
            << "at " << d.height_above_ground_m << " m, stepping " << stepping;
        EXPECT_TRUE(d.wind_from_deg == 270.0 && std::abs(d.wind_speed_m_s - expected) < 1e-9 && d.ground_speed_m_s < 0.05)
            << d.wind_from_deg << " " << d.wind_speed_m_s << " " << d.ground_speed_m_s;
    }
}

TEST_F(FlightTest, OnTheGroundTheNoseWheelSteersAndTheBrakesStop)
{
    fly(2.0);
    aircraft.controls.throttle = 0.3f;
    fly(5.0);
    ASSERT_GT(sim.data().airspeed_m_s, 3.0);
    ASSERT_LT(sim.data().airspeed_m_s, 6.0) << "taxiing speed";
    aircraft.controls.throttle = 0.1f;
    aircraft.controls.rudder = 1.0f;
    double skid = 0.0; // the largest sideways speed between the main wheels, which do not steer
    fly(4.0, [&](const FlightData&) {
        const btQuaternion rotation = aircraft.body->getWorldTransform().getRotation();
        const btVector3 axle = quatRotate(rotation, btVector3(-0.5f, -1.7f, 0.0f));
        const btVector3 side = quatRotate(rotation, btVector3(0, 0, 1));
        skid = std::max(skid, std::abs(static_cast<double>(side.dot(aircraft.body->getVelocityInLocalPoint(axle)) / k)));
    });
    EXPECT_GT(std::remainder(sim.data().heading_deg - 90.0, 360.0), 20.0) << "turned right";
    EXPECT_LT(skid, 1.0) << "m/s sideways";
    aircraft.controls = ControlInputs{};
    aircraft.controls.brake = 1.0f;
    fly(4.0);
    EXPECT_LT(sim.data().airspeed_m_s, 0.1);
    EXPECT_TRUE(on_wheels());
}

TEST_F(FlightTest, FlightDataFollowTheLogConventions)
{
    start_flying(100.0f, 0.0f);
    // Nose turned 30 degrees left of east, raised 10 degrees, right wing 20 degrees down.
    const btQuaternion attitude = btQuaternion(btVector3(0, 1, 0), glm::radians(30.0f)) *
        btQuaternion(btVector3(0, 0, 1), glm::radians(10.0f)) * btQuaternion(btVector3(1, 0, 0), glm::radians(20.0f));
    aircraft.body->setWorldTransform(btTransform(attitude, aircraft.body->getWorldTransform().getOrigin()));
    aircraft.body->setLinearVelocity(btVector3(0.0f, -2.0f * k, 3.0f * k));
    const FlightData d = sim.data();
    EXPECT_NEAR(d.heading_deg, 60.0, 1e-3);
    EXPECT_NEAR(d.pitch_deg, 10.0, 1e-3);
    EXPECT_NEAR(d.roll_deg, 20.0, 1e-3);
    EXPECT_NEAR(d.vertical_speed_m_s, -2.0, 1e-4);
    EXPECT_NEAR(d.airspeed_m_s, std::sqrt(13.0), 1e-4);
    EXPECT_NEAR(d.track_deg, 180.0, 1e-3) << "moving south, wherever the nose points";
    EXPECT_NEAR(d.height_above_ground_m, 100.0, 1e-2);
    EXPECT_NEAR(d.altitude_m, (GROUND / k) + 100.0, 1e-2);

    // The log's row gives the same values under the header's names.
    support::TempDir dir("wh-flight-log");
    std::filesystem::path file;
    {
        console::Capture quiet;
        FlightLog log(dir.path());
        log.write(d);
        log.flush();
        file = log.path();
    }
    std::istringstream text(support::read_file(file));
    std::string header, row, name, value;
    std::getline(text, header);
    std::getline(text, row);
    std::map<std::string, double> logged;
    for (std::istringstream names(header), values(row); std::getline(names, name, ',') && std::getline(values, value, ',');)
        logged[name] = std::stod(value);
    for (const auto& [column, expected] : {std::pair{"lat", d.position.lat}, std::pair{"lon", d.position.lon},
                                           std::pair{"heading_deg", d.heading_deg}, std::pair{"pitch_deg", d.pitch_deg},
                                           std::pair{"roll_deg", d.roll_deg}, std::pair{"altitude_m", d.altitude_m},
                                           std::pair{"vertical_speed_m_s", d.vertical_speed_m_s}})
        EXPECT_NEAR(logged[column], expected, 0.05) << column;
}

// A state that is no longer finite stops the flight with one line and is never shown: the data
// stay the last finite ones, the log gets no row of it, and flying on without a reset stops again.
TEST_F(FlightTest, AStateThatIsNotFiniteStopsTheFlightAndIsNeverShown)
{
    start_flying(100.0f, 30.0f);
    int rows = 0;
    sim.on_step = [&](const FlightData&) { ++rows; };
    fly(0.5); // 60 rows, all finite (fly checks)
    const FlightData last = sim.data();
    // A wing no file may have (the reader refuses it): the integrator runs away at once.
    const float slope = std::exchange(aircraft.wings[0].lift_slope, 1e30f);
    console::Capture capture;
    for (const int more_lines : {1, 2}) {
        paused = false;
        sim.advance(1.0f / 60.0f, paused);
        const std::string said = capture.out();
        EXPECT_TRUE(paused && sim.diverged() && said.starts_with("The flight went out of bounds after 0.5") &&
                    said.ends_with(" s: the aircraft's state is not finite\n") && std::count(said.begin(), said.end(), '\n') == more_lines)
            << said;
        EXPECT_EQ(std::tuple(sim.data().airspeed_m_s, sim.data().position.lon, sim.data().pitch_deg, rows),
                  std::tuple(last.airspeed_m_s, last.position.lon, last.pitch_deg, 60)) << "the last finite data stand";
    }
    // Put back (as a reset does), it flies again and the flag clears.
    aircraft.wings[0].lift_slope = slope;
    start_flying(100.0f, 30.0f);
    paused = false;
    sim.advance(1.0f / 60.0f, paused);
    EXPECT_TRUE(!paused && !sim.diverged() && rows == 62);
}

// Near the antimeridian a flight east reports longitudes west of it, never past 180.
TEST_F(FlightTest, LongitudesPastTheAntimeridianAreReportedWestOfIt)
{
    FlightSimulation east{aircraft, LatLon{LATITUDE, 179.9995}};
    for (const auto& [metres, lon] : {std::pair{0.0f, 179.9995}, std::pair{500.0f, -179.9939}}) {
        // Mercator metres east of the origin: (lon - 179.9995 + 360 k) / 360 of the plane.
        aircraft.place_body(glm::vec3(metres * k, GROUND + 50.0f, 0.0f));
        EXPECT_NEAR(east.data().position.lon, lon, 1e-3) << metres << " m east";
        EXPECT_TRUE(east.data().position.lon >= -180.0 && east.data().position.lon < 180.0);
    }
}

// Below the stall a wing's drag is its zero-lift drag plus the drag its lift induces,
// C_L^2 / (pi e AR): twice the lift, four times the induced part.
TEST(WingCoefficients, DragBelowTheStallIsZeroLiftPlusInducedDrag)
{
    Wing wing;
    wing.wingspan = 10.0f;
    wing.chord_length = 1.25f; // aspect ratio 8
    wing.zero_lift_drag = 0.03f;
    wing.efficiency = 0.8f;
    const float slope = 2.0f * 3.14159265f * 8.0f / 10.0f;
    for (const float alpha : {0.0f, 0.05f, 0.1f, -0.1f, 0.2f}) {
        const aero::Coefficients c = aero::wing_coefficients(wing, alpha);
        const float lift = slope * alpha;
        EXPECT_NEAR(c.lift, lift, 1e-5f) << alpha << " rad";
        EXPECT_NEAR(c.drag, 0.03f + lift * lift / (3.14159265f * 0.8f * 8.0f), 1e-5f) << alpha << " rad";
    }
}

// Standard-atmosphere densities from the published tables.
TEST(AirDensity, MatchesTheStandardAtmosphere)
{
    const std::pair<float, float> table[] = {{0.0f, 1.2250f}, {1000.0f, 1.1117f}, {5000.0f, 0.7364f},
                                             {11000.0f, 0.3639f}, {15000.0f, 0.1948f}};
    for (const auto& [altitude, density] : table)
        EXPECT_NEAR(aero::air_density(altitude), density, 0.002f) << altitude << " m";
}

// Fixed steps of 1/120 s, at most 30 a frame, the rest carried or, beyond the cap, dropped: the
// time dropped is what the frame fell behind the wall clock.
TEST(StepClockTest, CountsTheStepsEachFrameNeedsAndWhatItDropped)
{
    struct Frame {
        double dt;
        int steps;
        double dropped;
    };
    const double inf = std::numeric_limits<double>::infinity();
    StepClock clock(1.0 / 120.0, 30);
    const Frame frames[] = {{1.0 / 60.0, 2, 0.0}, {1.0 / 200.0, 0, 0.0}, {1.0 / 200.0, 1, 0.0}, {1.0 / 300.0, 0, 0.0},
                            {2.0, 30, 1.755},     {1.0 / 120.0, 1, 0.0}, {0.0, 0, 0.0},         {-1.0, 0, 0.0},
                            {1.4, 30, 1.15},      {std::numeric_limits<double>::quiet_NaN(), 0, 0.0}, {inf, 30, inf}};
    for (const Frame& f : frames) { // (the 2 s frame also drops the 5 ms carried into it)
        EXPECT_EQ(clock.steps_for(f.dt), f.steps) << "dt " << f.dt;
        EXPECT_TRUE(clock.dropped() == f.dropped || std::abs(clock.dropped() - f.dropped) < 1e-9)
            << "dt " << f.dt << ": dropped " << clock.dropped() << ", expected " << f.dropped;
    }
}

// The name is claimed by creating the file: two logs of one second get "-2", and a name taken
// in any way (a link to nowhere) is passed over, nothing written through it. Rows whose position,
// speeds or attitude are not finite are left out; the height above no ground is "nan".
TEST(FlightLogTest, EveryLogCreatesAFileOfItsOwnAndWritesFiniteRows)
{
    support::TempDir dir("wh-flight-log");
    console::Capture capture;
    const std::time_t now = std::time(nullptr);
    for (int ahead = 0; ahead < 5; ++ahead) { // the names of this and the next seconds
        const std::time_t then = now + ahead;
        std::tm local{};
        localtime_r(&then, &local);
        char stem[32];
        std::strftime(stem, sizeof stem, "flight-%Y%m%d-%H%M%S", &local);
        std::filesystem::create_symlink(dir / "elsewhere" / stem, dir / (std::string(stem) + ".csv"));
    }
    FlightLog first(dir.path()), second(dir.path());
    EXPECT_TRUE(first.path().stem().string().ends_with("-2")) << first.path();
    EXPECT_NE(first.path(), second.path());
    EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere")) << "nothing written through the link";

    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double FlightData::*member : {&FlightData::altitude_m, &FlightData::airspeed_m_s, &FlightData::roll_deg,
                                       &FlightData::height_above_ground_m}) {
        FlightData d;
        d.*member = nan;
        first.write(d);
    }
    FlightData off_the_map;
    off_the_map.position.lon = std::numeric_limits<double>::infinity();
    first.write(off_the_map);
    first.flush();
    EXPECT_EQ(support::read_file(first.path()), std::string(FlightLog::HEADER) +
                                                    "\n0.0000,0.0000000,0.0000000,0.00,nan,0.00,0.00,0.0,0.00,0.00,0.000,0.000,0.000,0.000\n");
}

TEST(FlightLogTest, ALogThatCannotBeWrittenSaysSoOnce)
{
    support::TempDir dir("wh-flight-log");
    support::write_file(dir / "taken", "a file where the directory should be");
    console::Capture capture;
    FlightLog log(dir / "taken" / "logs");
    log.write(FlightData{});
    log.flush();
    EXPECT_FALSE(log.is_open());
    const std::string err = capture.err();
    EXPECT_TRUE(err.starts_with("Could not write the flight log ")) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(capture.out(), "");
}

} // namespace
