#include <cctype>
#include <string>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "physics/Aircraft.h"
#include "tests/physics/PhysicsTestSupport.h"

namespace {

using physics_test::TempFile;
using physics_test::vec_near;

// An aircraft with one recognisable element in each list, to see which lists a load replaced.
Aircraft aircraft_with_old_lists()
{
    Aircraft aircraft;
    aircraft.engines.push_back(Engine{111.0f, glm::vec3(1.0f)});
    aircraft.wings.push_back(Wing{222.0f, 2.0f, glm::quat(1.0f, 0.0f, 0.0f, 0.0f), glm::vec3(2.0f)});
    aircraft.wheels.push_back(Wheel::attached_at(glm::vec3(0.0f, -3.0f, 0.0f), 333.0f, 3.0f));
    return aircraft;
}

bool has_old_engines(const Aircraft& a) { return a.engines.size() == 1 && a.engines[0].thrust == 111.0f; }
bool has_old_wings(const Aircraft& a) { return a.wings.size() == 1 && a.wings[0].wingspan == 222.0f; }
bool has_old_wheels(const Aircraft& a) { return a.wheels.size() == 1 && a.wheels[0].stiffness == 333.0f; }

struct LoadResult {
    Aircraft aircraft;
    std::string out;
    std::string err;
    std::string quoted_path;
};

LoadResult load(const std::string& contents)
{
    TempFile file(contents);
    LoadResult result{aircraft_with_old_lists(), {}, {}, console::quoted(file.path())};
    console::Capture capture;
    result.aircraft.load_flight_model(file.path());
    result.out = capture.out();
    result.err = capture.err();
    return result;
}

TEST(FlightModelTest, FullFileReplacesEveryList)
{
    TempFile file(R"({
        "engines": [{"position": [3, 0.5, -1], "thrust": 2500}],
        "wheels": [{"position": [2, -1.5, 0], "stiffness": 12000, "damping": 900},
                   {"position": [-1, -1, 1.5, 99]}],
        "wings": [{"position": [0.5, 0.25, 3], "roll_angle": 3, "wingspan": 5, "chord_length": 1.5}],
        "unknown": {"ignored": true}
    })");
    Aircraft aircraft = aircraft_with_old_lists();
    console::Capture capture;
    aircraft.load_flight_model(file.path());

    EXPECT_EQ(capture.out(), "Read flightmodel config from " + console::quoted(file.path()) + "\n");
    EXPECT_EQ(capture.err(), "");

    ASSERT_EQ(aircraft.engines.size(), 1u);
    EXPECT_TRUE(vec_near(aircraft.engines[0].position, glm::vec3(3.0f, 0.5f, -1.0f), 0.0f));
    EXPECT_EQ(aircraft.engines[0].thrust, 2500.0f);

    ASSERT_EQ(aircraft.wheels.size(), 2u);
    const Wheel& nose = aircraft.wheels[0];
    EXPECT_EQ(nose.rest_length, 1.5f);
    EXPECT_EQ(nose.stiffness, 12000.0f);
    EXPECT_EQ(nose.damping, 900.0f);
    EXPECT_EQ(nose.offset, 0.0f);
    EXPECT_TRUE(vec_near(nose.position, glm::vec3(2.0f, -1.5f, 0.0f), 0.0f));
    EXPECT_EQ(nose.orientation.w, 1.0f) << "wheels always have the identity orientation";
    EXPECT_EQ(nose.orientation.x, 0.0f);
    EXPECT_EQ(nose.orientation.y, 0.0f);
    EXPECT_EQ(nose.orientation.z, 0.0f);
    const Wheel& main = aircraft.wheels[1];
    EXPECT_EQ(main.stiffness, 30000.0f) << "default stiffness";
    EXPECT_EQ(main.damping, 1000.0f) << "default damping";
    EXPECT_EQ(main.rest_length, 1.0f);
    EXPECT_TRUE(vec_near(main.position, glm::vec3(-1.0f, -1.0f, 1.5f), 0.0f)) << "elements past the third are ignored";

    ASSERT_EQ(aircraft.wings.size(), 1u);
    EXPECT_TRUE(vec_near(aircraft.wings[0].position, glm::vec3(0.5f, 0.25f, 3.0f), 0.0f));
    EXPECT_EQ(aircraft.wings[0].wingspan, 5.0f);
    EXPECT_EQ(aircraft.wings[0].chord_length, 1.5f);
}

TEST(FlightModelTest, MissingKeysTakeTheirDefaults)
{
    const LoadResult r = load(R"({"engines": [{}], "wheels": [{}], "wings": [{}]})");
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.aircraft.engines.size(), 1u);
    EXPECT_EQ(r.aircraft.engines[0].thrust, 0.0f);
    EXPECT_TRUE(vec_near(r.aircraft.engines[0].position, glm::vec3(0.0f), 0.0f));
    ASSERT_EQ(r.aircraft.wheels.size(), 1u);
    EXPECT_EQ(r.aircraft.wheels[0].rest_length, 0.0f);
    EXPECT_EQ(r.aircraft.wheels[0].stiffness, 30000.0f);
    EXPECT_EQ(r.aircraft.wheels[0].damping, 1000.0f);
    ASSERT_EQ(r.aircraft.wings.size(), 1u);
    EXPECT_EQ(r.aircraft.wings[0].orientation.w, 1.0f) << "no roll_angle: no rotation";
    EXPECT_EQ(r.aircraft.wings[0].orientation.x, 0.0f);
    EXPECT_EQ(r.aircraft.wings[0].wingspan, 0.0f);
    EXPECT_EQ(r.aircraft.wings[0].chord_length, 0.0f);
}

TEST(FlightModelTest, MissingMembersLeaveTheirListsEmpty)
{
    const LoadResult r = load(R"({"wings": [{"wingspan": 4}]})");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.aircraft.engines.empty());
    EXPECT_TRUE(r.aircraft.wheels.empty());
    EXPECT_EQ(r.aircraft.wings.size(), 1u);
}

// Roll angles are whole degrees, the fraction cut toward zero; the orientation is
// (sin(a), 0, 0, cos(a)) with a half the angle in radians.
struct RollCase {
    const char* json;
    float x;
    float w;
};

class RollAngleTest : public ::testing::TestWithParam<RollCase> {};

TEST_P(RollAngleTest, GivesTheRotationAboutX)
{
    const RollCase c = GetParam();
    const LoadResult r = load(std::string(R"({"wings": [{"roll_angle": )") + c.json + "}]}");
    ASSERT_EQ(r.err, "");
    ASSERT_EQ(r.aircraft.wings.size(), 1u);
    const glm::quat q = r.aircraft.wings[0].orientation;
    EXPECT_NEAR(q.x, c.x, 1e-6f) << "roll_angle " << c.json;
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(q.z, 0.0f);
    EXPECT_NEAR(q.w, c.w, 1e-6f) << "roll_angle " << c.json;
}

INSTANTIATE_TEST_SUITE_P(Angles, RollAngleTest,
    ::testing::Values(RollCase{"10.9", 0.0871557f, 0.9961947f}, // read as 10
        RollCase{"10", 0.0871557f, 0.9961947f}, RollCase{"-5", -0.0436194f, 0.9990482f},
        RollCase{"-5.99", -0.0436194f, 0.9990482f}, // cut toward zero: -5
        RollCase{"0.7", 0.0f, 1.0f}, RollCase{"180", 1.0f, 0.0f},
        RollCase{"730", 0.0871557f, 0.9961947f},    // two full turns more than 10
        RollCase{"1e300", 0.0f, 1.0f}));            // a multiple of 720: no rotation

TEST(FlightModelTest, MissingFileLeavesTheListsAndSaysSo)
{
    TempFile dir_holder("{}");
    for (const std::filesystem::path& path :
         {dir_holder.dir() / "absent.json", dir_holder.dir() / "quote\"and\\backslash.json", dir_holder.dir()}) {
        Aircraft aircraft = aircraft_with_old_lists();
        console::Capture capture;
        aircraft.load_flight_model(path);
        EXPECT_EQ(capture.err(), "Could not open " + console::quoted(path) + "\n");
        EXPECT_EQ(capture.out(), "");
        EXPECT_TRUE(has_old_engines(aircraft) && has_old_wheels(aircraft) && has_old_wings(aircraft)) << path;
    }
}

TEST(FlightModelTest, PathsInMessagesAreQuotedWithEscapes)
{
    TempFile dir_holder("{}");
    Aircraft aircraft;
    console::Capture capture;
    aircraft.load_flight_model(dir_holder.dir() / "a\"b\\c.json");
    const std::string err = capture.err();
    const std::string tail = "/a\\\"b\\\\c.json\"\n";
    ASSERT_GE(err.size(), tail.size()) << err;
    EXPECT_EQ(err.substr(0, 16), "Could not open \"") << err;
    EXPECT_EQ(err.substr(err.size() - tail.size()), tail) << err;
}

// Errors end the reading where they happen. Lists are read engines, wheels, wings: the ones
// before the error hold the new contents, the one being read what it had appended, the ones
// after it their old contents.
struct ErrorCase {
    const char* name;
    const char* json;
    const char* message;
    int engines; // -1: the old list is kept
    int wheels;
    int wings;
};

class FlightModelErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(FlightModelErrorTest, StopsAndKeepsWhatWasRead)
{
    const ErrorCase c = GetParam();
    const LoadResult r = load(c.json);
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_EQ(r.err, r.quoted_path + ": " + c.message + "\n") << c.name;

    const auto check = [&](int expected, std::size_t size, bool old, const char* list) {
        if (expected < 0) {
            EXPECT_TRUE(old) << c.name << ": " << list << " should keep its old contents";
        } else {
            EXPECT_EQ(size, static_cast<std::size_t>(expected)) << c.name << ": " << list;
            EXPECT_FALSE(old) << c.name << ": " << list << " still holds its old contents";
        }
    };
    check(c.engines, r.aircraft.engines.size(), has_old_engines(r.aircraft), "engines");
    check(c.wheels, r.aircraft.wheels.size(), has_old_wheels(r.aircraft), "wheels");
    check(c.wings, r.aircraft.wings.size(), has_old_wings(r.aircraft), "wings");
}

INSTANTIATE_TEST_SUITE_P(Errors, FlightModelErrorTest,
    ::testing::Values(
        ErrorCase{"syntax", R"({"engines": [{"thrust": 5}], )",
            "[json.exception.parse_error.101] parse error at line 1, column 30: syntax error while parsing object key - "
            "unexpected end of input; expected string literal",
            -1, -1, -1},
        ErrorCase{"comment", "{\"engines\": [] // no comments\n}",
            "[json.exception.parse_error.101] parse error at line 1, column 16: syntax error while parsing object - "
            "invalid literal; last read: '\"engines\": [] /'; expected '}'",
            -1, -1, -1},
        ErrorCase{"empty file", "",
            "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value - "
            "unexpected end of input; expected '[', '{', or a literal",
            -1, -1, -1},
        ErrorCase{"top level array", "[1, 2]", "[json.exception.type_error.302] type must be object, but is array", -1, -1, -1},
        ErrorCase{"short position", R"({"engines": [{"thrust": 1}, {"position": [1, 2]}], "wings": [{}]})",
            "[json.exception.out_of_range.401] array index 2 is out of range", 1, -1, -1},
        ErrorCase{"thrust as string", R"({"engines": [{"thrust": 1}, {"thrust": 2}, {"thrust": "max"}]})",
            "[json.exception.type_error.302] type must be number, but is string", 2, -1, -1},
        ErrorCase{"stiffness as boolean", R"({"engines": [], "wheels": [{}, {"stiffness": true}], "wings": []})",
            "[json.exception.type_error.302] type must be number, but is boolean", 0, 1, -1},
        ErrorCase{"position not an array", R"({"wheels": [{"position": 3}]})",
            "[json.exception.type_error.304] cannot use at() with number", 0, 0, -1},
        ErrorCase{"position element not a number", R"({"wings": [{"position": [0, null, 0]}]})",
            "[json.exception.type_error.302] type must be number, but is null", 0, 0, 0},
        ErrorCase{"roll angle as string", R"({"wings": [{}, {"roll_angle": "10"}]})",
            "[json.exception.type_error.302] type must be number, but is string", 0, 0, 1},
        ErrorCase{"element not an object", R"({"engines": [{}, 7]})",
            "[json.exception.type_error.302] type must be object, but is number", 1, -1, -1},
        ErrorCase{"list not an array", R"({"engines": [{}], "wheels": {"position": [0, -1, 0]}})",
            "[json.exception.type_error.302] type must be array, but is object", 1, 0, -1},
        ErrorCase{"number too large for a float", R"({"engines": [{"thrust": 1e39}]})",
            "[json.exception.out_of_range.406] number out of range of a float: 1e+39", 0, -1, -1}),
    [](const ::testing::TestParamInfo<ErrorCase>& param_info) {
        std::string name = param_info.param.name;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return name;
    });

} // namespace
