#include "terrain/LodSelection.h"

#include "tiles/WebMercator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const LatLon START{47.2576, 11.3513};
const double SCALE = static_cast<double>(0.05f);

// Great-circle distance in metres on the sphere the centre is pushed along.
double haversine(LatLon a, LatLon b)
{
    const double p1 = a.lat * DEG_TO_RAD, p2 = b.lat * DEG_TO_RAD;
    const double dp = p2 - p1, dl = (b.lon - a.lon) * DEG_TO_RAD;
    const double h = std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2.0 * LOD_EARTH_RADIUS * std::asin(std::sqrt(h));
}

// Camera local +Z for a camera looking level along the given world direction (x, z).
glm::vec3 level_look(float x, float z) { return {-x, 0.0f, -z}; }

TEST(WorldFrame, OriginMapsToZeroAndBack)
{
    const WorldFrame frame = WorldFrame::centred_on(START, SCALE);
    EXPECT_DOUBLE_EQ(frame.scaling_factor, 0.05000000074505806);
    EXPECT_DOUBLE_EQ(frame.origin_x, mercator_x(START.lon));
    EXPECT_DOUBLE_EQ(frame.origin_y, mercator_y(START.lat));
    const LatLon back = frame.world_to_latlon(0.0, 0.0);
    EXPECT_NEAR(back.lat, START.lat, 1e-9);
    EXPECT_NEAR(back.lon, START.lon, 1e-9);
    // One world unit is 20 Mercator metres; north is -z.
    const LatLon north = frame.world_to_latlon(0.0, -1000.0);
    EXPECT_GT(north.lat, START.lat);
    EXPECT_NEAR(north.lon, START.lon, 1e-9);
    EXPECT_DOUBLE_EQ(frame.altitude_of(50.0), 50.0 / SCALE);
}

TEST(LodSelection, PushDistanceInterpolatesInAltitude)
{
    struct Case {
        double altitude;
        float down;
        double expected;
    };
    const Case cases[] = {
        {0.0, 0.0f, 500.0},     {-300.0, 0.0f, 500.0},  {5000.0, 0.0f, 10250.0}, {10000.0, 0.0f, 20000.0},
        {25000.0, 0.0f, 20000.0}, {2500.0, 0.0f, 5375.0}, {5000.0, 1.0f, 0.0},     {5000.0, 0.5f, 5125.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(lod_push_distance(c.altitude, c.down, 20000.0), c.expected)
            << "altitude " << c.altitude << ", downward " << c.down;
    EXPECT_DOUBLE_EQ(lod_push_distance(20000.0, 0.0f, 3000.0), 3000.0);
}

TEST(LodSelection, HeadingIsClockwiseFromNorth)
{
    struct Case {
        const char* name;
        glm::vec3 z_axis;
        float heading;
    };
    const Case cases[] = {
        {"north", level_look(0, -1), 180.0f}, // the view direction is -z_axis; a north view has heading 180
        {"east", level_look(1, 0), 90.0f},
        {"south", level_look(0, 1), 0.0f},
        {"west", level_look(-1, 0), 270.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(view_heading(c.z_axis), c.heading, 1e-3f) << c.name;
}

TEST(LodSelection, LookingStraightDownKeepsTheCentreUnderTheCamera)
{
    const LatLon centre = smart_lod_center(START, 5000.0, {0.0f, 1.0f, 0.0f}, 20000.0);
    EXPECT_DOUBLE_EQ(centre.lat, START.lat);
    EXPECT_DOUBLE_EQ(centre.lon, START.lon);
}

TEST(LodSelection, CentreMovesAheadAlongTheViewHeading)
{
    struct Case {
        const char* name;
        glm::vec3 z_axis;
        double altitude;
        double distance;
        int lat_sign; // direction of the latitude change
        int lon_sign;
    };
    const Case cases[] = {
        {"north at ground", level_look(0, -1), 0.0, 500.0, +1, 0},
        {"north at 5000 m", level_look(0, -1), 5000.0, 10250.0, +1, 0},
        {"south at 10000 m", level_look(0, 1), 10000.0, 20000.0, -1, 0},
        {"east at 20000 m", level_look(1, 0), 20000.0, 20000.0, 0, +1},
        {"west at 1000 m", level_look(-1, 0), 1000.0, 2450.0, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LatLon centre = smart_lod_center(START, c.altitude, c.z_axis, 20000.0);
        EXPECT_NEAR(haversine(START, centre), c.distance, c.distance * 1e-6);
        if (c.lat_sign == 0) {
            // Due east or west the great circle bends slightly towards the equator.
            EXPECT_NEAR(centre.lat, START.lat, 0.01);
        } else {
            EXPECT_EQ(centre.lat > START.lat ? 1 : -1, c.lat_sign);
        }
        if (c.lon_sign == 0)
            EXPECT_NEAR(centre.lon, START.lon, 1e-4);
        else
            EXPECT_EQ(centre.lon > START.lon ? 1 : -1, c.lon_sign);
    }
}

TEST(LodSelection, DueNorthMovesTowardsSmallerTileRows)
{
    const LatLon centre = smart_lod_center(START, 10000.0, level_look(0, -1), 20000.0);
    EXPECT_NEAR(centre.lon, START.lon, 1e-9);
    EXPECT_LT(tile_at(centre, 14).y, tile_at(START, 14).y);
}

TEST(LodSelection, GreatCircleDestinationMatchesKnownBearings)
{
    // A quarter of the circumference due north from the equator reaches the pole.
    const LatLon pole = great_circle_destination({0.0, 30.0}, 0.0, LOD_EARTH_RADIUS * PI / 2);
    EXPECT_NEAR(pole.lat, 90.0, 1e-9);
    // Along the equator due east, degrees of longitude are radius * pi / 180 apart.
    const LatLon east = great_circle_destination({0.0, 30.0}, 90.0, LOD_EARTH_RADIUS * PI / 180.0);
    EXPECT_NEAR(east.lat, 0.0, 1e-9);
    EXPECT_NEAR(east.lon, 31.0, 1e-9);
    const LatLon same = great_circle_destination(START, 123.0, 0.0);
    EXPECT_NEAR(same.lat, START.lat, 1e-12);
    EXPECT_NEAR(same.lon, START.lon, 1e-12);
}

TEST(LodSelection, AutomaticZoomFollowsAltitude)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double lod_selection, altitude;
        uint32_t min_zoom, expected;
    };
    const Case cases[] = {
        {"1000 m: log2 18.61 capped", 0.1, 1000.0, 7, 17},
        {"10000 m: log2 15.29", 0.1, 10000.0, 7, 15},
        {"100000 m: log2 11.97", 0.1, 100000.0, 7, 11},
        {"100 m", 0.1, 100.0, 7, 17},
        {"ground level", 0.1, 0.0, 7, 8},
        {"below ground", 0.1, -250.0, 7, 8},
        {"weight 0", 0.0, 1000.0, 7, 8},
        {"negative weight", -0.1, 1000.0, 7, 8},
        {"NaN altitude", 0.1, nan, 7, 8},
        {"higher than the plane is wide: negative log2", 1.0, 1e9, 7, 17},
        {"very high but positive log2", 0.1, 3e8, 7, 8},
        {"minimum above automatic", 0.1, 10000.0, 16, 17},
        {"minimum above the cap", 0.1, 1000.0, 18, 19},
        {"tiny positive product", 0.1, 1e-300, 7, 17},
    };
    for (const Case& c : cases)
        EXPECT_EQ(automatic_max_zoom(c.lod_selection, c.altitude, c.min_zoom), c.expected) << c.name;
}

TEST(LodSelection, SelectFillsTheFrameFields)
{
    const WorldFrame frame = WorldFrame::centred_on(START, SCALE);
    LodSettings settings;

    // 1000 m up at the origin, looking north and slightly down.
    const glm::vec3 position{0.0f, static_cast<float>(1000.0 * SCALE), 0.0f};
    const glm::vec3 z_axis = glm::vec3(0.0f, 0.2f, 0.9797959f);
    const LodSelection s = select_lod(frame, settings, position, z_axis);
    EXPECT_NEAR(s.camera.lat, START.lat, 1e-6);
    EXPECT_NEAR(s.camera.lon, START.lon, 1e-6);
    EXPECT_NEAR(s.altitude, 1000.0, 1e-3);
    EXPECT_EQ(s.max_zoom, 17u);
    EXPECT_GT(s.center_coord.lat, START.lat);
    EXPECT_NEAR(haversine(START, s.center_coord), 0.8 * (0.1 * 20000.0 + 0.9 * 500.0), 0.5);
    EXPECT_EQ(s.center_tile, tile_corner_at(s.center_coord, 7));

    // Smart centre off: the centre is the camera's own position.
    settings.smart_lod_center = false;
    const LodSelection plain = select_lod(frame, settings, position, z_axis);
    EXPECT_DOUBLE_EQ(plain.center_coord.lat, plain.camera.lat);
    EXPECT_DOUBLE_EQ(plain.center_coord.lon, plain.camera.lon);
}

TEST(LodSelection, CameraAtOrBelowGroundGetsTheCoarsestAutomaticZoom)
{
    const WorldFrame frame = WorldFrame::centred_on(START, SCALE);
    LodSettings settings;
    settings.min_zoom = 9;
    for (float y : {0.0f, -0.0f, -5.0f, -1000.0f}) {
        const LodSelection s = select_lod(frame, settings, {10.0f, y, -20.0f}, level_look(0, -1));
        EXPECT_EQ(s.max_zoom, 10u) << "world y " << y;
        // Level look at or below ground: the centre is 500 m ahead.
        EXPECT_NEAR(haversine(s.camera, s.center_coord), 500.0, 1e-3) << "world y " << y;
    }
}

TEST(LodSelection, ManualZoomKeepsTheSetting)
{
    const WorldFrame frame = WorldFrame::centred_on(START, SCALE);
    LodSettings settings;
    settings.manual_zoom = true;
    settings.min_zoom = 12;
    settings.max_zoom = 9; // the overlay allows this; the quadtree copes with it
    const LodSelection s = select_lod(frame, settings, {0.0f, 50.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    EXPECT_EQ(s.max_zoom, 9u);
    EXPECT_EQ(s.center_tile, tile_corner_at(s.center_coord, 12));
}

} // namespace
