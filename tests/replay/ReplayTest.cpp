// Replays: flight logs read back by their header's names (any column order, any row rate,
// unreadable and out-of-order rows counted), the flight between rows, and the replay's clock.

#include "physics/FlightRecording.h"

#include <cmath>
#include <sstream>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "physics/FlightInterpolation.h"
#include "physics/FlightLog.h"
#include "physics/ReplayTimeline.h"
#include "tests/support/Support.h"
#include "tiles/WebMercator.h"

namespace {

constexpr double PI = 3.141592653589793;

FlightLogRead parse(const std::string& text)
{
    std::istringstream in(text);
    return parse_flight_log(in);
}

// Rows at the given times, heading 34° and moving north-east at 1e-4 degrees a second.
FlightRecording straight(std::initializer_list<double> times)
{
    FlightRecording recording;
    for (double t : times)
        recording.rows.push_back({.time_s = t, .position = {47.0 + 1e-4 * t, 11.0 + 1e-4 * t}, .altitude_m = 1000.0 + 10.0 * t,
                                  .heading_deg = 34.0, .controls = {.throttle = float(t / 100.0)}});
    return recording;
}

TEST(FlightLogReading, ColumnsByNameAtAnyRateWithUnreadableAndOutOfOrderRowsCounted)
{
    const std::string own = std::string(FlightLog::HEADER) + "\n";
    const auto at = [](const char* t) { return std::string(t) + ",47,11,900,nan,30,0,90,0,0,0,0,0,0\n"; };
    struct Case { const char* what; std::string text; size_t rows, garbage, out_of_order; const char* error; };
    const Case cases[] = {
        {"the program's own", own + "0.0083,47.1,11.2,900,nan,30,-1,90,2,3,0.1,0.2,0.3,0.9\n" + at("0.0167"), 2, 0, 0, ""},
        {"reordered, extra columns, blank lines, CRLF", "roll_deg, lat ,pilot,lon,time_s,pitch_deg,altitude_m,heading_deg\r\n\r\n"
                                                        "1,47,x,11,0,2,900,90\r\n3,47.01,y,11.01,0.5,4,950,91\r\n", 2, 0, 0, ""},
        {"garbage", own + at("0") + "hello\n1,47,11,900\n"            // no numbers, too few fields
                        + "2,95,11,900,nan,30,0,90,0,0,0,0,0,0\n"    // latitude off the globe
                        + "3,47,11,nan,nan,30,0,90,0,0,0,0,0,0\n"    // no altitude
                        + "4,47,11,900,nan,30,0,90,0,0,0,0,0,1.5e\n" // a broken control
                        + at("5"), 2, 5, 0, ""},
        {"times that go back", own + at("0") + at("2") + at("1") + at("2") + at("3"), 3, 0, 2, ""},
        {"a column missing", "time_s,lat,lon,altitude_m,heading_deg,pitch_deg\n0,47,11,900,90,0\n", 0, 0, 0,
         "the header has no column \"roll_deg\""},
        {"columns missing", "time,lat,lon,altitude_m,heading_deg,roll_deg\n", 0, 0, 0, "the header has no columns \"time_s\", \"pitch_deg\""},
        {"nothing", "", 0, 0, 0, "the file is empty"},
        {"only the header", own + "\n\n", 0, 0, 0, "no rows after the header"},
        {"only garbage", own + "a,b\n1,2,3\n", 0, 0, 0, "no usable rows (2 unreadable)"},
    };
    for (const Case& c : cases) {
        const FlightLogRead read = parse(c.text);
        EXPECT_EQ(std::pair(read.error, bool(read.recording)), std::pair(std::string(c.error), *c.error == '\0')) << c.what;
        if (read.recording) {
            EXPECT_EQ(std::tuple(read.recording->rows.size(), read.recording->garbage_rows, read.recording->out_of_order_rows),
                      std::tuple(c.rows, c.garbage, c.out_of_order)) << c.what;
        }
    }

    // The values land in their fields whatever the order; "nan" heights stay unknown.
    const std::vector<FlightData> own_rows = parse(cases[0].text).recording->rows;
    const FlightData& first = own_rows[0];
    EXPECT_EQ(std::tuple(first.position.lat, first.position.lon, first.altitude_m, first.airspeed_m_s, first.vertical_speed_m_s,
                         first.heading_deg, first.pitch_deg, first.roll_deg, first.controls.rudder, first.controls.throttle),
              std::tuple(47.1, 11.2, 900.0, 30.0, -1.0, 90.0, 2.0, 3.0, 0.3f, 0.9f));
    EXPECT_TRUE(std::isnan(first.height_above_ground_m));
    const FlightData moved = parse(cases[1].text).recording->rows[1];
    EXPECT_EQ(std::tuple(moved.time_s, moved.position.lat, moved.position.lon, moved.altitude_m, moved.heading_deg, moved.pitch_deg,
                         moved.roll_deg, moved.controls.throttle),
              std::tuple(0.5, 47.01, 11.01, 950.0, 91.0, 4.0, 3.0, 0.0f));
    // Without speed columns they come from the track: 0.01° north and east, 50 m up, in 0.5 s.
    const double degree = 6378137.0 * PI / 180.0;
    const double track = std::hypot(0.01 * degree, 0.01 * degree * std::cos(47.005 / 180.0 * PI));
    EXPECT_NEAR(moved.vertical_speed_m_s, 100.0, 1e-6);
    EXPECT_NEAR(moved.airspeed_m_s, std::hypot(track / 0.5, 100.0), 1e-4); // the track along the great circle
}

// A replay's own log is the flight log of the poses it shows: written by the program's writer
// and read back, it is the same flight to the writer's precision.
TEST(FlightLogReading, TheProgramsOwnLogReadsBackAsTheFlightItWrote)
{
    support::TempDir dir;
    ReplayTimeline timeline(straight({0.0, 1.0, 2.0, 3.0}));
    console::Capture capture;
    FlightLog log(dir.path());
    for (int frame = 0; frame < 40; ++frame, timeline.advance(0.05))
        log.write(timeline.pose());
    log.flush();
    const FlightLogRead read = read_flight_log(log.path());
    ASSERT_TRUE(read.recording && read.recording->rows.size() == 40) << read.error;
    for (size_t i = 0; i < 40; ++i) {
        const FlightData& row = read.recording->rows[i];
        const FlightData want = timeline.sample(0.05 * double(i));
        EXPECT_TRUE(std::abs(row.time_s - want.time_s) < 1e-4 && std::abs(row.position.lat - want.position.lat) < 1e-7 &&
                    std::abs(row.position.lon - want.position.lon) < 1e-7 && std::abs(row.altitude_m - want.altitude_m) < 0.01 &&
                    std::abs(row.heading_deg - 34.0) < 0.05 && std::abs(row.controls.throttle - want.controls.throttle) < 1e-3)
            << i << ": " << row.time_s << " " << row.position.lat << " " << row.altitude_m << " " << row.heading_deg;
    }
    EXPECT_EQ(std::pair(read_flight_log(dir / "none.csv").error, read_flight_log(dir.path()).error),
              std::pair(std::string("No such file or directory"), std::string("it is a directory")));
}

TEST(FlightInterpolation, PositionHeightsAndControlsLinearlyAttitudeTheShortestWay)
{
    struct Case { const char* what; Attitude a, b, half; };
    for (const Case& c : {Case{"heading through north", {350, 0, 0}, {10, 0, 0}, {0, 0, 0}},
                          Case{"heading through south", {170, 5, 0}, {190, 5, 0}, {180, 5, 0}},
                          Case{"roll through inverted", {90, 0, 170}, {90, 0, -170}, {90, 0, 180}},
                          Case{"a climb", {0, 0, 0}, {0, 20, 0}, {0, 10, 0}},
                          // Over the top of a loop the nose points back, upside down: halfway it
                          // points straight up, not round the horizon.
                          Case{"over the vertical", {0, 60, 0}, {180, 60, 180}, {0, 90, 0}}}) {
        const Attitude h = interpolate_attitude(c.a, c.b, 0.5);
        const auto off = [](double x, double y) { return std::abs(std::remainder(x - y, 360.0)); };
        const bool vertical = std::abs(c.half.pitch_deg) > 89.0; // heading and roll are one angle there
        EXPECT_LT(off(h.pitch_deg, c.half.pitch_deg) + (vertical ? 0.0 : off(h.heading_deg, c.half.heading_deg) + off(h.roll_deg, c.half.roll_deg)), 1e-6)
            << c.what << ": " << h.heading_deg << " " << h.pitch_deg << " " << h.roll_deg;
    }
    // The body turned to an attitude, read back as the flight simulation reads it.
    for (const Attitude& attitude : {Attitude{90, 0, 0}, Attitude{0, 0, 0}, Attitude{225, 30, -60}, Attitude{10, -80, 170}}) {
        const glm::quat q = body_rotation(attitude);
        const glm::vec3 nose = q * glm::vec3(1, 0, 0), up = q * glm::vec3(0, 1, 0), right = q * glm::vec3(0, 0, 1);
        const double heading = std::atan2(nose.x, -nose.z) * 180.0 / PI;
        EXPECT_LT(std::abs(std::remainder(heading - attitude.heading_deg, 360.0)) +
                      std::abs(std::asin(nose.y) * 180.0 / PI - attitude.pitch_deg) +
                      std::abs(std::remainder(std::atan2(-right.y, up.y) * 180.0 / PI - attitude.roll_deg, 360.0)), 1e-3)
            << attitude.heading_deg << " " << attitude.pitch_deg << " " << attitude.roll_deg;
    }
    const FlightData a{.time_s = 10.0, .position = {-16.5, 179.9}, .altitude_m = 100.0, .height_above_ground_m = 50.0,
                       .controls = {0.0f, -1.0f, 0.5f, 0.2f}};
    const FlightData b{.time_s = 14.0, .position = {-16.1, -179.7}, .altitude_m = 300.0, .height_above_ground_m = NAN,
                       .controls = {1.0f, 1.0f, 0.5f, 0.6f}};
    const FlightData q = interpolate_flight(a, b, 11.0);
    const FlightData r = interpolate_flight(a, b, 13.0);
    EXPECT_EQ(q.time_s, 11.0);
    EXPECT_NEAR(q.position.lat, -16.4, 1e-12);
    EXPECT_NEAR(q.position.lon, -180.0, 1e-12) << "across the antimeridian, not round the globe";
    EXPECT_NEAR(r.position.lon, -179.8, 1e-12);
    EXPECT_NEAR(q.altitude_m, 150.0, 1e-12);
    EXPECT_TRUE(q.height_above_ground_m == 50.0 && std::isnan(r.height_above_ground_m)) << "the nearer row's, the other knowing none";
    EXPECT_EQ(std::tuple(q.controls.elevator, q.controls.aileron, q.controls.throttle), std::tuple(0.25f, -0.5f, 0.3f));
    EXPECT_NEAR(great_circle_distance({0.0, 179.9}, {0.0, -179.9}), 0.2 / 180.0 * PI * 6378137.0, 1e-6);
}

TEST(ReplayTimeline, RatesPauseSeekingTheHeldEndAndTheComingPoses)
{
    ReplayTimeline replay(straight({5.0, 5.5, 9.0, 30.0, 41.0}));
    EXPECT_EQ(std::tuple(replay.time(), replay.rate(), replay.paused()), std::tuple(5.0, 1.0, false));
    replay.advance(2.0);
    EXPECT_EQ(replay.pose().time_s, 7.0);
    EXPECT_NEAR(replay.pose().position.lat, 47.0 + 7e-4, 1e-12) << "between rows 5.5 and 9, linearly in time";
    for (int i = 0; i < 3; ++i)
        replay.slower();
    replay.advance(4.0);
    EXPECT_EQ(std::pair(replay.rate(), replay.time()), std::pair(0.25, 8.0)) << "the slowest rate holds";
    for (int i = 0; i < 6; ++i)
        replay.faster();
    replay.toggle_paused();
    replay.advance(3.0);
    EXPECT_EQ(std::tuple(replay.rate(), replay.time(), replay.coming(3.0, 1.0).empty()), std::tuple(4.0, 8.0, true)) << "paused";
    replay.toggle_paused();
    replay.advance(3.0);
    EXPECT_EQ(replay.time(), 20.0);

    // Coming poses at the current rate (4×): log times 24, 28, …, up to the last row once.
    std::vector<std::pair<double, double>> coming; // wall seconds ahead, log time
    for (const ComingPose& pose : replay.coming(10.0, 1.0))
        coming.emplace_back(pose.ahead_s, pose.data.time_s);
    EXPECT_EQ(coming, (std::vector<std::pair<double, double>>{{1, 24}, {2, 28}, {3, 32}, {4, 36}, {5, 40}, {6, 41}}));

    replay.seek_back();
    EXPECT_EQ(replay.time(), 10.0);
    replay.seek_back();
    EXPECT_EQ(replay.time(), 5.0) << "clamped to the first row";
    for (int i = 0; i < 5; ++i)
        replay.seek_forward();
    replay.advance(100.0);
    EXPECT_EQ(std::tuple(replay.time(), replay.at_end(), replay.pose().position.lat, replay.coming(5.0, 1.0).empty()),
              std::tuple(41.0, true, 47.0 + 1e-4 * 41.0, true)) << "clamped to the last row, its pose held";
    replay.seek(-1.5);
    EXPECT_EQ(replay.time(), 39.5);
}

} // namespace
