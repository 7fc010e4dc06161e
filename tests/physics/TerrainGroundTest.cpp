// The terrain as the physics ground, without a window: a heightfield sampled from the local tile
// server's elevation tiles agrees with the terrain's elevation query; an aircraft stands tilted
// on a slope and level on a runway laid across one, crashes into a wall once and pauses, and
// stays put when finer heights arrive.

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <cstdio>

#include <btBulletDynamicsCommon.h>
#include <gtest/gtest.h>

#include "airports/RunwayFile.h"
#include "airports/RunwayGround.h"
#include "airports/RunwayIndex.h"
#include "app/FlightGround.h"
#include "console/Console.h"
#include "gfx/Image.h"
#include "physics/FlightSimulation.h"
#include "physics/TerrainGround.h"
#include "terrain/GroundHeights.h"
#include "terrain/HeightStore.h"
#include "physics/PhysicsWorld.h"
#include "tests/physics/PhysicsFixture.h"
#include "tests/support/Support.h"
#include "tiles/WebMercator.h"

namespace {

constexpr LatLon START{47.2576, 11.3513};

// Where the finest heights under a point come from for placing the aircraft: the walk down the
// zooms passes over tiles that failed for good and waits on any other missing one.
TEST(FinestHeights, FailedTilesArePassedOverAndOthersWaitedFor)
{
    struct Case {
        std::set<uint32_t> resident, failed; // zooms of the tiles under the point
        FinestHeights expected;
    };
    const LatLon point{47.2576, 11.3513};
    const auto tile = [&](uint32_t zoom) { return tile_at(point, zoom); };
    const Case cases[] = {
        {{15}, {}, {true, 15, {}}},
        {{12}, {15, 14, 13}, {true, 12, {}}},                      // a server whose deepest zoom is 12
        {{12}, {15, 13}, {false, 0, tile(14)}},                     // zoom 14 may still come
        {{}, {15}, {false, 0, tile(14)}},
        {{}, {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, {false, 0, {}}}, // nothing will ever come
        {{12}, {}, {false, 0, tile(15)}},
    };
    const ElevationSamples samples{2, 2, std::vector<float>(4, 10.0f), 10.0f, 10.0f};
    for (const Case& c : cases) {
        GroundSampler sampler{mercator_x(point.lon), mercator_y(point.lat), 15,
                              [&](TileId t) { return c.resident.count(t.zoom) && t == tile(t.zoom) ? &samples : nullptr; },
                              [&](TileId t) { return c.failed.count(t.zoom) > 0 && t == tile(t.zoom); }};
        const FinestHeights found = finest_heights(sampler, 0.0, 0.0);
        EXPECT_EQ(std::tuple(found.ready, found.zoom, found.wanted), std::tuple(c.expected.ready, c.expected.zoom, c.expected.wanted))
            << "resident " << ::testing::PrintToString(c.resident) << ", failed " << ::testing::PrintToString(c.failed);
    }
}

TEST(TerrainGroundTiles, HeightfieldAgreesWithTheElevationQuery)
{
    support::TileServer server;
    HeightStoreSettings settings;
    settings.encoding = ElevationEncoding::RG_ENCODED;
    settings.server.url = server.base_url() + "/elevation/rg";
    settings.server.pattern = TilePattern::ZXY_Y_SOUTH;
    settings.server.file_ending = ".png";
    settings.server.cache_on_disk = false;
    settings.server.max_zoom = 15;
    console::Capture quiet;
    HeightStore store(settings);

    // The zoom-15 tiles, fetched and decoded as the program does when one arrives.
    std::map<TileId, ElevationSamples> tiles;
    GroundSampler sampler{mercator_x(START.lon), mercator_y(START.lat), 15, [&](TileId tile) -> const ElevationSamples* {
        if (tile.zoom != 15)
            return nullptr;
        if (!tiles.count(tile)) {
            const support::HttpResult png = server.get("/elevation/rg/15/" + std::to_string(tile.x) + "/" +
                                                       std::to_string(tile.y) + ".png");
            const gfx::Image image(reinterpret_cast<const unsigned char*>(png.body.data()), png.body.size());
            tiles[tile] = ElevationSamples::decode(image.data, image.width, image.height, image.channels,
                                                   ElevationEncoding::RG_ENCODED);
        }
        return &tiles[tile];
    }};
    // On a mountainside south-east of the start (physics metres east and south), where the
    // ground rises 300 m within the grid.
    const double cx = 11050.0;
    const double cz = 6630.0;
    const GroundGrid grid = sample_ground(sampler, cx, cz, 8.0, 129, 0.0f);
    ASSERT_EQ(grid.missing, 0);
    PhysicsWorld world;
    TerrainGround ground{world};
    ground.set_heights(grid.x0, grid.z0, grid.spacing, grid.size, grid.heights);

    std::mt19937 random(7);
    std::uniform_real_distribution<double> offset(-480.0, 480.0);
    float lowest = 1e9f;
    float highest = -1e9f;
    for (int i = 0; i < 200; ++i) {
        const double x = cx + offset(random);
        const double z = cz + offset(random);
        const std::optional<float> h = ground.height_at(x, z);
        ASSERT_TRUE(h) << x << ", " << z;
        lowest = std::min(lowest, *h);
        highest = std::max(highest, *h);
        // What the terrain's vertices stand on, between the heightfield's posts 8 m apart.
        EXPECT_NEAR(*h, *sampler.height(x, z), 1.0) << "at " << x << ", " << z;
        // The height store's query reads a pixel near the point, not between pixels: it may
        // differ by what the ground rises over two pixels (4.8 m each).
        const LatLon at{mercator_lat(sampler.origin_my + z), mercator_lon(sampler.origin_mx + x)};
        const float slope = std::hypot(*ground.height_at(x + 4.0, z) - *ground.height_at(x - 4.0, z),
                                       *ground.height_at(x, z + 4.0) - *ground.height_at(x, z - 4.0)) / 8.0f;
        ASSERT_TRUE(store.load(tile_at(at, 15)));
        const std::optional<HeightSample> query = store.height_at(at, 15);
        ASSERT_TRUE(query && query->zoom == 15);
        EXPECT_NEAR(*h, mercator_height(query->metres, at.lat), 0.5f + 10.0f * slope) << "at " << x << ", " << z;
    }
    EXPECT_GT(highest - lowest, 100.0f) << "the test needs relief";
}

// Key T's placement against a server whose data end at zoom 12 while the configuration asks
// for 15: the finest tile that can be had is used and named, rather than waiting for ever.
TEST(FlightGroundPlacement, TakesTheFinestHeightsThatCanBeHadAndSaysWhichZoom)
{
    support::TileServer server;
    console::Capture output;
    HeightStore store({{server.base_url() + "/deepest/12/elevation/rg", TilePattern::ZXY_Y_SOUTH, ".png", "", "", 2, 15, false},
                       ElevationEncoding::RG_ENCODED});
    PhysicsWorld world;
    Aircraft aircraft(world);
    aircraft.create_body(glm::vec3(0.0f));
    FlightGround ground(world, store, WorldFrame::centred_on(START, 0.05), true, 0.0f);
    ground.place(aircraft, 300.0f, -200.0f, 0.0f);
    ASSERT_TRUE(support::wait_until([&] {
        store.begin_frame();
        ground.update(aircraft, 0.0f);
        return !ground.waiting();
    }, std::chrono::seconds(20))) << output.out() << output.err();
    EXPECT_NE(output.out().find("on heights of zoom 12\n"), std::string::npos) << output.out();
    EXPECT_NEAR(aircraft.position().y, ground.height(300.0f, -200.0f) + FlightGround::SPAWN_HEIGHT, 1e-3f);
}

// A heightfield of its own, size × size posts 8 m apart around the origin.
class GroundedFlightTest : public physics_test::PhysicsFixture {
protected:
    static constexpr int SIZE = 129;
    static constexpr double SPACING = 8.0;
    TerrainGround ground{world()};
    Aircraft aircraft{world()};
    FlightSimulation sim{aircraft, START};
    bool paused = false;

    void SetUp() override
    {
        PhysicsFixture::SetUp();
        aircraft.create_body(glm::vec3(0.0f, 100.0f, 0.0f));
        aircraft.set_latitude(START.lat);
        console::Capture quiet;
        aircraft.load_flight_model(std::filesystem::path(WH_SOURCE_DIR) / "assets/config/FlightModel.json");
        sim.detect_crashes = true;
    }

    void shape_ground(const std::function<float(double x, double z)>& height, btRigidBody* rider = nullptr)
    {
        const double x0 = -0.5 * (SIZE - 1) * SPACING;
        std::vector<float> heights;
        for (int j = 0; j < SIZE; ++j)
            for (int i = 0; i < SIZE; ++i)
                heights.push_back(height(x0 + i * SPACING, x0 + j * SPACING));
        ground.set_heights(x0, x0, SPACING, SIZE, heights, rider);
    }

    void fly(double seconds)
    {
        for (int frame = 0; frame < static_cast<int>(seconds * 60.0); ++frame)
            sim.advance(1.0f / 60.0f, paused);
    }
};

// Dropped from 5 m, as spawned, onto a 20 degree slope across its path, brakes on: it stands
// on its three wheels with the wing on the high side up, as far as the slope and a few
// degrees more for the springs of the low side carrying more.
class SlopeTest : public GroundedFlightTest, public ::testing::WithParamInterface<double> {};

TEST_P(SlopeTest, WheelsTiltTheBodyToTheSlope)
{
    const double rise_south = GetParam(); // metres per metre; the right wing points south
    shape_ground([&](double, double z) { return static_cast<float>(rise_south * z); });
    aircraft.place_body(glm::vec3(0.0f, *ground.height_at(0.0, 0.0) + 5.0f, 0.0f));
    aircraft.controls.brake = 1.0f;
    fly(6.0);
    const FlightData d = sim.data();
    const double slope = glm::degrees(std::atan(rise_south));
    EXPECT_LT(std::abs(d.pitch_deg), 1.0);
    EXPECT_LT(-d.roll_deg / slope, 1.35) << "roll " << d.roll_deg;
    EXPECT_GT(-d.roll_deg / slope, 0.95) << "roll " << d.roll_deg;
    EXPECT_LT(d.airspeed_m_s, 0.05) << "it stands";
    EXPECT_FALSE(paused) << "no crash";
    EXPECT_TRUE(aircraft.wheels[0].touching && aircraft.wheels[1].touching && aircraft.wheels[2].touching);
}

INSTANTIATE_TEST_SUITE_P(Slopes, SlopeTest,
                         ::testing::Values(std::tan(glm::radians(20.0)), -std::tan(glm::radians(20.0))));

// The shipped runway WHIN 10/28 (its 28 threshold at the start, 280 degrees, nearly level), laid
// as the height store lays its tiles on a zoom-14 tile (512 pixels of 4.8 m) whose ground rises
// 20 % to the south: the aircraft dropped onto the heightfield sampled from that tile 300 m down
// the runway stands level there, where beside the runway it would lean with the slope.
TEST_F(GroundedFlightTest, OnARunwayLaidAcrossASlopeItStandsLevel)
{
    const TileId tile = tile_at(START, 14);
    const double cosine = std::cos(glm::radians(START.lat)), south = tile.y * tile_size(14) - mercator_y(START.lat);
    ElevationSamples samples{512, 512, std::vector<float>(512 * 512)};
    for (size_t i = 0; i < samples.metres.size(); ++i) // true metres over true distances
        samples.metres[i] = float(693.0 + 0.2 * cosine * (south + (i / 512 + 0.5) * tile_size(14) / 512));
    const RunwayIndex runways(parse_runways(support::read_file(std::filesystem::path(WH_SOURCE_DIR) / "assets/data/runways.csv")).runways);
    ASSERT_EQ(flatten_tile(runways, tile, 512, 512, samples.metres.data(), {}), 1);
    const GroundSampler sampler{mercator_x(START.lon), mercator_y(START.lat), 14,
                                [&](TileId id) { return id == tile ? &samples : nullptr; }};
    const glm::vec3 on_runway(-435.0f, 0.0f, -77.0f); // Mercator metres: 300 m along 280 degrees
    const GroundGrid grid = sample_ground(sampler, on_runway.x, on_runway.z, SPACING, SIZE, 0.0f);
    ground.set_heights(grid.x0, grid.z0, grid.spacing, grid.size, grid.heights);
    aircraft.place_body(on_runway + glm::vec3(0.0f, *ground.height_at(on_runway.x, on_runway.z) + 5.0f, 0.0f));
    aircraft.controls.brake = 1.0f;
    fly(6.0);
    const FlightData d = sim.data();
    EXPECT_LT(std::abs(d.pitch_deg) + std::abs(d.roll_deg), 1.0) << "pitch " << d.pitch_deg << ", roll " << d.roll_deg;
    EXPECT_TRUE(aircraft.wheels[0].touching && aircraft.wheels[1].touching && aircraft.wheels[2].touching);
}

TEST_F(GroundedFlightTest, FlyingIntoAWallIsOneCrashAndPauses)
{
    // Flat ground with a cliff 300 m high starting 200 m east; 40 m up, flying east at 35 m/s.
    shape_ground([](double x, double) { return x > 200.0 ? 300.0f : 0.0f; });
    const float k = aircraft.true_scale();
    aircraft.place_body(glm::vec3(0.0f, 40.0f * k, 0.0f));
    aircraft.body->setLinearVelocity(btVector3(35.0f * k, 0.0f, 0.0f));
    aircraft.controls.throttle = 1.0f;
    console::Capture capture;
    int crashes = 0; // the frames that tell of one
    for (int frame = 0; frame < 60 * 20 && !paused; ++frame)
        crashes += sim.advance(1.0f / 60.0f, paused);
    EXPECT_EQ(std::pair(paused, crashes), std::pair(true, 1));
    const std::string out = capture.out();
    double lat = 0.0, lon = 0.0, speed = 0.0;
    int end = 0;
    ASSERT_EQ(std::sscanf(out.c_str(), "Crashed at lat=%lf, lon=%lf, speed %lf m/s\n%n", &lat, &lon, &speed, &end), 3) << out;
    EXPECT_EQ(static_cast<size_t>(end), out.size()) << "one line: " << out;
    EXPECT_NEAR(lat, START.lat, 0.01);
    EXPECT_NEAR(lon, START.lon + 200.0 / EARTH_CIRCUMFERENCE * 360.0, 0.0002) << "at the wall, 200 m east";
    EXPECT_GT(speed, 30.0);
    const glm::vec3 at = aircraft.position();
    fly(1.0);
    EXPECT_EQ(aircraft.position(), at) << "paused";
}

TEST_F(GroundedFlightTest, ASoftTouchIsNoCrash)
{
    shape_ground([](double, double) { return 0.0f; });
    aircraft.wheels.clear(); // a belly landing, slowly
    aircraft.place_body(glm::vec3(0.0f, 0.9f, 0.0f));
    aircraft.body->setLinearVelocity(btVector3(3.0f, -1.0f, 0.0f));
    console::Capture capture;
    fly(3.0);
    EXPECT_FALSE(paused);
    EXPECT_EQ(capture.out(), "");
    EXPECT_NEAR(aircraft.position().y, 0.5f, 0.1f) << "lying on the ground";
}

TEST_F(GroundedFlightTest, FinerHeightsArrivingUnderAParkedAircraftDoNotLaunchIt)
{
    shape_ground([](double, double) { return 0.0f; });
    aircraft.place_body(glm::vec3(0.0f, 2.0f, 0.0f));
    fly(3.0);
    ASSERT_LT(sim.data().airspeed_m_s, 0.05);
    const double ride_height = sim.data().height_above_ground_m;
    // The finer tile has the ground 3 m higher here, with a bump under the nose wheel.
    shape_ground([](double x, double z) { return 3.0f + (std::hypot(x - 2.0, z) < 3.0 ? 0.4f : 0.0f); }, aircraft.body);
    double fastest = 0.0;
    for (int frame = 0; frame < 180; ++frame) {
        sim.advance(1.0f / 60.0f, paused);
        fastest = std::max(fastest, sim.data().airspeed_m_s);
    }
    EXPECT_LT(fastest, 1.0) << "m/s";
    EXPECT_NEAR(sim.data().height_above_ground_m, ride_height, 0.1) << "standing on the new ground";
    EXPECT_FALSE(paused);
}

} // namespace
