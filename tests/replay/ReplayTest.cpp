// Replays: flight logs read back by their header's names (any column order, any row rate,
// unreadable and out-of-order rows counted), the flight between rows, and the replay's clock.

#include "replay/FlightRecording.h"

#include <cmath>
#include <sstream>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "physics/FlightLog.h"
#include "replay/FlightInterpolation.h"
#include "replay/ReplayTimeline.h"
#include "tests/support/Support.h"

namespace {

FlightLogRead parse(const std::string& text)
{
    std::istringstream in(text);
    return parse_flight_log(in);
}

// A recording of rows at the given times, heading north-east at 1e-4 degrees a second.
FlightRecording straight(std::initializer_list<double> times)
{
    FlightRecording recording;
    for (double t : times) {
        FlightData row;
        row.time_s = t;
        row.position = {47.0 + 1e-4 * t, 11.0 + 1e-4 * t};
        row.altitude_m = 1000.0 + 10.0 * t;
        row.heading_deg = 34.0;
        row.controls.throttle = static_cast<float>(t / 100.0);
        recording.rows.push_back(row);
    }
    return recording;
}

TEST(FlightLogReading, ColumnsByNameAtAnyRateWithUnreadableAndOutOfOrderRowsCounted)
{
    const std::string own = std::string(FlightLog::HEADER) + "\n";
    struct Case {
        const char* what;
        std::string text;
        size_t rows, garbage, out_of_order;
        const char* error;
    };
    const Case cases[] = {
        {"the program's own columns", own + "0.0083,47.1,11.2,900,nan,30,-1,90,2,3,0.1,0.2,0.3,0.9\n"
                                             "0.0167,47.1,11.2,901,12.5,30,-1,91,2,3,0.1,0.2,0.3,0.9\n", 2, 0, 0, ""},
        {"reordered, extra columns, blank lines and CRLF",
         "roll_deg, lat ,pilot,lon,time_s,pitch_deg,altitude_m,heading_deg\r\n\r\n"
         "1,47,x,11,0,2,900,90\r\n3,47.01,y,11.01,0.5,4,950,91\r\n", 2, 0, 0, ""},
        {"garbage among the rows",
         own + "0,47,11,900,nan,30,0,90,0,0,0,0,0,0.5\n"
               "hello\n"
               "1,47,11,900\n"                                     // too few fields
               "2,95,11,900,nan,30,0,90,0,0,0,0,0,0.5\n"           // latitude off the globe
               "3,47,11,nan,nan,30,0,90,0,0,0,0,0,0.5\n"           // no altitude
               "4,47,11,900,nan,30,0,90,0,0,0,0,0,1.5e\n"          // a broken control
               "5,47,11,900,nan,30,0,90,0,0,0,0,0,0.5\n", 2, 5, 0, ""},
        {"times that go back", own + "0,47,11,900,nan,30,0,90,0,0,0,0,0,0\n"
                                     "2,47,11,900,nan,30,0,90,0,0,0,0,0,0\n"
                                     "1,47,11,900,nan,30,0,90,0,0,0,0,0,0\n"
                                     "2,47,11,900,nan,30,0,90,0,0,0,0,0,0\n"
                                     "3,47,11,900,nan,30,0,90,0,0,0,0,0,0\n", 3, 0, 2, ""},
        {"one column missing", "time_s,lat,lon,altitude_m,heading_deg,pitch_deg\n0,47,11,900,90,0\n", 0, 0, 0,
         "the header has no column \"roll_deg\""},
        {"columns missing", "time,lat,lon,altitude_m,heading_deg,roll_deg\n", 0, 0, 0,
         "the header has no columns \"time_s\", \"pitch_deg\""},
        {"nothing at all", "", 0, 0, 0, "the file is empty"},
        {"only the header", own + "\n\n", 0, 0, 0, "no rows after the header"},
        {"only garbage", own + "a,b\n1,2,3\n", 0, 0, 0, "no usable rows (2 unreadable)"},
    };
    for (const Case& c : cases) {
        const FlightLogRead read = parse(c.text);
        EXPECT_EQ(read.error, c.error) << c.what;
        if (*c.error != '\0') {
            EXPECT_FALSE(read.recording) << c.what;
            continue;
        }
        ASSERT_TRUE(read.recording) << c.what;
        const FlightRecording& r = *read.recording;
        EXPECT_EQ(std::tuple(r.rows.size(), r.garbage_rows, r.out_of_order_rows), std::tuple(c.rows, c.garbage, c.out_of_order))
            << c.what;
        for (size_t i = 1; i < r.rows.size(); ++i)
            EXPECT_GT(r.rows[i].time_s, r.rows[i - 1].time_s) << c.what;
    }

    // The values land in their fields whatever the order, and "nan" heights stay unknown.
    const FlightRecording own_rows = *parse(cases[0].text).recording;
    const FlightData& first = own_rows.rows[0];
    EXPECT_EQ(std::tuple(first.position.lat, first.position.lon, first.altitude_m, first.airspeed_m_s, first.vertical_speed_m_s,
                         first.heading_deg, first.pitch_deg, first.roll_deg, first.controls.rudder, first.controls.throttle),
              std::tuple(47.1, 11.2, 900.0, 30.0, -1.0, 90.0, 2.0, 3.0, 0.3f, 0.9f));
    EXPECT_TRUE(std::isnan(first.height_above_ground_m));
    EXPECT_EQ(own_rows.rows[1].height_above_ground_m, 12.5);
    const FlightData& moved = parse(cases[1].text).recording->rows[1];
    EXPECT_EQ(std::tuple(moved.time_s, moved.position.lat, moved.position.lon, moved.altitude_m, moved.heading_deg, moved.pitch_deg,
                         moved.roll_deg, moved.controls.throttle),
              std::tuple(0.5, 47.01, 11.01, 950.0, 91.0, 4.0, 3.0, 0.0f));
    // Without speed columns they come from the track: 0.01° north and east and 50 m of climb
    // in half a second.
    const double degree = 6378137.0 * 3.141592653589793 / 180.0;
    const double track = std::hypot(0.01 * degree, 0.01 * degree * std::cos(47.005 / 180.0 * 3.141592653589793));
    EXPECT_NEAR(moved.vertical_speed_m_s, 100.0, 1e-6);
    EXPECT_NEAR(moved.airspeed_m_s, std::hypot(track / 0.5, 100.0), 1e-6);
}

// A replay's own log is the flight log of the poses it shows: written by the program's writer
// and read back, it is the same flight to the writer's precision, and the file's problems are
// named.
TEST(FlightLogReading, TheProgramsOwnLogReadsBackAsTheFlightItWrote)
{
    support::TempDir dir;
    ReplayTimeline timeline(straight({0.0, 1.0, 2.0, 3.0}));
    std::string path;
    {
        console::Capture capture;
        FlightLog log(dir.path());
        ASSERT_TRUE(log.is_open()) << capture.err();
        for (int frame = 0; frame < 40; ++frame) {
            log.write(timeline.pose());
            timeline.advance(0.05);
        }
        log.flush();
        path = log.path().string();
    }
    const FlightLogRead read = read_flight_log(path);
    ASSERT_TRUE(read.recording) << read.error;
    ASSERT_EQ(read.recording->rows.size(), 40u);
    for (size_t i = 0; i < 40; ++i) {
        const FlightData& row = read.recording->rows[i];
        const FlightData want = timeline.sample(0.05 * double(i));
        EXPECT_NEAR(row.time_s, want.time_s, 1e-4);
        EXPECT_NEAR(row.position.lat, want.position.lat, 1e-7);
        EXPECT_NEAR(row.position.lon, want.position.lon, 1e-7);
        EXPECT_NEAR(row.altitude_m, want.altitude_m, 0.01);
        EXPECT_NEAR(row.heading_deg, 34.0, 0.05);
        EXPECT_NEAR(row.controls.throttle, want.controls.throttle, 1e-3);
    }
    EXPECT_EQ(read_flight_log(dir / "none.csv").error, "No such file or directory");
    EXPECT_EQ(read_flight_log(dir.path()).error, "it is a directory");
}

TEST(FlightInterpolation, PositionHeightsAndControlsLinearlyAttitudeTheShortestWay)
{
    struct Case {
        const char* what;
        Attitude a, b, half;
    };
    for (const Case& c : {
             Case{"heading through north", {350, 0, 0}, {10, 0, 0}, {0, 0, 0}},
             Case{"heading through south", {170, 5, 0}, {190, 5, 0}, {180, 5, 0}},
             Case{"roll through inverted", {90, 0, 170}, {90, 0, -170}, {90, 0, 180}},
             Case{"a bank and a climb", {0, 0, 0}, {0, 20, 0}, {0, 10, 0}},
             // Over the top of a loop: past the vertical the nose points back and the aircraft is
             // upside down. Halfway it points straight up, not round the horizon.
             Case{"over the vertical", {0, 60, 0}, {180, 60, 180}, {0, 90, 0}},
         }) {
        const Attitude h = interpolate_attitude(c.a, c.b, 0.5);
        const auto angle = [](double x, double y) { return std::abs(std::remainder(x - y, 360.0)); };
        EXPECT_LT(angle(h.pitch_deg, c.half.pitch_deg), 1e-6) << c.what << ": pitch " << h.pitch_deg;
        if (std::abs(c.half.pitch_deg) < 89.0) { // heading and roll are one angle when pointing up
            EXPECT_LT(angle(h.heading_deg, c.half.heading_deg) + angle(h.roll_deg, c.half.roll_deg), 1e-6)
                << c.what << ": heading " << h.heading_deg << ", roll " << h.roll_deg;
        }
        for (double f : {0.0, 1.0}) {
            const Attitude& end = f == 0.0 ? c.a : c.b;
            const Attitude e = interpolate_attitude(c.a, c.b, f);
            EXPECT_LT(angle(e.heading_deg, end.heading_deg) + angle(e.pitch_deg, end.pitch_deg) + angle(e.roll_deg, end.roll_deg), 1e-6)
                << c.what << " at " << f;
        }
    }

    FlightData a;
    a.time_s = 10.0;
    a.position = {-16.5, 179.9};
    a.altitude_m = 100.0;
    a.height_above_ground_m = 50.0;
    a.controls = {0.0f, -1.0f, 0.5f, 0.2f, 0.0f};
    FlightData b = a;
    b.time_s = 14.0;
    b.position = {-16.1, -179.7};
    b.altitude_m = 300.0;
    b.height_above_ground_m = NAN;
    b.controls = {1.0f, 1.0f, 0.5f, 0.6f, 0.0f};
    const FlightData q = interpolate_flight(a, b, 11.0);
    EXPECT_EQ(q.time_s, 11.0);
    EXPECT_NEAR(q.position.lat, -16.4, 1e-12);
    EXPECT_NEAR(q.position.lon, -180.0, 1e-12) << "across the antimeridian, not round the globe";
    EXPECT_NEAR(q.altitude_m, 150.0, 1e-12);
    EXPECT_EQ(q.height_above_ground_m, 50.0) << "the nearer row's, the other one knowing none";
    EXPECT_TRUE(std::isnan(interpolate_flight(a, b, 13.0).height_above_ground_m));
    EXPECT_EQ(std::tuple(q.controls.elevator, q.controls.aileron, q.controls.throttle), std::tuple(0.25f, -0.5f, 0.3f));
    EXPECT_NEAR(interpolate_flight(a, b, 13.0).position.lon, -179.8, 1e-9);
    EXPECT_NEAR(ground_distance({0.0, 179.9}, {0.0, -179.9}), 0.2 / 180.0 * 3.141592653589793 * 6378137.0, 1e-6);
}

TEST(ReplayTimeline, RatesPauseSeekingTheHeldEndAndTheComingPoses)
{
    ReplayTimeline replay(straight({5.0, 5.5, 9.0, 30.0, 41.0}));
    EXPECT_EQ(std::tuple(replay.time(), replay.rate(), replay.paused()), std::tuple(5.0, 1.0, false));
    replay.advance(2.0);
    const FlightData at7 = replay.pose();
    EXPECT_EQ(at7.time_s, 7.0);
    EXPECT_NEAR(at7.position.lat, 47.0 + 7e-4, 1e-12) << "between rows 5.5 and 9, linearly in time";
    EXPECT_NEAR(at7.altitude_m, 1070.0, 1e-9);

    replay.slower();
    replay.slower();
    replay.slower();
    EXPECT_EQ(replay.rate(), 0.25) << "the slowest rate holds";
    replay.advance(4.0);
    EXPECT_EQ(replay.time(), 8.0);
    for (int i = 0; i < 6; ++i)
        replay.faster();
    EXPECT_EQ(replay.rate(), 4.0) << "the fastest rate holds";
    replay.toggle_paused();
    replay.advance(3.0);
    EXPECT_EQ(replay.time(), 8.0) << "paused";
    EXPECT_TRUE(replay.coming(3.0, 1.0).empty());
    replay.toggle_paused();
    replay.advance(3.0);
    EXPECT_EQ(replay.time(), 20.0);

    // Coming poses at the current rate (4×): log times 24, 28, …, up to the last row once.
    std::vector<double> ahead;
    std::vector<double> when;
    for (const ComingPose& pose : replay.coming(10.0, 1.0)) {
        ahead.push_back(pose.ahead_s);
        when.push_back(pose.data.time_s);
    }
    EXPECT_EQ(ahead, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(when, (std::vector<double>{24, 28, 32, 36, 40, 41}));

    replay.seek_back();
    EXPECT_EQ(replay.time(), 10.0);
    replay.seek_back();
    EXPECT_EQ(replay.time(), 5.0) << "clamped to the first row";
    for (int i = 0; i < 5; ++i)
        replay.seek_forward();
    EXPECT_EQ(replay.time(), 41.0) << "clamped to the last row";
    EXPECT_TRUE(replay.at_end());
    replay.advance(100.0);
    EXPECT_EQ(replay.pose().position.lat, 47.0 + 1e-4 * 41.0) << "the last pose is held";
    EXPECT_TRUE(replay.coming(5.0, 1.0).empty());
    replay.seek(-1.5);
    EXPECT_EQ(replay.time(), 39.5);
}

} // namespace
